#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <list>
#include <memory>
#include <mutex>

// One scripted action of a reply.
struct TFakeAction {
  enum TKind { SEND, SEND_SLOWLY, PAUSE, CLOSE, START_TLS, READ_ARTICLE };
  TKind kind = SEND;
  QByteArray data;
  qsizetype chunk = 0;
  int intervalMs = 0;
};

// What the server does when a command matches: its actions run in order.
// A reply without actions is silence.
class TFakeReply {
 public:
  // Bytes exactly as given.
  TFakeReply& Send(QByteArrayView bytes);
  // A line followed by CR LF.
  TFakeReply& Line(QByteArrayView line);
  // A status line, the lines dot-stuffed, and the final ".".
  TFakeReply& MultiLine(QByteArrayView status, const QList<QByteArray>& lines);
  // Bytes in pieces of chunk bytes, one piece every intervalMs.
  TFakeReply& SendSlowly(QByteArrayView bytes, qsizetype chunk, int intervalMs);
  TFakeReply& Pause(int ms);
  // Closes the connection once what precedes has been sent.
  TFakeReply& Close();
  // Begins TLS on this connection (after a "382" line).
  TFakeReply& StartTls();
  // Reads a posted article up to its "." line (kept in Articles()); the
  // following actions run when it has arrived.
  TFakeReply& ReadArticle();
  // The rule answers this many times, then later rules get the command.
  TFakeReply& Times(int count);

 private:
  friend class TFakeNntpServer;
  friend class TFakeServerWorker;
  friend class TFakeConnection;
  TFakeReply(std::mutex* mutex, QByteArray prefix) : fMutex(mutex), fPrefix(std::move(prefix)) {}
  TFakeReply& Add(TFakeAction action);

  std::mutex* fMutex;
  QByteArray fPrefix;
  QList<TFakeAction> fActions;
  int fRemaining = -1;
};

class TFakeServerWorker;
class QThread;

// An NNTP server for fault tests, scripted per command, on 127.0.0.1 at a
// free port. It runs on its own thread, so the test thread may block or run
// clients on other threads. Configure the replies before a client connects.
//
//   TFakeNntpServer server;
//   server.On("GROUP").Line("211 3 1 3 alt.test");
//   server.On("ARTICLE 1").Line("220 1 <a@b> article").Send("Subject: x\r\n").Close();
//   server.Start();
//
// Commands are matched by case-insensitive prefix, in the order the rules
// were added; QUIT, MODE READER and unknown commands have default replies.
class TFakeNntpServer {
 public:
  enum TTls { PLAIN, IMPLICIT_TLS };

  TFakeNntpServer();
  ~TFakeNntpServer();
  TFakeNntpServer(const TFakeNntpServer&) = delete;
  TFakeNntpServer& operator=(const TFakeNntpServer&) = delete;

  // Listens on 127.0.0.1; false when that failed.
  bool Start(TTls tls = PLAIN);
  quint16 Port() const { return fPort; }

  // The greeting (default "200 Korvel test server ready (posting ok)").
  TFakeReply& Banner();
  TFakeReply& On(QByteArrayView commandPrefix);
  // Answers STARTTLS with 382 and begins TLS.
  void EnableStartTls();
  // The certificate and key presented for TLS (default tests/data/nntp/server.*).
  void SetCertificate(const QString& certificatePath, const QString& keyPath);

  // Command lines received, from every connection, in order.
  QList<QByteArray> Commands() const;
  // Posted articles as received (still dot-stuffed, without the final ".").
  QList<QByteArray> Articles() const;
  int Connections() const;
  // Waits (without an event loop of the caller's) until n commands arrived.
  bool WaitForCommands(int n, int timeoutMs = 5000) const;

 private:
  friend class TFakeServerWorker;
  friend class TFakeConnection;

  // Under fMutex.
  const TFakeReply* Match(const QByteArray& command);

  mutable std::mutex fMutex;
  std::list<TFakeReply> fRules;
  std::list<TFakeReply> fDefaults;
  TFakeReply fBanner;
  bool fBannerSet = false;
  QString fCertificatePath;
  QString fKeyPath;
  QList<QByteArray> fCommands;
  QList<QByteArray> fArticles;
  int fConnections = 0;

  quint16 fPort = 0;
  QThread* fThread = nullptr;
  TFakeServerWorker* fWorker = nullptr;
};
