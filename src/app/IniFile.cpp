#include "app/IniFile.h"

#include "app/FileUtils.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringTokenizer>

#include <algorithm>

using namespace Qt::StringLiterals;

TIniFile::TIniFile(const QString& path) : fPath(path) {
  if (path.isEmpty() || !QFileInfo::exists(path)) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    fOpen = false;
    fError = file.errorString();
    return;
  }
  FromBytes(file.readAll());
}

void TIniFile::FromBytes(const QByteArray& bytes) {
  Clear();
  QByteArrayView data(bytes);
  if (data.startsWith("\xEF\xBB\xBF")) data = data.sliced(3);
  QString text;
  {
    QStringDecoder utf8(QStringDecoder::Utf8);
    text = utf8.decode(data);
    if (utf8.hasError()) text = QString::fromLatin1(data);
  }
  TSection* current = nullptr;
  for (QStringView line : QStringTokenizer(text, u'\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      current = &FindOrAdd(line.sliced(1, line.size() - 2).trimmed().toString());
      continue;
    }
    if (!current) continue;
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0) continue;
    const QString key = line.first(eq).trimmed().toString();
    const QString value = line.sliced(eq + 1).toString();
    const QString folded = Fold(key);
    auto it = current->index.find(folded);
    if (it != current->index.end()) {
      current->values[static_cast<size_t>(*it)].second = value;
    } else {
      current->index.insert(folded, static_cast<qsizetype>(current->values.size()));
      current->values.emplace_back(key, value);
    }
  }
  fModified = false;
}

const TIniFile::TSection* TIniFile::Find(const QString& section) const {
  auto it = fSectionIndex.find(Fold(section));
  return it == fSectionIndex.end() ? nullptr : &fSections[static_cast<size_t>(*it)];
}

TIniFile::TSection& TIniFile::FindOrAdd(const QString& section) {
  const QString folded = Fold(section);
  auto it = fSectionIndex.find(folded);
  if (it != fSectionIndex.end()) return fSections[static_cast<size_t>(*it)];
  fSectionIndex.insert(folded, static_cast<qsizetype>(fSections.size()));
  fSections.push_back(TSection{section, {}, {}});
  return fSections.back();
}

const QString* TIniFile::FindValue(const QString& section, const QString& key) const {
  const TSection* s = Find(section);
  if (!s) return nullptr;
  auto it = s->index.find(Fold(key));
  return it == s->index.end() ? nullptr : &s->values[static_cast<size_t>(*it)].second;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
  const QString* v = FindValue(section, key);
  return v ? *v : defaultValue;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
  const QString* v = FindValue(section, key);
  if (!v) return defaultValue;
  bool ok = false;
  const int n = v->trimmed().toInt(&ok);
  return ok ? n : defaultValue;
}

std::int64_t TIniFile::ReadInt64(const QString& section, const QString& key, std::int64_t defaultValue) const {
  const QString* v = FindValue(section, key);
  if (!v) return defaultValue;
  bool ok = false;
  const qlonglong n = v->trimmed().toLongLong(&ok);
  return ok ? n : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
  const QString* v = FindValue(section, key);
  if (!v) return defaultValue;
  bool ok = false;
  const qlonglong n = v->trimmed().toLongLong(&ok);
  return ok ? n != 0 : defaultValue;
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double defaultValue) const {
  const QString* v = FindValue(section, key);
  if (!v) return defaultValue;
  bool ok = false;
  const double d = v->trimmed().toDouble(&ok);
  return ok ? d : defaultValue;
}

QStringList TIniFile::ReadStringList(const QString& section) const {
  QStringList out;
  const TSection* s = Find(section);
  const int count = ReadInteger(section, QStringLiteral("Count"), 0);
  if (!s || count <= 0) return out;
  // The count comes from a file; an absurd one must not exhaust memory.
  const qsizetype n = std::min<qsizetype>(count, std::max<qsizetype>(static_cast<qsizetype>(s->values.size()), 65536));
  out.reserve(n);
  for (qsizetype i = 0; i < n; ++i) out << ReadString(section, QString::number(i));
  return out;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  TSection& s = FindOrAdd(section);
  const QString folded = Fold(key);
  auto it = s.index.find(folded);
  if (it != s.index.end()) {
    s.values[static_cast<size_t>(*it)].second = value;
  } else {
    s.index.insert(folded, static_cast<qsizetype>(s.values.size()));
    s.values.emplace_back(key, value);
  }
  fModified = true;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteInt64(const QString& section, const QString& key, std::int64_t value) {
  WriteString(section, key, QString::number(static_cast<qlonglong>(value)));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::WriteFloat(const QString& section, const QString& key, double value) {
  WriteString(section, key, QString::number(value, 'g', 17));
}

void TIniFile::WriteStringList(const QString& section, const QStringList& items) {
  EraseSection(section);
  WriteInteger(section, QStringLiteral("Count"), static_cast<int>(items.size()));
  for (qsizetype i = 0; i < items.size(); ++i) WriteString(section, QString::number(i), items[i]);
}

bool TIniFile::SectionExists(const QString& section) const { return Find(section) != nullptr; }

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
  return FindValue(section, key) != nullptr;
}

QStringList TIniFile::Sections() const {
  QStringList out;
  for (const TSection& s : fSections) out << s.name;
  return out;
}

QStringList TIniFile::Keys(const QString& section) const {
  QStringList out;
  if (const TSection* s = Find(section))
    for (const auto& [key, value] : s->values) out << key;
  return out;
}

void TIniFile::EraseSection(const QString& section) {
  auto it = fSectionIndex.find(Fold(section));
  if (it == fSectionIndex.end()) return;
  const qsizetype pos = *it;
  fSections.erase(fSections.begin() + pos);
  fSectionIndex.clear();
  for (size_t i = 0; i < fSections.size(); ++i) fSectionIndex.insert(Fold(fSections[i].name), static_cast<qsizetype>(i));
  fModified = true;
}

void TIniFile::DeleteKey(const QString& section, const QString& key) {
  auto sit = fSectionIndex.find(Fold(section));
  if (sit == fSectionIndex.end()) return;
  TSection& s = fSections[static_cast<size_t>(*sit)];
  auto kit = s.index.find(Fold(key));
  if (kit == s.index.end()) return;
  s.values.erase(s.values.begin() + *kit);
  s.index.clear();
  for (size_t i = 0; i < s.values.size(); ++i) s.index.insert(Fold(s.values[i].first), static_cast<qsizetype>(i));
  fModified = true;
}

void TIniFile::Clear() {
  fSections.clear();
  fSectionIndex.clear();
  fModified = true;
}

QByteArray TIniFile::ToBytes() const {
  QString text;
  for (const TSection& s : fSections) {
    if (!text.isEmpty()) text += u'\n';
    text += u'[' + s.name + u"]\n"_s;
    for (const auto& [key, value] : s.values) text += key + u'=' + value + u'\n';
  }
  return text.toUtf8();
}

bool TIniFile::UpdateFile() {
  if (fPath.isEmpty()) {
    fError = QStringLiteral("no file name");
    return false;
  }
  if (!WriteFileAtomic(fPath, ToBytes(), &fError)) return false;
  fModified = false;
  return true;
}
