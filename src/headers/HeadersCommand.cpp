#include "headers/HeadersCommand.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Settings.h"
#include "app/TextFormat.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/HeadersDownloadThread.h"
#include "headers/HeadersJobManager.h"
#include "headers/JobFile.h"
#include "nntp/NewsServerList.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> gInterrupts{0};

extern "C" void OnHeadersInterrupt(int) { gInterrupts.fetch_add(1); }

const char* const kUsage =
    "usage: korvel-cli headers GROUP... [options]\n"
    "  downloads the headers of the newsgroups into the header files of one job\n"
    "server (one of):\n"
    "  --server NAME           a server of the user data directory (default: its first)\n"
    "  --host HOST[:PORT]      any server, without a user data directory\n"
    "      --user U --password P   login\n"
    "      --tls | --starttls      TLS from the start (port 563 by default) or after STARTTLS\n"
    "      --fingerprint SHA256    accept this server certificate (hex)\n"
    "options:\n"
    "  --connections N         connections to use (default: the server's header connections)\n"
    "  --dir DIR               where the files go (default: the headers directory of the\n"
    "                          user data directory, else the current directory)\n"
    "  --range FIRST-LAST | --from FIRST | --percent P | --newest N\n"
    "                          which articles (default: all the server has)\n"
    "  --match TEXT            keep only subjects containing one of these comma-separated texts\n"
    "  --killfile FILE         kill file to apply (default: the user data directory's)\n"
    "  --timeout SECONDS       give up a silent connection after this long (30)\n"
    "  --quiet                 no progress display\n"
    "Ctrl+C once finishes now and keeps what has arrived; twice stops and discards.\n";

struct TOptions {
  QStringList groups;
  QString serverName;
  QString host;
  int port = 0;
  QString user;
  QString password;
  TSecurityMode security = SECURITY_PLAIN;
  QByteArray fingerprint;
  int connections = 0;
  QString dir;
  TJobOperation operation = JOB_OPERATION_GET_HEADERS_ALL;
  std::int64_t first = 0;
  std::int64_t second = 0;
  QString match;
  QString killfile;
  int timeout = 0;
  bool quiet = false;
};

bool ParsePositive(const QString& text, std::int64_t& value) {
  bool ok = false;
  value = text.toLongLong(&ok);
  return ok && value >= 1;
}

// HOST, HOST:PORT, [v6]:PORT.
bool ParseHost(const QString& text, QString& host, int& port) {
  QString rest;
  if (text.startsWith(u'[')) {
    const qsizetype close = text.indexOf(u']');
    if (close < 0) return false;
    host = text.mid(1, close - 1);
    rest = text.mid(close + 1);
  } else if (text.count(u':') == 1) {
    const qsizetype colon = text.indexOf(u':');
    host = text.left(colon);
    rest = text.mid(colon);
  } else {
    host = text;
  }
  if (!rest.isEmpty()) {
    bool ok = false;
    port = rest.mid(1).toInt(&ok);
    if (!rest.startsWith(u':') || !ok || port < 1 || port > 65535) return false;
  }
  return !host.isEmpty();
}

std::optional<QString> ParseArguments(const QStringList& args, TOptions& o) {
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const auto value = [&](QString& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    QString v;
    if (a == u"--server"_s) {
      if (!value(o.serverName)) return u"--server needs a name"_s;
    } else if (a == u"--host"_s) {
      if (!value(v) || !ParseHost(v, o.host, o.port)) return u"--host needs HOST[:PORT]"_s;
    } else if (a == u"--user"_s) {
      if (!value(o.user)) return u"--user needs a name"_s;
    } else if (a == u"--password"_s) {
      if (!value(o.password)) return u"--password needs a password"_s;
    } else if (a == u"--tls"_s) {
      o.security = SECURITY_TLS;
    } else if (a == u"--starttls"_s) {
      o.security = SECURITY_STARTTLS;
    } else if (a == u"--fingerprint"_s) {
      if (!value(v)) return u"--fingerprint needs a SHA-256 digest"_s;
      o.fingerprint = v.toLatin1();
    } else if (a == u"--connections"_s) {
      std::int64_t n = 0;
      if (!value(v) || !ParsePositive(v, n) || n > 100) return u"--connections needs a number from 1 to 100"_s;
      o.connections = static_cast<int>(n);
    } else if (a == u"--dir"_s) {
      if (!value(o.dir)) return u"--dir needs a directory"_s;
    } else if (a == u"--range"_s) {
      const QStringList parts = value(v) ? v.split(u'-') : QStringList();
      if (parts.size() != 2 || !ParsePositive(parts[0], o.first) || !ParsePositive(parts[1], o.second) ||
          o.second < o.first)
        return u"--range needs FIRST-LAST"_s;
      o.operation = JOB_OPERATION_GET_HEADERS_RANGE;
    } else if (a == u"--from"_s) {
      if (!value(v) || !ParsePositive(v, o.first)) return u"--from needs an article number"_s;
      o.operation = JOB_OPERATION_GET_HEADERS_FROM;
    } else if (a == u"--percent"_s) {
      if (!value(v) || !ParsePositive(v, o.first) || o.first > 100) return u"--percent needs 1 to 100"_s;
      o.operation = JOB_OPERATION_GET_HEADERS_PERCENT;
    } else if (a == u"--newest"_s) {
      if (!value(v) || !ParsePositive(v, o.first)) return u"--newest needs a number of headers"_s;
      o.operation = JOB_OPERATION_GET_HEADERS_NUMBER;
    } else if (a == u"--match"_s) {
      if (!value(o.match)) return u"--match needs a text"_s;
    } else if (a == u"--killfile"_s) {
      if (!value(o.killfile)) return u"--killfile needs a file"_s;
    } else if (a == u"--timeout"_s) {
      std::int64_t n = 0;
      if (!value(v) || !ParsePositive(v, n) || n > 3600) return u"--timeout needs seconds"_s;
      o.timeout = static_cast<int>(n);
    } else if (a == u"--quiet"_s) {
      o.quiet = true;
    } else if (a.startsWith(u"--"_s)) {
      return u"unknown option "_s + a;
    } else {
      o.groups << a;
    }
  }
  if (o.groups.isEmpty()) return u"no newsgroup given"_s;
  if (!o.host.isEmpty() && !o.serverName.isEmpty()) return u"--host and --server exclude each other"_s;
  return std::nullopt;
}

QString OperationString(const TOptions& o) {
  switch (o.operation) {
    case JOB_OPERATION_GET_HEADERS_RANGE:
      return MakeOperationString(o.operation, o.first, o.second);
    case JOB_OPERATION_GET_HEADERS_FROM:
    case JOB_OPERATION_GET_HEADERS_PERCENT:
    case JOB_OPERATION_GET_HEADERS_NUMBER:
      return MakeOperationString(o.operation, o.first);
    default:
      return MakeOperationString(JOB_OPERATION_GET_HEADERS_ALL);
  }
}

QString OperationInfo(TJobOperation operation) {
  switch (operation) {
    case JOB_OPERATION_GET_HEADERS_RANGE:
      return u"Range"_s;
    case JOB_OPERATION_GET_HEADERS_FROM:
      return u"New"_s;
    case JOB_OPERATION_GET_HEADERS_PERCENT:
      return u"Percent"_s;
    case JOB_OPERATION_GET_HEADERS_NUMBER:
      return u"Sample"_s;
    default:
      return u"All"_s;
  }
}

QString ProgressLine(const THeadersDownloadProgress& p, int groups) {
  QString line = p.currentNewsgroupName;
  if (groups > 1) line += u" (%1/%2)"_s.arg(p.currentNewsgroup + 1).arg(groups);
  if (p.merging) {
    const double share = p.bytesToMerge ? 100.0 * static_cast<double>(p.mergedBytes) / p.bytesToMerge : 0;
    return line + u": merging %1%"_s.arg(share, 0, 'f', 1);
  }
  const double share = p.total > 0 ? std::min(100.0, 100.0 * p.done / p.total) : 0;
  line += u": %1%  %2 headers"_s.arg(share, 0, 'f', 1).arg(FormatNumber(p.headersWritten));
  if (p.expectedInGroup > 0) line += u" of ~"_s + FormatNumber(p.expectedInGroup);
  line += u"  "_s + FormatSpeed(p.bytesPerSecond) + u"  %1 headers/s  %2 conn"_s.arg(
                                                         static_cast<qint64>(p.headersPerSecond)).arg(p.activeConnections);
  if (p.reconnections > 0) line += u"  %1 reconnections"_s.arg(p.reconnections);
  if (p.headersKilled > 0) line += u"  %1 killed"_s.arg(FormatNumber(p.headersKilled));
  return line;
}

}  // namespace

int RunHeadersCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  if (arguments.contains(u"--help"_s) || arguments.contains(u"-h"_s)) {
    out << kUsage;
    return 0;
  }
  TOptions o;
  if (const std::optional<QString> problem = ParseArguments(arguments, o)) {
    err << "korvel-cli headers: " << *problem << '\n' << kUsage;
    return 2;
  }

  // The user data directory, when there is one and it is needed or helps.
  QString userData;
  const bool haveProfile = RetrieveUserDataDirectory(userData);
  if (haveProfile) {
    SetPaths(userData);
    ReadConfigs(Paths().userDataDir, true);
  }

  TNewsServerEntry server = TNewsServerEntry::Init();
  if (!o.host.isEmpty()) {
    server.name = o.host.toUtf8();
    server.host = o.host.toUtf8();
    server.port = o.port ? o.port : (o.security == SECURITY_TLS ? 563 : 119);
    server.userName = o.user.toUtf8();
    server.password = o.password.toUtf8();
    server.SetSecurity(o.security);
    server.acceptedFingerprint = o.fingerprint;
    server.headerConnections = 1;
  } else {
    if (!haveProfile) {
      err << "korvel-cli headers: there is no user data directory; name a server with --host\n";
      return 2;
    }
    TNewsServerList& servers = TNewsServerList::Instance();
    servers.Load(Paths().userDataDir, Paths().serversDir);
    if (!servers.Get(o.serverName, server)) {
      err << "korvel-cli headers: no server " << (o.serverName.isEmpty() ? u"at all"_s : o.serverName)
          << " in " << Paths().userDataDir << '\n';
      return 2;
    }
    if (!o.fingerprint.isEmpty()) server.acceptedFingerprint = o.fingerprint;
  }

  const QString dir =
      WithTrailingSlash(!o.dir.isEmpty()              ? QDir(o.dir).absolutePath()
                        : haveProfile && o.host.isEmpty() ? Paths().headersDir
                                                        : QDir::currentPath());
  if (!QDir().mkpath(dir)) {
    err << "korvel-cli headers: cannot create " << dir << '\n';
    return 1;
  }

  THeadersJobManager manager;
  manager.SetWorkingDirectory(dir);
  manager.SetSettingsDirectory(haveProfile && o.host.isEmpty() ? Paths().userDataDir : dir);
  QPointer<THeadersDownloadThread> thread;
  manager.SetThreadSetup([&o, &thread](THeadersDownloadThread& t) {
    // Without a window to stop it, a job that cannot connect gives up.
    t.SetConnectAttempts(3);
    if (o.timeout > 0) t.SetTimeout(o.timeout);
    thread = &t;
  });

  TJobInfo info;
  info.type = JOB_TYPE_DOWNLOAD_HEADERS;
  info.name = JobDisplayName(o.groups);
  info.operationInfo = OperationInfo(o.operation);
  for (const QString& group : o.groups) info.newsgroups.append({group, OperationString(o), DOWNLOAD_RESULT_NONE});
  info.serverName = QString::fromUtf8(server.name);
  info.connectionCount = o.connections > 0 ? o.connections : std::max<int>(1, server.headerConnections);
  info.matchString = o.match;
  info.status = JOB_STATUS_PENDING;

  RETURN_CODES rc = RC_SUCCESS;
  TJobEntry* job = manager.CreateNewJob(info, &rc);
  if (!job) {
    err << "korvel-cli headers: cannot create the job in " << dir << ": " << ReturnCodeName(rc) << '\n';
    return 1;
  }
  const QString jobFile = TJobFile::PathOf(dir, job->Guid());
  manager.PrepareJob(job, server);
  if (!o.killfile.isEmpty()) static_cast<TDownloadHeadersJobEntry*>(job)->Killfile = o.killfile;

  QEventLoop loop;
  TJobInfo final;
  TJobStats stats;
  QString lastError;
  bool ended = false;
  QObject::connect(&manager, &THeadersJobManager::JobComplete, &loop, [&](TJobEntry* j, int* reply) {
    final = j->Info();
    if (auto* t = qobject_cast<THeadersDownloadThread*>(j->Thread())) {
      stats = t->Stats();
      lastError = t->LastError();
    }
    *reply = 0;
    ended = true;
    loop.quit();
  });

  rc = manager.StartJob(job);
  if (rc != RC_SUCCESS) {
    err << "korvel-cli headers: " << THeadersJobManager::StartErrorText(rc) << " (" << ReturnCodeName(rc) << ")\n";
    return 1;
  }
  out << "downloading " << info.name << " from " << server.HostName() << ':' << server.port << " over "
      << info.connectionCount << " connection(s) into " << dir << '\n';
  out.flush();

  gInterrupts.store(0);
  auto* previous = std::signal(SIGINT, OnHeadersInterrupt);
  const bool showProgress = !o.quiet && isatty(STDOUT_FILENO);
  int handled = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    const int interrupts = gInterrupts.load();
    if (interrupts > handled && !ended) {
      handled = interrupts;
      if (interrupts == 1) {
        out << (showProgress ? "\r\x1b[K" : "") << "finishing now with the headers received so far...\n";
        manager.StopJob(job, JOB_STATUS_STOPPED, true);
      } else {
        out << (showProgress ? "\r\x1b[K" : "") << "stopped; the headers are discarded\n";
        final = job->Info();
        manager.StopJob(job, JOB_STATUS_STOPPED, false);
        loop.quit();
        return;
      }
    }
    if (showProgress && thread) {
      out << '\r' << ProgressLine(thread->Progress(), static_cast<int>(o.groups.size())) << "\x1b[K";
      out.flush();
    }
  });
  timer.start(250);
  loop.exec();
  timer.stop();
  std::signal(SIGINT, previous);
  if (showProgress) out << "\r\x1b[K";

  const bool completed = ended && final.status == JOB_STATUS_COMPLETED;
  out << "job file: " << jobFile << '\n'
      << "result: " << (ended ? DownloadResultText(final.result) : u"Stopped"_s) << " ("
      << JobStatusText(final.status) << ')';
  if (!final.resultString.isEmpty()) out << " - " << final.resultString;
  out << '\n';
  for (qsizetype i = 0; i < final.newsgroups.size(); ++i) {
    const TNewsgroupJob& g = final.newsgroups[i];
    out << "  " << g.name << ": " << DownloadResultText(g.result);
    for (const TJobStats::TNewsgroupCount& count : stats.downloaded)
      if (count.name == g.name) out << ", " << FormatNumber(count.headers) << " headers";
    out << '\n';
  }
  if (ended) {
    const double seconds = static_cast<double>(stats.timeToCompletion) / 1000.0;
    out << "headers: " << FormatNumber(stats.headersDownloaded) << " written, " << FormatNumber(stats.headersKilled)
        << " killed, in " << QString::number(seconds, 'f', 2) << " s";
    if (seconds > 0)
      out << " (" << QString::number(static_cast<double>(stats.headersDownloaded) / seconds, 'f', 0)
          << " headers/s)";
    out << '\n';
  }
  if (!completed && !lastError.isEmpty()) out << "last connection error: " << lastError << '\n';
  if (completed) {
    const QString base = dir + TJobFile::GuidText(final.guid);
    out << "header files:\n";
    for (const QString& extension : {u".hdrs"_s, u".idx"_s, u".seek"_s}) {
      const QFileInfo file(base + extension);
      if (file.exists()) out << "  " << file.filePath() << " (" << FormatSize(file.size()) << ")\n";
    }
    if (stats.headersDownloaded > 0) out << "load them with: korvel-cli load " << jobFile << '\n';
  }
  return completed ? 0 : 1;
}
