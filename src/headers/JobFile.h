#pragma once

#include "app/ReturnCodes.h"
#include "headers/JobInfo.h"

#include <QString>
#include <QUuid>

#include <cstdint>

class TIniFile;

// Job files: one ini file per job, GUID + ".kvj" in the headers directory,
// plus "_JobSortIndex.ini" in the user data directory. Every save reads the
// existing file, changes only its own keys and replaces the file atomically,
// so a crash leaves either the old or the new file, never a torn one. The
// whole-file operations are serialised, so the user-interface thread and a
// worker never interleave on one file.
class TJobFile {
 public:
  static constexpr char kExtension[] = ".kvj";
  static constexpr char kSortIndexFileName[] = "_JobSortIndex.ini";

  // Keys a single-key update can write.
  enum TJobKey { KEY_FLAGS, KEY_NAME, KEY_CONNECTION_COUNT, KEY_SERVER_NAME, KEY_FILE_SIZE };

  // "{0A1B2C3D-...}": braces, upper case (the base name of all of a job's files).
  static QString GuidText(const QUuid& guid);
  // A GUID with or without braces, any case; null for anything else, the nil GUID included.
  static QUuid GuidFromText(const QString& text);
  static QString FileName(const QUuid& guid);
  // The job file of guid in headersDir, found whatever the case of its name.
  static QString PathOf(const QString& headersDir, const QUuid& guid);

  // Reads the job's information from an open job file. RC_OPERATION_FAILED
  // when the type or status is missing or unknown, the server name is empty
  // or the GUID does not parse.
  static RETURN_CODES ReadJobInfoFromIniFile(const TIniFile& ini, TJobInfo& info);
  // Opens path and reads it; RC_FILE_NOT_FOUND or RC_OPEN_FAILED when it cannot be read.
  static RETURN_CODES Load(const QString& path, TJobInfo& info);
  // The statistics sections; newsgroups with an empty name are left out.
  static TJobStats ReadJobStats(const TIniFile& ini);

  // Writes every key of sections "Job" and "Newsgroups" except "Job.FileSize".
  static void WriteJobInfo(TIniFile& ini, const TJobInfo& info);
  static void WriteJobFlags(TIniFile& ini, TJobFlagsSet flags);
  static void WriteJobStats(TIniFile& ini, const TJobStats& stats);

  // The job manager's saves. RC_DEST_NOT_READY when headersDir is missing,
  // RC_FAILED_CREATE when the existing job file cannot be read, RC_WRITE_FAILED
  // (SaveJob, flags) or RC_SAVE_FAILED (the others) when it cannot be replaced.
  static RETURN_CODES SaveJob(const QString& headersDir, const TJobInfo& info);
  static RETURN_CODES SaveJobStats(const QString& headersDir, const QUuid& guid, const TJobStats& stats);
  static RETURN_CODES SaveJobKey(const QString& headersDir, const TJobInfo& info, TJobKey key);

  // The next creation sequence number from settingsDir + "_JobSortIndex.ini"
  // (created when missing); 0 when the file cannot be read or written.
  static std::int64_t NextJobSortIndex(const QString& settingsDir);

  // Deletes every "*.tmp" file of dir, then every file that belongs to no job
  // file (its name with the last extension replaced by ".kvj" names no job file).
  static void CleanHeadersDirectory(const QString& dir);
  // Deletes the files GUID + ".*" of headersDir, the job file only when asked.
  // False when a file could not be deleted.
  static bool DeleteJobFiles(const QString& headersDir, const QUuid& guid, bool includeJobFile);
};
