#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// An ini file held in memory: read whole when opened, written whole by
// UpdateFile(), nothing reaches the disk before. Section and key names match
// without regard to case; order of sections and keys is kept.
//
// Encodings: booleans "1"/"0" (read as an integer, non-zero true); integers
// and 64-bit integers as decimal text; floats in the C locale; strings
// verbatim; string lists as "Count" plus keys "0".."Count-1".
class TIniFile {
 public:
  // Opens path and reads it. A missing file reads as empty; a file that
  // exists but cannot be read leaves IsOpen() false. An empty path gives an
  // empty ini that cannot be flushed.
  explicit TIniFile(const QString& path);

  bool IsOpen() const { return fOpen; }
  const QString& FileName() const { return fPath; }
  QString ErrorString() const { return fError; }

  QString ReadString(const QString& section, const QString& key, const QString& defaultValue = {}) const;
  int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
  std::int64_t ReadInt64(const QString& section, const QString& key, std::int64_t defaultValue) const;
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
  double ReadFloat(const QString& section, const QString& key, double defaultValue) const;
  // Items under "0".."Count-1"; a missing item reads as empty.
  QStringList ReadStringList(const QString& section) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteInt64(const QString& section, const QString& key, std::int64_t value);
  void WriteBool(const QString& section, const QString& key, bool value);
  void WriteFloat(const QString& section, const QString& key, double value);
  // Replaces the section's content with "Count" and the items.
  void WriteStringList(const QString& section, const QStringList& items);

  bool SectionExists(const QString& section) const;
  bool ValueExists(const QString& section, const QString& key) const;
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;
  void EraseSection(const QString& section);
  void DeleteKey(const QString& section, const QString& key);
  void Clear();

  // Whole text as it would be written.
  QByteArray ToBytes() const;
  // Replaces the content with the parsed text (UTF-8, or Latin-1 when the
  // bytes are not valid UTF-8).
  void FromBytes(const QByteArray& bytes);
  // Writes the file atomically (temporary file, then rename).
  bool UpdateFile();
  bool IsModified() const { return fModified; }

 private:
  struct TSection {
    QString name;
    std::vector<std::pair<QString, QString>> values;
    QHash<QString, qsizetype> index;  // folded key -> position in values
  };
  static QString Fold(const QString& s) { return s.toCaseFolded(); }
  const TSection* Find(const QString& section) const;
  TSection& FindOrAdd(const QString& section);
  const QString* FindValue(const QString& section, const QString& key) const;

  QString fPath;
  QString fError;
  bool fOpen = true;
  bool fModified = false;
  std::vector<TSection> fSections;
  QHash<QString, qsizetype> fSectionIndex;  // folded name -> position in fSections
};
