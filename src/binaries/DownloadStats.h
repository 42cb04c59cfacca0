#pragma once

#include <QMap>
#include <QString>

#include <array>
#include <cstdint>
#include <mutex>

// P.stats: what a list has received, per server and per hour of the day, and
// the duplicates it deleted. One object per session, shared by the check
// thread (articles) and the owner (duplicates): every method takes its lock,
// and Write replaces the file whole, so a failed write keeps the old content.
class TDownloadStats {
 public:
  struct TServerCounts {
    double bytes = 0;
    std::int64_t files = 0;
  };

  // Reads the file at path (missing: all zero).
  void Load(const QString& path);
  void AddArticle(const QString& server, std::int64_t bytes, int hour);
  void AddDuplicate(std::int64_t bytes);
  // Clears the counters and deletes the file.
  void Reset();
  bool Write() const;

  QString Path() const;
  QMap<QString, TServerCounts> Servers() const;
  std::int64_t ArticlesInHour(int hour) const;
  std::int64_t BytesInHour(int hour) const;
  double DupeFiles() const;
  double DupeBytes() const;

 private:
  mutable std::mutex fLock;
  QString fPath;
  QMap<QString, TServerCounts> fServers;
  std::array<std::int64_t, 24> fHourArticles{};
  std::array<std::int64_t, 24> fHourBytes{};
  double fDupeFiles = 0;
  double fDupeBytes = 0;
};
