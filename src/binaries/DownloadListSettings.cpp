#include "binaries/DownloadListSettings.h"

#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "binaries/DownloadListFiles.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString kSettings = u"Settings"_s;
const QString kStats = u"Stats"_s;

std::int64_t ReadCount(const TIniFile& ini, const QString& key) {
  return std::max<std::int64_t>(0, ini.ReadInt64(kStats, key, 0));
}
}  // namespace

TDownloadListSettings TDownloadListSettings::Read(const QString& cuePath) {
  const TIniFile ini(DownloadListFile(cuePath, ".cui"));
  TDownloadListSettings s;
  s.DecodePath = ini.ReadString(kSettings, u"DecodePath"_s);
  s.UseAlternate = ini.ReadBool(kSettings, u"UseAlternate"_s, true);
  s.KillDupes = ini.ReadBool(kSettings, u"KillDupes"_s, false);
  s.CheckMessages = ini.ReadBool(kSettings, u"CheckMessages"_s, false);
  s.KeepMessages = ini.ReadBool(kSettings, u"KeepMessages"_s, false);
  s.SaveQueueFrequency = std::max(0, ini.ReadInteger(kSettings, u"SaveQueueFrequency"_s, 1));
  s.AuthenticationErrorAction = ini.ReadInteger(kSettings, u"AuthenticationErrorAction"_s, 1) == 2 ? 2 : 1;
  s.AllConnectionUnlimited = ini.ReadBool(kSettings, u"AllConnectionUnlimited"_s, false);
  s.ForceDisplayBytes = ini.ReadBool(kSettings, u"ForceDisplayBytes"_s, false);
  s.Downloadincompleteposts = ini.ReadBool(kSettings, u"Downloadincompleteposts"_s, true);
  s.cbSaveToNewsgroupName = ini.ReadBool(kSettings, u"cbSaveToNewsgroupName"_s, false);
  s.Stats_PostDecoded = ReadCount(ini, u"Stats_PostDecoded"_s);
  s.Stats_BytesReceived = std::max(0.0, ini.ReadFloat(kStats, u"Stats_BytesReceived"_s, 0));
  s.Stats_DupeFiles = ReadCount(ini, u"Stats_DupeFiles"_s);
  s.Stats_DecodeError = ReadCount(ini, u"Stats_DecodeError"_s);
  s.TotalMessages = ReadCount(ini, u"TotalMessages"_s);
  s.TotalSingle = ReadCount(ini, u"TotalSingle"_s);
  s.TotalMulti = ReadCount(ini, u"TotalMulti"_s);
  s.TotalPosts = ReadCount(ini, u"TotalPosts"_s);
  return s;
}

bool TDownloadListSettings::Write(const QString& cuePath) const {
  TIniFile ini(QString{});
  ini.WriteString(kSettings, u"DecodePath"_s, DecodePath);
  ini.WriteBool(kSettings, u"UseAlternate"_s, UseAlternate);
  ini.WriteBool(kSettings, u"KillDupes"_s, KillDupes);
  ini.WriteBool(kSettings, u"CheckMessages"_s, CheckMessages);
  ini.WriteBool(kSettings, u"KeepMessages"_s, KeepMessages);
  ini.WriteInteger(kSettings, u"SaveQueueFrequency"_s, SaveQueueFrequency);
  ini.WriteInteger(kSettings, u"AuthenticationErrorAction"_s, AuthenticationErrorAction);
  ini.WriteBool(kSettings, u"AllConnectionUnlimited"_s, AllConnectionUnlimited);
  ini.WriteBool(kSettings, u"ForceDisplayBytes"_s, ForceDisplayBytes);
  ini.WriteBool(kSettings, u"Downloadincompleteposts"_s, Downloadincompleteposts);
  ini.WriteBool(kSettings, u"cbSaveToNewsgroupName"_s, cbSaveToNewsgroupName);
  ini.WriteInt64(kStats, u"Stats_PostDecoded"_s, Stats_PostDecoded);
  ini.WriteFloat(kStats, u"Stats_BytesReceived"_s, Stats_BytesReceived);
  ini.WriteInt64(kStats, u"Stats_DupeFiles"_s, Stats_DupeFiles);
  ini.WriteInt64(kStats, u"Stats_DecodeError"_s, Stats_DecodeError);
  ini.WriteInt64(kStats, u"TotalMessages"_s, TotalMessages);
  ini.WriteInt64(kStats, u"TotalSingle"_s, TotalSingle);
  ini.WriteInt64(kStats, u"TotalMulti"_s, TotalMulti);
  ini.WriteInt64(kStats, u"TotalPosts"_s, TotalPosts);
  return WriteFileAtomic(DownloadListFile(cuePath, ".cui"), ini.ToBytes());
}
