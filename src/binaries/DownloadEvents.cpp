#include "binaries/DownloadEvents.h"

using namespace Qt::StringLiterals;

QString DownloadStopText(TDownloadStopReason reason) {
  switch (reason) {
    case DM_STOP_ABORTED: return u"Terminating by aborting on user request"_s;
    case DM_STOP_QUIT: return u"Terminating by receiving WM_QUIT"_s;
    case DM_STOP_TERMINATED: return u"Terminating due to thread termination"_s;
    case DM_STOP_FREE_SPACE: return u"Terminating due to free space reaching threshold"_s;
    case DM_STOP_COMPLETED: return u"Terminating due to completion"_s;
    case DM_STOP_FAILED_START: return u"Terminating due to a failed start"_s;
    default: return u"Terminating due to unknown reason"_s;
  }
}

QString ReconnectText(int reason, int reconnects) {
  QString text;
  switch (reason) {
    case 1: text = u"Reconnecting due to connection error"_s; break;
    case 2: text = u"Reconnecting due to timeout or disconnect"_s; break;
    case 3: text = u"Reconnecting due to authentication error"_s; break;
    case 4: text = u"Disabled on request"_s; break;
    default: text = u"Reconnecting"_s; break;
  }
  return text + u" ("_s + QString::number(reconnects) + u") ..."_s;
}

QString StopText(int reason) {
  switch (reason) {
    case 3: return u"Connection disabled due to authentication error"_s;
    case 4: return u"Connection disabled on request"_s;
    case 5: return u"Task complete"_s;
    default: return u"Connection disabled"_s;
  }
}
