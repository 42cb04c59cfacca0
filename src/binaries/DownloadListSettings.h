#pragma once

#include <QString>

#include <cstdint>

// The settings and totals of one download list, kept in P.cui.
struct TDownloadListSettings {
  // [Settings]
  QString DecodePath;  // empty: the program's default decode directory
  bool UseAlternate = true;
  bool KillDupes = false;
  bool CheckMessages = false;
  bool KeepMessages = false;
  int SaveQueueFrequency = 1;
  int AuthenticationErrorAction = 1;  // 1 reconnect, 2 disable the connection
  bool AllConnectionUnlimited = false;
  bool ForceDisplayBytes = false;
  bool Downloadincompleteposts = true;
  bool cbSaveToNewsgroupName = false;

  // [Stats]
  std::int64_t Stats_PostDecoded = 0;
  double Stats_BytesReceived = 0;
  std::int64_t Stats_DupeFiles = 0;
  std::int64_t Stats_DecodeError = 0;
  std::int64_t TotalMessages = 0;
  std::int64_t TotalSingle = 0;
  std::int64_t TotalMulti = 0;
  std::int64_t TotalPosts = 0;

  // Reads P.cui; a missing file (or key) gives the defaults.
  static TDownloadListSettings Read(const QString& cuePath);
  // Rewrites P.cui whole, safely.
  bool Write(const QString& cuePath) const;
};
