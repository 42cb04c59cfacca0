#pragma once

#include <QFile>
#include <QString>

#include <memory>

// The whole content of a file in memory, writable by the caller: read into a
// buffer kept between files (keep the object to reuse it: articles are
// small), or mapped copy-on-write when large, so a huge hostile file costs
// page cache rather than heap.
class TFileBytes {
 public:
  enum TResult { FILE_OK, FILE_MISSING, FILE_UNREADABLE };

  TResult Load(const QString& path);
  void Release();
  char* Data() { return fData; }
  const char* Data() const { return fData; }
  std::size_t Size() const { return fSize; }

  // Files up to this size are read; larger ones are mapped.
  static constexpr qint64 kReadLimit = qint64{64} << 20;

 private:
  QFile fFile;
  // Not zero-filled: it is overwritten by the read at once.
  std::unique_ptr<char[]> fBuffer;
  std::size_t fCapacity = 0;
  char* fData = nullptr;
  std::size_t fSize = 0;
  uchar* fMapped = nullptr;
};
