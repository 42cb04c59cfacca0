#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The kill file: a plain text file of sender and subject patterns whose
// headers are never stored. Lines "from: pattern" and "subject: pattern"
// (these lower-case words, the pattern trimmed and lower-cased); "#" lines,
// blank lines and anything else are ignored. "*" and "?" are wildcards and a
// pattern must match the whole text.
class TKillFile {
 public:
  static constexpr char kFileName[] = "_Killfile.txt";

  explicit TKillFile(const QString& fileName);

  // The lines written when the file does not exist (only comments).
  static QList<QByteArray> DefaultLines();

  // Reads the file, creating it with the default text when it is missing.
  // False when it cannot be created or read (the lines are then empty).
  bool Load();
  // Writes the default text; with force an existing file is replaced,
  // without it an existing file is left alone.
  bool CreateDefault(bool force);
  // Rebuilds the pattern lists from the lines.
  void Parse();

  // Callers pass the text in lower case (MatchText does that for wire bytes).
  bool MatchesSender(QStringView lowerText) const;
  bool MatchesSubject(QStringView lowerText) const;
  // Wire bytes as the patterns compare them: UTF-8 when valid, else Latin-1, lower-cased.
  static QString MatchText(QByteArrayView bytes);

  const QString& FileName() const { return fFileName; }
  const QList<QByteArray>& Lines() const { return fLines; }
  const QStringList& SenderPatterns() const { return fSenders; }
  const QStringList& SubjectPatterns() const { return fSubjects; }
  bool IsCreated() const { return fCreated; }  // the last Load wrote the default file
  bool HasEntries() const { return fHasEntries; }
  bool IsEmpty() const { return fEmpty; }

 private:
  bool WriteDefault();

  QString fFileName;
  QList<QByteArray> fLines;
  QStringList fSenders;
  QStringList fSubjects;
  bool fCreated = false;
  bool fHasEntries = false;
  bool fEmpty = false;
};
