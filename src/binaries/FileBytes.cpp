#include "binaries/FileBytes.h"

#include <QFileInfo>

TFileBytes::TResult TFileBytes::Load(const QString& path) {
  Release();
  const QFileInfo info(path);
  if (!info.exists()) return FILE_MISSING;
  fFile.setFileName(path);
  if (!info.isFile() || !fFile.open(QIODevice::ReadOnly)) return FILE_UNREADABLE;
  const qint64 size = fFile.size();
  if (size <= 0) {
    static char empty = 0;
    fData = &empty;
    fSize = 0;
    return FILE_OK;
  }
  if (size > kReadLimit) {
    fMapped = fFile.map(0, size, QFileDevice::MapPrivateOption);
    if (!fMapped) return FILE_UNREADABLE;
    fData = reinterpret_cast<char*>(fMapped);
    fSize = static_cast<std::size_t>(size);
    return FILE_OK;
  }
  // Keep the buffer between files; a little slack lets readers look ahead.
  if (fCapacity < static_cast<std::size_t>(size) + 64) {
    fCapacity = static_cast<std::size_t>(size) + 64 + static_cast<std::size_t>(size) / 8;
    fBuffer.reset(new char[fCapacity]);
  }
  qint64 done = 0;
  while (done < size) {
    const qint64 n = fFile.read(fBuffer.get() + done, size - done);
    if (n <= 0) break;
    done += n;
  }
  if (done != size) return FILE_UNREADABLE;
  fData = fBuffer.get();
  fSize = static_cast<std::size_t>(size);
  return FILE_OK;
}

void TFileBytes::Release() {
  if (fMapped) fFile.unmap(fMapped);
  fMapped = nullptr;
  if (fFile.isOpen()) fFile.close();
  fData = nullptr;
  fSize = 0;
  // Give back memory held for an unusually large article.
  if (fCapacity > (std::size_t{16} << 20)) {
    fBuffer.reset();
    fCapacity = 0;
  }
}
