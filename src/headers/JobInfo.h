#pragma once

#include "headers/JobTypes.h"
#include "nntp/NewsServerEntry.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>

// One newsgroup of a job: its name, its operation string and its result.
struct TNewsgroupJob {
  QString name;
  QString data;
  TDownloadResult result = DOWNLOAD_RESULT_NONE;

  bool operator==(const TNewsgroupJob&) const = default;
};

// The persistent part of a headers job, as its job file holds it.
// Date-times count days since 30 December 1899, local time.
struct TJobInfo {
  QUuid guid;
  std::int64_t sortIndex = 0;
  QString name;
  TJobType type = JOB_TYPE_UNKNOWN;
  QString operationInfo;  // "All", "Range", "New", "Percent", "Sample" or empty
  QList<TNewsgroupJob> newsgroups;
  int currentNewsgroup = 0;
  std::int64_t headersDownloaded = 0;
  QString resultString;
  QString matchString;  // comma-separated subject filter; empty = none
  TDownloadResult result = DOWNLOAD_RESULT_NONE;
  double dateAdded = 0;
  double dateCompleted = 0;  // 0 when not completed
  QString serverName;
  TNewsServerEntry server = TNewsServerEntry::Init();  // filled when the job starts; never written to the file
  TJobFlagsSet flags;
  int connectionCount = 1;
  TJobStatus status = JOB_STATUS_UNKNOWN;
  std::int64_t fileSize = 0;
};

// What a job's statistics sections hold once it has ended.
struct TJobStats {
  std::int64_t headersDownloaded = 0;
  std::int64_t headersKilled = 0;
  std::int64_t timeToCompletion = 0;  // milliseconds from the start of the download to its end
  int connectionsUsed = 0;            // connections among which the last newsgroup was divided
  struct TNewsgroupCount {
    QString name;
    std::int64_t headers = 0;
    bool operator==(const TNewsgroupCount&) const = default;
  };
  QList<TNewsgroupCount> downloaded;  // newsgroups downloaded, in order

  bool operator==(const TJobStats&) const = default;
};
