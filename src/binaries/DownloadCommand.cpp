#include "binaries/DownloadCommand.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "binaries/DownloadList.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/DownloadManager.h"
#include "binaries/DownloadSession.h"
#include "binaries/ImportNzb.h"
#include "nntp/ConnectionList.h"
#include "nntp/NewsServerList.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>

#include <signal.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> gInterrupted{0};
extern "C" void OnDownloadInterrupt(int) { gInterrupted.store(1); }

const char kUsage[] =
    "usage: korvel-cli download FILE.nzb [options] [server]...\n"
    "  imports the NZB into a download list and downloads and decodes its files;\n"
    "  run again with the same NZB, it resumes the list where it stopped\n"
    "servers (any number; default: the user data directory's default connection list):\n"
    "  --server NAME [--connections N]   a server of the user data directory\n"
    "  --host HOST [--port N] [--user U] [--password P] [--tls|--starttls] [--fill] [--connections N]\n"
    "                                    any server, without a user data directory;\n"
    "                                    --fill: only for articles the others lack\n"
    "options:\n"
    "  --dir DIR          where the decoded files go (default: the NZB download directory\n"
    "                     of the settings, else the current directory)\n"
    "  --list LIST.cue    the download list to use (default: the download lists directory,\n"
    "                     else DIR/.korvel/, with the NZB's name)\n"
    "  --reimport         import the NZB anew even when its list exists\n"
    "  --check            check each article before it is decoded\n"
    "  --keep             keep the downloaded articles after decoding\n"
    "  --quiet            no progress display\n"
    "exit status: 0 when every file was downloaded and decoded, 1 when anything failed,\n"
    "2 for a usage error\n";

QString Megabytes(qint64 bytes) { return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1); }

// Counts what the session reports, for the progress line.
class TProgress : public QObject {
 public:
  int decoded = 0;
  int failed = 0;
  int missing = 0;
  int received = 0;
  // For crash tests: KORVEL_DOWNLOAD_KILL_AFTER=N kills the process outright
  // (SIGKILL, no clean-up) when the N-th article has arrived.
  int killAfter = qEnvironmentVariableIntValue("KORVEL_DOWNLOAD_KILL_AFTER");

 protected:
  void customEvent(QEvent* event) override {
    if (int(event->type()) != WM_DM_MESSAGE_STATUS) return;
    const auto* e = static_cast<TDownloadEvent*>(event);
    if (e->subCode == DM_ARTICLE_RECEIVED && ++received == killAfter) ::kill(::getpid(), SIGKILL);
    if (e->subCode == DM_POST_DECODED && e->value != 0) ++decoded;
    if (e->subCode == DM_DECODE_FAILED) ++failed;
    if (e->subCode == DM_NOT_SERVED) ++missing;
  }
};

struct TServerArgs {
  TConnectionServer server;
  bool fromProfile = false;
  bool connectionsGiven = false;
};

// Whether the list holds the articles the NZB lists.
bool SameArticles(const QString& nzbPath, const QString& listPath) {
  QTemporaryDir scratch;
  const QString fresh = scratch.path() + u"/check.cue"_s;
  TDownloadList imported;
  TDownloadList existing;
  if (!scratch.isValid() || !ImportNZBFile(nzbPath, fresh) || !imported.Load(fresh) || !existing.Load(listPath))
    return false;
  // A saved list keeps its parts sorted, so the order may differ.
  const auto ids = [](const TDownloadList& list) {
    QByteArrayList out;
    for (const TDownloadEntry& e : list.Entries()) out.append(e.messageId);
    std::sort(out.begin(), out.end());
    return out;
  };
  return ids(imported) == ids(existing);
}

}  // namespace

int RunDownloadCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  LOG_METHOD("RunDownloadCommand");
  if (arguments.contains(u"--help"_s) || arguments.contains(u"-h"_s)) {
    out << kUsage;
    return 0;
  }
  QString nzbPath;
  QString directory;
  QString listPath;
  bool reimport = false;
  bool check = false;
  bool keep = false;
  bool quiet = false;
  QList<TServerArgs> servers;
  QStringList profileNames;

  const auto usage = [&err](const QString& problem) {
    if (!problem.isEmpty()) err << "korvel-cli download: " << problem << '\n';
    err << kUsage;
    return 2;
  };
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const auto value = [&](QString& into) {
      if (++i >= arguments.size()) return false;
      into = arguments[i];
      return true;
    };
    QString v;
    if (a == u"--dir"_s) {
      if (!value(directory)) return usage(u"--dir needs a directory"_s);
    } else if (a == u"--list"_s) {
      if (!value(listPath)) return usage(u"--list needs a file"_s);
    } else if (a == u"--reimport"_s) {
      reimport = true;
    } else if (a == u"--check"_s) {
      check = true;
    } else if (a == u"--keep"_s) {
      keep = true;
    } else if (a == u"--quiet"_s) {
      quiet = true;
    } else if (a == u"--server"_s) {
      if (!value(v)) return usage(u"--server needs a name"_s);
      TServerArgs s;
      s.fromProfile = true;
      s.server.server.name = v.toUtf8();
      servers.append(s);
    } else if (a == u"--host"_s) {
      if (!value(v)) return usage(u"--host needs a host name"_s);
      TServerArgs s;
      s.server.server = TNewsServerEntry::Init();
      s.server.server.host = v.toUtf8();
      s.server.server.name = v.toUtf8();
      s.server.connections = 1;
      servers.append(s);
    } else if (a == u"--port"_s || a == u"--user"_s || a == u"--password"_s || a == u"--connections"_s) {
      if (servers.isEmpty()) return usage(a + u" belongs after --host or --server"_s);
      if (!value(v)) return usage(a + u" needs a value"_s);
      TServerArgs& s = servers.last();
      bool ok = true;
      if (a == u"--port"_s) {
        const int port = v.toInt(&ok);
        if (!ok || port <= 0 || port > 65535) return usage(u"bad port "_s + v);
        s.server.server.port = port;
        s.server.server.name = s.server.server.host + ':' + QByteArray::number(port);
      } else if (a == u"--user"_s) {
        s.server.server.userName = v.toUtf8();
      } else if (a == u"--password"_s) {
        s.server.server.password = v.toUtf8();
      } else {
        const int n = v.toInt(&ok);
        if (!ok || n <= 0 || n > 100) return usage(u"bad connection count "_s + v);
        s.server.connections = n;
        s.connectionsGiven = true;
      }
    } else if (a == u"--tls"_s || a == u"--starttls"_s || a == u"--fill"_s) {
      if (servers.isEmpty() || servers.last().fromProfile) return usage(a + u" belongs after --host"_s);
      TNewsServerEntry& e = servers.last().server.server;
      if (a == u"--fill"_s)
        e.downloadLimit = true;
      else
        e.SetSecurity(a == u"--tls"_s ? SECURITY_TLS : SECURITY_STARTTLS);
    } else if (a.startsWith(u"--"_s)) {
      return usage(u"unknown option "_s + a);
    } else if (nzbPath.isEmpty()) {
      nzbPath = a;
    } else {
      return usage(u"only one NZB file at a time"_s);
    }
  }
  if (nzbPath.isEmpty()) return usage({});
  nzbPath = QFileInfo(nzbPath).absoluteFilePath();

  // The user's profile, when there is one: settings, servers, lists directory.
  QString userData;
  const bool profile = RetrieveUserDataDirectory(userData);
  if (profile) {
    SetPaths(userData);
    ReadConfigs(userData, true);
    TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir);
  }

  if (!directory.isEmpty()) directory = WithTrailingSlash(QFileInfo(directory).absoluteFilePath());
  if (listPath.isEmpty()) {
    const QString lists = profile ? Paths().downloadListsDir
                                  : WithTrailingSlash(directory.isEmpty() ? QDir::currentPath() : directory) +
                                        u".korvel/"_s;
    QDir().mkpath(lists);
    listPath = TImportNZB::ListPathFor(nzbPath, lists);
  } else {
    listPath = QFileInfo(listPath).absoluteFilePath();
    QDir().mkpath(QFileInfo(listPath).path());
  }

  // A list imported before from the same NZB is resumed: its statuses say
  // what is done. Another NZB of the same name replaces it.
  RecoverDownloadListFiles(listPath);
  bool exists = QFileInfo::exists(listPath) && QFileInfo::exists(DownloadListFile(listPath, ".body")) &&
                QFileInfo::exists(DownloadListFile(listPath, ".cui"));
  if (exists && !reimport && !SameArticles(nzbPath, listPath)) {
    if (!quiet) out << "The list " << listPath << " was made from another NZB; importing anew\n";
    exists = false;
  }
  if (!exists || reimport) {
    TImportNZB import(nzbPath, listPath);
    import.DecodePath = directory;
    const RETURN_CODES rc = import.Execute();
    if (rc != RC_SUCCESS) {
      err << "korvel-cli download: importing " << nzbPath << " failed: " << import.ErrorText() << '\n';
      return 1;
    }
    if (!quiet) out << "Imported " << import.Records() << " articles into " << listPath << '\n';
  } else if (!quiet) {
    out << "Resuming " << listPath << '\n';
  }
  TDownloadList list;
  if (!list.Load(listPath)) {
    err << "korvel-cli download: " << list.ErrorText() << '\n';
    return 1;
  }
  list.BuildPosts();

  TDownloadSessionSetup setup;
  setup.cuePath = listPath;
  setup.settings = TDownloadListSettings::Read(listPath);
  if (check) setup.settings.CheckMessages = true;
  if (keep) setup.settings.KeepMessages = true;
  setup.decodeDir = !directory.isEmpty()                  ? directory
                    : !setup.settings.DecodePath.isEmpty() ? setup.settings.DecodePath
                    : !Settings().NewsDecodePath.isEmpty() ? Settings().NewsDecodePath
                                                           : WithTrailingSlash(QDir::currentPath());
  setup.noRetryUnavailable = Settings().gNoRetryUnavailable;
  setup.alwaysEnterGroup = Settings().gAlwaysEnterGroupWhenDecoding;
  setup.freeSpaceThresholdMB = Settings().gFreeSpaceTreshold;
  setup.decodePriority = Settings().gDecodePriority;
  setup.badStringsDir = QCoreApplication::applicationDirPath() + u"/SystemData/_BadStrings/"_s;

  if (servers.isEmpty()) {
    if (!profile) return usage(u"no servers: give --host or --server, or set up a profile"_s);
    QString error;
    if (!TConnectionList::Load(listPath, Paths().userDataDir, TNewsServerList::Instance().Entries(),
                               setup.settings.AllConnectionUnlimited, setup.servers, error)) {
      err << "korvel-cli download: " << error << '\n';
      return 1;
    }
  } else {
    for (TServerArgs& s : servers) {
      if (s.fromProfile) {
        TNewsServerEntry entry;
        const QString name = QString::fromUtf8(s.server.server.name);
        if (!profile || !TNewsServerList::Instance().Get(name, entry) || name.isEmpty()) {
          err << "korvel-cli download: no server named " << name << '\n';
          return 2;
        }
        if (!s.connectionsGiven) s.server.connections = std::max<int>(1, entry.maxConnections);
        s.server.server = entry;
      }
      setup.servers.append(s.server);
    }
  }

  TDownloadSession session(list);
  TProgress progress;
  session.Receiver = &progress;
  QString error;
  QElapsedTimer clock;
  clock.start();
  if (!session.Start(setup, &error)) {
    err << "korvel-cli download: " << error << '\n';
    return 1;
  }
  const int totalPosts = session.SelectedPosts();
  if (!quiet)
    out << "Downloading " << session.SelectedArticles() << " articles of " << totalPosts << " files into "
        << setup.decodeDir << '\n';
  out.flush();

  TDownloadStopReason stop = DM_STOP_UNKNOWN;
  QEventLoop loop;
  QObject::connect(&session, &TDownloadSession::Finished, &loop, [&](TDownloadStopReason reason) {
    stop = reason;
    loop.quit();
  });
  gInterrupted = 0;
  auto previous = std::signal(SIGINT, OnDownloadInterrupt);
  auto previousTerm = std::signal(SIGTERM, OnDownloadInterrupt);
  QTimer ticker;
  qint64 lastPrint = 0;
  QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
    if (gInterrupted.exchange(0)) {
      err << "korvel-cli download: interrupted, stopping\n";
      err.flush();
      session.Abort();
    }
    if (quiet || clock.elapsed() - lastPrint < 1000 || !session.Manager()) return;
    lastPrint = clock.elapsed();
    out << "files " << progress.decoded << '/' << totalPosts << "  " << Megabytes(session.BytesReceived())
        << " MB  " << Megabytes(qint64(session.Manager()->Speed())) << " MB/s  missing articles "
        << progress.missing << '\n';
    out.flush();
  });
  ticker.start(100);
  loop.exec();
  std::signal(SIGINT, previous);
  std::signal(SIGTERM, previousTerm);

  const TDownloadSummary& summary = session.Summary();
  const double seconds = double(clock.elapsed()) / 1000.0;
  out << "Done in " << QString::number(seconds, 'f', 2) << " s: " << summary.complete << '/' << summary.posts
      << " files complete, " << Megabytes(summary.bytesReceived) << " MB received ("
      << Megabytes(qint64(double(summary.bytesReceived) / std::max(seconds, 0.001))) << " MB/s)";
  if (summary.failed) out << ", " << summary.failed << " failed";
  if (summary.unavailable) out << ", " << summary.unavailable << " with missing articles";
  if (summary.missingArticles) out << " (" << summary.missingArticles << " articles missing)";
  if (summary.unfinished) out << ", " << summary.unfinished << " unfinished";
  out << '\n';
  if (stop != DM_STOP_COMPLETED) err << "korvel-cli download: " << DownloadStopText(stop) << '\n';
  out.flush();
  const bool allDone = stop == DM_STOP_COMPLETED && summary.complete == summary.posts;
  return allDone ? 0 : 1;
}
