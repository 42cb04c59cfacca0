#pragma once

#include "headers/JobInfo.h"
#include "headers/JobThread.h"
#include "headers/DownloadedNewsgroup.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class TDownloadHeadersJobEntry;
class THeaderFileWriter;
class THeadersDownload;

// What the headers manager shows of a running download.
struct THeadersDownloadProgress {
  // Of the current newsgroup: the percents done of the ranges being fetched
  // plus 100 per finished range, out of 100 per range.
  double done = 0;
  double total = 0;
  std::int64_t elapsedMs = 0;
  std::int64_t estimatedTotalMs = 0;  // elapsed × total ÷ done; 0 while done is 0
  double bytesPerSecond = 0;
  double headersPerSecond = 0;
  std::int64_t headersWritten = 0;   // by the job
  std::int64_t headersInGroup = 0;   // in the current newsgroup
  std::int64_t expectedInGroup = 0;  // 0 while unknown
  std::int64_t headersKilled = 0;
  std::int64_t linesReceived = 0;
  std::int64_t linesFailed = 0;
  std::int64_t linesSkipped = 0;
  int activeConnections = 0;  // connected and fetching
  int reconnections = 0;
  int newsgroupsDone = 0;
  int currentNewsgroup = 0;  // index into the job's newsgroups
  QString currentNewsgroupName;
  QByteArray lastSubject;  // of the last header written
  double lastDate = 0;     // of the last header written; 0 while none
  bool merging = false;
  std::uint64_t mergedBytes = 0;
  std::uint64_t bytesToMerge = 0;
};

// Carries out one headers job: for each newsgroup in turn it selects the
// group on every connection, splits the article span into ranges, fetches
// each range by XOVER into its own pair of part files, and at the end merges
// the parts into the job's header files GUID + ".hdrs", ".idx" and ".seek"
// (layout in NewsHeader.h). Its clients live on this thread and run on its
// event loop.
//
// Result codes: RESULT_SUCCESS once the files are merged (the job's Result
// then tells how the newsgroups went), RESULT_FAILURE when the download had
// to be cancelled (the job's ResultString holds the numbered message), none
// when it was terminated.
class THeadersDownloadThread : public TJobThread {
  Q_OBJECT

 public:
  using TGroupInfoHandler = std::function<void(const TDownloadedNewsgroup&)>;

  explicit THeadersDownloadThread(TDownloadHeadersJobEntry* job);
  ~THeadersDownloadThread() override;

  // Called on this thread after each successful GROUP and, after the merge,
  // once per downloaded newsgroup; must not wait for the user-interface
  // thread. Set before start.
  void SetGroupInfoHandler(TGroupInfoHandler handler) { fGroupInfo = std::move(handler); }
  // Seconds without data before a request is given up and its connection
  // restarted (30). Before start.
  void SetTimeout(int seconds) { fTimeout = seconds; }
  // When above 0: the job fails once every connection has failed to connect
  // or log in this many times in a row ("Could not connect to the news
  // server"). 0, the default, retries for as long as the job runs. Before start.
  void SetConnectAttempts(int attempts) { fConnectAttempts = attempts; }

  void FinishNow() override;
  void Terminate() override;

  // Any thread may ask.
  THeadersDownloadProgress Progress() const;
  // The figures the job file keeps once the job has ended.
  TJobStats Stats() const;
  // "Download initialization failed", "Download start failed" or empty.
  QString StatusText() const;
  // The last connection failure, e.g. a refused certificate with its fingerprint.
  QString LastError() const;

 protected:
  void run() override;

 private:
  friend class THeadersDownload;

  void Publish(const THeadersDownloadProgress& progress, const TJobStats& stats);
  void SetStatusText(const QString& text);
  void SetLastError(const QString& text);
  void WakeEngine(bool terminate);
  void SetMergeWriter(const THeaderFileWriter* writer, std::uint64_t bytesToMerge);

  TGroupInfoHandler fGroupInfo;
  int fTimeout = 30;
  int fConnectAttempts = 0;

  mutable std::mutex fLock;  // guards what follows
  THeadersDownloadProgress fProgress;
  TJobStats fStats;
  QString fStatusText;
  QString fLastError;
  THeadersDownload* fEngine = nullptr;
  const THeaderFileWriter* fMergeWriter = nullptr;  // while merging
  std::uint64_t fBytesToMerge = 0;
};
