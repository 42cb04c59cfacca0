// The date query against the scripted server: replies real servers give
// rarely or only when something goes wrong.
#include "DateQueryProbe.h"

#include "app/DayCount.h"
#include "nntp/ArticleDate.h"
#include "servers/FakeNntpServer.h"

#include <QTcpServer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int kReady = TNewsGetDates::EVENT_READY;
constexpr int kFinished = TNewsGetDates::EVENT_FINISHED;

QByteArray Head(int number, const QList<QByteArray>& lines) {
  QByteArray reply = "221 " + QByteArray::number(number) + " <" + QByteArray::number(number) + "@test> head\r\n";
  for (const QByteArray& line : lines) reply += line + "\r\n";
  return reply + ".\r\n";
}

double Expected(const char* date) { return ParseArticleDate(date, TArticleDateClock::Now()); }

double EntryDays(const QString& entry) {
  bool ok = false;
  const double days = DaysFromText(entry, &ok);
  return ok ? days : std::nan("");
}

struct TSession {
  TFakeNntpServer server;
  TNewsGetDates query;
  TDateQueryOwner owner;

  explicit TSession(const char* user = nullptr) {
    if (user) query.SetUserName(QLatin1String(user));
    query.SetPassWord(u"secret"_s);
    query.TargetGroup = "alt.test";
  }
  // Starts the server and connects; true when the group is selected.
  bool Open() {
    if (!server.Start()) return false;
    query.SetHost(u"127.0.0.1"_s);
    query.SetPort(QString::number(server.Port()));
    return query.Open(&owner) == 0 && owner.WaitFor(1) && owner.LastIs(kReady);
  }
  void Query(const QStringList& numbers, int notes) {
    query.ArticleNumbers = numbers;
    query.QueryDates();
    EXPECT_TRUE(owner.WaitFor(notes)) << "no answer";
  }
};

}  // namespace

TEST(NewsGetDates, DateLinesAsServersWriteThem) {
  TSession s;
  s.server.On("GROUP").Line("211 9 1 9 alt.test");
  s.server.On("HEAD 1").Send(Head(1, {"Subject: one", "  DATE:   Mon, 5 Mar 2007 14:03:10 +0100  "}));
  s.server.On("HEAD 2").Send(Head(2, {"Date-Received: Mon, 5 Mar 2007 14:03:10 +0100", "Subject: no date"}));
  s.server.On("HEAD 3").Send(Head(3, {"Date: sometime last week"}));
  s.server.On("HEAD 4").Line("423 no such article");
  s.server.On("HEAD 5").Send(Head(5, {"date:Friday, 19-Nov-82 16:14:55 EST"}));
  ASSERT_TRUE(s.Open());
  s.Query({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u" 5 "_s}, 2);
  ASSERT_TRUE(s.owner.LastIs(kFinished, TNewsGetDates::RESULT_OK));
  ASSERT_EQ(s.query.Dates.size(), 5);
  EXPECT_NEAR(EntryDays(s.query.Dates[0]), Expected("Mon, 5 Mar 2007 14:03:10 +0100"), 1e-9);
  EXPECT_EQ(s.query.Dates[1], QString());  // no Date line: unavailable, never the number
  EXPECT_EQ(s.query.Dates[2], QString());  // unreadable: unavailable, never "now"
  EXPECT_EQ(s.query.Dates[3], QString());
  EXPECT_NEAR(EntryDays(s.query.Dates[4]), Expected("19-Nov-82 16:14:55 EST"), 1e-9);

  // The next query starts afresh and needs no new login.
  s.Query({u"4"_s}, 3);
  EXPECT_TRUE(s.owner.LastIs(kFinished, TNewsGetDates::RESULT_OK));
  EXPECT_EQ(s.query.Dates, QStringList{QString()});
  EXPECT_EQ(s.server.Connections(), 1);

  // An empty list starts nothing and posts nothing.
  s.query.ArticleNumbers.clear();
  s.query.QueryDates();
  EXPECT_FALSE(s.owner.WaitFor(4, 200));
}

TEST(NewsGetDates, NumberThatIsNoNumber) {
  TSession s;
  s.server.On("GROUP").Line("211 9 1 9 alt.test");
  s.server.On("HEAD 1").Send(Head(1, {"Date: Mon, 5 Mar 2007 14:03:10 +0100"}));
  ASSERT_TRUE(s.Open());
  s.Query({u"1"_s, u"12x"_s, u"3"_s}, 2);
  EXPECT_TRUE(s.owner.LastIs(kFinished, TNewsGetDates::RESULT_BAD_NUMBER));
  EXPECT_FALSE(s.query.Dates[0].isEmpty());
  const QList<QByteArray> commands = s.server.Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const QByteArray& c) { return c.startsWith("HEAD"); }),
            1);
}

// A server that hangs up in the middle of a head: the query ends instead of
// waiting for ever, and no later entry shows anything.
TEST(NewsGetDates, ConnectionLostDuringAQuery) {
  TSession s;
  s.server.On("GROUP").Line("211 9 1 9 alt.test");
  s.server.On("HEAD 1").Send("221 1 <1@test> head\r\nSubject: cut\r\n").Close();
  ASSERT_TRUE(s.Open());
  s.Query({u"1"_s, u"2"_s}, 2);
  EXPECT_TRUE(s.owner.LastIs(kFinished, TNewsGetDates::RESULT_CONNECT_FAILED));
  EXPECT_EQ(s.query.Dates, QStringList({QString(), QString()}));
}

TEST(NewsGetDates, SilentServerIsGivenUp) {
  TSession s;
  s.server.On("GROUP").Line("211 9 1 9 alt.test");
  s.server.On("HEAD 1");  // no reply at all
  ASSERT_TRUE(s.Open());
  s.query.SetTimeout(1);
  s.Query({u"1"_s}, 2);
  EXPECT_TRUE(s.owner.LastIs(kFinished, TNewsGetDates::RESULT_CONNECT_FAILED));
  EXPECT_TRUE(s.query.TimedOut());
}

TEST(NewsGetDates, ConnectionAndLoginFailures) {
  struct TCase {
    const char* what;
    const char* user;
    const char* banner;     // nullptr: the default 200
    const char* userReply;  // reply to AUTHINFO USER
    const char* groupReply;
    int code;
  };
  const TCase cases[] = {
      {"banner refused", nullptr, "400 too busy", nullptr, nullptr, TNewsGetDates::RESULT_CONNECT_FAILED},
      {"login refused", "joe", nullptr, "502 go away", nullptr, TNewsGetDates::RESULT_LOGIN_REFUSED},
      {"login failed", "joe", nullptr, "481 wrong", nullptr, TNewsGetDates::RESULT_LOGIN_ERROR},
      {"no such group", nullptr, nullptr, nullptr, "411 no such group", TNewsGetDates::RESULT_GROUP_FAILED},
  };
  for (const TCase& c : cases) {
    TSession s(c.user);
    if (c.banner) s.server.Banner().Line(c.banner);
    if (c.userReply) s.server.On("AUTHINFO USER").Line(c.userReply);
    s.server.On("GROUP").Line(c.groupReply ? c.groupReply : "211 9 1 9 alt.test");
    ASSERT_TRUE(s.server.Start());
    s.query.SetHost(u"127.0.0.1"_s);
    s.query.SetPort(QString::number(s.server.Port()));
    ASSERT_EQ(s.query.Open(&s.owner), 0);
    ASSERT_TRUE(s.owner.WaitFor(1)) << c.what;
    EXPECT_EQ(s.owner.notes.size(), 1) << c.what;  // no "ready" before it
    EXPECT_TRUE(s.owner.LastIs(kFinished, c.code)) << c.what << ": " << s.owner.notes.back().code;
  }

  // Nobody listening.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 port = closed.serverPort();
  closed.close();
  TNewsGetDates query;
  TDateQueryOwner owner;
  query.SetHost(u"127.0.0.1"_s);
  query.SetPort(QString::number(port));
  ASSERT_EQ(query.Open(&owner), 0);
  ASSERT_TRUE(owner.WaitFor(1));
  EXPECT_TRUE(owner.LastIs(kFinished, TNewsGetDates::RESULT_CONNECT_FAILED));
}

// Without an owner nothing is posted; the owner may go away at any moment.
TEST(NewsGetDates, OwnerGoneOrNone) {
  TSession s;
  s.server.On("GROUP").Line("211 9 1 9 alt.test");
  ASSERT_TRUE(s.server.Start());
  s.query.SetHost(u"127.0.0.1"_s);
  s.query.SetPort(QString::number(s.server.Port()));
  auto* owner = new TDateQueryOwner;
  ASSERT_EQ(s.query.Open(owner), 0);
  delete owner;
  EXPECT_FALSE(s.owner.WaitFor(1, 300));  // nothing arrives anywhere, nothing crashes
  EXPECT_TRUE(s.query.OwnerWindow.isNull());
}
