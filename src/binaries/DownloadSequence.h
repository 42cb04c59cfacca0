#pragma once

#include <QString>
#include <QStringList>

// "_QueueList.txt" in the user data directory: the download lists to work
// off one after another, one full P.cue path per line.
class TDownloadSequence {
 public:
  static constexpr char kFileName[] = "_QueueList.txt";

  static QString FilePath(const QString& userDataDir);
  static QStringList Read(const QString& userDataDir);
  // An empty list deletes the file.
  static bool Write(const QString& userDataDir, const QStringList& cuePaths);
  // Takes lines from the front (saving the rest each time) until one names a
  // list whose P.cui exists; empty when none is left, and the file is then
  // deleted. The caller loads the list and calls again when that fails.
  static QString TakeNext(const QString& userDataDir);
  static void Clear(const QString& userDataDir);
};
