#pragma once

#include <QString>

#include <cstdint>

// The key that recognises a decoded file seen before (stored in ".crc" files).
struct TFileDupeKey {
  std::uint32_t key = 0;
  qint64 size = 0;
  // 0 done; 1 the file cannot be opened; 2 its size cannot be read;
  // 3 it cannot be mapped (also an empty file, which has nothing to map);
  // 4 the mapping fails.
  int error = 0;
};

// key = the CRC-32 of the file's bytes followed by the four low bytes of its
// size, least significant first: one CRC register runs on from the data into
// the size bytes, initialised once and complemented once at the end (zlib's
// crc32(crc32(0, data), size bytes)). This reading is fixed: stored keys
// depend on it.
TFileDupeKey FileDupeKey(const QString& path);
