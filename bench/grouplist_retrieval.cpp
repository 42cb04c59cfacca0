// Retrieval of a full newsgroup list, next to a bare pull of the same LIST
// reply, and what the program then does with such a list.
//
//   bench_grouplist_retrieval [--groups N] [--rounds N] [--dir D] [--no-inn]
//
// The same N generated groups (INN's "name high low flag" form) are served
//   1. by a private INN (tests/servers/inn-server.sh; root or sudo), the
//      groups written into its active file: what a real server costs;
//   2. by the scripted server (korvel_fakenntp) on a thread of its own, which
//      sends the reply from memory: the client's own cost laid bare.
// For each:
//   bare pull:  QTcpSocket, banner, "LIST", 256 KiB reads until the final
//               ".", nothing parsed or stored;
//   retrieval:  TGroupListDownload (the "Newsgroups List" wizard's engine):
//               the client splits the reply, every line is parsed and stored
//               in "List.gnam"/".gdat", both files are flushed to disk and
//               renamed over the main list "Groups".
// Each figure is the best of the rounds. Then, on the list written: loading
// it (TGroupList::Load, as the background loader does), sorting it with
// duplicates removed (TGroupList::Sort, through temporary files), and one
// search of every name for a word (TGroupList::IndexOfNoCase). Last, what
// the window's thread does with it (offscreen): the list handed to the
// browser's table and its first screen painted, and the search box's filter
// applied and cleared, each with the repaint.
#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListDownload.h"
#include "newsgroups/ui/GroupListModel.h"
#include "servers/FakeNntpServer.h"
#include "support/InnServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableView>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Names built from the words real hierarchies use, numbers zero-padded as INN writes them.
QByteArray MakeActive(int groups) {
  static const char* const top[] = {"alt", "comp", "rec", "sci", "soc", "news", "misc", "talk", "de", "fr", "nl", "uk"};
  static const char* const words[] = {"binaries", "music",    "lang",        "games",      "sport",
                                      "culture",  "politics", "test",        "answers",    "pictures",
                                      "sounds",   "linux",    "programming", "misc",       "movies",
                                      "tv",       "software", "hardware",    "discussion", "boneless"};
  QRandomGenerator random(1003);
  QByteArray out;
  out.reserve(qsizetype(groups) * 48);
  for (int i = 0; i < groups; ++i) {
    QByteArray name = top[random.bounded(int(std::size(top)))];
    const int depth = 1 + random.bounded(4);
    for (int d = 0; d < depth; ++d) {
      name += '.';
      name += words[random.bounded(int(std::size(words)))];
    }
    name += '.' + QByteArray::number(i);
    const quint32 low = random.bounded(1000000u), high = low + random.bounded(5000000u);
    out += name + ' ' + QByteArray::number(high).rightJustified(10, '0') + ' ' +
           QByteArray::number(low).rightJustified(10, '0') + " y\r\n";
  }
  return out;
}

bool ReadLine(QTcpSocket& socket, QByteArray& line) {
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(10000)) return false;
  line = socket.readLine();
  return true;
}

// Seconds from connecting to the reply's final "."; 0 on failure.
double BarePull(quint16 port, qint64& bytes) {
  QElapsedTimer clock;
  clock.start();
  QTcpSocket socket;
  socket.connectToHost(u"127.0.0.1"_s, port);
  if (!socket.waitForConnected(10000)) return 0;
  QByteArray line;
  if (!ReadLine(socket, line)) return 0;
  socket.write("LIST\r\n");
  socket.flush();
  static char buffer[256 * 1024];
  char tail[5] = {};
  bytes = 0;
  for (;;) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(10000)) return 0;
    const qint64 n = socket.read(buffer, sizeof buffer);
    if (n <= 0) continue;
    bytes += n;
    // Only the last five bytes tell whether the reply has ended.
    if (n >= 5) {
      std::memcpy(tail, buffer + n - 5, 5);
    } else {
      std::memmove(tail, tail + n, 5 - n);
      std::memcpy(tail + 5 - n, buffer, n);
    }
    if (std::memcmp(tail, "\r\n.\r\n", 5) == 0) break;
  }
  const double seconds = clock.nsecsElapsed() / 1e9;
  socket.write("QUIT\r\n");
  socket.waitForBytesWritten(1000);
  return seconds;
}

double Retrieve(quint16 port, const QString& dir, qint64& groups) {
  TNewsServerEntry server = TNewsServerEntry::Init();
  server.name = "bench";
  server.host = "127.0.0.1";
  server.port = port;
  QElapsedTimer clock;
  clock.start();
  TGroupListDownload download(TGroupListDownload::MODE_FULL_LIST, server, dir);
  QEventLoop loop;
  int result = TGroupListDownload::RESULT_NONE;
  QObject::connect(&download, &TGroupListDownload::Finished, &loop, [&](int r, qint64 count, int) {
    result = r;
    groups = count;
    loop.quit();
  });
  download.Start();
  loop.exec();
  const double seconds = clock.nsecsElapsed() / 1e9;
  return result == TGroupListDownload::RESULT_SUCCESS ? seconds : 0;
}

double Best(const QList<double>& runs) {
  double best = 0;
  for (double r : runs)
    if (r > 0 && (best == 0 || r < best)) best = r;
  return best;
}

// Bare pulls and retrievals in turn; false when a run failed or stored too few groups.
bool Measure(const char* what, quint16 port, const QString& dir, int groups, int rounds) {
  QList<double> bare, ours;
  qint64 bytes = 0, stored = 0;
  for (int r = 0; r < rounds; ++r) {
    bare.append(BarePull(port, bytes));
    ours.append(Retrieve(port, dir, stored));
  }
  const double b = Best(bare), o = Best(ours);
  // A real server adds its own groups to the list.
  if (b == 0 || o == 0 || stored < groups) {
    std::fprintf(stderr, "%s: a run failed (bare %.3f s, retrieval %.3f s, %lld groups stored)\n", what, b, o,
                 static_cast<long long>(stored));
    return false;
  }
  std::printf("%s: LIST of %lld groups, %.1f MB\n", what, static_cast<long long>(stored), bytes / 1e6);
  std::printf("  bare pull:  %8.1f ms  %7.0f MB/s  %9.0f groups/s\n", b * 1e3, bytes / b / 1e6, stored / b);
  std::printf("  retrieval:  %8.1f ms  %7.0f MB/s  %9.0f groups/s  (parse, write, flush to disk, rename)\n", o * 1e3,
              bytes / o / 1e6, stored / o);
  std::printf("  ratio retrieval / bare: %.2f\n", o / b);
  return true;
}

// Starts a private INN and appends the groups to its active file while the
// server is paused. Its readers answer LIST from that file; the server itself
// never learns of the groups, which is all a LIST needs (creating them one by
// one would take over an hour, and reloading the file takes INN minutes).
// Returns the script, or empty on failure.
QString StartInn(const QString& state, const QByteArray& active) {
  const QString script = QStringLiteral(KORVEL_SOURCE_DIR "/tests/servers/inn-server.sh");
  if (QProcess::execute(script, {u"start"_s, state}) != 0) return {};
  qputenv("KORVEL_INN_STATE", state.toLocal8Bit());
  QString innDir;
  QFile stateFile(state);
  if (stateFile.open(QIODevice::ReadOnly))
    for (const QByteArray& line : stateFile.readAll().split('\n'))
      if (line.startsWith("dir=")) innDir = QString::fromLocal8Bit(line.mid(4));
  QFile activeFile(innDir + u"/db/active"_s);
  QByteArray lines = active;
  lines.replace("\r\n", "\n");
  const bool ok = !innDir.isEmpty() && QProcess::execute(script, {u"ctlinnd"_s, state, u"pause"_s, u"bench"_s}) == 0 &&
                  activeFile.open(QIODevice::Append) && activeFile.write(lines) == lines.size() && activeFile.flush() &&
                  QProcess::execute(script, {u"ctlinnd"_s, state, u"go"_s, u"bench"_s}) == 0;
  activeFile.close();
  if (!ok) {
    std::fprintf(stderr, "INN: could not add the groups to %s (root needed to write it)\n",
                 qPrintable(activeFile.fileName()));
    QProcess::execute(script, {u"stop"_s, state});
    return {};
  }
  return script;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int groups = 100000, rounds = 5;
  QString base;
  const QStringList args = app.arguments();
  bool withInn = true;
  for (int i = 1; i < args.size(); ++i) {
    const QString value = i + 1 < args.size() ? args[i + 1] : QString();
    if (args[i] == u"--no-inn"_s) {
      withInn = false;
    } else if (args[i] == u"--groups"_s) {
      groups = value.toInt();
      ++i;
    } else if (args[i] == u"--rounds"_s) {
      rounds = value.toInt();
      ++i;
    } else if (args[i] == u"--dir"_s) {
      base = value;
      ++i;
    } else {
      groups = 0;
    }
  }
  if (groups < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_grouplist_retrieval [--groups N] [--rounds N] [--dir D] [--no-inn]\n");
    return 2;
  }
  QTemporaryDir temp(base.isEmpty() ? QDir::tempPath() + u"/korvel-bench-XXXXXX"_s : base + u"/korvel-bench-XXXXXX"_s);
  if (!temp.isValid()) {
    std::fprintf(stderr, "cannot create a temporary directory\n");
    return 1;
  }
  const QString dir = temp.path() + u'/';

  const QByteArray active = MakeActive(groups);
  std::printf("%d generated groups; best of %d rounds; files in %s\n", groups, rounds, qPrintable(dir));
  std::fflush(stdout);
  bool ok = true;
  if (withInn) {
    QTemporaryDir innState;
    const QString state = innState.filePath(u"inn.ini"_s);
    const QString script = StartInn(state, active);
    if (script.isEmpty()) {
      std::fprintf(stderr, "INN: not measured\n");
      ok = false;
    } else {
      ok = Measure("private INN", TInnServer::Port(), dir, groups, rounds);
      std::printf("  goal against a real server: at most 1.30\n");
      QProcess::execute(script, {u"stop"_s, state});
    }
  }

  TFakeNntpServer server;
  server.On("LIST").Send("215 Newsgroups in form \"group high low flags\".\r\n" + active + ".\r\n");
  if (!server.Start()) {
    std::fprintf(stderr, "cannot start the scripted server\n");
    return 1;
  }
  if (!Measure("scripted server (reply from memory)", server.Port(), dir, groups, rounds)) return 1;

  const QString main = dir + u"Groups.gnam"_s;
  QList<double> load, sort, search;
  qsizetype hits = 0;
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer clock;
    clock.start();
    TGroupList list;
    if (!list.Load(main)) return 1;
    load.append(clock.nsecsElapsed() / 1e9);
    clock.start();
    hits = 0;
    for (qsizetype i = 0; i < list.Count(); ++i)
      if (TGroupList::IndexOfNoCase(list.Name(i), "music.sport") >= 0) ++hits;
    search.append(clock.nsecsElapsed() / 1e9);
    clock.start();
    if (!TGroupList::Sort(main, true)) return 1;
    sort.append(clock.nsecsElapsed() / 1e9);
  }
  std::printf(
      "  load:   %7.1f ms   sort (duplicates removed, written back): %7.1f ms   search of every name: "
      "%6.1f ms (%lld hits)\n",
      Best(load) * 1e3, Best(sort) * 1e3, Best(search) * 1e3, static_cast<long long>(hits));

  // The window's share, set up as the newsgroups browser sets up its table.
  QList<double> show, filter, clear;
  int kept = 0;
  for (int r = 0; r < rounds; ++r) {
    auto list = std::make_shared<TGroupList>();
    if (!list->Load(main)) return 1;
    TGroupListModel model;
    QTableView view;
    view.setModel(&model);
    view.verticalHeader()->setVisible(false);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
    view.horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    view.resize(900, 700);
    view.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    model.SetList(list);
    view.grab();
    show.append(clock.nsecsElapsed() / 1e9);
    clock.start();
    model.SetFilter(u"music sport"_s);
    view.grab();
    filter.append(clock.nsecsElapsed() / 1e9);
    kept = model.rowCount();
    clock.start();
    model.SetFilter({});
    view.grab();
    clear.append(clock.nsecsElapsed() / 1e9);
  }
  std::printf(
      "  window: list shown %6.1f ms   filter \"music sport\" %6.1f ms (%d rows)   filter cleared %6.1f ms "
      "(each with its repaint)\n",
      Best(show) * 1e3, Best(filter) * 1e3, kept, Best(clear) * 1e3);
  return ok ? 0 : 1;
}
