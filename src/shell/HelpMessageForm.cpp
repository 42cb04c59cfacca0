#include "shell/HelpMessageForm.h"

#include "app/AppPaths.h"
#include "app/UserPrompt.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfrmHelpMessage::TfrmHelpMessage(THelpMessage index, const QString& page, const QString& baseDirectory, QWidget* parent)
    : QDialog(parent),
      fIndex(index),
      fHeading(new QLabel(this)),
      fPage(new QTextBrowser(this)),
      fChoice(new QComboBox(this)) {
  setObjectName(u"frmHelpMessage"_s);
  setWindowTitle(u"Help message"_s);
  resize(560, 420);
  auto* layout = new QVBoxLayout(this);

  fPage->setObjectName(u"htmPage"_s);
  fPage->setOpenExternalLinks(true);
  fPage->setSearchPaths({baseDirectory});
  fPage->document()->setBaseUrl(QUrl::fromLocalFile(baseDirectory));
  fPage->setHtml(page);

  fHeading->setObjectName(u"lblHeading"_s);
  fHeading->setTextFormat(Qt::PlainText);
  fHeading->setText(fPage->documentTitle());
  fHeading->setVisible(!fHeading->text().isEmpty());
  QFont bold = fHeading->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  fHeading->setFont(bold);
  layout->addWidget(fHeading);
  layout->addWidget(fPage, 1);

  auto* bottom = new QHBoxLayout;
  fChoice->setObjectName(u"cmbChoice"_s);
  fChoice->addItems({u"Always show this help message"_s, u"Don't show this help message again"_s,
                     u"Stop showing all help messages"_s});
  bottom->addWidget(fChoice);
  bottom->addStretch(1);
  auto* close = new QPushButton(u"Close"_s, this);
  close->setObjectName(u"btnClose"_s);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &TfrmHelpMessage::CloseWithButton);
  bottom->addWidget(close);
  layout->addLayout(bottom);
}

QString TfrmHelpMessage::Heading() const { return fHeading->text(); }
TfrmHelpMessage::TChoice TfrmHelpMessage::Choice() const { return static_cast<TChoice>(fChoice->currentIndex()); }
void TfrmHelpMessage::SetChoice(TChoice choice) { fChoice->setCurrentIndex(choice); }
void TfrmHelpMessage::CloseWithButton() { accept(); }

void TfrmHelpMessage::ApplyChoice(THelpMessage index, TChoice choice) {
  TSettings& s = Settings();
  switch (choice) {
    case CHOICE_STOP_ALL:
      s.helpMessagesEnabled = false;
      WriteConfigs(Paths().userDataDir);
      TUserPrompt::Information(
          u"Help messages have been disabled. You can re-enable then at any time from the Help menu."_s);
      break;
    case CHOICE_DONT_SHOW_AGAIN:
      s.helpMessages[index].enabled = false;
      WriteConfigs(Paths().userDataDir);
      break;
    case CHOICE_ALWAYS_SHOW:
      if (!s.helpMessages[index].enabled || !s.helpMessagesEnabled) {
        s.helpMessages[index].enabled = true;
        WriteConfigs(Paths().userDataDir);
      }
      break;
  }
}
