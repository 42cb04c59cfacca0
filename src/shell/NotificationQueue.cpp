#include "shell/NotificationQueue.h"

#include <new>

RETURN_CODES TNotificationQueue::AddNotification(const TNotification& notification) {
  std::lock_guard lock(fLock);
  try {
    fQueue.push_back(notification);
  } catch (const std::bad_alloc&) {
    return RC_FAILED_ADD;
  }
  return RC_SUCCESS;
}

bool TNotificationQueue::GetNotification(TNotification& notification) {
  std::lock_guard lock(fLock);
  if (fQueue.empty()) return false;
  notification = std::move(fQueue.front());
  fQueue.pop_front();
  return true;
}

void TNotificationQueue::Clear() {
  std::lock_guard lock(fLock);
  fQueue.clear();
}

int TNotificationQueue::Count() const {
  std::lock_guard lock(fLock);
  return static_cast<int>(fQueue.size());
}
