// Faults of the server and of the connection: each ends in exactly one
// completion, with the right kind and code, and never in a crash.
#include "ClientProbe.h"

#include "app/Logger.h"
#include "nntp/MyNntpCli2.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Runs on after the first completion and checks that no second one comes.
void ExpectSingleCompletion(TSession& s, int before) {
  TClientProbe::Spin(150);
  EXPECT_EQ(s.probe->done.size(), before + 1) << "completions after the first one";
}

QByteArray ArticleWire(int lines) {
  QByteArray wire = "220 1 <big@test> article\r\n";
  for (int i = 0; i < lines; ++i) wire += "line " + QByteArray::number(i) + " of the article body\r\n";
  return wire;
}

}  // namespace

// A server that stops sending: the request is aborted after one to two
// time-out periods with TimedOut set; under TMyNntpCli the abort reaches
// OnRequestDone (not OnError) with 0.
TEST(NntpCliFault, SilentServerTimesOut) {
  struct TCase {
    const char* name;
    bool silentBanner;
    QByteArray partial;  // sent before going silent
  };
  const TCase cases[] = {
      {"silent banner", true, {}},
      {"no reply", false, {}},
      {"silent in the middle of a reply", false, ArticleWire(50)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSession s(true);
    s.client.SetTimeout(1);
    if (c.silentBanner) s.server.Banner();  // no actions: silence
    s.server.On("ARTICLE").Send(c.partial);
    ASSERT_TRUE(s.server.Start());
    Aim(s.client, s.server.Port());
    s.client.Connect();
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    if (!c.silentBanner) {
      ASSERT_TRUE(s.probe->WaitFor(1));
      ASSERT_TRUE(s.client.ArticleByNumber(1, &stream));
    }
    const int before = s.probe->done.size();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(s.probe->WaitFor(before + 1, 5000));
    const TDone done = s.probe->Last();
    EXPECT_EQ(done.kind, nntpAbort);
    EXPECT_EQ(done.code, 0);
    EXPECT_FALSE(done.viaOnError);
    EXPECT_TRUE(s.client.TimedOut());
    EXPECT_TRUE(s.client.Aborted());
    EXPECT_EQ(s.client.State(), nntpNotConnected);
    EXPECT_EQ(s.client.StatusCode(), 205);
    EXPECT_EQ(s.client.LastResponse(), QByteArrayView("205 Closing connection - goodbye"));
    ExpectSingleCompletion(s, before);
  }
}

TEST(NntpCliFault, SlowSteadyTransferNeverTimesOut) {
  TSession s;
  s.client.SetTimeout(1);
  // 30 lines, one every 100 ms: three seconds in all, three time-out periods.
  QByteArray wire = ArticleWire(30) + ".\r\n";
  const qsizetype piece = wire.size() / 30 + 1;
  s.server.On("ARTICLE").SendSlowly(wire, piece, 100);
  ASSERT_TRUE(s.Open());
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  s.client.ArticleByNumber(1, &stream);
  ASSERT_TRUE(s.probe->WaitFor(2, 10000));
  EXPECT_EQ(s.probe->Last().kind, nntpArticleByNumber);
  EXPECT_EQ(s.probe->Last().code, 0);
  EXPECT_FALSE(s.client.TimedOut());
  EXPECT_EQ(stream.data().count('\n'), 30);
  ExpectSingleCompletion(s, 1);
}

TEST(NntpCliFault, CloseInTheMiddleOfReplies) {
  struct TCase {
    const char* name;
    const char* command;
    QByteArray sent;
  };
  const TCase cases[] = {
      {"in the data", "ARTICLE", ArticleWire(100)},
      {"in the middle of a line", "ARTICLE", ArticleWire(3) + "half a li"},
      {"after the status line", "ARTICLE", "220 1 <a@b> article\r\n"},
      {"before any reply", "ARTICLE", {}},
      {"in an XOVER", "XOVER", "224 overview follows\r\n1\tsubject\r\n"},
  };
  for (bool withOnError : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (withOnError ? " (OnError)" : ""));
      TSession s(withOnError);
      s.server.On(c.command).Send(c.sent).Close();
      ASSERT_TRUE(s.Open());
      QBuffer stream;
      stream.open(QIODevice::WriteOnly);
      if (QByteArrayView(c.command) == "ARTICLE")
        s.client.ArticleByNumber(1, &stream);
      else
        s.client.XOver("1-2", &stream);
      const TDone done = s.Next();
      EXPECT_EQ(done.kind, QByteArrayView(c.command) == "ARTICLE" ? nntpArticleByNumber : nntpXOver);
      EXPECT_EQ(done.code, NNTP_ERR_CONNECTION_CLOSED);
      EXPECT_EQ(done.viaOnError, withOnError);
      EXPECT_EQ(done.state, nntpNotConnected);
      EXPECT_EQ(s.probe->closed, 1);
      ExpectSingleCompletion(s, 1);
    }
  }
}

TEST(NntpCliFault, ReplyThenCloseCompletesOnceWithTheReply) {
  TSession s(true);
  s.server.On("GROUP").Line("211 3 1 3 alt.test").Close();
  ASSERT_TRUE(s.Open());
  s.client.Group("alt.test");
  const TDone done = s.Next();
  EXPECT_EQ(done.kind, nntpGroup);
  EXPECT_EQ(done.code, 0);
  ExpectSingleCompletion(s, 1);
  EXPECT_EQ(s.probe->closed, 1);
  EXPECT_EQ(s.client.State(), nntpNotConnected);
}

TEST(NntpCliFault, QuitCompletesWhetherTheServerAnswersOrHangsUp) {
  for (bool answers : {true, false}) {
    SCOPED_TRACE(answers);
    TSession s(true);
    if (answers)
      s.server.On("QUIT").Line("205 bye").Close();
    else
      s.server.On("QUIT").Close();
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(s.client.Quit());
    EXPECT_EQ(s.client.ClosingRequest(), nntpQuit);
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpQuit);
    EXPECT_EQ(done.code, 0);
    EXPECT_FALSE(done.viaOnError);
    ExpectSingleCompletion(s, 1);
    TClientProbe::Spin(50);
    EXPECT_EQ(s.probe->closed, 1);
    EXPECT_EQ(s.client.State(), nntpNotConnected);
    EXPECT_TRUE(s.client.CurrentGroup().isEmpty());
  }
}

TEST(NntpCliFault, GarbageAndNulBytes) {
  struct TCase {
    const char* name;
    QByteArray reply;
    quint16 code;
  };
  const TCase cases[] = {
      {"garbage status line", "HTTP/1.1 400 Bad Request\r\n", NNTP_ERR_BAD_REPLY},
      {"empty status line", "\r\n", NNTP_ERR_BAD_REPLY},
      {"NUL bytes as status", QByteArray("\0\0\0\r\n", 5), NNTP_ERR_BAD_REPLY},
      {"status out of range", "999 what\r\n", NNTP_ERR_BAD_REPLY},
      {"binary data with NULs and high bytes",
       QByteArray("220 1 <a@b>\r\n\0\x01\xff\xfe\r\n\x80\x81\x00.\r\n.\r\n", 29), 0},
      {"status line with NUL", QByteArray("220\0 1 <a@b>\r\ndata\r\n.\r\n", 24), 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSession s;
    s.server.On("ARTICLE").Send(c.reply);
    ASSERT_TRUE(s.Open());
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    s.client.ArticleByNumber(1, &stream);
    const TDone done = s.Next();
    EXPECT_EQ(done.code, c.code);
    ExpectSingleCompletion(s, 1);
  }
  // NUL bytes inside data lines reach the stream untouched.
  TSession s;
  const QByteArray body("a\0b\r\n\0\r\n", 8);
  s.server.On("BODY").Send("222 1 <a@b> body\r\n" + body + ".\r\n");
  ASSERT_TRUE(s.Open());
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  s.client.BodyByNumber(1, &stream);
  EXPECT_EQ(s.Next().code, 0);
  EXPECT_EQ(stream.data(), body);
}

TEST(NntpCliFault, LongLinesAreKeptWholeOrRefusedLoudly) {
  // Longer than LastResponse takes but within LineLimit: whole in the stream
  // and in Line(), LastResponse() has the first 4096 bytes.
  {
    TSession s;
    const QByteArray longLine(70000, 'y');
    s.server.On("ARTICLE").Send("220 1 <a@b>\r\n" + longLine + "\r\nshort\r\n.\r\n");
    ASSERT_TRUE(s.Open());
    s.client.SetLineLimit(100000);
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    QList<qsizetype> lengths, taken;
    QObject::connect(&s.client, &TNntpCli::OnMessageLine, &s.client, [&](TNntpCli* c) {
      lengths.append(c->Line().size());
      taken.append(c->LastResponse().size());
      EXPECT_EQ(c->LastResponseLength(), c->Line().size());
    });
    s.client.ArticleByNumber(1, &stream);
    EXPECT_EQ(s.Next().code, 0);
    EXPECT_EQ(stream.data(), longLine + "\r\nshort\r\n");
    EXPECT_EQ(lengths, (QList<qsizetype>{70000, 5}));
    EXPECT_EQ(taken, (QList<qsizetype>{4096, 5}));
  }
  // Beyond LineLimit, whether the line is complete in one read or still
  // arriving: the request fails with NNTP_ERR_LINE_TOO_LONG and the
  // connection is closed, since the reply can no longer be trusted.
  for (int variant = 0; variant < 4; ++variant) {
    const bool terminated = variant & 1;
    const bool inPieces = variant & 2;  // the long line grows over several reads
    SCOPED_TRACE(variant);
    TSession s(true);
    QByteArray wire = "220 1 <a@b>\r\nok\r\n" + QByteArray(3000, 'z');
    if (terminated) wire += "\r\n.\r\n";
    if (inPieces)
      s.server.On("ARTICLE").SendSlowly(wire, 400, 5);
    else
      s.server.On("ARTICLE").Send(wire);
    ASSERT_TRUE(s.Open());
    s.client.SetLineLimit(1024);
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    s.client.ArticleByNumber(1, &stream);
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpArticleByNumber);
    EXPECT_EQ(done.code, NNTP_ERR_LINE_TOO_LONG);
    EXPECT_TRUE(done.viaOnError);
    EXPECT_EQ(s.client.State(), nntpNotConnected);
    EXPECT_EQ(stream.data(), QByteArray("ok\r\n"));
    ExpectSingleCompletion(s, 1);
  }
}

TEST(NntpCliFault, AbortReportsOnceWhateverComesAfter) {
  // Aborted while the reply streams in: the server keeps sending, the client
  // reports nntpAbort once and nothing of the article.
  TSession s(true);
  s.server.On("ARTICLE").Send(ArticleWire(20)).SendSlowly(ArticleWire(200), 500, 5).Line(".");
  ASSERT_TRUE(s.Open());
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  int lines = 0;
  QObject::connect(&s.client, &TNntpCli::OnMessageLine, &s.client, [&](TNntpCli* c) {
    if (++lines == 10) c->Abort();  // from inside a line event
  });
  s.client.ArticleByNumber(1, &stream);
  const TDone done = s.Next();
  EXPECT_EQ(done.kind, nntpAbort);
  EXPECT_EQ(done.code, 0);
  EXPECT_FALSE(done.viaOnError);
  EXPECT_TRUE(s.client.Aborted());
  EXPECT_FALSE(s.client.TimedOut());
  EXPECT_EQ(lines, 10);
  ExpectSingleCompletion(s, 1);

  // Aborted before the name lookup finished: no late nntpConnected.
  TMyNntpCli early;
  TClientProbe probe(&early);
  Aim(early, s.server.Port());
  early.Connect();
  early.Abort();
  ASSERT_TRUE(probe.WaitFor(1));
  TClientProbe::Spin(200);
  ASSERT_EQ(probe.done.size(), 1);
  EXPECT_EQ(probe.Last().kind, nntpAbort);
  EXPECT_EQ(early.State(), nntpNotConnected);
}

TEST(NntpCliFault, DisconnectIsSilent) {
  TSession s(true);
  s.server.On("GROUP").Line("211 1 1 1 alt.test");
  s.server.On("ARTICLE").Send(ArticleWire(5));
  ASSERT_TRUE(s.Open());
  // A completion already queued but not delivered is dropped as well: the
  // reply is read here without running the event loop.
  s.client.Group("alt.test");
  s.client.WSocket()->flush();
  while (!s.client.RequestDone() && s.client.WSocket()->waitForReadyRead(5000)) {
  }
  ASSERT_TRUE(s.client.RequestDone());
  ASSERT_EQ(s.probe->done.size(), 1);
  s.client.Disconnect();
  TClientProbe::Spin(150);
  EXPECT_EQ(s.probe->done.size(), 1);
  EXPECT_EQ(s.probe->closed, 0);
  EXPECT_EQ(s.client.State(), nntpNotConnected);
  EXPECT_EQ(s.client.ClosingRequest(), nntpAbort);
  EXPECT_TRUE(s.client.Aborted());
  EXPECT_TRUE(s.client.CurrentGroup().isEmpty());
  EXPECT_EQ(s.client.StatusCode(), 205);
  EXPECT_EQ(s.client.LastResponse(), QByteArrayView("205 Closing connection - goodbye"));

  // The client can connect again and work normally.
  s.client.Connect();
  EXPECT_EQ(s.Next().kind, nntpConnected);
  QBuffer stream;
  stream.open(QIODevice::WriteOnly);
  s.client.ArticleByNumber(1, &stream);
  s.client.Disconnect();
  TClientProbe::Spin(150);
  EXPECT_EQ(s.probe->done.size(), 2);
}

TEST(NntpCliFault, StreamThatRefusesDataFailsTheRequest) {
  TSession s;
  s.server.On("ARTICLE").Send(ArticleWire(3) + ".\r\n");
  ASSERT_TRUE(s.Open());
  QBuffer readOnly;
  readOnly.open(QIODevice::ReadOnly);
  s.client.ArticleByNumber(1, &readOnly);
  EXPECT_EQ(s.Next().code, NNTP_ERR_STREAM_WRITE);
  EXPECT_EQ(s.client.State(), nntpReady);
}

TEST(NntpCliFault, ErrorsGoToOnErrorWhenConnected) {
  TSession s(true);
  s.server.On("GROUP alt.none").Line("411 no such group");
  s.server.On("GROUP").Line("211 0 1 0 alt.test");
  ASSERT_TRUE(s.Open());
  s.client.Group("alt.none");
  const TDone failed = s.Next();
  EXPECT_TRUE(failed.viaOnError);
  EXPECT_EQ(failed.code, 411);
  s.client.Group("alt.test");
  const TDone ok = s.Next();
  EXPECT_FALSE(ok.viaOnError);
  EXPECT_EQ(ok.code, 0);
}

TEST(NntpCliFault, LoginAndThePasswordNeverShows) {
  TTempDir dir;
  TLogger::Instance().SetFile(dir.File(u"log.txt"_s));
  TLogger::Instance().SetLogLevel(TLogger::LEVEL_DEBUG);
  struct TCase {
    const char* name;
    const char* user;
    const char* userReply;
    const char* passReply;
    TNntpRequest kind;
    quint16 code;
    int commands;  // AUTHINFO lines sent
  };
  const TCase cases[] = {
      {"good password", "joe", "381 more", "281 ok", nntpReadyWaiting, 0, 2},
      {"bad password", "joe", "381 more", "481 nope", nntpReadyWaiting, 481, 2},
      {"no password needed", "joe", "281 welcome", "", nntpReadyWaiting, 0, 1},
      {"user refused", "joe", "482 not you", "", nntpReadyWaiting, 482, 1},
      {"no user name", "", "", "", nntpReadyWaiting, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSession s;
    s.server.On("AUTHINFO USER").Line(c.userReply);
    s.server.On("AUTHINFO PASS").Line(c.passReply);
    ASSERT_TRUE(s.server.Start());
    Aim(s.client, s.server.Port());
    s.client.SetAutoAuthenticate(true);
    s.client.SetUserName(QString::fromLatin1(c.user));
    s.client.SetPassWord(u"s3cr3t-pw"_s);
    s.client.Connect();
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, c.kind);
    EXPECT_EQ(done.code, c.code);
    ExpectSingleCompletion(s, 0);
    QList<QByteArray> auth;
    for (const QByteArray& line : s.server.Commands())
      if (line.startsWith("AUTHINFO")) auth.append(line);
    ASSERT_EQ(auth.size(), c.commands);
    if (c.commands == 2) {
      EXPECT_EQ(auth[1], QByteArray("AUTHINFO PASS s3cr3t-pw"));
      EXPECT_EQ(s.client.Request(), QByteArray("AUTHINFO PASS ****"));
    }
  }
  // Without AutoAuthenticate the connect reports nntpConnected and Authenticate nntpAuthenticate.
  TSession s;
  s.server.On("AUTHINFO USER").Line("381 more");
  s.server.On("AUTHINFO PASS").Line("281 ok");
  ASSERT_TRUE(s.Open());
  s.client.SetUserName(u"joe"_s);
  s.client.SetPassWord(u"s3cr3t-pw"_s);
  ASSERT_TRUE(s.client.Authenticate());
  const TDone done = s.Next();
  EXPECT_EQ(done.kind, nntpAuthenticate);
  EXPECT_EQ(done.code, 0);

  TLogger::Instance().SetFile({});
  TLogger::Instance().SetLogLevel(TLogger::LEVEL_VERBOSE);
  QFile log(dir.File(u"log.txt"_s));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QByteArray text = log.readAll();
  EXPECT_TRUE(text.contains("AUTHINFO PASS ****"));
  EXPECT_FALSE(text.contains("s3cr3t-pw"));
}

// A client on a worker thread, as the download threads own theirs: events run
// on that thread and reach an owner elsewhere through queued connections.
TEST(NntpCliFault, ClientOnItsOwnThread) {
  TFakeNntpServer server;
  server.On("GROUP").Line("211 2 1 2 alt.test");
  ASSERT_TRUE(server.Start());
  QThread thread;
  QObject onThread;
  onThread.moveToThread(&thread);
  thread.start();
  TMyNntpCli* client = nullptr;
  QMetaObject::invokeMethod(
      &onThread, [&] { client = new TMyNntpCli; }, Qt::BlockingQueuedConnection);
  ASSERT_EQ(client->thread(), &thread);
  QList<QPair<TNntpRequest, quint16>> seen;
  QList<bool> onWorker;
  QObject receiver;
  QObject::connect(client, &TNntpCli::OnRequestDone, &receiver, [&](TNntpCli* c, TNntpRequest kind, quint16 code) {
    seen.append({kind, code});
    if (kind == nntpConnected) QMetaObject::invokeMethod(c, [c] { c->Group("alt.test"); });
  });
  QObject::connect(
      client, &TNntpCli::OnStateChange, client,
      [&](TNntpCli*) { onWorker.append(QThread::currentThread() == &thread); }, Qt::DirectConnection);
  QMetaObject::invokeMethod(client, [client, port = server.Port()] {
    Aim(*client, port);
    client->Connect();
  });
  const QDeadlineTimer deadline(5000);
  while (seen.size() < 2 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(seen.size(), 2);
  EXPECT_EQ(seen[0].first, nntpConnected);
  EXPECT_EQ(seen[1].first, nntpGroup);
  EXPECT_EQ(seen[1].second, 0);
  EXPECT_FALSE(onWorker.contains(false));
  QMetaObject::invokeMethod(
      client, [client] { delete client; }, Qt::BlockingQueuedConnection);
  thread.quit();
  thread.wait();
}
