#pragma once

#include "headers/HeadersDownloadThread.h"
#include "headers/HeadersJobManager.h"
#include "headers/NewsHeader.h"
#include "nntp/NewsServerEntry.h"
#include "support/TempDir.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// How a job ended, as the job manager handed it over.
struct TJobOutcome {
  bool ended = false;
  TJobInfo info;
  int threadResult = -1;
  TJobStats stats;
  THeadersDownloadProgress progress;
};

// One header of a header file, with texts of its own.
struct TStoredHeader {
  TNewsHeader fields;  // texts not set
  std::string subject, sender, messageId, references;
};

// A job manager over a temporary headers directory, running jobs against a
// server at 127.0.0.1.
class TDownloadRun {
 public:
  TDownloadRun();

  // A download job for the newsgroups ("name" or "name" + "|" + operation string).
  TJobEntry* Create(const QStringList& newsgroups, int connections, quint16 port, const QString& match = {});
  // Starts the job and runs the event loop until the manager hands it over.
  TJobOutcome Run(TJobEntry* job, int timeoutMs = 60000);
  // Runs the event loop until done() or the time is up.
  static bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 20000);

  // dir + GUID + extension, e.g. ".hdrs".
  QString File(const QUuid& guid, const QString& extension) const;
  // The job's files other than its job file (names only).
  QStringList OtherFiles(const QUuid& guid) const;

  TTempDir dir;
  THeadersJobManager manager;
  TNewsServerEntry server = TNewsServerEntry::Init();
  // Applied to each download thread before it starts (the time-out is 2 s by default here).
  std::function<void(THeadersDownloadThread&)> setup;
  // The reply to JobComplete for completed jobs (0: taken).
  int reply = 0;
};

// Every record of a job's header files, in order.
std::vector<TStoredHeader> ReadHeaderFiles(const QString& textPath, const QString& indexPath);
QByteArray FileBytes(const QString& path);
// The 64-bit entries of a seek file.
std::vector<std::uint64_t> SeekEntries(const QString& path);
