#include "binaries/DownloadSequence.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/DownloadListFiles.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString TDownloadSequence::FilePath(const QString& userDataDir) {
  return FindFileNoCase(userDataDir, QLatin1String(kFileName));
}

QStringList TDownloadSequence::Read(const QString& userDataDir) {
  QFile file(FilePath(userDataDir));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList out;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (!line.isEmpty()) out.append(line);
  }
  return out;
}

bool TDownloadSequence::Write(const QString& userDataDir, const QStringList& cuePaths) {
  const QString path = FilePath(userDataDir);
  if (cuePaths.isEmpty()) {
    QFile::remove(path);
    return !QFileInfo::exists(path);
  }
  QByteArray data;
  for (const QString& p : cuePaths) data += p.toUtf8() + "\r\n";
  return WriteFileAtomic(path, data);
}

QString TDownloadSequence::TakeNext(const QString& userDataDir) {
  LOG_METHOD("TakeNextDownloadList");
  QStringList lines = Read(userDataDir);
  while (!lines.isEmpty()) {
    const QString next = lines.takeFirst();
    if (!Write(userDataDir, lines)) {
      LogError("Exception raised while saving the download list sequence");
      return {};
    }
    if (QFileInfo::exists(DownloadListFile(next, ".cui"))) return next;
  }
  QFile::remove(FilePath(userDataDir));
  return {};
}

void TDownloadSequence::Clear(const QString& userDataDir) { QFile::remove(FilePath(userDataDir)); }
