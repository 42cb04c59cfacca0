// TLS: implicit and STARTTLS, the certificate check against the trusted
// store, and a certificate the user accepted by its fingerprint.
#include "ClientProbe.h"

#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QSslCertificate ServerCertificate() {
  QFile file(TestDataPath(u"nntp/server.crt"_s));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return QSslCertificate(&file, QSsl::Pem);
}

struct TTlsCase {
  const char* name;
  TNntpTlsMode mode;
};
const TTlsCase kModes[] = {{"implicit", NNTP_TLS_IMPLICIT}, {"STARTTLS", NNTP_TLS_STARTTLS}};

// A scripted server speaking TLS the way the mode expects.
void StartServer(TFakeNntpServer& server, TNntpTlsMode mode) {
  if (mode == NNTP_TLS_STARTTLS) server.EnableStartTls();
  server.On("ARTICLE").MultiLine("220 1 <secret@test> article", {"Subject: over TLS", "", "body", ".hidden"});
  ASSERT_TRUE(server.Start(mode == NNTP_TLS_IMPLICIT ? TFakeNntpServer::IMPLICIT_TLS : TFakeNntpServer::PLAIN));
}

}  // namespace

TEST(NntpTls, SelfSignedRefusedByDefaultAndAcceptedByFingerprint) {
  ASSERT_TRUE(QSslSocket::supportsSsl());
  const QByteArray fingerprint = ServerCertificate().digest(QCryptographicHash::Sha256);
  for (const TTlsCase& c : kModes) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    StartServer(server, c.mode);
    TMyNntpCli client;
    TClientProbe probe(&client);
    Aim(client, server.Port());
    client.SetTlsMode(c.mode);
    client.Connect();
    ASSERT_TRUE(probe.WaitFor(1));
    TClientProbe::Spin(100);
    ASSERT_EQ(probe.done.size(), 1);
    EXPECT_EQ(probe.Last().kind, nntpConnecting);
    EXPECT_EQ(probe.Last().code, NNTP_ERR_TLS_UNTRUSTED);
    EXPECT_EQ(client.State(), nntpNotConnected);
    EXPECT_EQ(client.PeerCertificateFingerprint(), fingerprint);
    EXPECT_FALSE(client.TlsErrorText().isEmpty());

    // The fingerprint of another certificate changes nothing.
    ASSERT_TRUE(client.SetAcceptedCertificate(QByteArray(64, 'a')));
    client.Connect();
    ASSERT_TRUE(probe.WaitFor(2));
    EXPECT_EQ(probe.Last().code, NNTP_ERR_TLS_UNTRUSTED);

    // The user accepted this certificate (hex with colons, as shown to users).
    ASSERT_TRUE(client.SetAcceptedCertificate(fingerprint.toHex(':')));
    client.Connect();
    ASSERT_TRUE(probe.WaitFor(3));
    EXPECT_EQ(probe.Last().kind, nntpConnected);
    EXPECT_EQ(probe.Last().code, 0);
    EXPECT_TRUE(client.IsEncrypted());
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    client.ArticleByNumber(1, &stream);
    ASSERT_TRUE(probe.WaitFor(4));
    EXPECT_EQ(probe.Last().code, 0);
    EXPECT_EQ(stream.data(), QByteArray("Subject: over TLS\r\n\r\nbody\r\n.hidden\r\n"));
  }
}

TEST(NntpTls, TrustedCertificateNeedsNoFingerprint) {
  // The test CA joins the trusted store of this process only.
  QFile ca(TestDataPath(u"nntp/ca.crt"_s));
  ASSERT_TRUE(ca.open(QIODevice::ReadOnly));
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.addCaCertificates(QSslCertificate::fromDevice(&ca));
  QSslConfiguration::setDefaultConfiguration(config);
  for (const TTlsCase& c : kModes) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    StartServer(server, c.mode);
    TMyNntpCli client;
    TClientProbe probe(&client);
    client.SetHost(u"localhost"_s);
    client.SetPort(QString::number(server.Port()));
    client.SetTlsMode(c.mode);
    client.Connect();
    ASSERT_TRUE(probe.WaitFor(1));
    EXPECT_EQ(probe.Last().kind, nntpConnected);
    EXPECT_EQ(probe.Last().code, 0);
    EXPECT_TRUE(client.IsEncrypted());
  }
}

TEST(NntpTls, StartTlsRefusedByTheServer) {
  for (const char* reply : {"580 can not initiate TLS negotiation", "502 command unavailable", "500 What?"}) {
    SCOPED_TRACE(reply);
    TFakeNntpServer server;
    server.On("STARTTLS").Line(reply);
    ASSERT_TRUE(server.Start());
    TMyNntpCli client;
    TClientProbe probe(&client);
    Aim(client, server.Port());
    client.SetTlsMode(NNTP_TLS_STARTTLS);
    client.Connect();
    ASSERT_TRUE(probe.WaitFor(1));
    TClientProbe::Spin(100);
    ASSERT_EQ(probe.done.size(), 1);
    EXPECT_EQ(probe.Last().kind, nntpConnecting);
    EXPECT_EQ(probe.Last().code, NNTP_ERR_STARTTLS_REFUSED);
    EXPECT_EQ(client.State(), nntpNotConnected);
  }
}

TEST(NntpTls, AcceptedCertificateText) {
  TMyNntpCli client;
  const QByteArray raw(32, '\x5a');
  struct TCase {
    QByteArray text;
    bool ok;
  };
  const TCase cases[] = {
      {raw, true}, {raw.toHex(), true},          {raw.toHex(':').toUpper(), true},
      {"", true},  {"not a fingerprint", false}, {raw.toHex().left(40), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(client.SetAcceptedCertificate(c.text), c.ok);
    EXPECT_EQ(client.AcceptedCertificate(), c.ok && !c.text.isEmpty() ? raw : QByteArray());
  }
}
