// The connection test against the private INN server: anonymous and logged-in
// sessions, a wrong password, and STARTTLS with the test certificate.
#include "nntp/NewsServerEntry.h"
#include "nntp/NewsTester.h"
#include "support/InnServer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TNewsServerEntry InnEntry(const QString& user = {}, const QString& password = {}) {
  TNewsServerEntry e = TNewsServerEntry::Init();
  e.name = "INN";
  e.host = TInnServer::Host().toUtf8();
  e.port = TInnServer::Port();
  e.userName = user.toUtf8();
  e.password = password.toUtf8();
  return e;
}

class NewsTesterInn : public testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
  }
};

}  // namespace

TEST_F(NewsTesterInn, LoginsAndPasswords) {
  struct {
    const char* name;
    QString user;
    QString password;
    int result;
    QString message;
  } const cases[] = {
      {"anonymous", {}, {}, SERVER_TEST_OK, u"Connection established successfully!"_s},
      {"valid login", TInnServer::User(), TInnServer::Password(), SERVER_TEST_OK,
       u"Connection established successfully! The username and password are valid."_s},
      {"wrong password", TInnServer::User(), TInnServer::Password() + u"-wrong"_s, SERVER_TEST_LOGIN_FAILED,
       u"The server could not process the login. The username or password might be missing or misspelled."_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QString message;
    EXPECT_EQ(TestNewsServer(InnEntry(c.user, c.password), 0, message), c.result);
    EXPECT_EQ(message, c.message);
  }
}

TEST_F(NewsTesterInn, StartTlsCertificateAcceptedForTheServer) {
  TNewsServerEntry entry = InnEntry(TInnServer::User(), TInnServer::Password());
  entry.SetSecurity(SECURITY_STARTTLS);
  QString message;
  TServerTestReport report;
  ASSERT_EQ(TestNewsServer(entry, 0, message, &report), SERVER_TEST_CERTIFICATE_UNTRUSTED);
  ASSERT_EQ(report.fingerprint.size(), 32);
  entry.acceptedFingerprint = report.fingerprint.toHex();
  EXPECT_EQ(TestNewsServer(entry, 0, message, &report), SERVER_TEST_OK);
  EXPECT_EQ(message, u"Connection established successfully! The username and password are valid."_s);
}
