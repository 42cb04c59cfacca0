#include "headers/JobEntry.h"

#include "headers/JobThread.h"

TJobEntry::TJobEntry(const TJobInfo& info) : fInfo(info), fHeadersDownloaded(info.headersDownloaded) {}

TJobEntry::~TJobEntry() {
  // A thread that still runs loses its job, frees itself when it ends and is
  // asked to stop; it never touches this object again.
  if (TJobThread* thread = fThread.data()) {
    thread->DetachJob();
    if (thread->isRunning()) {
      thread->SetFreeOnTerminate(true);
      thread->Terminate();
    }
  }
}

TJobInfo TJobEntry::Info() const {
  std::lock_guard guard(fLock);
  TJobInfo copy = fInfo;
  copy.headersDownloaded = HeadersDownloaded();
  return copy;
}

void TJobEntry::SetInfo(const TJobInfo& info) {
  std::lock_guard guard(fLock);
  fInfo = info;
  SetHeadersDownloaded(info.headersDownloaded);
}

void TJobEntry::Update(const std::function<void(TJobInfo&)>& change) {
  std::lock_guard guard(fLock);
  fInfo.headersDownloaded = HeadersDownloaded();
  change(fInfo);
  SetHeadersDownloaded(fInfo.headersDownloaded);
}

QUuid TJobEntry::Guid() const {
  std::lock_guard guard(fLock);
  return fInfo.guid;
}

TJobStatus TJobEntry::Status() const {
  std::lock_guard guard(fLock);
  return fInfo.status;
}

void TJobEntry::SetStatus(TJobStatus status) {
  std::lock_guard guard(fLock);
  fInfo.status = status;
}

TDownloadResult TJobEntry::Result() const {
  std::lock_guard guard(fLock);
  return fInfo.result;
}

void TJobEntry::SetResult(TDownloadResult result) {
  std::lock_guard guard(fLock);
  fInfo.result = result;
}

QString TJobEntry::ResultString() const {
  std::lock_guard guard(fLock);
  return fInfo.resultString;
}

void TJobEntry::SetResultString(const QString& text) {
  std::lock_guard guard(fLock);
  fInfo.resultString = text;
}

TJobFlagsSet TJobEntry::Flags() const {
  std::lock_guard guard(fLock);
  return fInfo.flags;
}

void TJobEntry::SetFlags(TJobFlagsSet flags) {
  std::lock_guard guard(fLock);
  fInfo.flags = flags;
}

int TJobEntry::CurrentNewsgroup() const {
  std::lock_guard guard(fLock);
  return fInfo.currentNewsgroup;
}

void TJobEntry::SetCurrentNewsgroup(int index) {
  std::lock_guard guard(fLock);
  fInfo.currentNewsgroup = index;
}

void TJobEntry::SetNewsgroupResult(int index, TDownloadResult result) {
  std::lock_guard guard(fLock);
  if (index >= 0 && index < fInfo.newsgroups.size()) fInfo.newsgroups[index].result = result;
}
