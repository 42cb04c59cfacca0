#pragma once

#include "headers/JobInfo.h"
#include "headers/JobThread.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>

// A headers job: its information plus run-time state. The user-interface
// thread and the job's thread both reach the information: readers take a
// consistent copy (Info), writers change it under the job's lock (Update or
// the small setters); the header count, written once per header, is atomic.
class TJobEntry {
 public:
  explicit TJobEntry(const TJobInfo& info);
  virtual ~TJobEntry();
  TJobEntry(const TJobEntry&) = delete;
  TJobEntry& operator=(const TJobEntry&) = delete;

  TJobInfo Info() const;
  void SetInfo(const TJobInfo& info);
  void Update(const std::function<void(TJobInfo&)>& change);

  QUuid Guid() const;
  TJobStatus Status() const;
  void SetStatus(TJobStatus status);
  TDownloadResult Result() const;
  void SetResult(TDownloadResult result);
  QString ResultString() const;
  void SetResultString(const QString& text);
  TJobFlagsSet Flags() const;
  void SetFlags(TJobFlagsSet flags);
  int CurrentNewsgroup() const;
  void SetCurrentNewsgroup(int index);
  // Ignored for an index outside the newsgroup list.
  void SetNewsgroupResult(int index, TDownloadResult result);

  std::int64_t HeadersDownloaded() const { return fHeadersDownloaded.load(std::memory_order_relaxed); }
  void SetHeadersDownloaded(std::int64_t count) { fHeadersDownloaded.store(count, std::memory_order_relaxed); }
  void AddHeadersDownloaded(std::int64_t delta) { fHeadersDownloaded.fetch_add(delta, std::memory_order_relaxed); }

  // The job's thread, or none. Cleared on its own when the thread object is deleted.
  TJobThread* Thread() const { return fThread.data(); }
  void SetThread(TJobThread* thread) { fThread = thread; }

  virtual bool WasDataReceived() const { return false; }
  // Asks a running job to stop downloading and keep what it has.
  virtual void FinishNow() {}

 private:
  mutable std::mutex fLock;
  TJobInfo fInfo;  // its headersDownloaded is kept in fHeadersDownloaded
  std::atomic<std::int64_t> fHeadersDownloaded{0};
  QPointer<TJobThread> fThread;
};
