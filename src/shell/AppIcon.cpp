#include "shell/AppIcon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal r = size * 0.18;
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), r, r);
  QLinearGradient fill(0, 0, 0, size);
  fill.setColorAt(0, QColor(0x2f, 0x6f, 0xb3));
  fill.setColorAt(1, QColor(0x1b, 0x3f, 0x73));
  p.fillPath(shape, fill);
  // A stylised K over three "news lines".
  p.setPen(QPen(QColor(255, 255, 255, 70), qMax(1.0, size / 24.0)));
  for (int i = 1; i <= 3; ++i) {
    const qreal y = size * (0.25 + 0.2 * i);
    p.drawLine(QPointF(size * 0.55, y), QPointF(size * 0.85, y));
  }
  QFont font;
  font.setBold(true);
  font.setPixelSize(qRound(size * 0.72));
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(size * 0.06, 0, size * 0.7, size), Qt::AlignCenter, QStringLiteral("K"));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  static const QIcon icon = [] {
    QIcon i;
    for (int size : {16, 24, 32, 48, 64, 128}) i.addPixmap(Draw(size));
    return i;
  }();
  return icon;
}
