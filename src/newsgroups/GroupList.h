#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>

// One newsgroup of a loaded group list. The name lives in the list's names
// buffer; entries only point into it.
struct TGroupListEntry {
  enum : std::uint8_t { FLAG_HIGHLIGHTED = 1, FLAG_COUNTS_REFRESHED = 2 };
  std::uint32_t nameOffset = 0;
  std::uint8_t nameLength = 0;
  std::uint8_t flags = 0;
  std::uint32_t position = 0;  // record index in the file
  std::int32_t newCount = 0;
  std::int32_t total = 0;
};

// A group list as a pair of files: names (".gnam": length byte = name + 2,
// name, 0x00) and data (".gdat": magic 0xFACE0003, 64 reserved bytes, then
// new/total as two signed 32-bit numbers per group). Both little-endian.
class TGroupList {
 public:
  static constexpr std::uint32_t kMagic = 0xFACE0003u;
  static constexpr int kHeaderSize = 68;
  static constexpr int kRecordSize = 8;
  static constexpr int kMaxNameLength = 253;
  static constexpr std::int32_t kNotOnServer = -9;

  QByteArray names;  // the whole names file
  QList<TGroupListEntry> entries;

  QByteArrayView Name(const TGroupListEntry& e) const {
    return QByteArrayView(names).sliced(e.nameOffset, e.nameLength);
  }
  QByteArrayView Name(qsizetype i) const { return Name(entries[i]); }
  qsizetype Count() const { return entries.size(); }

  // Loads the pair of path (either file). Bold names highlight entries of
  // lists other than the main list "Groups". False (and the list left empty)
  // when a file is missing, short, of another kind or inconsistent.
  bool Load(const QString& path, const QList<QByteArray>& boldList = {});

  // The other file of the pair: path with its extension replaced.
  static QString NamesPath(const QString& path);
  static QString DataPath(const QString& path);
  // The data file's header: magic and 64 zero bytes.
  static QByteArray Header();
  // One names-file record for a name of at most 253 bytes.
  static QByteArray NameRecord(QByteArrayView name);

  // Names and data files with no group.
  static bool CreateEmpty(const QString& path);
  // Deletes both files; true when neither exists afterwards.
  static bool Delete(const QString& path);
  // Sorts by name without regard to case (optionally dropping all but the
  // last of names equal ignoring case), through temporary files renamed into
  // place only when both were written completely.
  static bool Sort(const QString& path, bool removeDuplicates);
  // Overwrites the counts of every entry named name (any case); true when at least one was written.
  static bool UpdateCounts(const QString& path, QByteArrayView name, std::int32_t newCount, std::int32_t total);
  // Writes the counts of the record at position; failures are ignored.
  static void WriteCountsAt(const QString& path, std::uint32_t position, std::int32_t newCount, std::int32_t total);
  // Appends source from byte skip on to destination (created when missing).
  static bool AppendFile(const QString& source, const QString& destination, qint64 skip);
  // Replaces destination's pair with the given files by renaming (data
  // first, names second); the old pair stays when a rename fails.
  static bool ReplacePair(const QString& sourceNames, const QString& sourceData, const QString& destination);

  // The number of messages a LIST line announces: last - first + 1, or 0
  // when both are 0 or first > last.
  static std::int32_t CountFromList(std::int64_t last, std::int64_t first);
  // NEWGROUPS: last - first + 1 when either is non-zero, else 0 (clamped to 32 bits).
  static std::int32_t CountFromNewGroups(std::int64_t last, std::int64_t first);
  // Splits "name last first flag" in place; missing or invalid numbers are 0.
  static bool ParseActiveLine(QByteArrayView line, QByteArrayView& name, std::int64_t& last, std::int64_t& first);

  // Where lowerTerm (lower case) first occurs in name, compared without
  // regard to ASCII case; -1 when it does not. Searches of a loaded list run
  // over its names buffer with it, allocating nothing.
  static qsizetype IndexOfNoCase(QByteArrayView name, QByteArrayView lowerTerm);

  // The texts of the list's count columns.
  static QString TotalText(std::int32_t total);
  static QString NewText(std::int32_t newCount, std::int32_t total);
};
