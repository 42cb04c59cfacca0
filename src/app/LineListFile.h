#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A plain text list of one entry per line in the user data directory.
// Lines are bytes on disk; callers pick text or bytes.
class TLineListFile {
 public:
  enum TLoadResult { LOAD_OK, LOAD_MISSING, LOAD_FAILED };

  // The list files and their default content.
  static constexpr char kAutoShowList[] = "_AutoShowList.txt";
  static constexpr char kCompleteMultipartStrings[] = "_CompleteMultipartStrings.txt";
  static constexpr char kHeaders[] = "_Headers.txt";
  static constexpr char kAnonymousList[] = "_AnonymousList.txt";
  static constexpr char kNewsgroupsBoldList[] = "_NewsgroupsBoldList.txt";
  static constexpr char kImageFormats[] = "_ImageFormats.txt";
  static constexpr char kNewsPostSubjects[] = "_NewsPostSubjects.txt";

  // Default lines of a list file that has them; empty for the others.
  static QList<QByteArray> DefaultLines(const QString& fileName);
  // Writes the default content when dir + fileName (any case) is missing.
  static bool CreateDefaultIfMissing(const QString& dir, const QString& fileName);

  // Reads the lines (without line ends; CR LF and LF both accepted).
  static TLoadResult Load(const QString& path, QList<QByteArray>& lines);
  // Replaces the file atomically with the lines, each followed by a line end.
  static bool Save(const QString& path, const QList<QByteArray>& lines);

  // The path of a list file in dir, found whatever its case.
  static QString PathOf(const QString& dir, const QString& fileName);
};
