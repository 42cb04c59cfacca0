#pragma once

#include "nntp/NewsGetDates.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>
#include <QObject>

// The owner of a date query as the tests see it: the events it receives, in order.
class TDateQueryOwner : public QObject {
 public:
  struct TNote {
    int type;  // TNewsGetDates::EVENT_READY or EVENT_FINISHED
    int code;
  };
  QList<TNote> notes;

  // Runs the event loop until count notes in all arrived; false on time-out.
  bool WaitFor(int count, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (notes.size() < count && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return notes.size() >= count;
  }
  bool LastIs(int type, int code = 0) const {
    return !notes.isEmpty() && notes.back().type == type && notes.back().code == code;
  }

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() == TNewsGetDates::EVENT_READY || event->type() == TNewsGetDates::EVENT_FINISHED)
      notes.append({event->type(), static_cast<TNewsGetDates::TEvent*>(event)->Code()});
  }
};
