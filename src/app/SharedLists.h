#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>

// The process-wide lists read from the line-list files at start-up.
// Changed only on the user-interface thread; others read copies.
class TSharedLists {
 public:
  static TSharedLists& Instance();

  // Creates missing list files that have defaults and loads every list from dir.
  void LoadFrom(const QString& dir);

  QList<QByteArray> boldNewsgroups;            // as stored
  QList<QByteArray> completeMultipartStrings;  // ";" and "//" comments dropped, empty lines kept
  QStringList imageFormats;                    // matched without regard to case
  QStringList autoShowExtensions;              // trimmed, lower-cased, no empty or ";" lines

  bool IsImageFormat(const QString& extension) const;

  // Loading rules, exposed for the browser tabs that reload them.
  static QStringList AutoShowFromLines(const QList<QByteArray>& lines);
  static QList<QByteArray> CompleteMultipartFromLines(const QList<QByteArray>& lines);
};

// Adds a posted subject, lower-cased, to "_NewsPostSubjects.txt" (sorted, no
// duplicates). A file that exists but cannot be read is left alone.
void AddPostedSubject(const QString& dir, const QString& subject);
