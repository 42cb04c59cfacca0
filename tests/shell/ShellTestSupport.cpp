#include "ShellTestSupport.h"

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
