#include "newsgroups/ui/NewsgroupsBrowserForm.h"

#include "app/UserPrompt.h"
#include "shell/HelpMessageManager.h"
#include "shell/ShellMessage.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmNewsgroupsBrowser::TfrmNewsgroupsBrowser(QWidget* parent) : TTabPage(parent), fStatus(new QLabel(this)) {
  setObjectName(QStringLiteral("frmNewsgroupsBrowser"));
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  fStatus->setObjectName(QStringLiteral("lblStatus"));
  layout->addWidget(fStatus);
}

void TfrmNewsgroupsBrowser::SetStatusText(const QString& text) { fStatus->setText(text); }
QString TfrmNewsgroupsBrowser::StatusText() const { return fStatus->text(); }

void TfrmNewsgroupsBrowser::TabMessage(TShellMessage& message) {
  switch (message.Offset()) {
    case shellmsg::TM_CLOSE_REQUEST:
      TUserPrompt::Warning(QStringLiteral("The newsgroups browser tab cannot be closed."));
      break;
    case shellmsg::TM_STARTUP_COMPLETE:
      THelpMessageManager::Instance().ShowHelpMessage(this, WHAT_NOW);
      break;
    default:
      TTabPage::TabMessage(message);
  }
}
