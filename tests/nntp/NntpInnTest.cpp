// The NNTP client against a real INN server (the "inn" test fixture).
#include "ClientProbe.h"

#include "nntp/MyNntpCli2.h"
#include "support/InnServer.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QSslCertificate>
#include <QSslSocket>

#include <gtest/gtest.h>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// A client connected to the test INN server.
struct TInn {
  TMyNntpCli2 client;
  TClientProbe probe{&client, true};

  TInn() {
    client.SetHost(TInnServer::Host());
    client.SetPort(QString::number(TInnServer::Port()));
  }
  TDone Connect() {
    client.Connect();
    return Next();
  }
  TDone Next() {
    const int want = probe.done.size() + 1;
    EXPECT_TRUE(probe.WaitFor(want)) << "no completion";
    return probe.done.isEmpty() ? TDone{nntpAbort, 0xffff, false, nntpNotConnected} : probe.done.back();
  }
  // Runs one request into a fresh stream and returns what the stream got.
  QByteArray Fetch(const std::function<bool(TMyNntpCli2&, QIODevice*)>& start, quint16* code = nullptr) {
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    EXPECT_TRUE(start(client, &stream));
    const TDone done = Next();
    if (code)
      *code = done.code;
    else
      EXPECT_EQ(done.code, 0);
    return stream.data();
  }
};

class NntpInn : public testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
  }

  // A new group holding the given articles (body texts), numbered from 1.
  static QByteArray GroupWith(const QList<QByteArray>& bodies, QList<QByteArray>* ids = nullptr) {
    const QByteArray group = TInnServer::UniqueGroup("client");
    QString error;
    EXPECT_TRUE(TInnServer::CreateGroups({group}, &error)) << error.toStdString();
    for (qsizetype i = 0; i < bodies.size(); ++i) {
      const QByteArray id = TInnServer::UniqueMessageId();
      if (ids) ids->append(id);
      const QByteArray article = TInnServer::MakeArticle(group, "article " + QByteArray::number(i + 1), bodies[i], id);
      EXPECT_TRUE(TInnServer::Post(article, &error)) << error.toStdString();
    }
    return group;
  }

  static QByteArray BodyOf(const QByteArray& article) {
    const qsizetype at = article.indexOf("\r\n\r\n");
    return at < 0 ? QByteArray() : article.mid(at + 4);
  }
};

// Body lines that dot-stuffing must carry through untouched.
const QByteArray kDotBody = "first\r\n.\r\n..\r\n...\r\n.x\r\n. \r\n\r\nlast\r\n";

}  // namespace

TEST_F(NntpInn, BannerAndQuit) {
  TInn inn;
  const TDone connected = inn.Connect();
  EXPECT_EQ(connected.kind, nntpConnected);
  EXPECT_EQ(connected.code, 0);
  EXPECT_TRUE(inn.client.PostingPermited());
  EXPECT_EQ(inn.client.StatusCode(), 200);
  EXPECT_TRUE(inn.client.LastResponse().contains("INN"));
  ASSERT_TRUE(inn.client.Quit());
  const TDone quit = inn.Next();
  EXPECT_EQ(quit.kind, nntpQuit);
  EXPECT_EQ(quit.code, 0);
  EXPECT_FALSE(quit.viaOnError);
  TClientProbe::Spin(200);
  EXPECT_EQ(inn.probe.closed, 1);
  EXPECT_EQ(inn.client.State(), nntpNotConnected);
}

TEST_F(NntpInn, GroupXOverXHdrHead) {
  const QByteArray group = GroupWith({"one\r\n", "two\r\n", "three\r\n"});
  TInn inn;
  ASSERT_EQ(inn.Connect().code, 0);
  ASSERT_TRUE(inn.client.Group(group));
  ASSERT_EQ(inn.Next().code, 0);
  EXPECT_EQ(inn.client.ArticleEstimated(), 3);
  EXPECT_EQ(inn.client.ArticleFirst(), 1);
  EXPECT_EQ(inn.client.ArticleLast(), 3);
  EXPECT_EQ(inn.client.GroupName(), group);
  EXPECT_EQ(inn.client.CurrentGroup(), group);

  const QList<QByteArray> overview =
      inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.XOver("1-3", s); }).split('\n');
  ASSERT_EQ(overview.size(), 4);  // three lines and the empty rest after the last line end
  for (int i = 0; i < 3; ++i) {
    const QList<QByteArray> fields = overview[i].split('\t');
    ASSERT_GE(fields.size(), 8);
    EXPECT_EQ(fields[0], QByteArray::number(i + 1));
    EXPECT_EQ(fields[1], "article " + QByteArray::number(i + 1));
  }
  const QByteArray subjects = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.XHdr(s, "Subject", "1-3"); });
  EXPECT_EQ(subjects, QByteArray("1 article 1\r\n2 article 2\r\n3 article 3\r\n"));
  const QByteArray head = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.HeadByNumber(2, s); });
  EXPECT_TRUE(head.contains("Subject: article 2\r\n"));
  EXPECT_FALSE(head.contains("two"));
  EXPECT_EQ(inn.client.ArticleNumber(), 2);

  quint16 code = 0;
  const QByteArray none = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.ArticleByNumber(99, s); }, &code);
  EXPECT_EQ(code, 423);
  EXPECT_TRUE(none.isEmpty());
  ASSERT_TRUE(inn.client.Group("korvel.test.no.such.group"));
  EXPECT_EQ(inn.Next().code, 411);
}

TEST_F(NntpInn, ArticleByNumberAndByIdKeepDotLines) {
  QList<QByteArray> ids;
  const QByteArray group = GroupWith({kDotBody}, &ids);
  TInn inn;
  ASSERT_EQ(inn.Connect().code, 0);
  inn.client.Group(group);
  ASSERT_EQ(inn.Next().code, 0);
  const QByteArray byNumber = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.ArticleByNumber(1, s); });
  EXPECT_EQ(BodyOf(byNumber), kDotBody);
  EXPECT_EQ(inn.client.ArticleID(), ids[0]);
  const QByteArray byId = inn.Fetch([&](TMyNntpCli2& c, QIODevice* s) { return c.ArticleByID(ids[0], s); });
  EXPECT_EQ(byId, byNumber);
  const QByteArray body = inn.Fetch([&](TMyNntpCli2& c, QIODevice* s) { return c.BodyByID(ids[0], s); });
  EXPECT_EQ(body, kDotBody);
  quint16 code = 0;
  inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.ArticleByID("never.posted@korvel.test.invalid", s); }, &code);
  EXPECT_EQ(code, 430);
}

TEST_F(NntpInn, ListNewGroupsAndDate) {
  const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-120);
  const QByteArray group = GroupWith({});
  TInn inn;
  ASSERT_EQ(inn.Connect().code, 0);
  const QByteArray list = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.List(s); });
  EXPECT_TRUE(list.contains("\n" + group + " ")) << list.left(500).toStdString();
  const QByteArray fresh = inn.Fetch([&](TMyNntpCli2& c, QIODevice* s) { return c.NewGroups(before, true, {}, s); });
  EXPECT_TRUE(fresh.contains(group + " "));
  const QByteArray none = inn.Fetch([&](TMyNntpCli2& c, QIODevice* s) {
    return c.NewGroups(QDateTime::currentDateTimeUtc().addDays(1), true, {}, s);
  });
  EXPECT_FALSE(none.contains(group));
  ASSERT_TRUE(inn.client.Date());
  EXPECT_EQ(inn.Next().code, 0);
  ASSERT_TRUE(inn.client.ServerDate().isValid());
  EXPECT_LT(std::abs(inn.client.ServerDate().secsTo(QDateTime::currentDateTimeUtc())), 300);
}

TEST_F(NntpInn, Authinfo) {
  struct TCase {
    const char* name;
    bool automatic;
    bool goodPassword;
    TNntpRequest kind;
    quint16 code;
  };
  const TCase cases[] = {
      {"explicit, good password", false, true, nntpAuthenticate, 0},
      {"explicit, bad password", false, false, nntpAuthenticate, 481},
      {"automatic, good password", true, true, nntpReadyWaiting, 0},
      {"automatic, bad password", true, false, nntpReadyWaiting, 481},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TInn inn;
    inn.client.SetUserName(TInnServer::User());
    inn.client.SetPassWord(c.goodPassword ? TInnServer::Password() : u"wrong"_s);
    inn.client.SetAutoAuthenticate(c.automatic);
    TDone done = inn.Connect();
    if (!c.automatic) {
      ASSERT_EQ(done.kind, nntpConnected);
      ASSERT_TRUE(inn.client.Authenticate());
      done = inn.Next();
    }
    EXPECT_EQ(done.kind, c.kind);
    EXPECT_EQ(done.code, c.code);
    EXPECT_EQ(done.viaOnError, c.code != 0);
    EXPECT_EQ(inn.client.Request(), QByteArray("AUTHINFO PASS ****"));
    TClientProbe::Spin(50);
    EXPECT_EQ(inn.probe.done.size(), c.automatic ? 1 : 2);
  }
}

TEST_F(NntpInn, PostThenReadBack) {
  const QByteArray group = GroupWith({});
  for (bool fromGetData : {false, true}) {
    SCOPED_TRACE(fromGetData ? "OnGetData" : "stream");
    const QByteArray id = TInnServer::UniqueMessageId();
    // The caller supplies dot-stuffed text.
    QByteArray stuffed = "From: Korvel Tests <tests@korvel.test.invalid>\r\nNewsgroups: " + group +
                         "\r\nSubject: posted by the client\r\nMessage-ID: <" + id + ">\r\n\r\n";
    for (const QByteArray& line : kDotBody.split('\n')) {
      if (line.isEmpty()) continue;
      stuffed += (line.startsWith('.') ? "." : "") + line + "\n";
    }
    TInn inn;
    ASSERT_EQ(inn.Connect().code, 0);
    QBuffer source;
    source.setData(stuffed);
    source.open(QIODevice::ReadOnly);
    if (fromGetData) {
      // Two pieces, to cross a block.
      int calls = 0;
      QObject::connect(&inn.client, &TMyNntpCli2::OnGetData, &inn.client,
                       [&](TMyNntpCli2*, char* buffer, qsizetype capacity, bool& more) {
                         const QByteArray piece = calls++ == 0 ? stuffed.left(40) : stuffed.mid(40);
                         ASSERT_LE(piece.size(), capacity);
                         std::memcpy(buffer, piece.constData(), size_t(piece.size()));
                         more = calls < 2;
                       });
    }
    ASSERT_TRUE(inn.client.Post(&source));
    const TDone posted = inn.Next();
    EXPECT_EQ(posted.kind, nntpPost);
    ASSERT_EQ(posted.code, 0) << inn.client.LastResponse().toByteArray().toStdString();
    const QByteArray article = inn.Fetch([&](TMyNntpCli2& c, QIODevice* s) { return c.ArticleByID(id, s); });
    EXPECT_EQ(BodyOf(article), kDotBody);
    EXPECT_TRUE(article.contains("Subject: posted by the client\r\n"));
  }
}

TEST_F(NntpInn, StartTls) {
  QFile file(TestDataPath(u"nntp/server.crt"_s));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray fingerprint = QSslCertificate(&file, QSsl::Pem).digest(QCryptographicHash::Sha256);
  const QByteArray group = GroupWith({"over TLS\r\n"});
  TInn inn;
  inn.client.SetTlsMode(NNTP_TLS_STARTTLS);
  TDone done = inn.Connect();
  EXPECT_EQ(done.kind, nntpConnecting);
  EXPECT_EQ(done.code, NNTP_ERR_TLS_UNTRUSTED);
  inn.client.SetAcceptedCertificate(fingerprint);
  done = inn.Connect();
  ASSERT_EQ(done.kind, nntpConnected);
  ASSERT_EQ(done.code, 0);
  EXPECT_TRUE(inn.client.IsEncrypted());
  inn.client.Group(group);
  ASSERT_EQ(inn.Next().code, 0);
  const QByteArray body = inn.Fetch([](TMyNntpCli2& c, QIODevice* s) { return c.BodyByNumber(1, s); });
  EXPECT_EQ(body, QByteArray("over TLS\r\n"));
}
