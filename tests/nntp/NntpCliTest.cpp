// The NNTP client against the scripted server: commands on the wire, reply
// parsing, multi-line data, and every fault ending in exactly one completion.
#include "ClientProbe.h"

#include "app/Logger.h"
#include "nntp/MyNntpCli2.h"
#include "servers/FakeNntpServer.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

QByteArray LinesCrlf(std::initializer_list<const char*> lines) {
  QByteArray out;
  for (const char* line : lines) out += QByteArray(line) + "\r\n";
  return out;
}

}  // namespace

TEST(NntpCli, ConnectReportsBannerAndPostingPermission) {
  struct TCase {
    const char* banner;
    bool posting;
  };
  for (const TCase& c : {TCase{"200 news ready", true}, TCase{"201 news ready, no posting", false}}) {
    SCOPED_TRACE(c.banner);
    TSession s;
    s.server.Banner().Line(c.banner);
    ASSERT_TRUE(s.Open());
    EXPECT_EQ(s.client.State(), nntpReady);
    EXPECT_EQ(s.client.PostingPermited(), c.posting);
    EXPECT_EQ(s.probe->connected, 1);
    EXPECT_EQ(s.client.StatusCode(), c.posting ? 200 : 201);
    // A second Connect on a live connection is refused by the base client.
    TNntpCli& base = s.client;
    EXPECT_FALSE(base.TNntpCli::Connect());
    EXPECT_EQ(base.StartError(), u"Already connected"_s);
  }
}

TEST(NntpCli, RefusedBannerEndsConnectionWith502) {
  for (const char* banner : {"400 too many users", "502 go away", "garbage instead of a banner"}) {
    SCOPED_TRACE(banner);
    TSession s;
    s.server.Banner().Line(banner);
    ASSERT_TRUE(s.server.Start());
    Aim(s.client, s.server.Port());
    ASSERT_TRUE(s.client.Connect());
    ASSERT_TRUE(s.probe->WaitFor(1));
    TClientProbe::Spin(100);
    ASSERT_EQ(s.probe->done.size(), 1);
    EXPECT_EQ(s.probe->Last().kind, nntpConnecting);
    EXPECT_EQ(s.probe->Last().code, 502);
    EXPECT_EQ(s.client.StatusCode(), QByteArrayView(banner).startsWith("4") ? 400 : (banner[0] == '5' ? 502 : 0));
    EXPECT_EQ(s.client.State(), nntpNotConnected);
    EXPECT_EQ(s.probe->connected, 0);
  }
}

TEST(NntpCli, ConnectFailuresComplete) {
  {
    // Nothing listens on a port the scripted server gave up.
    quint16 port;
    {
      TFakeNntpServer gone;
      ASSERT_TRUE(gone.Start());
      port = gone.Port();
    }
    TMyNntpCli client;
    TClientProbe probe(&client);
    Aim(client, port);
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(probe.WaitFor(1));
    EXPECT_EQ(probe.Last().kind, nntpConnecting);
    EXPECT_EQ(probe.Last().code, NNTP_ERR_CONNECTION_REFUSED);
    EXPECT_EQ(client.State(), nntpNotConnected);
  }
  {
    TMyNntpCli client;
    TClientProbe probe(&client);
    client.SetHost(u"127.0.0.1"_s);
    client.SetPort(u"no-such-service"_s);
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(probe.WaitFor(1));
    EXPECT_EQ(probe.Last().kind, nntpConnecting);
    EXPECT_EQ(probe.Last().code, NNTP_ERR_INVALID_PORT);
  }
  {
    // A server that hangs up before its banner.
    TSession s;
    s.server.Banner().Close();
    ASSERT_TRUE(s.server.Start());
    Aim(s.client, s.server.Port());
    ASSERT_TRUE(s.client.Connect());
    ASSERT_TRUE(s.probe->WaitFor(1));
    TClientProbe::Spin(100);
    ASSERT_EQ(s.probe->done.size(), 1);
    EXPECT_EQ(s.probe->Last().kind, nntpConnecting);
    EXPECT_NE(s.probe->Last().code, 0);
  }
}

TEST(NntpCli, CommandLinesOnTheWire) {
  TSession s;
  ASSERT_TRUE(s.Open());
  QBuffer sink;
  sink.open(QIODevice::WriteOnly);
  const QDateTime when(QDate(2008, 2, 5), QTime(12, 30, 0), Qt::UTC);
  struct TCase {
    std::function<bool(TMyNntpCli&)> start;
    const char* line;
  };
  const TCase cases[] = {
      {[&](TMyNntpCli& c) { return c.Group("  alt.test \t"); }, "GROUP alt.test"},
      {[&](TMyNntpCli& c) { return c.ArticleByNumber(0, &sink); }, "ARTICLE"},
      {[&](TMyNntpCli& c) { return c.ArticleByNumber(-3, &sink); }, "ARTICLE"},
      {[&](TMyNntpCli& c) { return c.ArticleByNumber(5000000000LL, &sink); }, "ARTICLE 5000000000"},
      {[&](TMyNntpCli& c) { return c.ArticleByID("part1of3.x@host", &sink); }, "ARTICLE <part1of3.x@host>"},
      {[&](TMyNntpCli& c) { return c.ArticleByID("<a@b>", &sink); }, "ARTICLE <a@b>"},
      {[&](TMyNntpCli& c) { return c.BodyByNumber(7, &sink); }, "BODY 7"},
      {[&](TMyNntpCli& c) { return c.BodyByID("a@b", &sink); }, "BODY <a@b>"},
      {[&](TMyNntpCli& c) { return c.HeadByNumber(1, &sink); }, "HEAD 1"},
      {[&](TMyNntpCli& c) { return c.HeadByID("a@b", &sink); }, "HEAD <a@b>"},
      {[&](TMyNntpCli& c) { return c.StatByNumber(9); }, "STAT 9"},
      {[&](TMyNntpCli& c) { return c.StatByID("a@b"); }, "STAT <a@b>"},
      {[&](TMyNntpCli& c) { return c.Next(); }, "NEXT"},
      {[&](TMyNntpCli& c) { return c.Last(); }, "LAST"},
      {[&](TMyNntpCli& c) { return c.List(&sink); }, "LIST"},
      {[&](TMyNntpCli& c) { return c.Help(&sink); }, "HELP"},
      {[&](TMyNntpCli& c) { return c.NewGroups(when, true, "alt", &sink); }, "NEWGROUPS 080205 123000 GMT <alt>"},
      {[&](TMyNntpCli& c) { return c.NewNews({}, when, true, {}, &sink); }, "NEWNEWS * 080205 123000 GMT"},
      {[&](TMyNntpCli& c) { return c.NewNews("alt.*", when, true, "world", &sink); },
       "NEWNEWS alt.* 080205 123000 GMT <world>"},
      {[&](TMyNntpCli& c) { return c.XOver("1-100", &sink); }, "XOVER 1-100"},
      {[&](TMyNntpCli& c) { return c.XHdr(&sink, "Subject", "3-4"); }, "XHDR Subject 3-4"},
      {[&](TMyNntpCli& c) { return c.XHdr(&sink, "Subject"); }, "XHDR Subject"},
      {[&](TMyNntpCli& c) { return c.XPat(&sink, "Subject", "1-9", "*yEnc*"); }, "XPAT Subject 1-9 *yEnc*"},
      {[&](TMyNntpCli& c) { return c.ListOverViewFmt(&sink); }, "LIST OVERVIEW.FMT"},
      {[&](TMyNntpCli& c) { return c.ListMotd(&sink); }, "LIST MOTD"},
      {[&](TMyNntpCli& c) { return c.ListNewsgroups(&sink, "alt.*"); }, "LIST NEWSGROUPS alt.*"},
      {[&](TMyNntpCli& c) { return c.Date(); }, "DATE"},
      {[&](TMyNntpCli& c) { return c.ModeReader(); }, "MODE READER"},
      {[&](TMyNntpCli& c) { return c.Post(&sink); }, "POST"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.line);
    const qsizetype before = s.server.Commands().size();
    ASSERT_TRUE(c.start(s.client));
    EXPECT_EQ(s.client.Request(), QByteArray(c.line));
    s.Next();
    const QList<QByteArray> commands = s.server.Commands();
    ASSERT_EQ(commands.size(), before + 1);
    EXPECT_EQ(commands.back(), QByteArray(c.line));
  }
}

TEST(NntpCli, OperationsRefusedOutsideReadyState) {
  TMyNntpCli2 idle;
  TNntpCli& base = idle;
  QBuffer sink;
  struct TCase {
    std::function<bool()> start;
    QString message;
  };
  const TCase cases[] = {
      {[&] { return base.Group("alt.test"); }, u"Not ready for GROUP"_s},
      {[&] { return base.ArticleByNumber(1, &sink); }, u"Not ready for ARTICLE"_s},
      {[&] { return base.BodyByID("a@b", &sink); }, u"Not ready for BODY"_s},
      {[&] { return base.HeadByNumber(1, &sink); }, u"Not ready for HEAD"_s},
      {[&] { return base.StatByID("a@b"); }, u"Not ready for STAT"_s},
      {[&] { return base.Next(); }, u"Not ready for NEXT"_s},
      {[&] { return base.Last(); }, u"Not ready for LAST"_s},
      {[&] { return base.List(&sink); }, u"Not ready for LIST"_s},
      {[&] { return base.Help(&sink); }, u"Not ready for HELP"_s},
      {[&] { return base.Post(&sink); }, u"Not ready for POST"_s},
      {[&] { return base.NewGroups({}, false, {}, &sink); }, u"Not ready for NEWGROUPS"_s},
      {[&] { return base.NewNews({}, {}, false, {}, &sink); }, u"Not ready for NEWNEWS"_s},
      {[&] { return base.XOver("1-2", &sink); }, u"Not ready for XOVER"_s},
      {[&] { return base.XPat(&sink, "Subject", "1", "*"); }, u"Not ready for XPAT"_s},
      {[&] { return base.ListOverViewFmt(&sink); }, u"Not ready for LIST OVERVIEW.FMT"_s},
      {[&] { return base.ListMotd(&sink); }, u"Not ready for LIST MOTD"_s},
      {[&] { return base.Date(); }, u"Not ready for DATE"_s},
      {[&] { return base.ModeReader(); }, u"Not ready for ModeReader"_s},
      {[&] { return base.XHdr(&sink, "Subject"); }, u"Not ready for XHDR"_s},
      {[&] { return base.Authenticate(); }, u"Not ready for Authenticate"_s},
      {[&] { return base.Quit(); }, u"Not ready for QUIT"_s},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message.toStdString());
    EXPECT_FALSE(c.start());
    EXPECT_EQ(base.StartError(), c.message);
  }
  TClientProbe probe(&idle);
  TClientProbe::Spin(50);
  EXPECT_TRUE(probe.done.isEmpty());
}

TEST(NntpCli, GroupWhileBusyIsRefusedAndTheRunningCommandStillCompletesOnce) {
  TSession s;
  s.server.On("GROUP alt.slow").Pause(200).Line("211 3 1 3 alt.slow");
  ASSERT_TRUE(s.Open());
  ASSERT_TRUE(s.client.Group("alt.slow"));
  EXPECT_FALSE(s.client.Group("alt.other"));
  EXPECT_EQ(s.client.StartError(), u"Not ready for GROUP"_s);
  const TDone done = s.Next();
  EXPECT_EQ(done.kind, nntpGroup);
  EXPECT_EQ(done.code, 0);
  TClientProbe::Spin(100);
  EXPECT_EQ(s.probe->done.size(), 2);
  EXPECT_EQ(s.client.CurrentGroup(), QByteArray("alt.slow"));
}

TEST(NntpCli, GroupReplyFields) {
  struct TCase {
    const char* reply;
    quint16 code;
    qint64 estimated, first, last;
    const char* name;
  };
  const TCase cases[] = {
      {"211 1234 10 1243 alt.test", 0, 1234, 10, 1243, "alt.test"},
      {"211 5000000000 4000000000 9000000000 alt.binaries.big", 0, 5000000000LL, 4000000000LL, 9000000000LL,
       "alt.binaries.big"},
      {"211\t0\t1\t0\talt.empty", 0, 0, 1, 0, "alt.empty"},
      {"211 99999999999999999999999 1 2 alt.huge", 0, -1, 1, 2, "alt.huge"},
      {"411 no such group", 411, -1, -1, -1, ""},
      {"480 authentication required", 480, -1, -1, -1, ""},
      {"what?", NNTP_ERR_BAD_REPLY, -1, -1, -1, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.reply);
    TSession s;
    s.server.On("GROUP").Line(c.reply);
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(s.client.Group("x"));
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpGroup);
    EXPECT_EQ(done.code, c.code);
    EXPECT_EQ(s.client.ArticleEstimated(), c.estimated);
    EXPECT_EQ(s.client.ArticleFirst(), c.first);
    EXPECT_EQ(s.client.ArticleLast(), c.last);
    if (c.code == 0) {
      EXPECT_EQ(s.client.GroupName(), QByteArray(c.name));
    }
    EXPECT_EQ(s.client.LastResponse(), QByteArrayView(c.reply));
  }
}

TEST(NntpCli, DateReply) {
  struct TCase {
    const char* reply;
    quint16 code;
    QDateTime date;
  };
  const TCase cases[] = {
      {"111 20080205123000", 0, QDateTime(QDate(2008, 2, 5), QTime(12, 30, 0), Qt::UTC)},
      {"111  20080205123000  ", 0, QDateTime(QDate(2008, 2, 5), QTime(12, 30, 0), Qt::UTC)},
      {"111 2008020512300", 0, QDateTime()},
      {"111 20081345123000", 0, QDateTime()},
      {"500 unknown command", 500, QDateTime()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.reply);
    TSession s;
    s.server.On("DATE").Line(c.reply);
    ASSERT_TRUE(s.Open());
    s.client.Date();
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpDate);
    EXPECT_EQ(done.code, c.code);
    EXPECT_EQ(s.client.ServerDate(), c.date);
  }
}

TEST(NntpCli, ModeReaderAndStat) {
  TSession s;
  s.server.On("MODE READER").Line("201 no posting").Times(1);
  s.server.On("MODE READER").Line("502 go away");
  s.server.On("STAT").Line("223 42 <x@y> status");
  ASSERT_TRUE(s.Open());
  s.client.TNntpCli::ModeReader();
  EXPECT_EQ(s.Next().code, 0);
  s.client.TNntpCli::ModeReader();
  EXPECT_EQ(s.Next().code, 502);
  s.client.StatByNumber(42);
  const TDone stat = s.Next();
  EXPECT_EQ(stat.kind, nntpStatByNumber);
  EXPECT_EQ(stat.code, 0);
  EXPECT_EQ(s.client.ArticleNumber(), 42);
  EXPECT_EQ(s.client.ArticleID(), QByteArray("x@y"));
}

// The body lines of an article as the server sends them (dot-stuffed by the
// scripted server) and what the stream must receive.
TEST(NntpCli, MultiLineDotUnstuffing) {
  const QList<QByteArray> body = {
      "Subject: dots", "", "first", ".", "..", "...", ".x", ". ", "", QByteArray("nul\0byte", 8), "last"};
  QByteArray expected;
  for (const QByteArray& line : body) expected += line + "\r\n";
  // With and without a line handler (which changes how data reach the stream),
  // and with the reply cut into odd pieces across reads.
  for (int variant = 0; variant < 4; ++variant) {
    SCOPED_TRACE(variant);
    const bool lineHandler = variant & 1;
    const bool pieces = variant & 2;
    TSession s;
    QByteArray wire = "220 7 <dots@test> article\r\n";
    for (const QByteArray& line : body) wire += (line.startsWith('.') ? "." : "") + line + "\r\n";
    wire += ".\r\n";
    if (pieces)
      s.server.On("ARTICLE").SendSlowly(wire, 7, 1);
    else
      s.server.On("ARTICLE").Send(wire);
    ASSERT_TRUE(s.Open());
    QList<QByteArray> seen;
    if (lineHandler)
      QObject::connect(&s.client, &TNntpCli::OnMessageLine, &s.client,
                       [&](TNntpCli* c) { seen.append(c->Line().toByteArray()); });
    int begins = 0, ends = 0;
    QObject::connect(&s.client, &TNntpCli::OnMessageBegin, &s.client, [&] { ++begins; });
    QObject::connect(&s.client, &TNntpCli::OnMessageEnd, &s.client, [&] { ++ends; });
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    ASSERT_TRUE(s.client.ArticleByNumber(7, &stream));
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpArticleByNumber);
    EXPECT_EQ(done.code, 0);
    EXPECT_EQ(stream.data(), expected);
    if (lineHandler) {
      EXPECT_EQ(seen, body);
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(s.client.ArticleNumber(), 7);
    EXPECT_EQ(s.client.ArticleID(), QByteArray("dots@test"));
    // The status line is back in LastResponse once the reply is complete.
    EXPECT_EQ(s.client.LastResponse(), QByteArrayView("220 7 <dots@test> article"));
    EXPECT_EQ(s.client.RequestBytes(), wire.size());
  }
}

// Many random lines (dots, empty lines, LF-only ends, long lines, every byte
// value but CR and LF) cut into pieces of odd sizes: the stream and the line
// events must see exactly the lines that were sent.
TEST(NntpCli, RandomLinesSurviveAnySplit) {
  QRandomGenerator random(42);
  QList<QByteArray> lines;
  QByteArray wire = "220 1 <random@test> article\r\n";
  QByteArray expected;
  for (int i = 0; i < 3000; ++i) {
    const int kind = random.bounded(20);
    QByteArray line;
    const int length = kind == 0 ? random.bounded(3000, 9000) : random.bounded(0, 200);
    for (int k = 0; k < length; ++k) {
      char c;
      do {
        c = static_cast<char>(random.bounded(256));
      } while (c == '\r' || c == '\n');
      line += c;
    }
    if (kind == 1) line.prepend('.');
    if (kind == 2) line = ".";
    if (kind == 3) line.prepend("..");
    lines.append(line);
    expected += line + "\r\n";
    wire += (line.startsWith('.') ? "." : "") + line + (kind == 4 ? "\n" : "\r\n");
  }
  wire += ".\r\n";
  for (int variant = 0; variant < 4; ++variant) {
    SCOPED_TRACE(variant);
    TSession s;
    if (variant & 1)
      s.server.On("ARTICLE").SendSlowly(wire, 997, 0);
    else
      s.server.On("ARTICLE").Send(wire);
    ASSERT_TRUE(s.Open());
    QList<QByteArray> seen;
    if (variant & 2) {
      QObject::connect(&s.client, &TNntpCli::OnMessageLine, &s.client,
                       [&](TNntpCli* c) { seen.append(c->Line().toByteArray()); });
    }
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    s.client.ArticleByNumber(1, &stream);
    EXPECT_EQ(s.Next().code, 0);
    EXPECT_TRUE(stream.data() == expected);
    if (variant & 2) {
      EXPECT_TRUE(seen == lines);
    }
  }
}

TEST(NntpCli, LineEndsDependOnTheClass) {
  // TMyNntpCli ends lines at LF and writes CR LF; the base keeps a lone LF
  // inside the line it belongs to.
  for (bool my : {true, false}) {
    SCOPED_TRACE(my);
    TFakeNntpServer server;
    server.On("ARTICLE").Send("220 1 <a@b>\r\nunix line\nmac\r\r\ndos line\r\n").Send(my ? ".\n" : ".\r\n");
    ASSERT_TRUE(server.Start());
    std::unique_ptr<TNntpCli> client = my ? std::make_unique<TMyNntpCli>() : std::make_unique<TNntpCli>();
    TClientProbe probe(client.get());
    Aim(*client, server.Port());
    client->Connect();
    ASSERT_TRUE(probe.WaitFor(1));
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    client->ArticleByNumber(1, &stream);
    ASSERT_TRUE(probe.WaitFor(2));
    EXPECT_EQ(probe.Last().code, 0);
    EXPECT_EQ(stream.data(),
              my ? QByteArray("unix line\r\nmac\r\r\ndos line\r\n") : QByteArray("unix line\nmac\r\r\ndos line\r\n"));
  }
}

TEST(NntpCli, XHdrKeepsDotsAndNeeds221) {
  TSession s;
  s.server.On("XHDR Subject 1-3").Send(LinesCrlf({"221 Subject fields follow", "1 hello", "2 ..dots", "3 .x", "."}));
  s.server.On("XHDR").Line("500 not here");
  ASSERT_TRUE(s.Open());
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  int lines = 0;
  QObject::connect(&s.client, &TNntpCli::OnXHdrLine, &s.client, [&] { ++lines; });
  s.client.XHdr(&stream, "Subject", "1-3");
  EXPECT_EQ(s.Next().code, 0);
  EXPECT_EQ(stream.data(), LinesCrlf({"1 hello", "2 ..dots", "3 .x"}));
  EXPECT_EQ(lines, 3);
  s.client.XHdr(&stream, "From");
  EXPECT_EQ(s.Next().code, 500);
}

TEST(NntpCli, FailedArticleWritesNothing) {
  for (const char* reply : {"423 no such article number", "430 no such article", "412 no group selected"}) {
    SCOPED_TRACE(reply);
    TSession s;
    s.server.On("ARTICLE").Line(reply);
    ASSERT_TRUE(s.Open());
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    s.client.ArticleByNumber(3, &stream);
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpArticleByNumber);
    EXPECT_EQ(done.code, QByteArray(reply).left(3).toInt());
    EXPECT_TRUE(stream.data().isEmpty());
    EXPECT_EQ(s.client.State(), nntpReady);
  }
}
