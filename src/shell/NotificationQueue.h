#pragma once

#include "app/ReturnCodes.h"

#include <QString>

#include <deque>
#include <mutex>

// A notification waiting to be shown.
struct TNotification {
  QString text;
  int duration = 4000;  // milliseconds; 0 = until closed
};

// The queue of waiting notifications; any thread may use it.
class TNotificationQueue {
 public:
  RETURN_CODES AddNotification(const TNotification& notification);
  // Takes the first waiting notification; false when there is none.
  bool GetNotification(TNotification& notification);
  void Clear();
  int Count() const;

 private:
  mutable std::mutex fLock;
  std::deque<TNotification> fQueue;
};
