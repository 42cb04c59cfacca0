#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <utility>

// What the user has seen of each newsgroup of a server: "_LastVisit.ini" in
// the server's directory, one section per newsgroup with "LastMessage" (the
// highest article number fetched or marked read) and "LastTime" (when it was
// written). Every operation is one open-work-write cycle under the store's
// lock, so the user-interface thread and the headers manager's worker never
// interleave on a file; the file is replaced atomically.
class TLastVisit {
 public:
  static constexpr char kFileName[] = "_LastVisit.ini";

  static TLastVisit& Instance();
  // The last-visit file of a server directory, found whatever its case.
  static QString FileFor(const QString& serverDir);

  // "LastMessage" := last, "LastTime" := now; false when the file cannot be read or written.
  bool SetLastVisit(const QString& file, const QString& newsgroup, std::int64_t last);
  // The same for several newsgroups in one write.
  bool SetLastVisits(const QString& file, const QList<std::pair<QString, std::int64_t>>& visits);
  // lastVisit := the stored "LastMessage", or first - 1 when there is none,
  // it cannot be read or it is below first. False only when the file exists
  // and cannot be read.
  bool GetLastVisit(const QString& file, const QString& newsgroup, std::int64_t first, std::int64_t& lastVisit);
  // The stored "LastMessage" as it stands, 0 when none.
  std::int64_t ReadLastMessage(const QString& file, const QString& newsgroup);
  // Forgets the newsgroups (marking them unread).
  bool ClearLastVisit(const QString& file, const QString& newsgroup);
  bool ClearLastVisits(const QString& file, const QStringList& newsgroups);

 private:
  std::mutex fLock;
};
