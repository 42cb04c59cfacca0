#include "app/FileUtils.h"

#include "app/Logger.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

QString WithTrailingSlash(const QString& dir) {
  if (dir.isEmpty() || dir.endsWith(u'/')) return dir;
  return dir + u'/';
}

QString WithoutTrailingSlash(const QString& dir) {
  QString out = dir;
  while (out.size() > 1 && out.endsWith(u'/')) out.chop(1);
  return out;
}

QString FindFileNoCase(const QString& dir, const QString& name) {
  const QString exact = dir + name;
  if (QFileInfo::exists(exact)) return exact;
  QDir d(dir);
  const QStringList entries = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir + entry;
  }
  return exact;
}

QString FindPathNoCase(const QString& path) {
  const int slash = static_cast<int>(path.lastIndexOf(u'/'));
  if (slash < 0) return path;
  return FindFileNoCase(path.left(slash + 1), path.mid(slash + 1));
}

bool WriteFileAtomic(const QString& path, QByteArrayView data, QString* error,
                     QFileDevice::Permissions createPermissions) {
  const bool existed = QFileInfo::exists(path);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  if (!existed && createPermissions != QFileDevice::Permissions{}) file.setPermissions(createPermissions);
  if (file.write(data.data(), data.size()) != data.size()) {
    if (error) *error = file.errorString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

bool SafeRewriteRecordFile(const QString& path, QByteArrayView data, QFileDevice::Permissions createPermissions,
                           TRewriteFailure* failure) {
  LOG_METHOD("SafeRewriteRecordFile");
  const auto fail = [failure](TRewriteFailure step) {
    if (failure) *failure = step;
    return false;
  };
  if (failure) *failure = REWRITE_OK;
  const QString newPath = path + u'1';
  const QString oldPath = path + u'2';
  QFile::remove(newPath);
  {
    QFile out(newPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      LogError(u"Cannot create "_s + newPath + u": "_s + out.errorString());
      return fail(REWRITE_CREATE_FAILED);
    }
    const bool existed = QFileInfo::exists(path);
    const QFileDevice::Permissions perms = existed ? QFile::permissions(path) : createPermissions;
    if (perms != QFileDevice::Permissions{}) out.setPermissions(perms);
    if (out.write(data.data(), data.size()) != data.size() || !out.flush()) {
      LogError(u"Cannot write "_s + newPath + u": "_s + out.errorString());
      out.close();
      QFile::remove(newPath);
      return fail(REWRITE_CREATE_FAILED);
    }
    ::fsync(out.handle());
    out.close();
  }
  const bool hadOld = QFileInfo::exists(path);
  if (hadOld) {
    QFile::remove(oldPath);
    if (!QFile::rename(path, oldPath)) {
      LogError(u"Cannot move "_s + path + u" aside"_s);
      QFile::remove(newPath);
      return fail(REWRITE_BACKUP_FAILED);
    }
  }
  if (!QFile::rename(newPath, path)) {
    LogError(u"Cannot move "_s + newPath + u" into place"_s);
    if (hadOld) QFile::rename(oldPath, path);
    QFile::remove(newPath);
    return fail(REWRITE_REPLACE_FAILED);
  }
  if (hadOld) QFile::remove(oldPath);
  return true;
}

void RecoverRecordFile(const QString& path) {
  const QString oldPath = path + u'2';
  if (!QFileInfo::exists(path) && QFileInfo::exists(oldPath)) {
    LogWarning(u"Restoring "_s + path + u" after an interrupted rewrite"_s);
    QFile::rename(oldPath, path);
  }
  QFile::remove(path + u'1');
  if (QFileInfo::exists(path)) QFile::remove(oldPath);
}

int DeletePlainFiles(const QString& dir) {
  int failures = 0;
  QDirIterator it(dir, QDir::Files | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    const QString file = it.next();
    if (!QFile::remove(file)) ++failures;
  }
  return failures;
}

QString CleanPathComponent(const QString& name, int maxBytes) {
  QString out;
  out.reserve(name.size());
  for (QChar c : name) {
    if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
      out += u'_';
    else
      out += c;
  }
  out = out.trimmed();
  // Cut on a character boundary so the UTF-8 form stays within maxBytes.
  if (out.size() > maxBytes) out.truncate(maxBytes);
  while (out.toUtf8().size() > maxBytes) {
    out.chop(1);
    if (!out.isEmpty() && out.back().isHighSurrogate()) out.chop(1);
  }
  if (out.isEmpty() || out == u"."_s || out == u".."_s) return QStringLiteral("_");
  return out;
}
