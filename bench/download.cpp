// Download of a large binary post from a private INN: `korvel-cli download`
// against Debian's nzbget on the same NZB from the same server in the same
// run, and against a bare socket loop that pulls the same articles by
// ARTICLE and throws them away.
//
//   bench_download [--mb 200] [--part-kb 700] [--connections 1,4] [--rounds 3]
//                  [--dir DIR] [--no-nzbget] [--no-install]
//
// It starts its own INN (tests/servers/inn-server.sh), posts one file of
// `mb` MiB of random bytes in yEnc parts of `part-kb` KiB, writes its NZB and
// then, for each connection count, runs the three in turn, `rounds` times,
// and keeps each one's best time. Times are the download phase: korvel-cli's
// own "Done in" (session start to the last file written), nzbget's "added to
// queue" to "completely downloaded" lines as they arrive, the bare loop's
// first command to last byte. CPU seconds and peak memory are the whole
// process's (for the bare loop: this process's CPU during the pull; its
// memory is not measured). Every
// downloaded file is compared with the original.
#include "YencPoster.h"
#include "app/Crc32.h"
#include "support/InnServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct TMeasure {
  bool ok = false;
  double seconds = 0;      // the download phase
  double wallSeconds = 0;  // the whole process
  double cpuSeconds = 0;
  double peakMiB = 0;
  QString note;
};

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A child process with its output lines time-stamped as they arrive, and its
// CPU time and peak memory from wait4.
struct TChild {
  int exitCode = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
  QList<QPair<double, QByteArray>> lines;  // seconds since start, line
};

TChild RunChild(const QString& program, const QStringList& arguments, const QString& workDir = {}) {
  TChild result;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return result;
  std::vector<QByteArray> argStore;
  argStore.push_back(QFile::encodeName(program));
  for (const QString& a : arguments) argStore.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  const QByteArray dir = QFile::encodeName(workDir);
  const double start = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    close(pipeFd[0]);
    close(pipeFd[1]);
    if (!dir.isEmpty() && chdir(dir.constData()) != 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFd[1]);
  // wait4's peak counts the resident set this process had when it forked
  // (Linux carries it over the exec), so the child's own high-water mark is
  // read from /proc while it runs.
  const QByteArray statusPath = "/proc/" + QByteArray::number(pid) + "/status";
  qint64 peakKiB = 0;
  const auto samplePeak = [&] {
    const int fd = open(statusPath.constData(), O_RDONLY);
    if (fd < 0) return;
    char status[4096];
    const ssize_t got = read(fd, status, sizeof status - 1);
    close(fd);
    if (got <= 0) return;
    status[got] = 0;
    if (const char* hwm = std::strstr(status, "VmHWM:")) peakKiB = std::max<qint64>(peakKiB, std::atoll(hwm + 6));
  };
  QByteArray pending;
  char buffer[65536];
  for (;;) {
    pollfd p{pipeFd[0], POLLIN, 0};
    const int ready = poll(&p, 1, 5);
    samplePeak();
    if (ready == 0) continue;
    const ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
    if (n <= 0) break;
    const double at = Now() - start;
    pending.append(buffer, n);
    qsizetype lf;
    while ((lf = pending.indexOf('\n')) >= 0) {
      result.lines.append({at, pending.left(lf)});
      pending.remove(0, lf + 1);
    }
  }
  if (!pending.isEmpty()) result.lines.append({Now() - start, pending});
  close(pipeFd[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.wallSeconds = Now() - start;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  result.peakMiB = double(peakKiB) / 1024.0;
  return result;
}

QString Output(const TChild& child) {
  QString out;
  for (const auto& line : child.lines) out += QString::fromUtf8(line.second) + u'\n';
  return out;
}

// What a downloaded file must be: the original's size and CRC-32 (the
// original itself is not kept, so this process stays small and its children's
// peak memory is their own).
struct TOriginal {
  QString name;
  qint64 size = 0;
  std::uint32_t crc = 0;
  QList<QByteArray> messageIds;
};

bool SameFile(const QString& path, const TOriginal& original) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() != original.size) return false;
  std::uint32_t crc = 0;
  QByteArray block;
  while (!(block = file.read(4 << 20)).isEmpty()) crc = Crc32(block, crc);
  return crc == original.crc;
}

// ---------------------------------------------------------------------------
// The bare loop: N sockets, one ARTICLE at a time each, replies thrown away.

bool ReadReply(int fd, std::vector<char>& buffer) {
  // The reply ends with CR LF "." CR LF; keep the last bytes across reads.
  char tail[5] = {};
  int tailLength = 0;
  bool first = true;
  for (;;) {
    const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) return false;
    if (first && buffer[0] != '2') return false;
    first = false;
    char last[5];
    int have = 0;
    if (n >= 5) {
      std::memcpy(last, buffer.data() + n - 5, 5);
      have = 5;
    } else {
      const int keep = std::min(tailLength, 5 - int(n));
      std::memcpy(last, tail + tailLength - keep, keep);
      std::memcpy(last + keep, buffer.data(), n);
      have = keep + int(n);
    }
    std::memcpy(tail, last, have);
    tailLength = have;
    if (have == 5 && std::memcmp(last, "\r\n.\r\n", 5) == 0) return true;
  }
}

TMeasure BarePull(quint16 port, const QList<QByteArray>& ids, int connections) {
  TMeasure m;
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  const double cpu0 = ProcessCpu();
  const double t0 = Now();
  std::vector<std::thread> threads;
  for (int c = 0; c < connections; ++c) {
    threads.emplace_back([&] {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        failed = true;
        close(fd);
        return;
      }
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::vector<char> buffer(256 * 1024);
      if (recv(fd, buffer.data(), buffer.size(), 0) <= 0) failed = true;  // banner
      for (int i; !failed && (i = next.fetch_add(1)) < ids.size();) {
        const QByteArray command = "ARTICLE <" + ids[i] + ">\r\n";
        if (send(fd, command.constData(), size_t(command.size()), 0) != command.size() || !ReadReply(fd, buffer))
          failed = true;
      }
      close(fd);
    });
  }
  for (std::thread& t : threads) t.join();
  m.seconds = Now() - t0;
  m.wallSeconds = m.seconds;
  m.cpuSeconds = ProcessCpu() - cpu0;
  m.ok = !failed;
  return m;
}

// ---------------------------------------------------------------------------
// korvel-cli download

TMeasure Korvel(const QString& cli, const QString& nzb, quint16 port, int connections, const QString& work,
                const TOriginal& file) {
  TMeasure m;
  const QString out = work + u"/korvel-out/"_s;
  QDir(out).removeRecursively();
  QDir().mkpath(out);
  const TChild child = RunChild(cli, {u"download"_s, nzb, u"--dir"_s, out, u"--list"_s, out + u".list/bench.cue"_s,
                                      u"--reimport"_s, u"--quiet"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                                      QString::number(port), u"--connections"_s, QString::number(connections)});
  const QRegularExpressionMatch done = QRegularExpression(u"Done in ([0-9.]+) s"_s).match(Output(child));
  m.ok = child.exitCode == 0 && done.hasMatch() && SameFile(out + file.name, file);
  if (!m.ok) m.note = Output(child).right(400);
  m.seconds = done.hasMatch() ? done.captured(1).toDouble() : 0;
  m.wallSeconds = child.wallSeconds;
  m.cpuSeconds = child.cpuSeconds;
  m.peakMiB = child.peakMiB;
  return m;
}

// ---------------------------------------------------------------------------
// nzbget 21 (Debian): a fresh state directory per run; it has no "download
// this and exit" mode, so a post-processing extension asks it to quit.

TMeasure Nzbget(const QString& nzb, quint16 port, int connections, const QString& work, const TOriginal& file) {
  TMeasure m;
  const QString dir = work + u"/nzbget/"_s;
  QDir(dir).removeRecursively();
  for (const char* sub : {"dst", "inter", "nzb", "queue", "tmp", "scripts"}) QDir().mkpath(dir + QLatin1String(sub));
  const QString conf = dir + u"nzbget.conf"_s;
  const quint16 controlPort = quint16(20000 + (getpid() % 20000));
  QFile script(dir + u"scripts/Quit.sh"_s);
  script.open(QIODevice::WriteOnly);
  script.write("#!/bin/sh\n"
               "#\n"
               "##############################################################################\n"
               "### NZBGET POST-PROCESSING SCRIPT                                          ###\n"
               "# Ends the benchmark's nzbget when its download is done.\n"
               "##############################################################################\n"
               "/usr/bin/nzbget -c \"" + QFile::encodeName(conf) + "\" -Q >/dev/null 2>&1\n"
               "exit 93\n");
  script.close();
  script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QFile config(conf);
  config.open(QIODevice::WriteOnly);
  QByteArray c;
  c += "MainDir=" + QFile::encodeName(dir) + "\n";
  c += "DestDir=${MainDir}/dst\nInterDir=${MainDir}/inter\nNzbDir=${MainDir}/nzb\nQueueDir=${MainDir}/queue\n";
  c += "TempDir=${MainDir}/tmp\nScriptDir=${MainDir}/scripts\nLockFile=${MainDir}/nzbget.lock\n";
  c += "LogFile=${MainDir}/nzbget.log\nWebDir=\nConfigTemplate=\n";
  c += "Server1.Active=yes\nServer1.Name=inn\nServer1.Level=0\nServer1.Host=127.0.0.1\n";
  c += "Server1.Port=" + QByteArray::number(port) + "\nServer1.Username=\nServer1.Password=\n";
  c += "Server1.JoinGroup=no\nServer1.Encryption=no\nServer1.Connections=" + QByteArray::number(connections) + "\n";
  c += "ControlIP=127.0.0.1\nControlPort=" + QByteArray::number(controlPort) + "\n";
  c += "ControlUsername=\nControlPassword=\nRestrictedUsername=\nAddUsername=\nSecureControl=no\n";
  c += "CrcCheck=yes\nParCheck=manual\nParRepair=no\nUnpack=no\nDirectRename=no\nHealthCheck=none\nDupeCheck=no\n";
  c += "ArticleCache=0\nDirectWrite=yes\nWriteBuffer=0\nContinuePartial=no\nFlushQueue=no\n";
  c += "NzbDirInterval=1\nNzbDirFileAge=1\nOutputMode=loggable\nUpdateInterval=25\nWriteLog=none\n";
  c += "DetailTarget=screen\nInfoTarget=screen\nWarningTarget=screen\nErrorTarget=screen\n";
  c += "Extensions=Quit.sh\nPostStrategy=sequential\nCrashTrace=no\nDaemonUsername=" +
       qgetenv("USER").left(64) + "\n";
  config.write(c);
  config.close();
  // Its NZB directory ignores files younger than NzbDirFileAge: date it back.
  const QString queued = dir + u"nzb/bench.nzb"_s;
  QFile::copy(nzb, queued);
  QFile f(queued);
  f.open(QIODevice::ReadWrite);
  f.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime);
  f.close();

  const TChild child = RunChild(u"nzbget"_s, {u"-c"_s, conf, u"-s"_s});
  double added = -1;
  double downloaded = -1;
  for (const auto& line : child.lines) {
    if (added < 0 && line.second.contains("added to queue")) added = line.first;
    if (downloaded < 0 && line.second.contains("completely downloaded")) downloaded = line.first;
  }
  const QString output = dir + u"dst/bench/"_s + file.name;
  m.ok = added >= 0 && downloaded >= added && SameFile(output, file);
  if (!m.ok) m.note = Output(child).right(600);
  m.seconds = downloaded - added;
  m.wallSeconds = child.wallSeconds;
  m.cpuSeconds = child.cpuSeconds;
  m.peakMiB = child.peakMiB;
  return m;
}

TMeasure Best(const QList<TMeasure>& runs) {
  TMeasure best;
  for (const TMeasure& m : runs)
    if (m.ok && (!best.ok || m.seconds < best.seconds)) best = m;
  if (!best.ok && !runs.isEmpty()) best = runs.last();
  return best;
}

void Print(const char* name, const TMeasure& m, double mib) {
  if (!m.ok) {
    std::printf("  %-12s FAILED %s\n", name, qPrintable(m.note));
    return;
  }
  std::printf("  %-12s %7.3f s %8.1f MB/s   process %6.2f s  CPU %6.2f s  peak %7.1f MiB\n", name, m.seconds,
              mib / m.seconds, m.wallSeconds, m.cpuSeconds, m.peakMiB);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  int mib = 200;
  int partKiB = 700;
  int rounds = 3;
  QList<int> counts{1, 4};
  bool nzbget = true;
  bool install = true;
  QString base;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    const QString value = i + 1 < args.size() ? args[i + 1] : QString();
    if (a == u"--mb"_s) mib = value.toInt(), ++i;
    else if (a == u"--part-kb"_s) partKiB = value.toInt(), ++i;
    else if (a == u"--rounds"_s) rounds = std::max(1, value.toInt()), ++i;
    else if (a == u"--dir"_s) base = value, ++i;
    else if (a == u"--no-nzbget"_s) nzbget = false;
    else if (a == u"--no-install"_s) install = false;
    else if (a == u"--connections"_s) {
      counts.clear();
      for (const QString& n : value.split(u','))
        if (n.toInt() > 0) counts.append(n.toInt());
      ++i;
    } else {
      std::fprintf(stderr, "usage: bench_download [--mb N] [--part-kb N] [--connections 1,4] [--rounds N] "
                           "[--dir DIR] [--no-nzbget] [--no-install]\n");
      return 2;
    }
  }
  if (mib <= 0 || partKiB <= 0) return 2;

  if (nzbget && QStandardPaths::findExecutable(u"nzbget"_s).isEmpty()) {
    if (install && geteuid() == 0) {
      std::printf("Installing nzbget (Debian package)...\n");
      QProcess apt;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(u"DEBIAN_FRONTEND"_s, u"noninteractive"_s);
      apt.setProcessEnvironment(env);
      apt.start(u"apt-get"_s, {u"install"_s, u"-y"_s, u"--no-install-recommends"_s, u"nzbget"_s});
      apt.waitForFinished(600000);
    }
    if (QStandardPaths::findExecutable(u"nzbget"_s).isEmpty()) {
      std::printf("nzbget is not installed: its column is skipped\n");
      nzbget = false;
    }
  }

  QTemporaryDir temp(base.isEmpty() ? QDir::tempPath() + u"/korvel-bench-XXXXXX"_s : base + u"/korvel-bench-XXXXXX"_s);
  const QString work = temp.path();
  const QString state = work + u"/inn.ini"_s;
  const QString script = QStringLiteral(KORVEL_SOURCE_DIR) + u"/tests/servers/inn-server.sh"_s;
  const QByteArray group = "alt.binaries.korvel.bench";
  {
    QProcess start;
    start.setProcessChannelMode(QProcess::MergedChannels);
    start.start(script, {u"start"_s, state, QString::fromLatin1(group)});
    if (!start.waitForFinished(600000) || start.exitCode() != 0) {
      std::fprintf(stderr, "INN did not start: %s\n", start.readAll().constData());
      return 1;
    }
  }
  qputenv("KORVEL_INN_STATE", state.toLocal8Bit());
  const auto stopInn = [&] {
    QProcess stop;
    stop.start(script, {u"stop"_s, state});
    stop.waitForFinished(60000);
  };
  const quint16 port = TInnServer::Port();

  std::printf("Posting %d MiB in %d KiB yEnc parts...\n", mib, partKiB);
  std::fflush(stdout);
  const QString nzb = work + u"/bench.nzb"_s;
  TOriginal file;
  qint64 articleBytes = 0;
  qsizetype articles = 0;
  {
    TPostedFile posted = MakeYencPost(u"bench.bin"_s, RandomBytes(qsizetype(mib) * 1024 * 1024, 2024), group,
                                      qsizetype(partKiB) * 1024);
    for (qsizetype i = 0; i < posted.articles.size(); i += 32) {
      QString error;
      if (!TInnServer::Feed(posted.articles.mid(i, 32), &error)) {
        std::fprintf(stderr, "posting failed: %s\n", qPrintable(error));
        stopInn();
        return 1;
      }
    }
    QFile f(nzb);
    f.open(QIODevice::WriteOnly);
    f.write(MakeNzb({posted}, group));
    file.name = posted.name;
    file.size = posted.data.size();
    file.crc = Crc32(posted.data);
    file.messageIds = posted.messageIds;
    for (const QByteArray& a : posted.articles) articleBytes += a.size();
    articles = posted.articles.size();
  }
  std::printf("%lld articles, %.1f MiB on the wire; INN on 127.0.0.1:%u\n\n", (long long)articles,
              double(articleBytes) / 1048576.0, port);

  const QString cli = QCoreApplication::applicationDirPath() + u"/korvel-cli"_s;
  // A first pass warms INN's spool in the page cache for everybody.
  BarePull(port, file.messageIds, 1);

  for (int n : counts) {
    QList<TMeasure> bare, korvel, peer;
    for (int r = 0; r < rounds; ++r) {
      bare.append(BarePull(port, file.messageIds, n));
      korvel.append(Korvel(cli, nzb, port, n, work, file));
      if (nzbget) peer.append(Nzbget(nzb, port, n, work, file));
    }
    const TMeasure b = Best(bare), k = Best(korvel), p = Best(peer);
    std::printf("%d connection%s (best of %d; %d MiB file):\n", n, n == 1 ? "" : "s", rounds, mib);
    Print("korvel-cli", k, mib);
    if (nzbget) Print("nzbget", p, mib);
    Print("bare pull", b, mib);
    if (k.ok && b.ok) std::printf("  korvel / bare pull time: %.2fx\n", k.seconds / b.seconds);
    if (k.ok && nzbget && p.ok)
      std::printf("  korvel / nzbget time: %.2fx, CPU: %.2fx\n", k.seconds / p.seconds, k.cpuSeconds / p.cpuSeconds);
    std::printf("\n");
    std::fflush(stdout);
  }
  stopInn();
  return 0;
}
