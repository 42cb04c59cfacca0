#include "app/SharedLists.h"

#include "app/LineListFile.h"
#include "app/Logger.h"

#include <algorithm>

using namespace Qt::StringLiterals;

TSharedLists& TSharedLists::Instance() {
  static TSharedLists lists;
  return lists;
}

QStringList TSharedLists::AutoShowFromLines(const QList<QByteArray>& lines) {
  QStringList out;
  for (const QByteArray& raw : lines) {
    const QString line = QString::fromUtf8(raw).trimmed().toLower();
    if (line.isEmpty() || line.startsWith(u';')) continue;
    out << line;
  }
  return out;
}

QList<QByteArray> TSharedLists::CompleteMultipartFromLines(const QList<QByteArray>& lines) {
  QList<QByteArray> out;
  for (const QByteArray& line : lines) {
    if (line.startsWith(';') || line.startsWith("//")) continue;
    out << line;
  }
  return out;
}

void TSharedLists::LoadFrom(const QString& dir) {
  LOG_METHOD("LoadListFiles");
  for (const char* name : {TLineListFile::kAutoShowList, TLineListFile::kCompleteMultipartStrings,
                           TLineListFile::kHeaders, TLineListFile::kAnonymousList, TLineListFile::kImageFormats}) {
    if (!TLineListFile::CreateDefaultIfMissing(dir, QLatin1String(name)))
      LogWarning(u"Cannot create "_s + dir + QLatin1String(name));
  }
  QList<QByteArray> lines;
  TLineListFile::Load(TLineListFile::PathOf(dir, QLatin1String(TLineListFile::kAutoShowList)), lines);
  autoShowExtensions = AutoShowFromLines(lines);
  TLineListFile::Load(TLineListFile::PathOf(dir, QLatin1String(TLineListFile::kCompleteMultipartStrings)), lines);
  completeMultipartStrings = CompleteMultipartFromLines(lines);
  TLineListFile::Load(TLineListFile::PathOf(dir, QLatin1String(TLineListFile::kNewsgroupsBoldList)), lines);
  boldNewsgroups = lines;
  TLineListFile::Load(TLineListFile::PathOf(dir, QLatin1String(TLineListFile::kImageFormats)), lines);
  imageFormats.clear();
  for (const QByteArray& line : lines) imageFormats << QString::fromUtf8(line);
}

bool TSharedLists::IsImageFormat(const QString& extension) const {
  return imageFormats.contains(extension, Qt::CaseInsensitive);
}

void AddPostedSubject(const QString& dir, const QString& subject) {
  LOG_METHOD("AddPostedSubject");
  const QString path = TLineListFile::PathOf(dir, QLatin1String(TLineListFile::kNewsPostSubjects));
  QList<QByteArray> lines;
  if (TLineListFile::Load(path, lines) == TLineListFile::LOAD_FAILED) {
    // Saving now would replace the stored subjects with this one alone.
    LogWarning(u"Cannot read "_s + path + u"; the posted subject is not recorded"_s);
    return;
  }
  const QByteArray entry = subject.toLower().toUtf8();
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  const auto it = std::lower_bound(lines.begin(), lines.end(), entry);
  if (it != lines.end() && *it == entry) return;
  lines.insert(it, entry);
  TLineListFile::Save(path, lines);
}
