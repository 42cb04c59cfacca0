#include "shell/Automation.h"

#include "app/Logger.h"
#include "shell/LocalChannel.h"
#include "shell/ShellMessage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QList<QWidget*> SearchOrder() {
  QList<QWidget*> order;
  if (QWidget* modal = QApplication::activeModalWidget()) order.append(modal);
  if (QWidget* active = QApplication::activeWindow()) order.append(active);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !order.contains(w)) order.append(w);
  return order;
}

QAction* FindAction(const QString& name) {
  for (QWidget* top : SearchOrder()) {
    for (QAction* a : top->findChildren<QAction*>(name))
      if (a->isEnabled()) return a;
  }
  return nullptr;
}

}  // namespace

QWidget* FindComponent(const QString& name) {
  if (name.isEmpty()) return nullptr;
  // A visible component wins; one on a page that is not shown still counts,
  // as the same window may hold it on another page.
  QWidget* hidden = nullptr;
  for (QWidget* top : SearchOrder()) {
    if (top->objectName() == name) return top;
    for (QWidget* w : top->findChildren<QWidget*>(name)) {
      if (w->isVisible()) return w;
      if (!hidden) hidden = w;
    }
  }
  return hidden;
}

TAutomation::TAutomation(QWidget* window, QObject* parent)
    : QObject(parent), fWindow(window), fKeepAlive(new QTimer(this)) {
  fKeepAlive->setInterval(kKeepAliveInterval);
  connect(fKeepAlive, &QTimer::timeout, this, &TAutomation::KeepAlive);
}

bool TAutomation::IsKeepAliveRunning() const { return fKeepAlive->isActive(); }

void TAutomation::SetKeepAliveInterval(int ms) { fKeepAlive->setInterval(ms); }

void TAutomation::SetKeepAliveEnabled(bool enabled) {
  if (enabled && IsRegistered())
    fKeepAlive->start();
  else
    fKeepAlive->stop();
}

void TAutomation::HandleRequest(QLocalSocket* peer, quint32 kind, const QByteArray& payload) {
  LOG_METHOD("Automation");
  const QString text = QString::fromUtf8(payload);
  bool ok = false;
  QByteArray answer;
  switch (kind) {
    case AUTOMATION_REGISTER:
      ok = Register(peer, !payload.isEmpty());
      break;
    case AUTOMATION_QUERY_0:
    case AUTOMATION_QUERY_1:
      ok = true;
      answer = "0";
      break;
    case AUTOMATION_RETRIEVE_WIZARD:
      ok = true;
      answer = WindowHandle(kRetrieveWizardName).toLatin1();
      break;
    case AUTOMATION_NEW_GROUPS_DIALOG:
      ok = true;
      answer = WindowHandle(kNewGroupsDialogName).toLatin1();
      break;
    case AUTOMATION_CLICK:
      ok = Click(text);
      break;
    case AUTOMATION_SET_TEXT: {
      const qsizetype tab = text.indexOf(u'\t');
      ok = tab > 0 && SetText(text.left(tab), text.mid(tab + 1));
      break;
    }
    default:
      LogWarning(u"Unknown automation request "_s + QString::number(kind));
      break;
  }
  TLocalChannel::Reply(peer, ok ? AUTOMATION_SUCCESS : AUTOMATION_FAILURE, answer);
}

bool TAutomation::Register(QLocalSocket* peer, bool on) {
  if (!on) {
    if (fClient != peer) return false;
    Unregister();
    return true;
  }
  fClient = peer;
  connect(peer, &QLocalSocket::disconnected, this, [this, peer] {
    if (fClient == peer) Unregister();
  });
  if (fWindow) {
    fWindow->setWindowTitle(RegisteredCaption());
    TShellMessage::Post(fWindow, shellmsg::MM_AUTOMATION_KEEPALIVE, 1);
  } else {
    SetKeepAliveEnabled(true);
  }
  return true;
}

void TAutomation::Unregister() {
  fClient.clear();
  fKeepAlive->stop();
  if (fWindow) {
    fWindow->setWindowTitle(QApplication::applicationDisplayName());
    TShellMessage::Post(fWindow, shellmsg::MM_AUTOMATION_KEEPALIVE, 0);
  }
}

void TAutomation::KeepAlive() {
  // The client went away without unregistering.
  if (!fClient || fClient->state() != QLocalSocket::ConnectedState) {
    Unregister();
    return;
  }
  TLocalChannel::Reply(fClient, AUTOMATION_KEEPALIVE);
}

bool TAutomation::Click(const QString& name) {
  // The press runs after the answer, since it may open a modal window.
  if (auto* button = qobject_cast<QAbstractButton*>(FindComponent(name))) {
    if (!button->isEnabled()) return false;
    QTimer::singleShot(0, button, [button] { button->click(); });
    return true;
  }
  if (QAction* action = FindAction(name)) {
    QTimer::singleShot(0, action, [action] { action->trigger(); });
    return true;
  }
  return false;
}

bool TAutomation::SetText(const QString& name, const QString& text) {
  QWidget* w = FindComponent(name);
  if (!w || !w->isEnabled()) return false;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(text);
    return true;
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) {
      combo->setEditText(text);
      return true;
    }
    const int index = combo->findText(text);
    if (index < 0) return false;
    combo->setCurrentIndex(index);
    return true;
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->setPlainText(text);
    return true;
  }
  if (auto* rich = qobject_cast<QTextEdit*>(w)) {
    rich->setPlainText(text);
    return true;
  }
  return false;
}

QString TAutomation::WindowHandle(const char* objectName) const {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == QLatin1String(objectName)) return QString::number(w->winId());
  return u"0"_s;
}
