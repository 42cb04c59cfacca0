#pragma once

#include "binaries/DownloadContext.h"
#include "binaries/DownloadEvents.h"
#include "nntp/NntpTypes.h"

#include <QObject>
#include <QSet>

#include <atomic>
#include <memory>
#include <vector>

class QThread;
class QTimer;
class TCheckThread;
class TCompleteThread;
class TDecodeThread;
class TNntpCli;
class TNewsCli;

// Works off one download list in one session. It spreads the selected
// articles over the connections of the list's servers (servers with a
// download limit only fill in what the others lack), hands every received
// article to the check thread, every stored one to the complete thread and
// every complete post to the decode thread, and reports each step to its
// owner as posted events (DownloadEvents.h).
//
// The manager lives on a thread of its own with an event loop; it owns every
// NNTP client, and their events run there. Work records move between the
// threads through TEventList queues.
//
// Life: create, AddServer for each server, SetServers, AddMessage for each
// selected entry, Resume. The owner receives WM_DM_SESSION_END when the work
// has ended; by then the worker threads have been joined and the connections
// closed, so the owner may Wait() and delete the manager, then touch the
// entries freely.
class TDownloadManager : public QObject {
  Q_OBJECT

 public:
  TDownloadManager(TDownloadList& list, const TDownloadOptions& options, const std::atomic<int>* abortFlag,
                   QObject* receiver);
  ~TDownloadManager() override;

  // A server with connections; one with a download limit is a fill server
  // unless allUnlimited is set.
  void AddServer(const TNewsServerEntry& server, int connections, bool allUnlimited);
  // Without a primary server the fill servers serve as primary. False when there is no connection at all.
  bool SetServers();
  TNewsMessage* AddMessage(int entry);
  // The keys of files decoded before (with "KillDupes").
  void SetKnownKeys(const QSet<std::uint32_t>& keys);
  // The known keys with those learned during the session; only once the
  // session has ended (the decode thread owns them until then).
  const QSet<std::uint32_t>& KnownKeys() const { return fContext.knownKeys; }

  // Starts the session on the manager's own thread.
  bool Resume();
  // Makes the manager look at its stop conditions now (after the abort flag was set).
  void Wake();
  // Waits for the manager's thread to end (after WM_DM_SESSION_END).
  bool Wait(int timeoutMs = -1);
  bool IsRunning() const;

  void DisableConnection(int connection);
  void EnableConnection(int connection);

  TDownloadStopReason StopReason() const { return fStopReason.load(); }
  int ConnectionCount() const { return static_cast<int>(fConnections.size()); }
  TDownloadStats& Stats() { return fContext.stats; }
  // Queue lengths for the owner's display.
  int CheckQueueLength() const { return static_cast<int>(fContext.checkQueue.Count()); }
  int CompleteQueueLength() const { return static_cast<int>(fContext.completeQueue.Count()); }
  int DecodeQueueLength() const { return static_cast<int>(fContext.decodeQueue.Count()); }
  double Speed() const { return fSpeed.load(); }
  qint64 TotalBytes() const { return fTotalBytes.load(); }

 private:
  // Manager thread.
  void Initialize();
  void Turn();
  void ScheduleTurn();
  bool CheckStop();
  bool SessionComplete();
  void Finish(TDownloadStopReason reason);

  void OnRequestDone(TNntpCli* sender, TNntpRequest kind, quint16 error);
  void OnSessionClosed(TNntpCli* sender, quint16 error);
  void OnRcvdData(TNntpCli* sender);
  void HandleError(TDownloadConnection* c, TNntpRequest kind, quint16 error);
  void FetchNext(TDownloadConnection* c);
  void RequestArticle(TDownloadConnection* c);
  void ArticleReceived(TDownloadConnection* c);
  void Reconnect(TDownloadConnection* c);
  void OpenConnection(TDownloadConnection* c);
  void CloseConnection(TDownloadConnection* c);
  void StopConnection(TDownloadConnection* c, TConnectionReason reason);
  void GiveUp(TDownloadConnection* c);
  void ServerGone(TDownloadServer* server);
  void ReleaseMessage(TDownloadConnection* c, bool markTried);

  TNewsMessage* TakeFromMainQueue(TDownloadServer* server);
  TNewsMessage* TakeFromFillList(TDownloadServer* server);
  void Requeue(TNewsMessage* message);
  TDownloadServer* QueueOnFillServer(TNewsMessage* message);
  void MarkTried(TNewsMessage* message, TDownloadServer* server);
  void EnsureBits(TNewsMessage* message);
  TDownloadServer* FirstUntried(TNewsMessage* message, bool fill);
  bool StaysForPrimary(TNewsMessage* message, std::vector<TDownloadServer*>& toStart);
  void StartConnection(TDownloadServer* server);
  void CheckFreeSpace();
  bool HasPendingWork();

  void Report(TDownloadConnection* c, int subCode, const QString& text = {});
  void ReportCounters(TDownloadConnection* c);
  void SampleSpeed(TDownloadConnection* c);

  TDownloadContext fContext;
  std::vector<std::unique_ptr<TDownloadServer>> fServers;
  std::vector<TDownloadServer*> fPrimary;
  std::vector<TDownloadServer*> fFill;
  std::vector<std::unique_ptr<TDownloadConnection>> fConnections;
  std::vector<std::unique_ptr<TNewsMessage>> fMessages;

  TEventList<TNewsMessage*> fMainQueue;
  TEventList<TNewsMessage*> fFillQueue;
  TEventList<TDownloadConnection*> fStartQueue;
  std::mutex fFillLock;

  QThread* fThread = nullptr;
  std::unique_ptr<TCheckThread> fCheckThread;
  std::unique_ptr<TCompleteThread> fCompleteThread;
  std::unique_ptr<TDecodeThread> fDecodeThread;
  QTimer* fPulse = nullptr;

  std::atomic<bool> fTurnPosted{false};
  std::atomic<bool> fRunning{false};
  std::atomic<TDownloadStopReason> fStopReason{DM_STOP_UNKNOWN};
  bool fEnded = false;
  bool fFreeSpaceStop = false;
  bool fSavePathMissingLogged = false;
  qint64 fLastWork = 0;

  std::atomic<qint64> fTotalBytes{0};
  qint64 fTotalSnapshot = 0;
  qint64 fTotalTick = 0;
  std::atomic<double> fSpeed{0};
};
