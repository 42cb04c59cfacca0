#include "shell/TabPage.h"

#include "shell/ShellMessage.h"
#include "shell/TabForm.h"

TfrmTabForm* TTabPage::MainWindow() const { return qobject_cast<TfrmTabForm*>(window()); }

void TTabPage::customEvent(QEvent* event) {
  if (auto* message = dynamic_cast<TShellMessage*>(event)) {
    TabMessage(*message);
    return;
  }
  QWidget::customEvent(event);
}

void TTabPage::TabMessage(TShellMessage& message) {
  switch (message.Offset()) {
    case shellmsg::TM_IDLE_QUERY:
    case shellmsg::TM_CLOSE_REQUEST:
      message.result = shellmsg::kAgree;
      break;
    default:
      break;
  }
}
