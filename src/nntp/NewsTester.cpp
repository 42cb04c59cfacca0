#include "nntp/NewsTester.h"

#include "app/Logger.h"
#include "nntp/ConfigureNntpClient.h"
#include "nntp/NewsServerEntry.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The group asked for once the session is ready; "no such group" is a success too.
constexpr QByteArrayView kTestGroup = "alt.test";

bool IsTlsFailure(quint16 code) {
  // Handshake, internal and invalid-user-data errors of the TLS layer.
  return code == NNTP_ERR_TLS_HANDSHAKE || code == NNTP_ERR_TLS_HANDSHAKE + 1 || code == NNTP_ERR_TLS_HANDSHAKE + 2 ||
         code == NNTP_ERR_STARTTLS_REFUSED;
}

}  // namespace

TNewsTester::TNewsTester(std::chrono::milliseconds deadline, QObject* parent)
    : TMyNntpCli(parent), fDeadline(new QTimer(this)) {
  fDeadline->setSingleShot(true);
  fDeadline->setInterval(std::max<std::chrono::milliseconds>(deadline, std::chrono::milliseconds(1)));
  connect(fDeadline, &QTimer::timeout, this, [this] {
    LogWarning(u"Connection test of "_s + Host() + u" timed out"_s);
    Finish(SERVER_TEST_TIMED_OUT, nntpAbort, 0);
  });
  // The inactivity time-out of the client is the same period, so a silent
  // server is given up by whichever comes first.
  const auto seconds = (fDeadline->interval() + 999) / 1000;
  SetTimeout(static_cast<int>(std::max<qint64>(1, seconds)));
  connect(this, &TNntpCli::OnRequestDone, this, &TNewsTester::RequestDone);
}

bool TNewsTester::Start(const TNewsServerEntry& server) {
  LOG_METHOD("TNewsTester.Start");
  ConfigureNntpClient(*this, server);
  SetAutoAuthenticate(true);
  fResult = -1;
  fReport = TServerTestReport();
  fDeadline->start();
  if (!Connect()) {
    Finish(SERVER_TEST_CONNECT_FAILED, nntpConnecting, 0);
    return false;
  }
  return true;
}

int TNewsTester::Evaluate(TNntpRequest kind, quint16 errCode) {
  switch (kind) {
    case nntpConnecting:
      if (errCode == 502) return SERVER_TEST_REFUSED;
      if (errCode == NNTP_ERR_TLS_UNTRUSTED) return SERVER_TEST_CERTIFICATE_UNTRUSTED;
      if (TlsMode() != NNTP_TLS_NONE && IsTlsFailure(errCode)) return SERVER_TEST_TLS_FAILED;
      return errCode != 0 ? SERVER_TEST_CONNECT_FAILED : SERVER_TEST_FAILED;
    case nntpReadyWaiting:
    case nntpAuthenticate:
      if (errCode == 0) return Group(kTestGroup) ? -1 : SERVER_TEST_COMMAND_FAILED;
      if (kind == nntpAuthenticate) return SERVER_TEST_AUTH_FAILED;
      return errCode == 502 ? SERVER_TEST_AUTH_REFUSED : SERVER_TEST_LOGIN_FAILED;
    case nntpGroup:
    case nntpHelp:
      if (errCode == 0 || errCode == 411) return SERVER_TEST_OK;
      return errCode == 480 ? SERVER_TEST_AUTH_REQUIRED : SERVER_TEST_FAILED;
    case nntpAbort:
      return SERVER_TEST_TIMED_OUT;
    default:
      // Not a step of the test: it must not leave the caller waiting.
      return SERVER_TEST_FAILED;
  }
}

void TNewsTester::RequestDone(TNntpCli*, TNntpRequest kind, quint16 errCode) {
  if (HasResult()) return;
  const int result = Evaluate(kind, errCode);
  if (result >= 0) Finish(result, kind, errCode);
}

void TNewsTester::Finish(int result, TNntpRequest kind, quint16 errCode) {
  if (HasResult()) return;
  fResult = result;
  fReport.result = result;
  fReport.request = kind;
  fReport.errCode = errCode;
  fReport.certificate = PeerCertificate();
  fReport.fingerprint = PeerCertificateFingerprint();
  fReport.tlsErrorText = TlsErrorText();
  fDeadline->stop();
  LogMessage(u"Connection test of "_s + Host() + u": result "_s + QString::number(result) + u" ("_s +
             QString::fromLatin1(NntpRequestName(kind)) + u", "_s + QString::number(errCode) + u')');
  // Nothing more from this connection may reach the test.
  Disconnect();
  emit Finished(result);
}

QString ServerTestMessage(int result, bool withUserName, int quietFlags, const TServerTestReport& report) {
  if (result == SERVER_TEST_OK && (quietFlags & SERVER_TEST_QUIET_SUCCESS)) return {};
  if ((result == SERVER_TEST_CONNECT_FAILED || result == SERVER_TEST_TIMED_OUT) &&
      (quietFlags & SERVER_TEST_QUIET_CONNECT))
    return {};
  switch (result) {
    case SERVER_TEST_OK:
      return withUserName ? u"Connection established successfully! The username and password are valid."_s
                          : u"Connection established successfully!"_s;
    case SERVER_TEST_CONNECT_FAILED:
      return u"Error connecting to news server. The address of the server might be misspelled."_s;
    case SERVER_TEST_AUTH_FAILED:
    case SERVER_TEST_AUTH_REFUSED:
      return u"Connection was successful but authentication failed. The username or password might be missing or "
             u"misspelled."_s;
    case SERVER_TEST_LOGIN_FAILED:
      return u"The server could not process the login. The username or password might be missing or misspelled."_s;
    case SERVER_TEST_AUTH_REQUIRED:
      return u"Connection was successful but authentication is required on this server. The username and password "
             u"might be missing or misspelled."_s;
    case SERVER_TEST_FAILED:
      return u"Connection failed. The address, username or password might be missing or misspelled."_s;
    case SERVER_TEST_TIMED_OUT:
      return u"Connection timed out. The server address and port number might be wrong."_s;
    case SERVER_TEST_REFUSED:
      return u"Connection refused by the server. You might not be allowed to use that server."_s;
    case SERVER_TEST_COMMAND_FAILED:
      return u"Failed to send Help command but the server might still work normally."_s;
    case SERVER_TEST_CERTIFICATE_UNTRUSTED: {
      QString text = u"The server's certificate could not be verified"_s;
      if (!report.tlsErrorText.isEmpty()) text += u" ("_s + report.tlsErrorText + u')';
      return text + u". The connection was closed before anything was sent."_s;
    }
    case SERVER_TEST_TLS_FAILED:
      if (report.errCode == NNTP_ERR_STARTTLS_REFUSED)
        return u"The server does not offer STARTTLS. Choose another security setting for this server."_s;
      return u"A secure connection could not be established. The security setting or the port number might be "
             u"wrong."_s;
    default:
      return u"Connection failed (error code "_s + QString::number(result) + u')';
  }
}

int TestNewsServer(const TNewsServerEntry& server, int quietFlags, QString& message, TServerTestReport* report,
                   std::chrono::milliseconds timeout) {
  LOG_METHOD("TestNewsServer");
  const auto tester = std::make_unique<TNewsTester>(timeout);
  QEventLoop loop;
  QObject::connect(tester.get(), &TNewsTester::Finished, &loop, &QEventLoop::quit);
  tester->Start(server);
  // The tester is ours until the loop is left, so nothing waits on a freed one.
  if (!tester->HasResult()) loop.exec();
  // A loop ended from outside (the program quitting) is a failed test.
  const int result = tester->HasResult() ? tester->Result() : SERVER_TEST_FAILED;
  TServerTestReport found = tester->Report();
  found.result = result;
  message = ServerTestMessage(result, !server.userName.isEmpty(), quietFlags, found);
  if (report) *report = found;
  return result;
}
