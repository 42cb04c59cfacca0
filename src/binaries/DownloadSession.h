#pragma once

#include "binaries/DownloadEvents.h"
#include "binaries/DownloadListSettings.h"
#include "nntp/ConnectionList.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <cstdint>

class TDownloadList;
class TDownloadManager;

// What a session needs besides the list: its settings, where files go and
// over which connections.
struct TDownloadSessionSetup {
  QString cuePath;
  TDownloadListSettings settings;
  QString decodeDir;  // resolved: the list's "DecodePath" or the program's default
  QList<TConnectionServer> servers;
  bool noRetryUnavailable = false;  // "gNoRetryUnavailable"
  bool alwaysEnterGroup = true;     // "gAlwaysEnterGroupWhenDecoding"
  int freeSpaceThresholdMB = 75;    // "gFreeSpaceTreshold"
  int decodePriority = 2;           // "gDecodePriority"
  QString badStringsDir;            // empty: the program's
  int clientTimeout = 30;
};

// How the posts of a session came out, counted before the statuses are reset.
struct TDownloadSummary {
  int posts = 0;        // posts worked on
  int complete = 0;     // decoded (duplicates included)
  int failed = 0;       // decode error, invalid, or an article not stored
  int unavailable = 0;  // posts with an article no server had
  int unfinished = 0;   // not done when the session ended
  int missingArticles = 0;
  qint64 bytesReceived = 0;
  int dupeFiles = 0;
};

// The owner's part of a download session, without a window: checks and
// starts the session (connections, selected work, known keys), keeps the
// list's counters and statistics, saves the list as posts are decoded,
// deletes stored articles once the saved list says their post is done, and
// at the end appends the learned keys, saves and resets the statuses.
//
// It receives the manager's events and passes each on to Receiver (the
// decoder tab, the command line's progress), after its own handling.
class TDownloadSession : public QObject {
  Q_OBJECT

 public:
  explicit TDownloadSession(TDownloadList& list, QObject* parent = nullptr);
  ~TDownloadSession() override;

  QObject* Receiver = nullptr;

  // False with the message to show when the session cannot start.
  bool Start(const TDownloadSessionSetup& setup, QString* error = nullptr);
  void Abort();
  // Aborts and waits for the end without an event loop (closing the program).
  bool Stop(int timeoutMs = 5000);
  bool IsRunning() const { return fRunning; }
  TDownloadManager* Manager() const { return fManager; }

  const TDownloadSummary& Summary() const { return fSummary; }
  // Articles and posts selected when the session started.
  int SelectedArticles() const { return fSelectedArticles; }
  int SelectedPosts() const { return fSelectedPosts; }
  qint64 BytesReceived() const { return fSummary.bytesReceived; }
  int PostsDecoded() const { return fPostsDecoded; }
  int DecodeErrors() const { return fDecodeErrors; }
  int NotServed() const { return fNotServed; }
  const TDownloadSessionSetup& Setup() const { return fSetup; }

 signals:
  void Finished(TDownloadStopReason reason);

 protected:
  void customEvent(QEvent* event) override;

 private:
  void End(TDownloadStopReason reason);
  void SaveProgress();
  void DeleteStoredArticles();
  void CountSummary();

  TDownloadList& fList;
  TDownloadSessionSetup fSetup;
  TDownloadManager* fManager = nullptr;
  std::atomic<int> fAbort{0};
  bool fRunning = false;
  QList<std::uint32_t> fLearnedKeys;
  QSet<std::uint32_t> fStartKeys;  // known when the session started
  QStringList fPendingDeletes;  // stored articles of decoded posts, deleted after the next save
  int fSelectedArticles = 0;
  int fSelectedPosts = 0;
  int fPostsDecoded = 0;
  int fDecodeErrors = 0;
  int fNotServed = 0;
  TDownloadSummary fSummary;
};
