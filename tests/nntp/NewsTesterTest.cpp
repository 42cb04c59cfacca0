// The connection test against the scripted server: each way a session can
// end maps to its result and message, a silent server ends in a time-out,
// and TLS failures are told apart from misspelled addresses.
#include "nntp/NewsServerEntry.h"
#include "nntp/NewsTester.h"
#include "servers/FakeNntpServer.h"
#include "support/TempDir.h"

#include <QFile>
#include <QSslCertificate>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Short enough for a fast test, long enough for a loopback session.
constexpr auto kShortTimeout = 400ms;

TNewsServerEntry ServerAt(quint16 port, QByteArray user = {}, QByteArray password = {}) {
  TNewsServerEntry e = TNewsServerEntry::Init();
  e.name = "Test";
  e.host = "127.0.0.1";
  e.port = port;
  e.userName = std::move(user);
  e.password = std::move(password);
  return e;
}

QByteArray ServerFingerprint() {
  QFile file(TestDataPath(u"nntp/server.crt"_s));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return QSslCertificate(&file, QSsl::Pem).digest(QCryptographicHash::Sha256);
}

struct TSessionCase {
  const char* name;
  std::function<void(TFakeNntpServer&)> script;
  bool login;
  int result;
};

}  // namespace

TEST(NewsTester, SessionEndsMapToResults) {
  const TSessionCase cases[] = {
      {"no banner", [](TFakeNntpServer& s) { s.Banner(); }, false, SERVER_TEST_TIMED_OUT},
      {"banner 502", [](TFakeNntpServer& s) { s.Banner().Line("502 you may not connect"); }, false,
       SERVER_TEST_REFUSED},
      {"banner 400", [](TFakeNntpServer& s) { s.Banner().Line("400 too busy"); }, false, SERVER_TEST_REFUSED},
      {"group found", [](TFakeNntpServer& s) { s.On("GROUP").Line("211 3 1 3 alt.test"); }, false, SERVER_TEST_OK},
      {"no such group", [](TFakeNntpServer& s) { s.On("GROUP").Line("411 no such group"); }, false, SERVER_TEST_OK},
      {"login needed", [](TFakeNntpServer& s) { s.On("GROUP").Line("480 authentication required"); }, false,
       SERVER_TEST_AUTH_REQUIRED},
      {"group fault", [](TFakeNntpServer& s) { s.On("GROUP").Line("503 program fault"); }, false, SERVER_TEST_FAILED},
      {"closed during group", [](TFakeNntpServer& s) { s.On("GROUP").Close(); }, false, SERVER_TEST_FAILED},
      {"silent after banner", [](TFakeNntpServer& s) { s.On("GROUP"); }, false, SERVER_TEST_TIMED_OUT},
      {"login accepted",
       [](TFakeNntpServer& s) {
         s.On("AUTHINFO USER").Line("381 password please");
         s.On("AUTHINFO PASS").Line("281 welcome");
         s.On("GROUP").Line("211 3 1 3 alt.test");
       },
       true, SERVER_TEST_OK},
      {"bad password",
       [](TFakeNntpServer& s) {
         s.On("AUTHINFO USER").Line("381 password please");
         s.On("AUTHINFO PASS").Line("481 rejected");
       },
       true, SERVER_TEST_LOGIN_FAILED},
      {"login refused", [](TFakeNntpServer& s) { s.On("AUTHINFO USER").Line("502 no permission"); }, true,
       SERVER_TEST_AUTH_REFUSED},
  };
  for (const TSessionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    c.script(server);
    ASSERT_TRUE(server.Start());
    const TNewsServerEntry entry = c.login ? ServerAt(server.Port(), "reader", "secret") : ServerAt(server.Port());
    QString message;
    TServerTestReport report;
    EXPECT_EQ(TestNewsServer(entry, 0, message, &report, kShortTimeout), c.result);
    EXPECT_EQ(report.result, c.result);
    EXPECT_EQ(message, ServerTestMessage(c.result, c.login, 0, report));
    EXPECT_FALSE(message.isEmpty());
    if (c.result == SERVER_TEST_OK) {
      EXPECT_TRUE(server.Commands().contains("GROUP alt.test"));
      EXPECT_EQ(message, c.login ? u"Connection established successfully! The username and password are valid."_s
                                 : u"Connection established successfully!"_s);
    }
  }
}

TEST(NewsTester, NothingListeningIsAConnectError) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const quint16 port = probe.serverPort();
  probe.close();
  QString message;
  EXPECT_EQ(TestNewsServer(ServerAt(port), 0, message, nullptr, kShortTimeout), SERVER_TEST_CONNECT_FAILED);
  EXPECT_EQ(message, u"Error connecting to news server. The address of the server might be misspelled."_s);
  // Quiet flag 2 silences this one.
  EXPECT_EQ(TestNewsServer(ServerAt(port), SERVER_TEST_QUIET_CONNECT, message, nullptr, kShortTimeout),
            SERVER_TEST_CONNECT_FAILED);
  EXPECT_TRUE(message.isEmpty());
}

TEST(NewsTester, MessagesAndQuietFlags) {
  struct {
    int result;
    bool user;
    int quiet;
    QString message;
  } const cases[] = {
      {SERVER_TEST_OK, false, SERVER_TEST_QUIET_SUCCESS, {}},
      {SERVER_TEST_OK, true, SERVER_TEST_QUIET_CONNECT,
       u"Connection established successfully! The username and password are valid."_s},
      {SERVER_TEST_TIMED_OUT, false, SERVER_TEST_QUIET_CONNECT, {}},
      {SERVER_TEST_TIMED_OUT, false, SERVER_TEST_QUIET_SUCCESS,
       u"Connection timed out. The server address and port number might be wrong."_s},
      {SERVER_TEST_REFUSED, false, SERVER_TEST_QUIET_SUCCESS | SERVER_TEST_QUIET_CONNECT,
       u"Connection refused by the server. You might not be allowed to use that server."_s},
      {SERVER_TEST_AUTH_FAILED, true, 0,
       u"Connection was successful but authentication failed. The username or password might be missing or "
       u"misspelled."_s},
      {SERVER_TEST_COMMAND_FAILED, false, 0,
       u"Failed to send Help command but the server might still work normally."_s},
      {42, false, 0, u"Connection failed (error code 42)"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    EXPECT_EQ(ServerTestMessage(c.result, c.user, c.quiet), c.message);
  }
}

TEST(NewsTester, UntrustedCertificateThenAcceptedByFingerprint) {
  TFakeNntpServer server;
  server.On("GROUP").Line("411 no such group");
  ASSERT_TRUE(server.Start(TFakeNntpServer::IMPLICIT_TLS));
  TNewsServerEntry entry = ServerAt(server.Port());
  entry.SetSecurity(SECURITY_TLS);

  QString message;
  TServerTestReport report;
  ASSERT_EQ(TestNewsServer(entry, 0, message, &report, 5s), SERVER_TEST_CERTIFICATE_UNTRUSTED);
  EXPECT_EQ(report.fingerprint, ServerFingerprint());
  EXPECT_FALSE(report.certificate.isNull());
  EXPECT_FALSE(report.certificate.subjectInfo(QSslCertificate::CommonName).isEmpty());
  EXPECT_FALSE(report.tlsErrorText.isEmpty());
  EXPECT_TRUE(message.startsWith(u"The server's certificate could not be verified ("_s)) << message.toStdString();
  EXPECT_FALSE(server.Commands().contains("GROUP alt.test"));  // nothing is said over a refused connection

  // Accepted for this server, as the editor stores it.
  entry.acceptedFingerprint = report.fingerprint.toHex();
  EXPECT_EQ(TestNewsServer(entry, 0, message, &report, 5s), SERVER_TEST_OK);
  EXPECT_EQ(message, u"Connection established successfully!"_s);
}

TEST(NewsTester, TlsFailuresAreNotAddressErrors) {
  {
    SCOPED_TRACE("STARTTLS refused");
    TFakeNntpServer server;
    server.On("STARTTLS").Line("502 command unavailable");
    ASSERT_TRUE(server.Start());
    TNewsServerEntry entry = ServerAt(server.Port());
    entry.SetSecurity(SECURITY_STARTTLS);
    QString message;
    EXPECT_EQ(TestNewsServer(entry, 0, message, nullptr, 5s), SERVER_TEST_TLS_FAILED);
    EXPECT_EQ(message, u"The server does not offer STARTTLS. Choose another security setting for this server."_s);
  }
  {
    SCOPED_TRACE("TLS to a plain server");
    TFakeNntpServer server;
    ASSERT_TRUE(server.Start());
    TNewsServerEntry entry = ServerAt(server.Port());
    entry.SetSecurity(SECURITY_TLS);
    QString message;
    EXPECT_EQ(TestNewsServer(entry, 0, message, nullptr, 5s), SERVER_TEST_TLS_FAILED);
    EXPECT_TRUE(message.startsWith(u"A secure connection could not be established."_s)) << message.toStdString();
  }
}
