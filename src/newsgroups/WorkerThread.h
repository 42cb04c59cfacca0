#pragma once

#include <QList>
#include <QMutex>
#include <QThread>

#include <functional>

// A thread with its own event loop hosting one worker object for the whole of
// its life: the factory makes the object on the thread, so the sockets and
// timers it creates belong there, and the object is deleted there when the
// loop ends. The factory is the place to connect the worker's signals (queued
// to their receivers) and to start its work.
class TWorkerThread : public QThread {
  Q_OBJECT
 public:
  using TFactory = std::function<QObject*()>;

  explicit TWorkerThread(TFactory factory, QObject* parent = nullptr);
  // Ends the loop and waits for the thread.
  ~TWorkerThread() override;

  // Runs fn with the worker on the worker's thread. Calls made before the
  // worker exists run right after it is made; false once it is gone.
  bool Post(std::function<void(QObject*)> fn);
  // Ends the event loop (the worker is deleted on its thread) and waits.
  void Stop();

 protected:
  void run() override;

 private:
  TFactory fFactory;
  QMutex fLock;
  QObject* fWorker = nullptr;
  bool fGone = false;
  QList<std::function<void(QObject*)>> fPending;
};
