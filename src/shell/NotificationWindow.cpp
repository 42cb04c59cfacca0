#include "shell/NotificationWindow.h"

#include "shell/AppIcon.h"
#include "shell/NotificationManager.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
// How far the window rises beyond its own height, and where it starts.
constexpr int kRiseExtra = 44;
constexpr int kStartBelow = 48;
constexpr int kFallbackAboveBottom = 32;
}  // namespace

TNotificationWindow::TNotificationWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      fText(new QLabel(this)),
      fSlide(new QTimer(this)),
      fHold(new QTimer(this)) {
  setObjectName(u"frmNotification"_s);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setFixedSize(kWidth, kHeight);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  auto* image = new QLabel(this);
  image->setPixmap(AppIcon().pixmap(32, 32));
  layout->addWidget(image);
  fText->setObjectName(u"lblText"_s);
  fText->setWordWrap(true);
  fText->setTextFormat(Qt::PlainText);
  layout->addWidget(fText, 1);
  connect(fSlide, &QTimer::timeout, this, &TNotificationWindow::Slide);
  fHold->setSingleShot(true);
  connect(fHold, &QTimer::timeout, this, &TNotificationWindow::Finish);
}

QString TNotificationWindow::Text() const { return fText->text(); }
bool TNotificationWindow::IsSliding() const { return fSlide->isActive(); }
bool TNotificationWindow::IsHolding() const { return fHold->isActive(); }

void TNotificationWindow::Start(const TNotification& notification) {
  fNotification = notification;
  fText->setText(notification.text);
  fHold->stop();
  fRisen = 0;
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  if (area.isValid()) {
    fStartY = area.y() + area.height() + kStartBelow - height();
    move(area.x() + area.width() - width() - 1, fStartY);
    fSlide->start(qMax(1, TNotificationManager::Instance().Timings().slideInterval));
  } else {
    const QRect full = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    move(full.right() - width(), full.bottom() - kFallbackAboveBottom - height());
    fSlide->stop();
    if (fNotification.duration > 0) fHold->start(fNotification.duration);
  }
  show();
}

void TNotificationWindow::Slide() {
  const int total = height() + kRiseExtra;
  fRisen = qMin(total, fRisen + qMax(1, TNotificationManager::Instance().Timings().slideStep));
  move(x(), fStartY - fRisen);
  if (fRisen < total) return;
  fSlide->stop();
  if (fNotification.duration > 0) fHold->start(fNotification.duration);
}

void TNotificationWindow::Finish() {
  fSlide->stop();
  fHold->stop();
  hide();
  TNotificationManager::Instance().WindowClosed(this);
}

void TNotificationWindow::mousePressEvent(QMouseEvent* event) {
  Q_UNUSED(event);
  Finish();
}

void TNotificationWindow::paintEvent(QPaintEvent* event) {
  Q_UNUSED(event);
  QPainter painter(this);
  painter.fillRect(rect(), palette().toolTipBase());
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
