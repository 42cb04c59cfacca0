#include "ShellTestSupport.h"

#include "shell/Automation.h"
#include "shell/LocalChannel.h"
#include "shell/ShellMessage.h"

#include <QEventLoop>
#include <QTimer>

void TTestPage::TabMessage(TShellMessage& message) {
  received.append(message.Offset());
  switch (message.Offset()) {
    case shellmsg::TM_IDLE_QUERY:
      if (idle) message.result = shellmsg::kAgree;
      break;
    case shellmsg::TM_CLOSE_REQUEST:
      if (askMsOnClose > 0) {
        QEventLoop loop;
        QTimer::singleShot(askMsOnClose, &loop, &QEventLoop::quit);
        loop.exec();
      }
      if (agreeToClose) message.result = shellmsg::kAgree;
      break;
    case shellmsg::TM_QUERY_LAST_HEADERS:
      if (lastHeadersAvailable) {
        *static_cast<bool*>(message.pointer) = *lastHeadersAvailable;
        message.result = -1;
      }
      break;
    default:
      break;
  }
  if (onMessage) onMessage(message.Offset());
}

TChannelClient::TChannelClient(const QString& name, int timeoutMs) {
  fSocket.connectToServer(name);
  fSocket.waitForConnected(timeoutMs);
}

void TChannelClient::Send(quint32 kind, const QByteArray& payload) {
  fSocket.write(TLocalChannel::EncodeFrame(kind, payload));
  fSocket.flush();
}

std::pair<quint32, QByteArray> TChannelClient::Next(bool keepAlive, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 10) {
    fBuffer += fSocket.readAll();
    quint32 kind = 0;
    QByteArray payload;
    bool bad = false;
    while (TLocalChannel::TakeFrame(fBuffer, kind, payload, bad))
      if (keepAlive || kind != TAutomation::AUTOMATION_KEEPALIVE) return {kind, payload};
    if (fSocket.state() != QLocalSocket::ConnectedState) break;
    QTest::qWait(10);
  }
  return {0, {}};
}
