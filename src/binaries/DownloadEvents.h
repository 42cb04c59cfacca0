#pragma once

#include <QEvent>
#include <QList>
#include <QString>

#include <cstdint>

// What a download session tells its owner. Every message is posted (never
// sent and waited for) and carries copies of the values it reports, so no
// thread ever waits on the owner's thread and the owner never reads state
// that another thread is changing.
enum TDownloadMessage : int {
  WM_DM_STARTUP = 2534,             // TDownloadStartupEvent
  WM_DM_SESSION_END = 2535,         // TDownloadEndEvent: the manager's work has ended
  WM_DM_CONNECTION_STATUS = 2549,   // TDownloadEvent, sub-code below
  WM_DM_MESSAGE_STATUS = 2550,      // TDownloadEvent, sub-code below
};

enum TDownloadSubCode : int {
  DM_CONNECTING = 2554,
  DM_CONNECTED_IDLE = 2564,
  DM_ENTERING_GROUP = 2569,
  DM_REQUESTING = 2574,
  DM_COUNTERS = 2584,
  DM_DOWNLOAD_STARTED = 2589,
  DM_ARTICLE_RECEIVED = 2594,
  DM_CHECK_STARTED = 2604,
  DM_CHECK_FINISHED = 2609,
  DM_DECODE_PROGRESS = 2614,
  DM_POST_DECODED = 2624,
  DM_RECONNECTING = 2634,
  DM_NOT_SERVED = 2644,
  DM_DUPE_DELETED = 2654,
  DM_KEY_LEARNED = 2664,
  DM_CONNECTION_STOPPED = 2674,
  DM_DECODE_FAILED = 2684,
};

// Why a session ended.
enum TDownloadStopReason : std::uint8_t {
  DM_STOP_UNKNOWN,
  DM_STOP_ABORTED,      // "Terminating by aborting on user request"
  DM_STOP_QUIT,         // "Terminating by receiving WM_QUIT"
  DM_STOP_TERMINATED,   // "Terminating due to thread termination"
  DM_STOP_FREE_SPACE,   // "Terminating due to free space reaching threshold"
  DM_STOP_COMPLETED,    // "Terminating due to completion"
  DM_STOP_FAILED_START  // a worker thread or the servers could not be set up
};
QString DownloadStopText(TDownloadStopReason reason);

// One connection status or article status report.
class TDownloadEvent : public QEvent {
 public:
  TDownloadEvent(TDownloadMessage message, TDownloadSubCode subCode) : QEvent(QEvent::Type(message)), subCode(subCode) {}

  TDownloadSubCode subCode;
  int connection = -1;  // index among all connections
  int entry = -1;       // index of the download entry
  QString text;         // the connection's status text
  qint64 value = 0;     // article or file size, duplicate key, ...
  // Connection counters (DM_COUNTERS and the status reports).
  qint64 bytes = 0;
  double speed = 0;  // bytes per second
  qint64 requested = 0;
  qint64 downloaded = 0;
  int reconnects = 0;
  // The session's totals at the time of the report.
  qint64 totalBytes = 0;
  double totalSpeed = 0;
};

struct TDownloadConnectionRow {
  QString server;
  bool fill = false;
};

class TDownloadStartupEvent : public QEvent {
 public:
  TDownloadStartupEvent() : QEvent(QEvent::Type(WM_DM_STARTUP)) {}
  QList<TDownloadConnectionRow> connections;  // primary servers first
};

class TDownloadEndEvent : public QEvent {
 public:
  explicit TDownloadEndEvent(TDownloadStopReason reason) : QEvent(QEvent::Type(WM_DM_SESSION_END)), reason(reason) {}
  TDownloadStopReason reason;
};

// Connection texts shown by the owner.
QString ReconnectText(int reason, int reconnects);
QString StopText(int reason);
