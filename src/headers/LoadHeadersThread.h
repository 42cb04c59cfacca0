#pragma once

#include "app/ReturnCodes.h"
#include "headers/HeaderFileReader.h"
#include "model/Headers.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

// Texts of the loading commands, for the headers manager.
namespace loadheaders {
inline constexpr char kTaskNotAvailable[] = "This task is not available anymore.";
inline constexpr char kNoHeadersDownloaded[] = "No headers have been downloaded for this task.";
inline constexpr char kCreateFailed[] =
    "There was an error creating the load process for this task. Please close the application and try again.";
inline constexpr char kStopQuestion[] = "Would you like to stop loading these headers?";
inline constexpr char kLoadFailed[] =
    "The headers loading process encountered an error and was unable to complete. Please close the application and "
    "try again.";
}  // namespace loadheaders

// What a finished load hands to the user-interface thread.
struct TLoadHeadersOutcome {
  RETURN_CODES result = RC_UNDEFINED;
  QString jobFileName;
  bool background = false;  // started without the user (automatic load after a download)
  std::int64_t first = 1;
  std::int64_t last = 0;
  std::int64_t loaded = 0;
  // The finished header set when result is RC_SUCCESS; the receiver takes it
  // over (the thread keeps no reference).
  std::shared_ptr<THeaders> headers;
};

// Loads the header files of a completed headers job into a header set, in the
// background: all headers, or only headers first..last (1-based, in file
// order), jumping over whole blocks of 5000 through the seek file.
//
// Set it up, then start() it. When it ends it emits LoadFinished with the
// outcome from its own thread (connect a receiver on the user-interface
// thread; the signal arrives queued); a load the user stopped with Abort()
// emits nothing. With SetFreeOnTerminate the object deletes itself once it
// has finished; the outcome never depends on the object still being there.
class TLoadHeadersThread : public QThread {
  Q_OBJECT
 public:
  // Text buffer in KiB and index batch in records.
  static constexpr int kBufferSizeKiB = 512;
  static constexpr int kLines = 25000;

  explicit TLoadHeadersThread(QObject* parent = nullptr);
  ~TLoadHeadersThread() override;

  // The job's ".kvj" file; the header files share its name with ".hdrs",
  // ".idx" and ".seek".
  void SetJobFileName(const QString& path) { fJobFileName = path; }
  QString JobFileName() const { return fJobFileName; }
  // 1-based, inclusive. Defaults: everything.
  void SetRange(std::int64_t first, std::int64_t last);
  void SetBackground(bool on) { fBackground = on; }
  bool IsBackground() const { return fBackground; }
  void SetBufferSizes(const THeaderFileReader::TBufferSizes& sizes) { fReader.SetBufferSizes(sizes); }
  void SetFreeOnTerminate(bool on);

  // The whole load on the calling thread (run() calls it): initialise, seek,
  // load, free the buffers. Also for tools that need no thread.
  RETURN_CODES Execute();

  // The user's "stop loading": the load ends at the next header with
  // RC_ABORTED and reports nothing.
  void Abort() { fAbort.store(true, std::memory_order_relaxed); }
  bool IsAborted() const { return fAbort.load(std::memory_order_relaxed); }

  RETURN_CODES Result() const { return fResult.load(); }
  // The header set; after a successful Execute(). The thread then holds none.
  std::shared_ptr<THeaders> TakeHeaders();

  // Progress figures, readable from any thread while the load runs.
  std::int64_t Wanted() const { return fWanted.load(std::memory_order_relaxed); }
  std::int64_t Current() const { return fCurrent.load(std::memory_order_relaxed); }
  std::int64_t Loaded() const { return fLoaded.load(std::memory_order_relaxed); }
  std::int64_t Skipped() const { return fSkipped.load(std::memory_order_relaxed); }
  std::uint64_t BytesRead() const { return fReader.BytesRead(); }
  double HeadersPerSecond() const { return fHeadersPerSecond.load(std::memory_order_relaxed); }
  std::int64_t ElapsedMs() const;
  // Whether the files ended inside a record (the load keeps what came before).
  bool FilesTruncated() const { return fFilesTruncated; }

  // The hand-over's failure report: logs the result and tells the user.
  static void ReportLoadFailure(RETURN_CODES result);
  // "Would you like to stop loading these headers?"; true on yes.
  static bool ConfirmStopLoading();

 signals:
  void LoadFinished(const TLoadHeadersOutcome& outcome);

 protected:
  void run() override;

 private:
  RETURN_CODES InitializeThread();
  RETURN_CODES SeekHeadersFile();
  RETURN_CODES LoadHeaders();
  void UpdateSpeed(bool force);
  bool Terminating() const;
  void FreeBuffers();

  QString fJobFileName;
  std::int64_t fFirst = 1;
  std::int64_t fLast = INT64_MAX;
  bool fBackground = false;
  QString fSeekPath;

  THeaderFileReader fReader;
  std::shared_ptr<THeaders> fHeaders;
  std::atomic<RETURN_CODES> fResult{RC_UNDEFINED};
  std::atomic<bool> fAbort{false};
  std::atomic<std::int64_t> fWanted{0};
  std::atomic<std::int64_t> fCurrent{0};
  std::atomic<std::int64_t> fLoaded{0};
  std::atomic<std::int64_t> fSkipped{0};
  std::atomic<double> fHeadersPerSecond{0};
  std::atomic<std::int64_t> fStartMs{-1};  // steady clock
  std::atomic<std::int64_t> fEndMs{-1};
  std::int64_t fSpeedMs = 0;
  std::int64_t fSpeedCurrent = 0;
  bool fFilesTruncated = false;
  bool fFreeOnTerminate = false;
};

Q_DECLARE_METATYPE(TLoadHeadersOutcome)
