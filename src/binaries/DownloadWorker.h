#pragma once

#include "binaries/DownloadContext.h"

#include <QThread>

#include <atomic>

// A worker thread of a download session: drains its queue one record at a
// time until it is told to end or the session is aborted.
class TDownloadWorker : public QThread {
 public:
  TDownloadWorker(TDownloadContext& context, TEventList<TNewsMessage*>& queue, std::atomic<int>& busy)
      : fContext(context), fQueue(queue), fBusy(busy) {}

  // Tells the thread to end; Wait() afterwards.
  void Stop() {
    fStop.store(true);
    fQueue.Wake();
  }
  bool Stopping() const { return fStop.load(); }
  // Idle: nothing queued and nothing in hand (a stopped thread counts as idle).
  // The queue is read first: a record is counted in hand before it leaves the
  // queue, so read in this order it is always seen in one place or the other.
  bool Idle() const {
    if (fStop.load()) return true;
    if (!fQueue.IsEmpty()) return false;
    return fBusy.load() == 0;
  }

 protected:
  void run() override;
  virtual void Started() {}
  virtual void Process(TNewsMessage* message) = 0;
  virtual void Ending() {}

  TDownloadContext& fContext;

 private:
  TEventList<TNewsMessage*>& fQueue;
  std::atomic<int>& fBusy;
  std::atomic<bool> fStop{false};
};
