#pragma once

#include "app/ReturnCodes.h"
#include "app/Settings.h"
#include "shell/NotificationQueue.h"
#include "shell/NotificationWindow.h"

#include <QPointer>

#include <functional>

// Desktop notifications: short texts that slide up at the bottom right of the
// screen, one window at a time, in the order queued. Notifications may be
// queued from any thread; the window lives on the user-interface thread.
class TNotificationManager {
 public:
  struct TTimings {
    int slideInterval = 33;  // ms between two steps of the slide
    int slideStep = 6;       // pixels per step
  };

  static TNotificationManager& Instance();

  // Queues the kind's text and duration and shows it when nothing else is
  // shown; nothing happens when notifications or this kind are switched off.
  void ShowNotification(TNotificationType kind);

  RETURN_CODES AddNotification(const TNotification& notification) { return fQueue.AddNotification(notification); }
  bool GetNotification(TNotification& notification) { return fQueue.GetNotification(notification); }
  int Count() const { return fQueue.Count(); }
  // Empties the queue and frees the window.
  void Clear();

  // Puts the next notification on screen when no window is up; true when one
  // was shown. Called on the user-interface thread (other threads are
  // redirected there).
  bool ShowNextNotification();

  TNotificationWindow* Window() const { return fWindow; }
  const TTimings& Timings() const { return fTimings; }
  void SetTimings(const TTimings& timings) { fTimings = timings; }
  // Told about every notification put on screen (logging, tests).
  void SetShownObserver(std::function<void(const TNotification&)> observer) { fObserver = std::move(observer); }

  // The window finished showing a notification.
  void WindowClosed(TNotificationWindow* window);

 private:
  TNotificationManager() = default;
  void Shown(const TNotification& notification);

  TNotificationQueue fQueue;
  QPointer<TNotificationWindow> fWindow;
  TTimings fTimings;
  std::function<void(const TNotification&)> fObserver;
};
