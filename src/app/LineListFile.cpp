#include "app/LineListFile.h"

#include "app/FileUtils.h"

#include <QFile>
#include <QFileInfo>

QList<QByteArray> TLineListFile::DefaultLines(const QString& fileName) {
  const auto is = [&fileName](const char* name) { return fileName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
  if (is(kAutoShowList))
    return {";", "; List of file extensions automatically shown when retrieved", ";", ".nfo", ".txt"};
  if (is(kCompleteMultipartStrings))
    return {";",    "; List of multipart strings",
            ";",    ".nfo", ".sfv", ".zip", ".rar", ".ace", ".001", ".mpg", ".jpg", ".exe", ".bmp", ".gif",
            ".p0",  ".gz",  ".tar", ".m3u", ".mp3", ".avi", ".par", ".par2", ".dmg", ".sit", ".txt"};
  if (is(kHeaders))
    return {";",       "; List of headers", ";",           "From",       "Date",
            "Organization", "Followup-To",   "Reply-To", "X-Newsreader", "User-Agent", "X-Newsposter"};
  if (is(kAnonymousList)) return {"*anonym*", "alt.binaries.*"};
  if (is(kImageFormats)) return {".jpeg", ".jpg", ".gif", ".bmp", ".png", ".tga"};
  return {};
}

QString TLineListFile::PathOf(const QString& dir, const QString& fileName) {
  return FindFileNoCase(WithTrailingSlash(dir), fileName);
}

bool TLineListFile::CreateDefaultIfMissing(const QString& dir, const QString& fileName) {
  const QString path = PathOf(dir, fileName);
  if (QFileInfo::exists(path)) return true;
  return Save(path, DefaultLines(fileName));
}

TLineListFile::TLoadResult TLineListFile::Load(const QString& path, QList<QByteArray>& lines) {
  lines.clear();
  if (!QFileInfo::exists(path)) return LOAD_MISSING;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return LOAD_FAILED;
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) return LOAD_FAILED;
  qsizetype start = 0;
  while (start < data.size()) {
    qsizetype end = data.indexOf('\n', start);
    if (end < 0) end = data.size();
    qsizetype stop = end;
    if (stop > start && data[stop - 1] == '\r') --stop;
    lines.append(data.mid(start, stop - start));
    start = end + 1;
  }
  return LOAD_OK;
}

bool TLineListFile::Save(const QString& path, const QList<QByteArray>& lines) {
  QByteArray data;
  for (const QByteArray& line : lines) {
    data += line;
    data += '\n';
  }
  return WriteFileAtomic(path, data);
}
