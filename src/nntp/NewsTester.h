#pragma once

#include "nntp/MyNntpCli.h"

#include <QByteArray>
#include <QSslCertificate>
#include <QString>

#include <chrono>

struct TNewsServerEntry;
class QTimer;

// Results of the connection test; 10 and 11 keep TLS failures apart from a
// misspelled address.
enum TServerTestResult : int {
  SERVER_TEST_OK = 0,
  SERVER_TEST_CONNECT_FAILED = 1,
  SERVER_TEST_AUTH_FAILED = 2,
  SERVER_TEST_AUTH_REFUSED = 3,
  SERVER_TEST_LOGIN_FAILED = 4,
  SERVER_TEST_AUTH_REQUIRED = 5,
  SERVER_TEST_FAILED = 6,
  SERVER_TEST_TIMED_OUT = 7,
  SERVER_TEST_REFUSED = 8,
  SERVER_TEST_COMMAND_FAILED = 9,
  SERVER_TEST_CERTIFICATE_UNTRUSTED = 10,
  SERVER_TEST_TLS_FAILED = 11,
};

// Quiet flags of TestNewsServer.
enum : int {
  SERVER_TEST_QUIET_SUCCESS = 1,  // no message for result 0
  SERVER_TEST_QUIET_CONNECT = 2,  // no message for results 1 and 7
};

inline constexpr std::chrono::milliseconds kServerTestTimeout{20000};

// What a test found besides its result: the deciding completion and, when
// TLS was refused, what the server presented.
struct TServerTestReport {
  int result = SERVER_TEST_FAILED;
  TNntpRequest request = nntpConnecting;
  quint16 errCode = 0;
  QSslCertificate certificate;
  QByteArray fingerprint;  // SHA-256, raw
  QString tlsErrorText;
};

// The client of one connection test: connects (logging in when a user name
// is set), asks for "alt.test" and turns the completions into a result. It
// always ends: a deadline gives result 7, and a completion the table does
// not know counts as a failure. Finished is emitted once.
class TNewsTester : public TMyNntpCli {
  Q_OBJECT

 public:
  explicit TNewsTester(std::chrono::milliseconds deadline = kServerTestTimeout, QObject* parent = nullptr);

  // Starts the test; false (with the result already set) when it cannot start.
  bool Start(const TNewsServerEntry& server);
  bool HasResult() const { return fResult >= 0; }
  int Result() const { return fResult; }
  const TServerTestReport& Report() const { return fReport; }

 signals:
  void Finished(int result);

 private:
  // The result for a completion, or -1 when the test goes on (GROUP started).
  int Evaluate(TNntpRequest kind, quint16 errCode);
  void RequestDone(TNntpCli* sender, TNntpRequest kind, quint16 errCode);
  void Finish(int result, TNntpRequest kind, quint16 errCode);

  QTimer* fDeadline;
  int fResult = -1;
  TServerTestReport fReport;
};

// The message shown for a result; empty when the quiet flags suppress it.
QString ServerTestMessage(int result, bool withUserName, int quietFlags,
                          const TServerTestReport& report = TServerTestReport());

// Tests a server definition (host, port, login, security, accepted
// certificate) and returns the result; message gets its text. Runs the event
// loop of the calling thread until the test ends; the busy cursor and the
// protection of the calling window against re-entry are the caller's.
int TestNewsServer(const TNewsServerEntry& server, int quietFlags, QString& message,
                   TServerTestReport* report = nullptr, std::chrono::milliseconds timeout = kServerTestTimeout);
