#include "shell/HelpMessageManager.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"
#include "shell/HelpMessageForm.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <memory>

using namespace Qt::StringLiterals;

THelpMessageManager& THelpMessageManager::Instance() {
  static THelpMessageManager manager;
  return manager;
}

void THelpMessageManager::SetDirectory(const QString& directory) { fDirectory = WithTrailingSlash(directory); }

QString THelpMessageManager::PageName(THelpMessage index) { return QLatin1String(HelpMessageName(index)) + u".htm"_s; }

bool THelpMessageManager::GetHelpWindow(QWidget* owner, THelpMessage index, TfrmHelpMessage*& window) {
  LOG_METHOD("GetHelpWindow");
  window = nullptr;
  if (index >= HELP_MESSAGE_COUNT || fDirectory.isEmpty() || !QFileInfo(fDirectory).isDir()) return false;
  const TSettings& s = Settings();
  if (!s.helpMessagesEnabled || !s.helpMessages[index].enabled) return true;
  QFile file(FindFileNoCase(fDirectory, PageName(index)));
  if (!file.open(QIODevice::ReadOnly)) {
    LogWarning(u"Help page cannot be read: "_s + file.fileName());
    return false;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  fPage = utf8.decode(bytes);
  if (utf8.hasError()) fPage = QString::fromLatin1(bytes);
  window = new TfrmHelpMessage(index, fPage, fDirectory, owner);
  return true;
}

bool THelpMessageManager::ShowHelpMessage(QWidget* owner, THelpMessage index) {
  LOG_METHOD("ShowHelpMessage");
  if (index >= HELP_MESSAGE_COUNT) return false;
  TSettings& s = Settings();
  if (!s.helpMessagesEnabled || !s.helpMessages[index].pending) return false;
  TfrmHelpMessage* found = nullptr;
  if (!GetHelpWindow(owner, index, found) || !found) return false;
  std::unique_ptr<TfrmHelpMessage> window(found);
  // Once on screen it counts as shown, whatever happens while it is up.
  s.helpMessages[index].pending = false;
  const TfrmHelpMessage::TChoice initial = window->Choice();
  if (fRunner)
    fRunner(*window);
  else
    window->exec();
  if (window->result() == QDialog::Accepted && window->Choice() != initial)
    TfrmHelpMessage::ApplyChoice(index, window->Choice());
  return true;
}

void THelpMessageManager::EnableAll() {
  LOG_METHOD("EnableAllHelpMessages");
  TSettings& s = Settings();
  for (THelpMessageRec& m : s.helpMessages) m = THelpMessageRec{true, true};
  s.helpMessagesEnabled = true;
  WriteConfigs(Paths().userDataDir);
  TUserPrompt::Information(u"Help messages have been enabled."_s);
}
