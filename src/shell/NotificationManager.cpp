#include "shell/NotificationManager.h"

#include "app/Logger.h"
#include "shell/NotificationWindow.h"

#include <QCoreApplication>
#include <QThread>

TNotificationManager& TNotificationManager::Instance() {
  static TNotificationManager manager;
  return manager;
}

void TNotificationManager::ShowNotification(TNotificationType kind) {
  const TSettings& s = Settings();
  if (kind >= NOTIFICATION_COUNT || !s.gShowNotificationWindows) return;
  const TNotificationInfo& info = s.notifications[kind];
  if (!info.enabled) return;
  if (AddNotification(TNotification{info.text, info.duration}) != RC_SUCCESS) {
    LogError("Error adding a notification");
    return;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (QThread::currentThread() == app->thread())
    ShowNextNotification();
  else
    QMetaObject::invokeMethod(
        app, [] { Instance().ShowNextNotification(); }, Qt::QueuedConnection);
}

void TNotificationManager::Clear() {
  fQueue.Clear();
  if (fWindow) fWindow->deleteLater();
  fWindow.clear();
}

bool TNotificationManager::ShowNextNotification() {
  if (fWindow) return false;
  TNotification next;
  if (!GetNotification(next)) return false;
  auto* window = new (std::nothrow) TNotificationWindow;
  if (!window) {
    LogError("Error creating the notification window");
    fQueue.Clear();
    return false;
  }
  fWindow = window;
  window->Start(next);
  Shown(next);
  return true;
}

void TNotificationManager::WindowClosed(TNotificationWindow* window) {
  if (window != fWindow) {
    window->deleteLater();
    return;
  }
  TNotification next;
  if (GetNotification(next)) {
    window->Start(next);
    Shown(next);
    return;
  }
  Clear();
}

void TNotificationManager::Shown(const TNotification& notification) {
  if (fObserver) fObserver(notification);
}
