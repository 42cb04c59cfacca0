#pragma once

#include "nntp/NntpTypes.h"

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class TGroupCountPool;
class TMyNntpCli;
class TNntpCli;
class QTimer;

// Texts of the message-count retrieval.
namespace groupcounts {
inline constexpr char kUnusedConnection[] = "Unused connection";
inline constexpr char kConnecting[] = "Connecting to server...";
inline constexpr char kNotOnServer[] = "Group does not exists on server";
inline constexpr char kReconnecting[] = "Reconnecting...";
inline constexpr char kConnectionClosed[] = "Connection closed";
}  // namespace groupcounts

// Asks GROUP for every item of a count pool over several connections at
// once, each connection serving only the items of its own server. Lives on
// the thread that calls Start() (a worker thread for the dialog) and needs its
// event loop.
//
// A group the server does not carry (411) is stored with the estimate -9; any
// other failure puts the item back and the connection starts again, without
// limit until Abort().
class TGroupCountWorker : public QObject {
  Q_OBJECT
 public:
  static constexpr int kTimeoutSeconds = 15;
  static constexpr int kRetryDelayMs = 1000;

  // connectionsPerServer connections for each server of the pool.
  TGroupCountWorker(std::shared_ptr<TGroupCountPool> pool, int connectionsPerServer, QObject* parent = nullptr);
  ~TGroupCountWorker() override;

  static int ConnectionCount(int servers, int connectionsPerServer);

  void SetTimeout(int seconds) { fTimeout = seconds; }
  // Pause before the second and later attempts to reconnect.
  void SetRetryDelay(int ms) { fRetryDelayMs = ms; }

  void Start();
  // Closes every connection; Finished(false) follows.
  void Abort();

 signals:
  // Results wait in the pool (one signal until they are taken).
  void ResultsReady();
  void Finished(bool success);

 private:
  struct TConnection {
    int index = 0;
    int server = 0;
    TMyNntpCli* client = nullptr;
    QTimer* retry = nullptr;
    int item = -1;
    int tries = 0;
    bool finished = false;
  };

  void RequestDone(TConnection& c, TNntpRequest kind, quint16 code);
  void Connect(TConnection& c);
  void Next(TConnection& c);
  void Reconnect(TConnection& c);
  void Close(TConnection& c, const char* status);
  void SetStatus(const TConnection& c, const QString& text);
  void CheckAllDone();
  void End(bool success);

  std::shared_ptr<TGroupCountPool> fPool;
  int fPerServer;
  int fTimeout = kTimeoutSeconds;
  int fRetryDelayMs = kRetryDelayMs;
  std::vector<std::unique_ptr<TConnection>> fConnections;
  bool fEnded = false;
};
