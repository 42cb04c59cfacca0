#include "newsgroups/WorkerThread.h"

#include <QCoreApplication>
#include <QEvent>

TWorkerThread::TWorkerThread(TFactory factory, QObject* parent) : QThread(parent), fFactory(std::move(factory)) {}

TWorkerThread::~TWorkerThread() { Stop(); }

void TWorkerThread::Stop() {
  quit();
  wait();
}

bool TWorkerThread::Post(std::function<void(QObject*)> fn) {
  QMutexLocker lock(&fLock);
  if (fGone) return false;
  if (!fWorker) {
    fPending.append(std::move(fn));
    return true;
  }
  // Under the lock, so the worker cannot be deleted before the call is queued;
  // calls still queued when it is deleted are dropped with it.
  QObject* worker = fWorker;
  QMetaObject::invokeMethod(worker, [worker, fn = std::move(fn)] { fn(worker); }, Qt::QueuedConnection);
  return true;
}

void TWorkerThread::run() {
  QObject* worker = fFactory();
  QList<std::function<void(QObject*)>> pending;
  {
    QMutexLocker lock(&fLock);
    fWorker = worker;
    pending.swap(fPending);
  }
  for (const auto& fn : pending) QMetaObject::invokeMethod(worker, [worker, fn] { fn(worker); }, Qt::QueuedConnection);
  exec();
  {
    QMutexLocker lock(&fLock);
    fWorker = nullptr;
    fGone = true;
  }
  delete worker;
  // Objects the worker left for deferred deletion go with the thread.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
