#include "headers/ui/HeadersManagerForm.h"

#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "shell/HelpMessageManager.h"
#include "shell/ShellMessage.h"

#include <QTimer>

TfrmHeadersManager::TfrmHeadersManager(QWidget* parent) : TTabPage(parent) {
  setObjectName(QStringLiteral("frmHeadersManager"));
}

void TfrmHeadersManager::TabMessage(TShellMessage& message) {
  switch (message.Offset()) {
    case shellmsg::TM_CLOSE_REQUEST:
      TUserPrompt::Warning(QStringLiteral("The headers manager tab cannot be closed."));
      break;
    case shellmsg::TM_TAB_ACTIVATED:
      if (Settings().helpMessagesEnabled && Settings().helpMessages[TAB_HEADERS_MANAGER].enabled)
        QTimer::singleShot(150, this,
                           [this] { THelpMessageManager::Instance().ShowHelpMessage(this, TAB_HEADERS_MANAGER); });
      break;
    default:
      TTabPage::TabMessage(message);
  }
}
