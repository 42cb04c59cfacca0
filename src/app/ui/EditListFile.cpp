#include "app/ui/EditListFile.h"

#include "app/LineListFile.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"

#include <QDesktopServices>
#include <QUrl>

using namespace Qt::StringLiterals;

bool EditListFile(const QString& dir, const QString& fileName) {
  LOG_METHOD("EditListFile");
  TLineListFile::CreateDefaultIfMissing(dir, fileName);
  const QString path = TLineListFile::PathOf(dir, fileName);
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
  LogError(u"Error while trying to start notepad"_s);
  TUserPrompt::Error(u"Notepad could not be started."_s);
  return false;
}
