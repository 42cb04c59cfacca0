#include "headers/KillFile.h"

#include "app/FileUtils.h"
#include "app/LineListFile.h"
#include "app/Logger.h"
#include "app/Wildcard.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

QString Decode(QByteArrayView bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool MatchesAny(const QStringList& patterns, QStringView text) {
  for (const QString& p : patterns)
    if (MatchWildcard(p, text)) return true;
  return false;
}

}  // namespace

TKillFile::TKillFile(const QString& fileName) : fFileName(fileName) {}

QList<QByteArray> TKillFile::DefaultLines() {
  return {"#",
          "# Killfile",
          "#",
          "# Use * and ? for wildcards. Place a single entry",
          "# per line.",
          "#",
          "# Example:",
          "# from: spammer@example.com",
          "# subject: want some viagra?",
          "#"};
}

bool TKillFile::WriteDefault() {
  if (TLineListFile::Save(fFileName, DefaultLines())) return true;
  LogError(u"Cannot create the kill file "_s + fFileName);
  return false;
}

bool TKillFile::Load() {
  LOG_METHOD("LoadKillFile");
  fCreated = false;
  fHasEntries = false;
  fEmpty = false;
  fFileName = FindPathNoCase(fFileName);
  if (!QFileInfo::exists(fFileName)) {
    if (!WriteDefault()) return false;
    fCreated = true;
  }
  if (TLineListFile::Load(fFileName, fLines) != TLineListFile::LOAD_OK) {
    fLines.clear();
    LogError(u"Cannot read the kill file "_s + fFileName);
    return false;
  }
  return true;
}

bool TKillFile::CreateDefault(bool force) {
  fFileName = FindPathNoCase(fFileName);
  if (QFileInfo::exists(fFileName)) {
    if (!force) return true;
    QFile::remove(fFileName);  // a failed removal shows in the write below
  }
  if (!WriteDefault()) return false;
  fCreated = false;
  return true;
}

void TKillFile::Parse() {
  fSenders.clear();
  fSubjects.clear();
  for (const QByteArray& raw : fLines) {
    const QString line = Decode(raw).trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    QStringList* list = nullptr;
    qsizetype skip = 0;
    if (line.startsWith(u"from:"_s)) {
      list = &fSenders;
      skip = 5;
    } else if (line.startsWith(u"subject:"_s)) {
      list = &fSubjects;
      skip = 8;
    } else {
      continue;
    }
    // "from:" alone names nothing; an empty pattern could only match an
    // empty text, which is never tested.
    const QString pattern = line.sliced(skip).trimmed().toLower();
    if (!pattern.isEmpty()) *list << pattern;
  }
  fHasEntries = !fSenders.isEmpty() || !fSubjects.isEmpty();
  fEmpty = !fHasEntries;
}

bool TKillFile::MatchesSender(QStringView lowerText) const { return MatchesAny(fSenders, lowerText); }

bool TKillFile::MatchesSubject(QStringView lowerText) const { return MatchesAny(fSubjects, lowerText); }

QString TKillFile::MatchText(QByteArrayView bytes) { return Decode(bytes).toLower(); }
