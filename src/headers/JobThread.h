#pragma once

#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>

class TJobEntry;

// The thread that carries out one job. It keeps a reference to its job that
// the job takes back (DetachJob) when it is destroyed first; the thread then
// runs on without a job, frees itself when it ends and is asked to stop.
class TJobThread : public QThread {
  Q_OBJECT
 public:
  // Result codes: 0 none yet, 1 success, 3 failure.
  enum { RESULT_NONE = 0, RESULT_SUCCESS = 1, RESULT_FAILURE = 3 };

  explicit TJobThread(TJobEntry* job);
  ~TJobThread() override;

  int ResultCode() const { return fResultCode.load(); }
  void SetResultCode(int code) { fResultCode.store(code); }

  // Runs fn with the job while the job cannot go away; false when the thread
  // has no job any more.
  bool WithJob(const std::function<void(TJobEntry&)>& fn);
  bool HasJob() const;
  void DetachJob();

  // Asks the thread to stop at once, without keeping what it has.
  virtual void Terminate();
  bool IsTerminating() const { return isInterruptionRequested(); }
  // Asks the thread to stop downloading and keep what it has.
  virtual void FinishNow() { fFinishNow.store(true); }
  bool FinishNowRequested() const { return fFinishNow.load(); }

  // When on, the thread object deletes itself (on its owner's event loop) once it has finished.
  void SetFreeOnTerminate(bool on);

 private:
  mutable std::mutex fJobLock;
  TJobEntry* fJob;
  std::atomic<int> fResultCode{RESULT_NONE};
  std::atomic<bool> fFinishNow{false};
  QMetaObject::Connection fSelfDelete;
};
