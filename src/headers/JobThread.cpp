#include "headers/JobThread.h"

TJobThread::TJobThread(TJobEntry* job) : fJob(job) {}

TJobThread::~TJobThread() {
  // A thread object is only deleted once its thread has ended (owner or deleteLater after finished).
  if (isRunning()) {
    Terminate();
    wait();
  }
}

bool TJobThread::WithJob(const std::function<void(TJobEntry&)>& fn) {
  std::lock_guard guard(fJobLock);
  if (!fJob) return false;
  fn(*fJob);
  return true;
}

bool TJobThread::HasJob() const {
  std::lock_guard guard(fJobLock);
  return fJob != nullptr;
}

void TJobThread::DetachJob() {
  std::lock_guard guard(fJobLock);
  fJob = nullptr;
}

void TJobThread::Terminate() {
  requestInterruption();
  quit();
}

void TJobThread::SetFreeOnTerminate(bool on) {
  disconnect(fSelfDelete);
  fSelfDelete = {};
  if (!on) return;
  fSelfDelete = connect(this, &QThread::finished, this, &QObject::deleteLater);
  if (isFinished()) deleteLater();
}
