// Throughput of the NNTP client against a private INN over one connection,
// next to a bare socket loop that reads the same replies without parsing.
//
//   bench_nntp_pull [--mb N] [--part-kb N] [--overview N] [--rounds N]
//
// It starts its own INN (tests/servers/inn-server.sh), loads a binary group of
// N MB in parts of part-kb KiB and a text group of `overview` articles, then
// pulls every part by ARTICLE and the whole overview by one XOVER, with the
// client (each article into a stream, as the download manager does) and with
// the bare loop (QTcpSocket, 256 KiB reads, only the reply's last bytes
// looked at to know when it ended). Each figure is the best of the rounds.
// For ARTICLE a third line shows the bare loop that also copies each reply
// into a stream, which is what the client's extra work mostly is.
#include "nntp/MyNntpCli.h"
#include "support/InnServer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

struct TRun {
  double seconds = 0;
  double cpuSeconds = 0;  // of this process, client or bare loop alike
  quint64 bytes = 0;
  qint64 lines = 0;
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// A yEnc-like body: 128-character lines of printable bytes, a few of them
// starting with a dot, so the client has dot-unstuffing to do.
QByteArray MakeBinaryBody(qsizetype bytes) {
  QRandomGenerator random(20080205);
  QByteArray body;
  body.reserve(bytes + 256);
  body += "=ybegin part=1 line=128 size=" + QByteArray::number(bytes) + " name=bench.bin\r\n";
  while (body.size() < bytes) {
    char line[128];
    for (char& c : line) c = static_cast<char>(33 + random.bounded(94));
    if (random.bounded(64) == 0) line[0] = '.';
    body.append(line, sizeof line);
    body += "\r\n";
  }
  body += "=yend size=" + QByteArray::number(bytes) + "\r\n";
  return body;
}

bool Load(const QByteArray& group, int count, const std::function<QByteArray(int)>& body,
          const QByteArray& subjectPrefix) {
  QList<QByteArray> batch;
  for (int i = 1; i <= count; ++i) {
    batch.append(TInnServer::MakeArticle(
        group, subjectPrefix + " (" + QByteArray::number(i) + "/" + QByteArray::number(count) + ")", body(i),
        TInnServer::UniqueMessageId()));
    if (batch.size() == 5000 || i == count) {
      QString error;
      if (!TInnServer::Feed(batch, &error)) {
        std::fprintf(stderr, "loading %s failed: %s\n", group.constData(), qPrintable(error));
        return false;
      }
      batch.clear();
    }
  }
  return true;
}

// Runs the event loop until done() says so.
void RunUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The client, connected and in the group before anything is timed.
class TClientLoop {
 public:
  explicit TClientLoop(const QByteArray& group) {
    fClient.SetHost(TInnServer::Host());
    fClient.SetPort(QString::number(TInnServer::Port()));
    QObject::connect(&fClient, &TNntpCli::OnRequestDone, &fClient,
                     [this](TNntpCli*, TNntpRequest kind, quint16 code) { Done(kind, code); });
    fStream.open(QIODevice::WriteOnly);
    fClient.Connect();
    RunUntil([this] { return fDone || fFailed; });
    fDone = false;
    fClient.Group(group);
    RunUntil([this] { return fDone || fFailed; });
  }

  // ARTICLE first..last, each into the stream (rewound per article).
  TRun Articles(int first, int last) {
    fNext = first;
    fLast = last;
    return Measure([this] { Step(); });
  }

  // One XOVER, each line to a handler as the headers download takes them.
  TRun Overview(int count) {
    fLines = 0;
    fSum = 0;
    QMetaObject::Connection lines = QObject::connect(&fClient, &TNntpCli::OnMessageLine, &fClient, [this](TNntpCli* c) {
      ++fLines;
      fSum += static_cast<quint64>(c->Line().size());
    });
    fNext = fLast = 0;
    TRun run = Measure([this, count] { fClient.XOver("1-" + QByteArray::number(count), nullptr); });
    QObject::disconnect(lines);
    run.lines = fSum > 0 ? fLines : 0;
    return run;
  }

  bool Failed() const { return fFailed; }

 private:
  TRun Measure(const std::function<void()>& start) {
    fDone = false;
    const quint64 bytes = fClient.BytesReceived();
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    start();
    RunUntil([this] { return fDone || fFailed; });
    TRun run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = ProcessCpuSeconds() - cpu;
    run.bytes = fClient.BytesReceived() - bytes;
    return fFailed ? TRun{} : run;
  }

  void Step() {
    if (fNext > fLast) {
      fDone = true;
      return;
    }
    fStream.seek(0);
    fClient.ArticleByNumber(fNext++, &fStream);
  }

  void Done(TNntpRequest kind, quint16 code) {
    if (code != 0) {
      std::fprintf(stderr, "client: %s failed with %d\n", NntpRequestName(kind), code);
      fFailed = true;
    } else if (kind == nntpArticleByNumber) {
      Step();
    } else {
      fDone = true;
    }
  }

  TMyNntpCli fClient;
  QBuffer fStream;
  int fNext = 0, fLast = 0;
  bool fDone = false, fFailed = false;
  qint64 fLines = 0;
  quint64 fSum = 0;
};

// The bare loop: commands go out one after the other; a reply has ended when
// the bytes read so far end with CR LF "." CR LF. Nothing else is looked at.
class TBareLoop {
 public:
  explicit TBareLoop(const QByteArray& group) {
    fSocket.connectToHost(TInnServer::Host(), TInnServer::Port());
    fSocket.waitForConnected(10000);
    fSocket.waitForReadyRead(10000);
    fSocket.readAll();  // banner
    fSocket.write("GROUP " + group + "\r\n");
    fSocket.waitForBytesWritten(10000);
    while (!fSocket.canReadLine()) fSocket.waitForReadyRead(10000);
    fSocket.readAll();
    fBuffer.resize(256 * 1024);
    QObject::connect(&fSocket, &QIODevice::readyRead, [this] { Read(); });
  }

  // With store, every reply is also copied into a stream, as the client does
  // with articles: the difference to the plain run is the cost of that copy.
  TRun Run(const QList<QByteArray>& commands, bool store = false) {
    fStore = store;
    fSink.close();
    fSink.open(QIODevice::WriteOnly);
    fCommands = commands;
    fNext = 0;
    fBytes = 0;
    fTail.clear();
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    SendNext();
    RunUntil([this] { return fNext > fCommands.size(); });
    TRun run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = ProcessCpuSeconds() - cpu;
    run.bytes = fBytes;
    return run;
  }

 private:
  void SendNext() {
    fSink.seek(0);
    if (fNext < fCommands.size()) {
      fSocket.write(fCommands[fNext]);
      fSocket.flush();
    }
    ++fNext;
  }

  void Read() {
    for (;;) {
      const qint64 n = fSocket.read(fBuffer.data(), fBuffer.size());
      if (n <= 0) return;
      fBytes += static_cast<quint64>(n);
      if (fStore) fSink.write(fBuffer.constData(), n);
      // Keep the last five bytes received, across reads.
      if (n >= 5) {
        fTail = QByteArray(fBuffer.constData() + n - 5, 5);
      } else {
        fTail.append(fBuffer.constData(), n);
        fTail = fTail.right(5);
      }
      if (fTail == "\r\n.\r\n") {
        fTail.clear();
        SendNext();
      }
    }
  }

  QTcpSocket fSocket;
  QBuffer fSink;
  bool fStore = false;
  QByteArray fBuffer;
  QByteArray fTail;
  QList<QByteArray> fCommands;
  qsizetype fNext = 0;
  quint64 fBytes = 0;
};

void Report(const char* what, const TRun& client, const TRun& bare, qint64 lines, const TRun* stored = nullptr) {
  const double mb = 1e6;
  std::printf("%s: %.1f MB, %lld lines\n", what, client.bytes / mb, static_cast<long long>(lines));
  std::printf("  client      %7.3f s  %8.1f MB/s  %11.0f lines/s  (CPU %.3f s)\n", client.seconds,
              client.bytes / mb / client.seconds, lines / client.seconds, client.cpuSeconds);
  std::printf("  bare loop   %7.3f s  %8.1f MB/s  %11.0f lines/s  (CPU %.3f s)\n", bare.seconds,
              bare.bytes / mb / bare.seconds, lines / bare.seconds, bare.cpuSeconds);
  if (stored)
    std::printf("  bare + copy %7.3f s  %8.1f MB/s  %11.0f lines/s  (CPU %.3f s)\n", stored->seconds,
                stored->bytes / mb / stored->seconds, lines / stored->seconds, stored->cpuSeconds);
  std::printf("  ratio       %7.1f %% of the bare loop\n", 100.0 * bare.seconds / client.seconds);
}

TRun Best(const TRun& a, const TRun& b) { return a.seconds == 0 || (b.seconds > 0 && b.seconds < a.seconds) ? b : a; }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int megabytes = 200, partKb = 700, overview = 200000, rounds = 3;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    const int value = args[i + 1].toInt();
    if (args[i] == u"--mb"_s)
      megabytes = value;
    else if (args[i] == u"--part-kb"_s)
      partKb = value;
    else if (args[i] == u"--overview"_s)
      overview = value;
    else if (args[i] == u"--rounds"_s)
      rounds = value;
  }
  if (megabytes < 1 || partKb < 1 || overview < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_nntp_pull [--mb N] [--part-kb N] [--overview N] [--rounds N]\n");
    return 2;
  }

  // A private INN for this run.
  QTemporaryDir dir;
  const QString state = dir.filePath(u"inn.ini"_s);
  const QString script = QStringLiteral(KORVEL_SOURCE_DIR "/tests/servers/inn-server.sh");
  if (QProcess::execute(script, {u"start"_s, state, u"korvel.bench.binaries"_s, u"korvel.bench.text"_s}) != 0) {
    std::fprintf(stderr, "could not start INN\n");
    return 1;
  }
  qputenv("KORVEL_INN_STATE", state.toLocal8Bit());
  int status = 0;
  {
    const int parts = std::max(1, megabytes * 1024 / partKb);
    std::printf("loading %d parts of %d KiB and %d overview articles...\n", parts, partKb, overview);
    std::fflush(stdout);
    QElapsedTimer loading;
    loading.start();
    const QByteArray binary = MakeBinaryBody(qsizetype(partKb) * 1024);
    const bool loaded =
        Load(
            "korvel.bench.binaries", parts, [&](int) { return binary; }, "bench.bin yEnc") &&
        Load(
            "korvel.bench.text", overview, [](int i) { return "text article " + QByteArray::number(i) + "\r\n"; },
            "Re: a text article");
    std::printf("loaded in %.1f s\n\n", loading.elapsed() / 1000.0);
    if (!loaded) {
      status = 1;
    } else {
      QList<QByteArray> articleCommands;
      for (int i = 1; i <= parts; ++i) articleCommands.append("ARTICLE " + QByteArray::number(i) + "\r\n");
      const QList<QByteArray> overviewCommand{"XOVER 1-" + QByteArray::number(overview) + "\r\n"};
      // Each side keeps one connection per group; the first pass of each
      // warms the caches (and the server's reader process), then the rounds.
      TClientLoop clientBinary("korvel.bench.binaries");
      TClientLoop clientText("korvel.bench.text");
      TBareLoop bareBinary("korvel.bench.binaries");
      TBareLoop bareText("korvel.bench.text");
      clientBinary.Articles(1, parts);
      bareBinary.Run(articleCommands);
      clientText.Overview(overview);
      bareText.Run(overviewCommand);
      TRun clientA, bareA, storedA, clientX, bareX;
      for (int round = 0; round < rounds; ++round) {
        clientA = Best(clientA, clientBinary.Articles(1, parts));
        bareA = Best(bareA, bareBinary.Run(articleCommands));
        storedA = Best(storedA, bareBinary.Run(articleCommands, true));
        clientX = Best(clientX, clientText.Overview(overview));
        bareX = Best(bareX, bareText.Run(overviewCommand));
      }
      const qint64 articleLines = qint64(parts) * (MakeBinaryBody(qsizetype(partKb) * 1024).count('\n') + 11);
      if (clientA.seconds <= 0 || clientX.seconds <= 0 || clientX.lines != overview) {
        std::fprintf(stderr, "a client run failed\n");
        status = 1;
      } else {
        Report("ARTICLE, one connection", clientA, bareA, articleLines, &storedA);
        Report("XOVER, one command", clientX, bareX, clientX.lines);
      }
    }
  }
  std::fflush(stdout);
  QProcess::execute(script, {u"stop"_s, state});
  return status;
}
