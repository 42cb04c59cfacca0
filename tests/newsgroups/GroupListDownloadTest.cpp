#include "GroupListFixtures.h"

#include "newsgroups/GroupListDownload.h"
#include "servers/FakeNntpServer.h"

#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// A download run to its end on the test thread, with what it reported.
struct TOutcome {
  TGroupListDownload::TResult result = TGroupListDownload::RESULT_NONE;
  qint64 count = 0;
  int serverCode = 0;
  int progressSignals = 0;
  QStringList statuses;
};

TOutcome RunToEnd(TGroupListDownload& download, const std::function<bool(const TOutcome&)>& abortWhen = {}) {
  TOutcome out;
  bool finished = false;
  QObject::connect(&download, &TGroupListDownload::Finished, [&](int result, qint64 count, int code) {
    out.result = TGroupListDownload::TResult(result);
    out.count = count;
    out.serverCode = code;
    finished = true;
  });
  QObject::connect(&download, &TGroupListDownload::Progress, [&](qint64, const QByteArray&) { ++out.progressSignals; });
  QObject::connect(&download, &TGroupListDownload::StatusChanged, [&](const QString& s) { out.statuses << s; });
  download.Start();
  bool aborted = false;
  EXPECT_TRUE(SpinUntil([&] {
    if (!aborted && abortWhen && abortWhen(out)) {
      aborted = true;
      download.Abort();
    }
    return finished;
  })) << "the download never finished";
  return out;
}

QByteArray ActiveFile() {
  QFile f(TestDataPath(u"newsgroups/newsreap-list-active.txt"_s));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

// What a LIST of these lines must leave in the list, worked out line by line
// without the program's parser.
QList<TGroupRow> Expected(const QByteArray& active) {
  QList<TGroupRow> rows;
  for (QByteArray line : active.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty()) continue;
    const QList<QByteArray> f = line.simplified().split(' ');
    const qint64 last = f.value(1).toLongLong(), first = f.value(2).toLongLong();
    // Real servers pass 2^31 articles; the file holds 32 bits, so those stay at the largest count.
    const qint64 span = (last == 0 && first == 0) || first > last ? 0 : last - first + 1;
    const std::int32_t count = std::int32_t(std::min<qint64>(span, 2147483647));
    rows.append({f[0].toLower(), count, count});
  }
  return rows;
}

const QList<TGroupRow> kOldList = {{"old.group", 7, 7}};

struct TListServer {
  TTempDir dir;
  TFakeNntpServer server;
  std::unique_ptr<TGroupListDownload> download;
  TGroupListDownload::TMode mode;
  explicit TListServer(TGroupListDownload::TMode m = TGroupListDownload::MODE_FULL_LIST) : mode(m) {
    WriteGroupList(dir.Path(), u"Groups"_s, kOldList);
  }
  // Starts the server (scripted beforehand) and aims a download at it.
  void Start(TNewsServerEntry entry = LocalServer(0)) {
    ASSERT_TRUE(server.Start());
    entry.port = server.Port();
    download = std::make_unique<TGroupListDownload>(mode, entry, dir.Path());
    download->SetRetryDelay(10);
    download->SetProgressInterval(0);
  }
  QString Main() const { return dir.File(u"Groups.gnam"_s); }
  bool NoLeftovers() const {
    return !QFileInfo::exists(dir.File(u"List.gnam"_s)) && !QFileInfo::exists(dir.File(u"List.gdat"_s)) &&
           !QFileInfo::exists(dir.File(u"Groups.gdat.old"_s));
  }
};

}  // namespace

TEST(GroupListDownload, RealActiveListReplacesTheMainList) {
  const QByteArray active = ActiveFile();
  TListServer s;
  s.server.On("LIST").Send("215 Newsgroups in form \"group high low flags\".\r\n" + active + ".\r\n");
  s.Start();
  const TOutcome out = RunToEnd(*s.download);
  ASSERT_EQ(out.result, TGroupListDownload::RESULT_SUCCESS);
  const QList<TGroupRow> expected = Expected(active);
  ASSERT_EQ(expected.size(), 38570);
  EXPECT_EQ(out.count, 38570);
  EXPECT_EQ(ReadGroupList(s.Main()), expected);
  EXPECT_TRUE(s.NoLeftovers());
  // Progress comes per piece of the reply, never per line.
  EXPECT_GE(out.progressSignals, 1);
  EXPECT_LT(out.progressSignals, 38570 / 20);
  EXPECT_EQ(TGroupListDownload::ResultTitle(out.result, out.count), u"Finished downloading 38570 newsgroups!"_s);
  EXPECT_EQ(out.statuses.value(0), u"Connecting to news server..."_s);
  EXPECT_TRUE(out.statuses.contains(u"Retrieving list of newsgroups..."_s));
}

TEST(GroupListDownload, ReplyCutOffHalfWayKeepsThePreviousList) {
  const QByteArray active = ActiveFile();
  TListServer s;
  s.server.On("LIST").Send("215 list follows\r\n" + active.left(active.size() / 2)).Close();
  s.Start();
  const TOutcome out = RunToEnd(*s.download);
  EXPECT_EQ(out.result, TGroupListDownload::RESULT_ERROR);
  EXPECT_EQ(ReadGroupList(s.Main()), kOldList);
  EXPECT_TRUE(s.NoLeftovers());
  EXPECT_EQ(TGroupListDownload::ResultText(out.result, 0),
            u"There was an error while connecting or retrieving the list of newsgroups. You can try again now or at "
            "a later time."_s);
}

TEST(GroupListDownload, RefusalsAndLoginsOfTheFullList) {
  struct Case {
    const char* what;
    QByteArray user;
    std::function<void(TFakeNntpServer&)> script;
    TGroupListDownload::TResult result;
    QString text;
  };
  const Case cases[] = {
      {"LIST needs a login", "", [](TFakeNntpServer& f) { f.On("LIST").Line("480 Authentication required"); },
       TGroupListDownload::RESULT_AUTH_REQUIRED,
       u"Authentication failed. You possibly entered an invalid news server login or password."_s},
      {"LIST refused", "", [](TFakeNntpServer& f) { f.On("LIST").Line("502 Permission denied"); },
       TGroupListDownload::RESULT_SERVER_ERROR, u"News server reported error #502."_s},
      {"login rejected", "joe",
       [](TFakeNntpServer& f) {
         f.On("AUTHINFO USER").Line("381 Password please");
         f.On("AUTHINFO PASS").Line("481 Rejected");
       },
       TGroupListDownload::RESULT_LOGIN_REJECTED,
       u"Your login information was rejected by the server. Make sure your username and password are correct and "
       "try again."_s},
      {"server falls silent in the reply",
       "",
       [](TFakeNntpServer& f) { f.On("LIST").Line("215 list follows").Line("alt.a 2 1 y"); },
       TGroupListDownload::RESULT_ERROR,
       {}},
      {"login accepted", "joe",
       [](TFakeNntpServer& f) {
         f.On("AUTHINFO USER").Line("381 Password please");
         f.On("AUTHINFO PASS").Line("281 Welcome");
         f.On("LIST").MultiLine("215 list", {"alt.a 2 1 y"});
       },
       TGroupListDownload::RESULT_SUCCESS, u"The list of newsgroups has been correctly retrieved and indexed."_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TListServer s;
    c.script(s.server);
    TNewsServerEntry entry = LocalServer(0);
    entry.userName = c.user;
    entry.password = c.user.isEmpty() ? QByteArray() : "secret";
    s.Start(entry);
    s.download->SetTimeout(1);
    const TOutcome out = RunToEnd(*s.download);
    EXPECT_EQ(out.result, c.result);
    if (!c.text.isEmpty()) {
      EXPECT_EQ(TGroupListDownload::ResultText(out.result, out.serverCode), c.text);
    }
    if (c.result == TGroupListDownload::RESULT_SUCCESS)
      EXPECT_EQ(ReadGroupList(s.Main()), QList<TGroupRow>({{"alt.a", 2, 2}}));
    else
      EXPECT_EQ(ReadGroupList(s.Main()), kOldList);
    EXPECT_TRUE(s.NoLeftovers());
  }
}

TEST(GroupListDownload, ConnectionRetriesUntilTheUserAborts) {
  TListServer s;
  s.server.Banner().Line("502 Go away");
  s.Start();
  const TOutcome out = RunToEnd(*s.download, [&](const TOutcome&) { return s.download->Retries() >= 3; });
  EXPECT_EQ(out.result, TGroupListDownload::RESULT_ERROR);
  EXPECT_TRUE(out.statuses.contains(u"Error while connecting to news server, retry #2..."_s));
  EXPECT_GE(s.server.Connections(), 3);
  EXPECT_EQ(ReadGroupList(s.Main()), kOldList);
  EXPECT_TRUE(s.NoLeftovers());
}

TEST(GroupListDownload, FullDiskNeverReplacesTheListNorReportsSuccess) {
  const QByteArray active = ActiveFile();
  TListServer s;
  s.server.On("LIST").Send("215 list follows\r\n" + active + ".\r\n");
  s.Start();
  // Files may not grow past 256 KiB: the names of the list need over 1 MB.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const TOutcome out = RunToEnd(*s.download);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(out.result, TGroupListDownload::RESULT_FILE_ERROR);
  EXPECT_EQ(ReadGroupList(s.Main()), kOldList);
  EXPECT_TRUE(s.NoLeftovers());
}

TEST(GroupListDownload, UnwritableDirectoryIsAFileError) {
  TTempDir dir;
  TFakeNntpServer server;
  server.On("LIST").MultiLine("215 list", {"alt.a 2 1 y"});
  ASSERT_TRUE(server.Start());
  // A file where the server's directory should be.
  dir.Write(u"server"_s, "not a directory");
  TGroupListDownload download(TGroupListDownload::MODE_FULL_LIST, LocalServer(server.Port()), dir.File(u"server"_s));
  const TOutcome out = RunToEnd(download);
  EXPECT_EQ(out.result, TGroupListDownload::RESULT_FILE_ERROR);
  EXPECT_EQ(TGroupListDownload::ResultText(out.result, 0),
            u"There was an error creating the files to save the newsgroups to. Make sure you have enough free space "
            "on your hard drive and try again."_s);
}

TEST(GroupListDownload, HostileLinesAreStoredSafely) {
  TListServer s;
  const QByteArray longest(253, 'n'), tooLong(254, 'x');
  s.server.On("LIST").MultiLine("215 list",
                                {"Alt.Upper 10 1 y", longest + " 3 1 y", tooLong + " 9 1 y", ".hidden 5 1 y", "",
                                 "alt.garbage 12x -3 y", "alt.reversed 1 5 y", "alt.huge 99999999999999 1 y", "   "});
  s.Start();
  const TOutcome out = RunToEnd(*s.download);
  ASSERT_EQ(out.result, TGroupListDownload::RESULT_SUCCESS);
  EXPECT_EQ(ReadGroupList(s.Main()), QList<TGroupRow>({{"alt.upper", 10, 10},
                                                       {longest, 3, 3},
                                                       {".hidden", 5, 5},
                                                       {"alt.garbage", 0, 0},
                                                       {"alt.reversed", 0, 0},
                                                       {"alt.huge", 2147483647, 2147483647}}));
  EXPECT_EQ(s.download->Skipped(), 1);
  EXPECT_EQ(out.count, 6);
}

TEST(GroupListDownload, NewGroupsSinceTheLastCheck) {
  TListServer s(TGroupListDownload::MODE_NEW_GROUPS);
  s.server.On("NEWGROUPS").MultiLine("231 new groups follow", {"alt.new 10 1 y", "alt.odd 5 10 y", "alt.none 0 0 y"});
  s.Start();
  const QDateTime since(QDate(2024, 3, 5), QTime(6, 7, 8));
  s.download->SetSince(since);
  const TOutcome out = RunToEnd(*s.download);
  ASSERT_EQ(out.result, TGroupListDownload::RESULT_SUCCESS);
  // Sent in UTC and marked so.
  const QByteArray expected = "NEWGROUPS " + since.toUTC().toString(u"yyMMdd HHmmss"_s).toLatin1() + " GMT";
  EXPECT_TRUE(s.server.Commands().contains(expected)) << s.server.Commands().join(" | ").constData();
  EXPECT_EQ(ReadGroupList(s.dir.File(u"newgroups.gnam"_s)),
            QList<TGroupRow>({{"alt.new", 10, 10}, {"alt.odd", -4, -4}, {"alt.none", 0, 0}}));
  EXPECT_TRUE(s.download->RequestTime().isValid());
  EXPECT_EQ(ReadGroupList(s.Main()), kOldList);  // merging is the caller's
}

TEST(GroupListDownload, FailedCutOffOrAbortedNewGroupsLeaveNoFiles) {
  enum TFault { REFUSED, CUT_OFF, SILENT_THEN_ABORTED };
  for (const TFault fault : {REFUSED, CUT_OFF, SILENT_THEN_ABORTED}) {
    SCOPED_TRACE(fault == REFUSED ? "NEWGROUPS refused" : fault == CUT_OFF ? "reply cut off" : "aborted while silent");
    TListServer s(TGroupListDownload::MODE_NEW_GROUPS);
    if (fault == REFUSED)
      s.server.On("NEWGROUPS").Line("503 Program fault");
    else if (fault == CUT_OFF)
      s.server.On("NEWGROUPS").Line("231 new groups follow").Line("alt.new 10 1 y").Send("alt.hal").Close();
    else
      s.server.On("NEWGROUPS").Line("231 new groups follow").Line("alt.new 10 1 y");
    s.Start();
    const TOutcome out = RunToEnd(*s.download, [&](const TOutcome&) {
      return fault == SILENT_THEN_ABORTED && s.server.Commands().size() >= 1 &&
             QFileInfo::exists(s.dir.File(u"newgroups.gnam"_s));
    });
    EXPECT_EQ(out.result, TGroupListDownload::RESULT_CANCELLED);
    EXPECT_FALSE(QFileInfo::exists(s.dir.File(u"newgroups.gnam"_s)));
    EXPECT_FALSE(QFileInfo::exists(s.dir.File(u"newgroups.gdat"_s)));
    EXPECT_EQ(ReadGroupList(s.Main()), kOldList);
  }
}
