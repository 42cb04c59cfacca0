#include "app/AppPaths.h"

#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
const QString kSetup = QStringLiteral("Setup");
const QString kUserDataPath = QStringLiteral("UserDataPath");
}  // namespace

TAppPaths& Paths() {
  static TAppPaths paths;
  return paths;
}

QString GetMyDocumentsDirectoryOrEmpty() {
  return WithTrailingSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString GetMyDocumentsDirectory() {
  const QString dir = GetMyDocumentsDirectoryOrEmpty();
  if (!dir.isEmpty()) return dir;
  LogWarning("Failed to retrieve the documents folder. Defaulting to static directory");
  return QStringLiteral("/");
}

bool RetrieveUserDataDirectory(QString& path) {
  LOG_METHOD("RetrieveUserDataDirectory");
  path.clear();
  QString iniPath = FindFileNoCase(GetMyDocumentsDirectory(), QLatin1String(kBootstrapFileName));
  if (!QFileInfo::exists(iniPath)) {
    iniPath = FindFileNoCase(WithTrailingSlash(QCoreApplication::applicationDirPath()), QLatin1String(kBootstrapFileName));
    if (!QFileInfo::exists(iniPath)) return false;
  }
  TIniFile ini(iniPath);
  if (!ini.IsOpen()) {
    LogError("Exception while creating the ini file");
    return false;
  }
  const QString value = ini.ReadString(kSetup, kUserDataPath).trimmed();
  if (value.isEmpty() || !QFileInfo(value).isDir()) return false;
  path = WithTrailingSlash(QFileInfo(value).absoluteFilePath());
  return true;
}

bool StoreUserDataDirectory(const QString& path) {
  LOG_METHOD("StoreUserDataDirectory");
  const QString documents = GetMyDocumentsDirectory();
  QDir().mkpath(documents);
  TIniFile ini(FindFileNoCase(documents, QLatin1String(kBootstrapFileName)));
  if (!ini.IsOpen()) {
    LogError("Exception while creating the ini file");
    return false;
  }
  ini.WriteString(kSetup, kUserDataPath, path);
  if (!ini.UpdateFile()) {
    LogError(u"Exception while creating the ini file: "_s + ini.ErrorString());
    return false;
  }
  return true;
}

void DeleteUserDataIniFile() {
  LOG_METHOD("DeleteUserDataIniFile");
  const QString documents = GetMyDocumentsDirectory();
  for (const QString& dir : {documents, WithTrailingSlash(QCoreApplication::applicationDirPath())}) {
    const QString file = FindFileNoCase(dir, QLatin1String(kBootstrapFileName));
    if (QFileInfo::exists(file) && !QFile::remove(file)) LogWarning(u"Cannot delete "_s + file);
  }
  const QString defaultData = FindFileNoCase(documents, QLatin1String(kDefaultUserDataName));
  if (QFileInfo(defaultData).isDir() && !QDir(defaultData).removeRecursively())
    LogWarning(u"Cannot delete "_s + defaultData);
}

void SetPaths(const QString& userDataDir) {
  LOG_METHOD("SetPaths");
  TAppPaths& p = Paths();
  p.userDataDir = WithTrailingSlash(userDataDir);
  p.signaturesDir = p.userDataDir + u"_Signatures/"_s;
  p.tempDir = p.userDataDir + u"_Temp/"_s;
  p.mimeDir = p.userDataDir + u"_Mime/"_s;
  p.attachmentsDir = p.userDataDir + u"Attachments/"_s;
  p.usenetDir = p.userDataDir + u"_Usenet/"_s;
  p.headersDir = p.usenetDir + u"_Headers/"_s;
  p.downloadListsDir = p.usenetDir + u"_DownloadLists/"_s;
  p.messageStoreDir = p.usenetDir + u"_MessageStore/"_s;
  p.serversDir = p.usenetDir + u"_Servers/"_s;
  p.messageCacheDir = p.messageStoreDir + u"_Messages/"_s;
  p.readMarksDir = p.messageStoreDir + u"_MID/"_s;
  CreateDirectories();
}

void CreateDirectories() {
  LOG_METHOD("CreateDirectories");
  const TAppPaths& p = Paths();
  const QString dirs[] = {p.userDataDir,
                          p.userDataDir + u"_Dictionaries"_s,
                          p.userDataDir + u"_SelectionGroups/"_s,
                          p.userDataDir + u"_SelectionScripts/"_s,
                          p.signaturesDir,
                          p.tempDir,
                          p.mimeDir,
                          p.attachmentsDir,
                          p.usenetDir,
                          p.headersDir,
                          p.downloadListsDir,
                          p.messageStoreDir,
                          p.serversDir,
                          p.messageCacheDir,
                          p.readMarksDir};
  // A directory that cannot be made is passed over; its users report their own errors.
  for (const QString& dir : dirs)
    if (!dir.isEmpty()) QDir().mkpath(dir);
}

bool IsDirectoryWritable(const QString& dir) {
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) return false;
  const QString path = WithTrailingSlash(dir) + u"TestFile.tst"_s;
  bool ok = false;
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    ok = file.write("Test!\n") == 6;
  }
  if (ok) {
    QFile file(path);
    ok = file.open(QIODevice::ReadOnly) && file.readAll() == "Test!\n";
  }
  QFile::remove(path);
  return ok;
}

bool IsDirectoryEmpty(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

bool IsValidUserDataDirectory(const QString& settingsFile) {
  if (!QFileInfo::exists(settingsFile)) return false;
  TIniFile ini(settingsFile);
  return ini.IsOpen() && ini.ReadString(QStringLiteral("Application"), QStringLiteral("Name")) == u"Korvel"_s;
}

void DeleteDownloadListFiles(const QString& path, bool withBody, bool withCompanions) {
  const QFileInfo info(path);
  const QString base = WithTrailingSlash(info.path()) + info.completeBaseName();
  const auto remove = [&base](const char* ext) { QFile::remove(base + QLatin1String(ext)); };
  for (const char* ext : {".cue", ".cui", ".log", ".lck", ".temp", ".seek", ".txt"}) remove(ext);
  if (withBody) {
    if (withCompanions)
      for (const char* ext : {".stats", ".crc", ".srv", ".grouping"}) remove(ext);
    remove(".body");
  }
}
