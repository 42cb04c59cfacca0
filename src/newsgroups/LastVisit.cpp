#include "newsgroups/LastVisit.h"

#include "app/DayCount.h"
#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Logger.h"

using namespace Qt::StringLiterals;

namespace {

const QString kLastMessage = u"LastMessage"_s;
const QString kLastTime = u"LastTime"_s;

bool Opened(const TIniFile& ini) {
  if (ini.IsOpen()) return true;
  LogError(u"Cannot read "_s + ini.FileName() + u": "_s + ini.ErrorString());
  return false;
}

bool Flush(TIniFile& ini) {
  if (!ini.IsModified() || ini.UpdateFile()) return true;
  LogError(u"Cannot write "_s + ini.FileName() + u": "_s + ini.ErrorString());
  return false;
}

}  // namespace

TLastVisit& TLastVisit::Instance() {
  static TLastVisit store;
  return store;
}

QString TLastVisit::FileFor(const QString& serverDir) {
  return FindFileNoCase(WithTrailingSlash(serverDir), QLatin1String(kFileName));
}

bool TLastVisit::SetLastVisit(const QString& file, const QString& newsgroup, std::int64_t last) {
  return SetLastVisits(file, {{newsgroup, last}});
}

bool TLastVisit::SetLastVisits(const QString& file, const QList<std::pair<QString, std::int64_t>>& visits) {
  LOG_METHOD("SetLastVisit");
  std::lock_guard guard(fLock);
  TIniFile ini(file);
  if (!Opened(ini)) return false;
  const QString now = DaysToText(NowAsDays());
  for (const auto& [newsgroup, last] : visits) {
    if (newsgroup.isEmpty()) continue;
    ini.WriteInt64(newsgroup, kLastMessage, last);
    ini.WriteString(newsgroup, kLastTime, now);
  }
  return Flush(ini);
}

bool TLastVisit::GetLastVisit(const QString& file, const QString& newsgroup, std::int64_t first,
                              std::int64_t& lastVisit) {
  std::lock_guard guard(fLock);
  const TIniFile ini(file);
  const std::int64_t none = first - 1;
  lastVisit = none;
  if (!Opened(ini)) return false;
  const std::int64_t stored = ini.ReadInt64(newsgroup, kLastMessage, none);
  lastVisit = stored < first ? none : stored;
  return true;
}

std::int64_t TLastVisit::ReadLastMessage(const QString& file, const QString& newsgroup) {
  std::lock_guard guard(fLock);
  const TIniFile ini(file);
  return ini.IsOpen() ? ini.ReadInt64(newsgroup, kLastMessage, 0) : 0;
}

bool TLastVisit::ClearLastVisit(const QString& file, const QString& newsgroup) {
  return ClearLastVisits(file, {newsgroup});
}

bool TLastVisit::ClearLastVisits(const QString& file, const QStringList& newsgroups) {
  LOG_METHOD("ClearLastVisit");
  std::lock_guard guard(fLock);
  TIniFile ini(file);
  if (!Opened(ini)) return false;
  for (const QString& newsgroup : newsgroups) ini.EraseSection(newsgroup);
  return Flush(ini);
}
