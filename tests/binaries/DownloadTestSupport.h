#pragma once

#include "binaries/DownloadEvents.h"
#include "binaries/DownloadSession.h"
#include "nntp/ConnectionList.h"

#include "YencPoster.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// A server definition for a test server on 127.0.0.1.
TConnectionServer LocalServer(const QString& name, quint16 port, int connections = 1, bool fill = false);

// Events of one session, as its owner saw them.
struct TSessionRecord {
  TDownloadStopReason reason = DM_STOP_UNKNOWN;
  bool finished = false;
  TDownloadSummary summary;
  QList<int> messageCodes;      // sub-codes of WM_DM_MESSAGE_STATUS, in order
  QStringList connectionTexts;  // texts of WM_DM_CONNECTION_STATUS
  QList<TDownloadConnectionRow> connections;
  int Count(int subCode) const { return static_cast<int>(messageCodes.count(subCode)); }
};

// Imports nzb into dir + "list.cue" (decoding into dir + "out/"), runs one
// session over the servers and waits for its end (or the time-out).
// configure may change the setup before the start; during may act on events.
struct TSessionRun {
  QString cuePath;
  QString outDir;
  std::function<void(TDownloadSessionSetup&)> configure;
  std::function<void(TDownloadSession&, const TDownloadEvent&)> during;
  int timeoutMs = 60000;
};
TSessionRecord RunDownload(const QString& nzbPath, const QList<TConnectionServer>& servers, TSessionRun run);

// The decoded files of a directory (no subdirectories, no working files), by name.
QStringList DecodedNames(const QString& dir);
QByteArray ReadAll(const QString& path);
