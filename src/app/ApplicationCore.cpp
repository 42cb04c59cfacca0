#include "app/ApplicationCore.h"

#include "app/ActionTracker.h"
#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/SharedLists.h"
#include "app/TextFormat.h"
#include "nntp/NewsServerList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QOperatingSystemVersion>
#include <QSysInfo>
#include <QThread>

#include <sys/utsname.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

QString TVersionInfo::Text() const {
  if (major == 0 && minor == 0 && release == 0 && build == 0) return {};
  return QString::asprintf("%d.%d.%d build %d", major, minor, release, build);
}

TApplicationCore& TApplicationCore::Instance() {
  static TApplicationCore core;
  return core;
}

TApplicationCore::TApplicationCore() : fTrail(new TActionTracker) {}
TApplicationCore::~TApplicationCore() { delete fTrail; }

TActionTracker& TApplicationCore::Trail() { return *fTrail; }

QString TApplicationCore::LogFilePath() {
  const QString documents = GetMyDocumentsDirectoryOrEmpty();
  if (documents.isEmpty()) return {};
  const QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  return documents + base + u"_errorlog.sil"_s;
}

QString TApplicationCore::TrailFilePath() { return GetMyDocumentsDirectory() + u"triggers_events.trk"_s; }

void TApplicationCore::StartLogging() {
  const QString path = LogFilePath();
  if (!path.isEmpty()) QDir().mkpath(QFileInfo(path).path());
  TLogger& log = TLogger::Instance();
  log.SetFile(path);
  log.SetLogLevel(TLogger::LEVEL_VERBOSE);
  log.Separator();
}

bool TApplicationCore::HandleCommandLine(const QStringList& arguments) {
  LOG_METHOD("HandleCommandLine");
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i].compare(u"-forcesetup"_s, Qt::CaseInsensitive) == 0) {
      DeleteUserDataIniFile();
      return true;
    }
  }
  return false;
}

bool TApplicationCore::CreateApplicationObjects(QString& errorText) {
  LOG_METHOD("CreateApplicationObjects");
  fCleanedUp = false;
  fTrail->Load(TrailFilePath());

  TAppPaths& p = Paths();
  p.applicationDir = WithTrailingSlash(QCoreApplication::applicationDirPath());
  if (p.applicationDir.isEmpty()) {
    errorText = QStringLiteral(
        "There was an error trying to set the application directory. Please restart the application.");
    return false;
  }
  p.systemDataDir = p.applicationDir + u"SystemData/"_s;

  QString userData;
  if (RetrieveUserDataDirectory(userData)) p.userDataDir = userData;
  else p.userDataDir.clear();

  fVersion = TVersionInfo{KORVEL_VERSION_MAJOR, KORVEL_VERSION_MINOR, KORVEL_VERSION_RELEASE, KORVEL_VERSION_BUILD};
  Settings() = TSettings();
  SetThousandSeparator(SystemThousandSeparator());
  return true;
}

void TApplicationCore::LogSystemInformation() const {
  TLogger& log = TLogger::Instance();
  log.Separator();
  struct utsname uts {};
  int kMajor = 0, kMinor = 0, kBuild = 0;
  if (uname(&uts) == 0) std::sscanf(uts.release, "%d.%d.%d", &kMajor, &kMinor, &kBuild);
  LogMessage(QString::asprintf("Kernel version: %d.%d.%d (", kMajor, kMinor, kBuild) + QSysInfo::prettyProductName() +
             u')');
  LogMessage(QString::asprintf("Korvel Version %d.%d.%d", fVersion.major, fVersion.minor, fVersion.build));
  LogMessage(QString::asprintf("Number of CPUs %d", QThread::idealThreadCount()));
  const long pageSize = sysconf(_SC_PAGESIZE);
  const std::int64_t total = static_cast<std::int64_t>(sysconf(_SC_PHYS_PAGES)) * pageSize;
  const std::int64_t avail = static_cast<std::int64_t>(sysconf(_SC_AVPHYS_PAGES)) * pageSize;
  LogMessage(u"Total physical memory: "_s + FormatNumber(total) + u" bytes"_s);
  LogMessage(u"Total free physical memory: "_s + FormatNumber(avail) + u" bytes"_s);
  log.Separator();
  fTrail->Record(TActionTracker::TRAIL_OBJECTS_CREATED);
}

bool TApplicationCore::Initialize() {
  LOG_METHOD("Initialize");
  QString userData;
  if (!RetrieveUserDataDirectory(userData)) return false;
  SetPaths(userData);
  const TAppPaths& p = Paths();
  if (!ReadConfigs(p.userDataDir, false)) return false;
  TNewsServerList::Instance().Load(p.userDataDir, p.serversDir);
  if (int failed = DeletePlainFiles(p.tempDir)) LogWarning(QString::asprintf("%d temporary files could not be deleted", failed));
  if (int failed = DeletePlainFiles(p.mimeDir)) LogWarning(QString::asprintf("%d MIME files could not be deleted", failed));
  TSharedLists::Instance().LoadFrom(p.userDataDir);
  return true;
}

bool TApplicationCore::CheckSettings(bool& firstRun, const std::function<bool()>& runSetup) {
  LOG_METHOD("CheckSettings");
  firstRun = false;
  const QString& userData = Paths().userDataDir;
  if (!userData.isEmpty() && QFileInfo::exists(FindFileNoCase(userData, QLatin1String(kSettingsFileName)))) {
    return Initialize();
  }
  // Without a finished setup nothing may be written: a settings file left
  // behind would make the next start skip the setup.
  if (!runSetup || !runSetup()) {
    LogError("No settings were saved");
    return false;
  }
  if (!Initialize()) {
    LogError("Initialization failed");
    return false;
  }
  if (!QFileInfo::exists(FindFileNoCase(Paths().userDataDir, QLatin1String(kSettingsFileName)))) {
    LogError("No settings were saved");
    return false;
  }
  firstRun = true;
  return true;
}

void TApplicationCore::ApplyLogLevel() const {
  TLogger::Instance().SetLogLevel(Settings().gLogLevel);
  fTrail->Record(TActionTracker::TRAIL_EVENT_LOOP_ENTERED);
}

void TApplicationCore::WriteSettingsOnExit() {
  if (!Paths().userDataDir.isEmpty()) WriteConfigs(Paths().userDataDir);
}

void TApplicationCore::CleanUp() {
  LOG_METHOD("CleanUp");
  if (fCleanedUp) return;
  fCleanedUp = true;
  if (Settings().ClearNewsCacheOnExit && !Paths().messageCacheDir.isEmpty()) DeletePlainFiles(Paths().messageCacheDir);
  fTrail->Save(TrailFilePath());
}
