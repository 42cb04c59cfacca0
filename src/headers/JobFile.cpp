#include "headers/JobFile.h"

#include "app/DayCount.h"
#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Logger.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

const QString kJob = u"Job"_s;
const QString kNewsgroups = u"Newsgroups"_s;
const QString kStats = u"Stats"_s;
const QString kNamesSection = u"DownloadedNewsgroupsNames"_s;
const QString kHeadersSection = u"DownloadedNewsgroupsHeaders"_s;
const QString kCount = u"Count"_s;
const QString kNamePrefix = u"Newsgroup.Name."_s;

// Whole-file read-modify-write cycles on job files and the sort index.
std::mutex& FileLock() {
  static std::mutex lock;
  return lock;
}

// An ini value is one line: a line break from a server or a user would cut
// the file apart.
QString OneLine(QString value) {
  for (QChar& c : value)
    if (c == u'\r' || c == u'\n') c = u' ';
  return value;
}

// The highest i of the keys "Newsgroup.Name.<i>", so an absurd "Count" in a
// damaged file does not make the reader walk billions of indices.
int HighestNewsgroupIndex(const TIniFile& ini) {
  int highest = -1;
  for (const QString& key : ini.Keys(kNewsgroups)) {
    if (!key.startsWith(kNamePrefix, Qt::CaseInsensitive)) continue;
    bool ok = false;
    const int i = key.sliced(kNamePrefix.size()).toInt(&ok);
    if (ok && i > highest) highest = i;
  }
  return highest;
}

bool RemoveFile(const QString& path) {
  if (QFile::remove(path)) return true;
  LogWarning(u"Cannot delete "_s + path);
  return !QFileInfo::exists(path);
}

// Opens the job file of guid for a save: the existing content is kept.
RETURN_CODES OpenForSave(const QString& headersDir, const QUuid& guid, std::unique_ptr<TIniFile>& ini) {
  if (headersDir.isEmpty() || !QFileInfo(headersDir).isDir()) return RC_DEST_NOT_READY;
  if (guid.isNull()) return RC_INVALID_PARAMS;
  ini = std::make_unique<TIniFile>(TJobFile::PathOf(headersDir, guid));
  if (!ini->IsOpen()) {
    LogError(u"Cannot open job file "_s + ini->FileName() + u": "_s + ini->ErrorString());
    return RC_FAILED_CREATE;
  }
  return RC_SUCCESS;
}

bool Flush(TIniFile& ini) {
  if (ini.UpdateFile()) return true;
  LogError(u"Cannot write job file "_s + ini.FileName() + u": "_s + ini.ErrorString());
  return false;
}

}  // namespace

QString TJobFile::GuidText(const QUuid& guid) { return guid.toString(QUuid::WithBraces).toUpper(); }

QUuid TJobFile::GuidFromText(const QString& text) { return QUuid::fromString(QStringView(text).trimmed()); }

QString TJobFile::FileName(const QUuid& guid) { return GuidText(guid) + QLatin1String(kExtension); }

QString TJobFile::PathOf(const QString& headersDir, const QUuid& guid) {
  return FindFileNoCase(WithTrailingSlash(headersDir), FileName(guid));
}

RETURN_CODES TJobFile::ReadJobInfoFromIniFile(const TIniFile& ini, TJobInfo& info) {
  LOG_METHOD("ReadJobInfoFromIniFile");
  info.result = DOWNLOAD_RESULT_NONE;

  info.type = JobTypeFromName(ini.ReadString(kJob, u"Job.Type"_s));
  info.status = JobStatusFromName(ini.ReadString(kJob, u"Job.Status"_s));
  info.serverName = ini.ReadString(kJob, u"Job.ServerName"_s);
  if (info.type == JOB_TYPE_UNKNOWN || info.status == JOB_STATUS_UNKNOWN || info.serverName.isEmpty())
    return RC_OPERATION_FAILED;

  info.connectionCount = ini.ReadInteger(kJob, u"Job.ConnectionCount"_s, 1);
  info.guid = GuidFromText(ini.ReadString(kJob, u"Job.GUID"_s));
  if (info.guid.isNull()) return RC_OPERATION_FAILED;

  info.sortIndex = ini.ReadInt64(kJob, u"Job.SortIndex"_s, 0);
  info.matchString = ini.ReadString(kJob, u"Job.MatchString"_s);
  info.fileSize = ini.ReadInt64(kJob, u"Job.FileSize"_s, 0);
  info.name = ini.ReadString(kJob, u"Job.Name"_s, GuidText(info.guid));
  info.resultString = ini.ReadString(kJob, u"Job.ResultString"_s);

  bool ok = false;
  info.dateAdded = DaysFromText(ini.ReadString(kJob, u"Job.Date.Added"_s), &ok);
  if (!ok) info.dateAdded = NowAsDays();
  info.dateCompleted = DaysFromText(ini.ReadString(kJob, u"Job.Date.Completed"_s), &ok);
  if (!ok) info.dateCompleted = 0;
  info.headersDownloaded = ini.ReadInt64(kStats, u"HeadersDownloaded"_s, 0);
  bool flagsOk = true;
  info.flags = JobFlagsFromText(ini.ReadString(kJob, u"Job.Flags"_s, u"[]"_s), &flagsOk);
  if (!flagsOk) LogWarning(u"Unknown job flags ignored in "_s + ini.FileName());
  info.operationInfo = ini.ReadString(kJob, u"Job.OperationInfo"_s);

  info.newsgroups.clear();
  const int count = std::min(ini.ReadInteger(kNewsgroups, kCount, 0), HighestNewsgroupIndex(ini) + 1);
  for (int i = 0; i < count; ++i) {
    const QString n = QString::number(i);
    TNewsgroupJob group;
    group.name = ini.ReadString(kNewsgroups, kNamePrefix + n);
    if (group.name.isEmpty()) continue;
    group.data = ini.ReadString(kNewsgroups, u"Newsgroup.Data."_s + n);
    group.result = DownloadResultFromName(ini.ReadString(kNewsgroups, u"Newsgroup.Result."_s + n));
    info.newsgroups << group;
  }
  return RC_SUCCESS;
}

RETURN_CODES TJobFile::Load(const QString& path, TJobInfo& info) {
  if (!QFileInfo::exists(path)) return RC_FILE_NOT_FOUND;
  const TIniFile ini(path);
  if (!ini.IsOpen()) return RC_OPEN_FAILED;
  return ReadJobInfoFromIniFile(ini, info);
}

TJobStats TJobFile::ReadJobStats(const TIniFile& ini) {
  TJobStats stats;
  stats.headersDownloaded = ini.ReadInt64(kStats, u"HeadersDownloaded"_s, 0);
  stats.headersKilled = ini.ReadInt64(kStats, u"HeadersKilled"_s, 0);
  stats.timeToCompletion = ini.ReadInt64(kStats, u"TimeToCompletion"_s, 0);
  stats.connectionsUsed = ini.ReadInteger(kStats, u"ConnectionsUsed"_s, 0);
  const QStringList names = ini.ReadStringList(kNamesSection);
  for (qsizetype i = 0; i < names.size(); ++i) {
    if (names[i].isEmpty()) continue;
    stats.downloaded << TJobStats::TNewsgroupCount{names[i], ini.ReadInt64(kHeadersSection, QString::number(i), 0)};
  }
  return stats;
}

void TJobFile::WriteJobInfo(TIniFile& ini, const TJobInfo& info) {
  ini.WriteString(kJob, u"Job.Name"_s, OneLine(info.name));
  ini.WriteString(kJob, u"Job.GUID"_s, GuidText(info.guid));
  ini.WriteString(kJob, u"Job.Status"_s, JobStatusName(info.status));
  ini.WriteString(kJob, u"Job.Type"_s, JobTypeName(info.type));
  ini.WriteString(kJob, u"Job.ServerName"_s, OneLine(info.serverName));
  ini.WriteInteger(kJob, u"Job.ConnectionCount"_s, info.connectionCount);
  ini.WriteString(kJob, u"Job.Date.Added"_s, DaysToText(info.dateAdded));
  ini.WriteString(kJob, u"Job.Date.Completed"_s, DaysToText(info.dateCompleted));
  ini.WriteString(kJob, u"Job.ResultString"_s, OneLine(info.resultString));
  ini.WriteString(kJob, u"Job.OperationInfo"_s, OneLine(info.operationInfo));
  ini.WriteInt64(kJob, u"Job.SortIndex"_s, info.sortIndex);
  ini.WriteString(kJob, u"Job.MatchString"_s, OneLine(info.matchString));
  WriteJobFlags(ini, info.flags);

  // The section belongs to this write alone: a shorter list must not leave
  // the keys of an older, longer one behind.
  ini.EraseSection(kNewsgroups);
  ini.WriteInteger(kNewsgroups, kCount, static_cast<int>(info.newsgroups.size()));
  for (qsizetype i = 0; i < info.newsgroups.size(); ++i) {
    const QString n = QString::number(i);
    const TNewsgroupJob& group = info.newsgroups[i];
    ini.WriteString(kNewsgroups, kNamePrefix + n, OneLine(group.name));
    ini.WriteString(kNewsgroups, u"Newsgroup.Data."_s + n, OneLine(group.data));
    ini.WriteString(kNewsgroups, u"Newsgroup.Result."_s + n, DownloadResultName(group.result));
  }
}

void TJobFile::WriteJobFlags(TIniFile& ini, TJobFlagsSet flags) {
  ini.WriteString(kJob, u"Job.Flags"_s, JobFlagsToText(flags));
}

void TJobFile::WriteJobStats(TIniFile& ini, const TJobStats& stats) {
  ini.WriteInt64(kStats, u"HeadersDownloaded"_s, stats.headersDownloaded);
  ini.WriteInt64(kStats, u"HeadersKilled"_s, stats.headersKilled);
  ini.WriteInt64(kStats, u"TimeToCompletion"_s, stats.timeToCompletion);
  ini.WriteInteger(kStats, u"ConnectionsUsed"_s, stats.connectionsUsed);
  QStringList names;
  QStringList headers;
  for (const TJobStats::TNewsgroupCount& g : stats.downloaded) {
    names << OneLine(g.name);
    headers << QString::number(g.headers);
  }
  ini.WriteStringList(kNamesSection, names);
  ini.WriteStringList(kHeadersSection, headers);
}

RETURN_CODES TJobFile::SaveJob(const QString& headersDir, const TJobInfo& info) {
  LOG_METHOD("SaveJob");
  std::lock_guard guard(FileLock());
  std::unique_ptr<TIniFile> ini;
  if (const RETURN_CODES rc = OpenForSave(headersDir, info.guid, ini); rc != RC_SUCCESS) return rc;
  WriteJobInfo(*ini, info);
  return Flush(*ini) ? RC_SUCCESS : RC_WRITE_FAILED;
}

RETURN_CODES TJobFile::SaveJobStats(const QString& headersDir, const QUuid& guid, const TJobStats& stats) {
  LOG_METHOD("SaveJobStats");
  std::lock_guard guard(FileLock());
  std::unique_ptr<TIniFile> ini;
  if (const RETURN_CODES rc = OpenForSave(headersDir, guid, ini); rc != RC_SUCCESS) return rc;
  WriteJobStats(*ini, stats);
  return Flush(*ini) ? RC_SUCCESS : RC_SAVE_FAILED;
}

RETURN_CODES TJobFile::SaveJobKey(const QString& headersDir, const TJobInfo& info, TJobKey key) {
  LOG_METHOD("SaveJobKey");
  std::lock_guard guard(FileLock());
  std::unique_ptr<TIniFile> ini;
  if (const RETURN_CODES rc = OpenForSave(headersDir, info.guid, ini); rc != RC_SUCCESS) return rc;
  switch (key) {
    case KEY_FLAGS:
      WriteJobFlags(*ini, info.flags);
      break;
    case KEY_NAME:
      ini->WriteString(kJob, u"Job.Name"_s, OneLine(info.name));
      break;
    case KEY_CONNECTION_COUNT:
      ini->WriteInteger(kJob, u"Job.ConnectionCount"_s, info.connectionCount);
      break;
    case KEY_SERVER_NAME:
      ini->WriteString(kJob, u"Job.ServerName"_s, OneLine(info.serverName));
      break;
    case KEY_FILE_SIZE:
      ini->WriteInt64(kJob, u"Job.FileSize"_s, info.fileSize);
      break;
  }
  if (Flush(*ini)) return RC_SUCCESS;
  return key == KEY_FLAGS ? RC_WRITE_FAILED : RC_SAVE_FAILED;
}

std::int64_t TJobFile::NextJobSortIndex(const QString& settingsDir) {
  LOG_METHOD("NextJobSortIndex");
  std::lock_guard guard(FileLock());
  TIniFile ini(FindFileNoCase(WithTrailingSlash(settingsDir), QLatin1String(kSortIndexFileName)));
  if (!ini.IsOpen()) {
    LogError(u"Cannot open "_s + ini.FileName() + u": "_s + ini.ErrorString());
    return 0;
  }
  const std::int64_t next = ini.ReadInt64(kJob, u"SortIndex"_s, 0) + 1;
  ini.WriteInt64(kJob, u"SortIndex"_s, next);
  if (!ini.UpdateFile()) {
    // Handing out an index that was not stored would repeat it next time.
    LogError(u"Cannot write "_s + ini.FileName() + u": "_s + ini.ErrorString());
    return 0;
  }
  return next;
}

void TJobFile::CleanHeadersDirectory(const QString& dir) {
  LOG_METHOD("CleanHeadersDirectory");
  const QString base = WithTrailingSlash(dir);
  if (base.isEmpty() || !QFileInfo(base).isDir()) return;
  const QString extension = QLatin1String(kExtension);
  QStringList rest;
  QSet<QString> jobFiles;
  for (const QString& name : QDir(base).entryList(QDir::Files)) {
    const QString lower = name.toLower();
    if (lower.endsWith(u".tmp"_s))
      RemoveFile(base + name);
    else if (lower.endsWith(extension))
      jobFiles.insert(lower);
    else
      rest << name;
  }
  for (const QString& name : rest) {
    const QString lower = name.toLower();
    const qsizetype dot = lower.lastIndexOf(u'.');
    const QString owner = (dot < 0 ? lower : lower.first(dot)) + extension;
    if (!jobFiles.contains(owner)) RemoveFile(base + name);
  }
}

bool TJobFile::DeleteJobFiles(const QString& headersDir, const QUuid& guid, bool includeJobFile) {
  LOG_METHOD("DeleteJobFiles");
  const QString base = WithTrailingSlash(headersDir);
  if (guid.isNull() || base.isEmpty() || !QFileInfo(base).isDir()) return false;
  const QString prefix = GuidText(guid).toLower() + u'.';
  const QString jobFile = FileName(guid).toLower();
  bool all = true;
  for (const QString& name : QDir(base).entryList(QDir::Files | QDir::Hidden)) {
    const QString lower = name.toLower();
    if (!lower.startsWith(prefix)) continue;
    if (lower == jobFile && !includeJobFile) continue;
    all = RemoveFile(base + name) && all;
  }
  return all;
}
