#pragma once

#include <QEvent>

// Messages between the main window and its tab forms. Each is a custom event
// numbered from the first application message (1024) plus an offset; "sent"
// messages are delivered with QCoreApplication::sendEvent and carry their
// answer back in result, "posted" ones are queued.
namespace shellmsg {

inline constexpr int kFirstMessage = 1024;
// The answer of a tab that agrees (idle, may close).
inline constexpr qintptr kAgree = 2668544;

// To the tab forms.
enum TTabMessage : int {
  TM_NEWS_SERVERS_CHANGED = 2500,
  TM_MAIL_SERVERS_CHANGED = 2510,
  TM_IDENTITIES_CHANGED = 2520,
  TM_SIGNATURES_CHANGED = 2530,
  TM_SETTINGS_CHANGED = 2540,
  TM_IDLE_QUERY = 2550,
  TM_CLOSE_REQUEST = 2555,
  TM_FORCED_SHUTDOWN = 2560,
  TM_LOAD_LAST_HEADERS = 2570,
  TM_QUERY_LAST_HEADERS = 2572,  // answered with -1 by the tab that knows; pointer is a bool*
  TM_TAB_ACTIVATED = 2620,
  TM_STARTUP_COMPLETE = 2710,
};

// To the main window.
enum TMainMessage : int {
  MM_CLOSE_TAB = 7,  // param: the identity of the tab's entry
  MM_LOAD_DOWNLOAD_LIST = 2630,
  MM_EDIT_GLOBAL_SETTINGS = 2640,
  MM_EDIT_SMTP_SERVERS = 2642,
  MM_EDIT_NNTP_SERVERS = 2643,
  MM_EDIT_IDENTITIES = 2644,
  MM_SHOW_NEWSGROUPS_BROWSER = 2660,
  MM_SHOW_HEADERS_MANAGER = 2670,
  MM_REPOSITION_CLOSE_BUTTONS = 2680,
  MM_STARTUP_COMPLETE = 2700,
  MM_IMPORT_WAITING_FILES = 2720,
  MM_AUTOMATION_KEEPALIVE = 8005,  // param: 1 starts, 0 stops the timer
};

constexpr QEvent::Type EventType(int offset) { return static_cast<QEvent::Type>(kFirstMessage + offset); }

}  // namespace shellmsg

class TShellMessage : public QEvent {
 public:
  explicit TShellMessage(int offset, qintptr param = 0, void* pointer = nullptr)
      : QEvent(shellmsg::EventType(offset)), fOffset(offset), param(param), pointer(pointer) {}

  int Offset() const { return fOffset; }

  // Sends the message and returns the receiver's answer.
  static qintptr Send(QObject* receiver, int offset, qintptr param = 0, void* pointer = nullptr);
  // Queues the message for the receiver's thread.
  static void Post(QObject* receiver, int offset, qintptr param = 0);

 private:
  int fOffset;

 public:
  qintptr param;
  void* pointer;
  qintptr result = 0;
};
