#include "binaries/DownloadListFiles.h"

#include "app/FileUtils.h"
#include "app/Logger.h"

#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kWriteBlock = 1 << 20;

QString Ext(const QString& cuePath, const char* extension) { return DownloadListFile(cuePath, extension); }
}  // namespace

QString DownloadListBase(const QString& cuePath) {
  const QFileInfo info(cuePath);
  return WithTrailingSlash(info.path()) + info.completeBaseName();
}

QString DownloadListFile(const QString& cuePath, const char* extension) {
  return DownloadListBase(cuePath) + QLatin1String(extension);
}

QString DownloadListName(const QString& cuePath) { return QFileInfo(cuePath).completeBaseName(); }

QString CueTempPath(const QString& cuePath) { return Ext(cuePath, ".cue.tmp"); }
QString BodyTempPath(const QString& cuePath) { return Ext(cuePath, ".body.tmp"); }

bool ReplaceFile(const QString& from, const QString& to) {
  return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

namespace {
// The renames after the commit point, or the removal of an uncommitted body.
void FinishPendingPair(const QString& cuePath) {
  const QString cueNew = Ext(cuePath, ".cue.new");
  const QString bodyNew = Ext(cuePath, ".body.new");
  if (QFileInfo::exists(cueNew)) {
    LogWarning(u"Completing an interrupted save of "_s + cuePath);
    if (QFileInfo::exists(bodyNew)) ReplaceFile(bodyNew, Ext(cuePath, ".body"));
    ReplaceFile(cueNew, cuePath);
  } else if (QFileInfo::exists(bodyNew)) {
    // The new pair was never committed: the old one stays.
    QFile::remove(bodyNew);
  }
}
}  // namespace

void RecoverDownloadListFiles(const QString& cuePath) {
  FinishPendingPair(cuePath);
  QFile::remove(CueTempPath(cuePath));
  QFile::remove(BodyTempPath(cuePath));
}

bool TListTempFile::Open(const QString& tempPath) {
  Discard();
  fPath = tempPath;
  fError.clear();
  fFailed = false;
  fFile.setFileName(tempPath);
  if (!fFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    fError = fFile.errorString();
    return false;
  }
  fBuffer.reserve(kWriteBlock);
  return true;
}

bool TListTempFile::FlushBuffer() {
  if (fFailed) return false;
  if (!fBuffer.isEmpty() && fFile.write(fBuffer) != fBuffer.size()) {
    fError = fFile.errorString();
    fFailed = true;
  }
  fBuffer.clear();
  return !fFailed;
}

bool TListTempFile::Write(QByteArrayView data) {
  if (!fFile.isOpen() || fFailed) return false;
  fBuffer.append(data);
  return fBuffer.size() < kWriteBlock || FlushBuffer();
}

bool TListTempFile::Finish() {
  if (!fFile.isOpen()) return false;
  bool ok = FlushBuffer() && fFile.flush();
  if (ok && ::fsync(fFile.handle()) != 0) {
    fError = u"fsync failed"_s;
    ok = false;
  }
  if (!ok && fError.isEmpty()) fError = fFile.errorString();
  fFile.close();
  if (!ok) QFile::remove(fPath);
  return ok;
}

void TListTempFile::Discard() {
  if (fFile.isOpen()) {
    fFile.close();
    QFile::remove(fPath);
  }
  fBuffer.clear();
}

bool CommitDownloadListFiles(const QString& cuePath, const QString& cueTemp, const QString& bodyTemp,
                             QString* error) {
  LOG_METHOD("CommitDownloadListFiles");
  const QString cueNew = Ext(cuePath, ".cue.new");
  const QString bodyNew = Ext(cuePath, ".body.new");
  const auto fail = [&](const QString& text) {
    LogError(text);
    if (error) *error = text;
    QFile::remove(cueTemp);
    if (!bodyTemp.isEmpty()) QFile::remove(bodyTemp);
    QFile::remove(bodyNew);
    return false;
  };
  // A leftover of an earlier crash must not be taken for part of this pair.
  FinishPendingPair(cuePath);
  if (!bodyTemp.isEmpty() && !ReplaceFile(bodyTemp, bodyNew))
    return fail(u"Cannot rename "_s + bodyTemp + u" to "_s + bodyNew);
  if (!ReplaceFile(cueTemp, cueNew)) return fail(u"Cannot rename "_s + cueTemp + u" to "_s + cueNew);
  // Committed: from here a crash is completed by RecoverDownloadListFiles.
  if (!bodyTemp.isEmpty() && !ReplaceFile(bodyNew, Ext(cuePath, ".body"))) {
    const QString text = u"Cannot put "_s + bodyNew + u" in place"_s;
    LogError(text);
    if (error) *error = text;
    return false;
  }
  if (!ReplaceFile(cueNew, cuePath)) {
    const QString text = u"Cannot put "_s + cueNew + u" in place"_s;
    LogError(text);
    if (error) *error = text;
    return false;
  }
  return true;
}

void DeleteDownloadList(const QString& cuePath, bool withTexts, bool everything) {
  const auto remove = [&cuePath](const char* ext) { QFile::remove(Ext(cuePath, ext)); };
  for (const char* ext : {".cue", ".cui", ".log", ".lck", ".temp", ".seek", ".txt", ".cue.tmp", ".cue.new"}) remove(ext);
  if (withTexts)
    for (const char* ext : {".body", ".body.tmp", ".body.new"}) remove(ext);
  if (everything)
    for (const char* ext : {".stats", ".crc", ".srv", ".grouping"}) remove(ext);
}
