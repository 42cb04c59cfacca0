#pragma once

#include <QByteArrayView>
#include <QFileDevice>
#include <QString>

// File helpers shared by every Part that keeps files in the user data directory.

// dir with exactly one trailing "/" (an empty dir stays empty).
QString WithTrailingSlash(const QString& dir);
QString WithoutTrailingSlash(const QString& dir);

// File names in the user data directory are matched without regard to case:
// returns dir + the existing entry whose name equals name ignoring case, or
// dir + name when there is none. dir ends with "/".
QString FindFileNoCase(const QString& dir, const QString& name);
// The same for a full path (the directory part is taken as is).
QString FindPathNoCase(const QString& path);

// Replaces a whole file safely: writes a temporary file in the same directory,
// flushes it to disk and renames it over path. On any failure path is left as
// it was and error (when given) says why. A new file gets createPermissions
// when they are non-zero (for example owner-only for files with passwords);
// an existing file keeps its permissions.
bool WriteFileAtomic(const QString& path, QByteArrayView data, QString* error = nullptr,
                     QFileDevice::Permissions createPermissions = {});

// Where a record-file rewrite stopped (callers that word the steps apart).
enum TRewriteFailure {
  REWRITE_OK,
  REWRITE_CREATE_FAILED,   // the "1" file could not be created or written
  REWRITE_BACKUP_FAILED,   // the old file could not be renamed to "2"
  REWRITE_REPLACE_FAILED,  // the "1" file could not be renamed into place
};

// The record-file rewrite: write path + "1", rename the old file to path + "2",
// rename the new one into place, delete the "2" file; on failure the old file
// is restored and the new one removed, and failure (when given) tells the step.
bool SafeRewriteRecordFile(const QString& path, QByteArrayView data,
                           QFileDevice::Permissions createPermissions = {}, TRewriteFailure* failure = nullptr);
// Completes or undoes a rewrite cut short by a crash: when path is missing and
// path + "2" exists, the old file is put back. Loaders call it first.
void RecoverRecordFile(const QString& path);

// Deletes the plain, non-hidden files directly in dir; subdirectories and
// hidden files stay. Returns the number of files that could not be deleted.
int DeletePlainFiles(const QString& dir);

// Turns a name from outside (server, group, NZB, attachment name) into one
// path component: no separators, no "." or "..", no control characters, at
// most maxBytes bytes of UTF-8. An empty result becomes "_".
QString CleanPathComponent(const QString& name, int maxBytes = 200);
