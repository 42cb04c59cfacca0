// Headers jobs against a private INN: a group of realistic articles fetched
// by a headers job (job manager, download thread, part files, merge) over
// one and over four connections, next to a bare socket that pulls the same
// XOVER range and throws it away, in the same run.
//
//   bench_headers_download [--headers N] [--rounds N] [--dir D]
//
// It starts its own INN (tests/servers/inn-server.sh), feeds N articles made
// by the header generator (binary post sets and text threads), then per
// round: the bare pull (connect, GROUP, XOVER 1-N, read in 256 KiB pieces
// until the terminating line), the job with one connection and the job with
// four, each timed from its start to its end (the job until the manager
// hands it over, merge included); for scale also the bare pull of the job's
// four ranges on four sockets at once. Each figure is the best of the rounds;
// CPU seconds are this process's (the job's thread or the bare loop).
#include "HeaderGenerator.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/GroupRange.h"
#include "headers/HeadersDownloadThread.h"
#include "headers/HeadersJobManager.h"
#include "nntp/NewsServerEntry.h"
#include "support/InnServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct TRun {
  double seconds = 0;
  double cpuSeconds = 0;
  quint64 bytes = 0;
  std::int64_t headers = 0;
  bool ok = false;
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool Seed(const QByteArray& group, int count) {
  THeaderGeneratorOptions options;
  options.seed = 20240501;
  options.textShare = 0.05;
  THeaderGenerator generator(options);
  const QByteArray token = TInnServer::UniqueMessageId().replace('@', '.') + '.';
  // A server takes a message-id once; the generator repeats some.
  QSet<QByteArray> ids;
  QList<QByteArray> batch;
  for (int i = 0; i < count;) {
    const TLoadedHeader& h = generator.Next();
    if (ids.contains(h.messageId.toByteArray())) continue;
    ids.insert(h.messageId.toByteArray());
    ++i;
    const QDateTime date = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)
                               .addSecs(std::llround(h.date * 86400.0));
    QByteArray references = h.references.toByteArray();
    references.replace("<", "<" + token);
    QByteArray article = "Path: feeder.korvel.invalid!not-for-mail\r\nFrom: " + h.sender.toByteArray() +
                         "\r\nNewsgroups: " + group + "\r\nSubject: " + QByteArray::fromStdString(generator.PostedSubject()) +
                         "\r\nDate: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\nMessage-ID: <" + token +
                         h.messageId.toByteArray() + ">\r\n";
    if (!references.isEmpty()) article += "References: " + references + "\r\n";
    article += "\r\nbody\r\n";
    batch << article;
    if (batch.size() == 5000 || i == count) {
      QString error;
      if (!TInnServer::Feed(batch, &error)) {
        std::fprintf(stderr, "loading failed: %s\n", qPrintable(error));
        return false;
      }
      batch.clear();
    }
  }
  return true;
}

// Connect, GROUP, XOVER first-last, read until "\r\n.\r\n"; nothing parsed.
// The bytes read, or -1.
qint64 PullRange(const QByteArray& group, std::int64_t first, std::int64_t last) {
  QByteArray buffer(256 * 1024, Qt::Uninitialized);
  qint64 bytes = 0;
  QTcpSocket socket;
  socket.connectToHost(TInnServer::Host(), TInnServer::Port());
  if (!socket.waitForConnected(10000)) return -1;
  const auto readLine = [&socket] {
    while (!socket.canReadLine())
      if (!socket.waitForReadyRead(10000)) return QByteArray();
    return socket.readLine();
  };
  readLine();  // banner
  socket.write("GROUP " + group + "\r\n");
  if (!readLine().startsWith("211")) return -1;
  socket.write("XOVER " + QByteArray::number(first) + '-' + QByteArray::number(last) + "\r\n");
  char tail[5] = {};
  int tailSize = 0;
  for (;;) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(10000)) return -1;
    const qint64 n = socket.read(buffer.data(), buffer.size());
    if (n <= 0) continue;
    bytes += n;
    for (qint64 i = std::max<qint64>(0, n - 5); i < n; ++i) {
      if (tailSize == 5) std::memmove(tail, tail + 1, 4), --tailSize;
      tail[tailSize++] = buffer[i];
    }
    if (tailSize == 5 && std::memcmp(tail, "\r\n.\r\n", 5) == 0) break;
  }
  return bytes;
}

// The bare pull of articles 1..count, split as the job splits it, each
// range on a socket and thread of its own.
TRun BarePull(const QByteArray& group, int count, int connections) {
  TRun run;
  const std::vector<TGroupRange> ranges = SplitIntoRanges({1, count}, connections, 250);
  std::vector<qint64> bytes(ranges.size(), -1);
  const double cpu = ProcessCpuSeconds();
  QElapsedTimer timer;
  timer.start();
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < ranges.size(); ++i)
    threads.emplace_back([&, i] { bytes[i] = PullRange(group, ranges[i].first, ranges[i].last); });
  for (std::thread& t : threads) t.join();
  run.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  run.cpuSeconds = ProcessCpuSeconds() - cpu;
  run.ok = std::none_of(bytes.cbegin(), bytes.cend(), [](qint64 b) { return b < 0; });
  for (qint64 b : bytes) run.bytes += static_cast<quint64>(std::max<qint64>(b, 0));
  run.headers = count;
  return run;
}

TRun Job(const QByteArray& group, int connections, const QString& dir) {
  TRun run;
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  THeadersJobManager manager;
  manager.SetWorkingDirectory(dir);
  manager.SetSettingsDirectory(dir);
  TNewsServerEntry server = TNewsServerEntry::Init();
  server.name = "inn";
  server.host = TInnServer::Host().toUtf8();
  server.port = TInnServer::Port();
  TJobInfo info;
  info.type = JOB_TYPE_DOWNLOAD_HEADERS;
  info.name = QString::fromUtf8(group);
  info.serverName = u"inn"_s;
  info.connectionCount = connections;
  info.newsgroups = {{QString::fromUtf8(group), MakeOperationString(JOB_OPERATION_GET_HEADERS_ALL),
                      DOWNLOAD_RESULT_NONE}};
  TJobEntry* job = manager.CreateNewJob(info);
  if (!job || manager.PrepareJob(job, server) != RC_SUCCESS) return run;
  // An event loop that sleeps until the job ends: a polling one would take
  // a core from the server and count its own time as the job's.
  QEventLoop loop;
  QObject::connect(&manager, &THeadersJobManager::JobComplete, &loop, [&](TJobEntry* j, int* reply) {
    run.ok = j->Status() == JOB_STATUS_COMPLETED;
    run.headers = j->HeadersDownloaded();
    *reply = 1;
    loop.quit();
  });
  const double cpu = ProcessCpuSeconds();
  QElapsedTimer timer;
  timer.start();
  if (manager.StartJob(job) != RC_SUCCESS) return run;
  loop.exec();
  run.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  run.cpuSeconds = ProcessCpuSeconds() - cpu;
  return run;
}

TRun Best(const TRun& a, const TRun& b) {
  if (!b.ok) return a;
  return !a.ok || b.seconds < a.seconds ? b : a;
}

void Report(const char* what, const TRun& r, quint64 bytes, const TRun* bare) {
  std::printf("  %-22s %7.3f s %11.0f headers/s %7.1f MB/s  CPU %6.3f s", what, r.seconds,
              static_cast<double>(r.headers) / r.seconds, static_cast<double>(bytes) / 1e6 / r.seconds, r.cpuSeconds);
  if (bare) std::printf("  job / bare pull %.2f", r.seconds / bare->seconds);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int headers = 200000, rounds = 3;
  QString workDir;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == u"--headers"_s)
      headers = args[i + 1].toInt();
    else if (args[i] == u"--rounds"_s)
      rounds = args[i + 1].toInt();
    else if (args[i] == u"--dir"_s)
      workDir = args[i + 1];
  }
  if (headers < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_headers_download [--headers N] [--rounds N] [--dir D]\n");
    return 2;
  }

  QTemporaryDir temp;
  if (workDir.isEmpty()) workDir = temp.path();
  const QString state = temp.filePath(u"inn.ini"_s);
  const QString script = QStringLiteral(KORVEL_SOURCE_DIR "/tests/servers/inn-server.sh");
  const QByteArray group = "korvel.bench.headers";
  if (QProcess::execute(script, {u"start"_s, state, QString::fromLatin1(group)}) != 0) {
    std::fprintf(stderr, "could not start INN\n");
    return 1;
  }
  qputenv("KORVEL_INN_STATE", state.toLocal8Bit());
  int status = 0;
  {
    std::printf("loading %d articles...\n", headers);
    std::fflush(stdout);
    QElapsedTimer loading;
    loading.start();
    if (!Seed(group, headers)) {
      status = 1;
    } else {
      std::printf("loaded in %.1f s\n\n", static_cast<double>(loading.elapsed()) / 1000.0);
      BarePull(group, headers, 1);  // warms the server's overview and reader
      TRun bare, bareFour, one, four;
      for (int round = 0; round < rounds; ++round) {
        bare = Best(bare, BarePull(group, headers, 1));
        bareFour = Best(bareFour, BarePull(group, headers, 4));
        one = Best(one, Job(group, 1, workDir + u"/one"_s));
        four = Best(four, Job(group, 4, workDir + u"/four"_s));
      }
      if (!bare.ok || !bareFour.ok || !one.ok || !four.ok || one.headers != headers || four.headers != headers) {
        std::fprintf(stderr, "a run failed (headers %lld / %lld)\n", static_cast<long long>(one.headers),
                     static_cast<long long>(four.headers));
        status = 1;
      } else {
        std::printf("XOVER 1-%d: %.1f MB, best of %d rounds\n", headers, static_cast<double>(bare.bytes) / 1e6, rounds);
        Report("bare pull", bare, bare.bytes, nullptr);
        Report("job, 1 connection", one, bare.bytes, &bare);
        Report("job, 4 connections", four, bare.bytes, &bare);
        // How fast the server gives the same four ranges at once, for scale.
        Report("bare pull, 4 sockets", bareFour, bare.bytes, nullptr);
        std::printf("  job, 4 connections / bare pull, 4 sockets: %.2f\n", four.seconds / bareFour.seconds);
        std::printf("goals: job / bare at most 1.2 with one connection, at most 1.0 with four\n");
      }
    }
  }
  std::fflush(stdout);
  QProcess::execute(script, {u"stop"_s, state});
  return status;
}
