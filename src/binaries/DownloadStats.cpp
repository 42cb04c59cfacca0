#include "binaries/DownloadStats.h"

#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Logger.h"

#include <QFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString kBytesReceived = u"BytesReceived"_s;
const QString kFilesReceived = u"FilesReceived"_s;
const QString kHourOfDay = u"HourofDay"_s;
const QString kBytesPerHour = u"BytesperHour"_s;
const QString kDupe = u"Dupe"_s;
}  // namespace

void TDownloadStats::Load(const QString& path) {
  std::lock_guard lock(fLock);
  fPath = path;
  fServers.clear();
  fHourArticles.fill(0);
  fHourBytes.fill(0);
  const TIniFile ini(path);
  for (const QString& server : ini.Keys(kBytesReceived))
    fServers[server].bytes = std::max(0.0, ini.ReadFloat(kBytesReceived, server, 0));
  for (const QString& server : ini.Keys(kFilesReceived))
    fServers[server].files = std::max<std::int64_t>(0, ini.ReadInt64(kFilesReceived, server, 0));
  for (int h = 0; h < 24; ++h) {
    fHourArticles[static_cast<std::size_t>(h)] = std::max<std::int64_t>(0, ini.ReadInt64(kHourOfDay, QString::number(h), 0));
    fHourBytes[static_cast<std::size_t>(h)] = std::max<std::int64_t>(0, ini.ReadInt64(kBytesPerHour, QString::number(h), 0));
  }
  fDupeFiles = std::max(0.0, ini.ReadFloat(kDupe, u"Files"_s, 0));
  fDupeBytes = std::max(0.0, ini.ReadFloat(kDupe, u"Bytes"_s, 0));
}

void TDownloadStats::AddArticle(const QString& server, std::int64_t bytes, int hour) {
  std::lock_guard lock(fLock);
  TServerCounts& s = fServers[server];
  s.bytes += static_cast<double>(bytes);
  ++s.files;
  const auto h = static_cast<std::size_t>(std::clamp(hour, 0, 23));
  ++fHourArticles[h];
  fHourBytes[h] += bytes;
}

void TDownloadStats::AddDuplicate(std::int64_t bytes) {
  std::lock_guard lock(fLock);
  fDupeFiles += 1;
  fDupeBytes += static_cast<double>(bytes);
}

void TDownloadStats::Reset() {
  std::lock_guard lock(fLock);
  fServers.clear();
  fHourArticles.fill(0);
  fHourBytes.fill(0);
  fDupeFiles = fDupeBytes = 0;
  if (!fPath.isEmpty()) QFile::remove(fPath);
}

bool TDownloadStats::Write() const {
  LOG_METHOD("TDownloadStats.Write");
  std::lock_guard lock(fLock);
  if (fPath.isEmpty()) return false;
  TIniFile ini(QString{});
  for (auto it = fServers.cbegin(); it != fServers.cend(); ++it) {
    ini.WriteFloat(kBytesReceived, it.key(), it->bytes);
    ini.WriteInt64(kFilesReceived, it.key(), it->files);
  }
  for (int h = 0; h < 24; ++h) {
    ini.WriteInt64(kHourOfDay, QString::number(h), fHourArticles[static_cast<std::size_t>(h)]);
    ini.WriteInt64(kBytesPerHour, QString::number(h), fHourBytes[static_cast<std::size_t>(h)]);
  }
  ini.WriteFloat(kDupe, u"Files"_s, fDupeFiles);
  ini.WriteFloat(kDupe, u"Bytes"_s, fDupeBytes);
  QString error;
  if (!WriteFileAtomic(fPath, ini.ToBytes(), &error)) {
    LogError(u"Exception raised dumping stats: "_s + error);
    return false;
  }
  return true;
}

QString TDownloadStats::Path() const {
  std::lock_guard lock(fLock);
  return fPath;
}

QMap<QString, TDownloadStats::TServerCounts> TDownloadStats::Servers() const {
  std::lock_guard lock(fLock);
  return fServers;
}

std::int64_t TDownloadStats::ArticlesInHour(int hour) const {
  std::lock_guard lock(fLock);
  return hour >= 0 && hour < 24 ? fHourArticles[static_cast<std::size_t>(hour)] : 0;
}

std::int64_t TDownloadStats::BytesInHour(int hour) const {
  std::lock_guard lock(fLock);
  return hour >= 0 && hour < 24 ? fHourBytes[static_cast<std::size_t>(hour)] : 0;
}

double TDownloadStats::DupeFiles() const {
  std::lock_guard lock(fLock);
  return fDupeFiles;
}

double TDownloadStats::DupeBytes() const {
  std::lock_guard lock(fLock);
  return fDupeBytes;
}
