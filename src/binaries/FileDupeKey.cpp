#include "binaries/FileDupeKey.h"

#include "app/Crc32.h"
#include "app/Logger.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

TFileDupeKey FileDupeKey(const QString& path) {
  LOG_METHOD("FileDupeKey");
  TFileDupeKey result;
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.error = 1;
    return result;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    result.error = 2;
    return result;
  }
  result.size = static_cast<qint64>(st.st_size);
  if (result.size == 0) {
    ::close(fd);
    result.error = 3;
    return result;
  }
  void* view = ::mmap(nullptr, static_cast<std::size_t>(result.size), PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (view == MAP_FAILED) {
    result.error = 4;
    return result;
  }
  ::madvise(view, static_cast<std::size_t>(result.size), MADV_SEQUENTIAL);
  std::uint32_t crc = Crc32(view, static_cast<std::size_t>(result.size));
  ::munmap(view, static_cast<std::size_t>(result.size));
  const auto low = static_cast<std::uint32_t>(result.size);
  const unsigned char sizeBytes[4] = {static_cast<unsigned char>(low), static_cast<unsigned char>(low >> 8),
                                      static_cast<unsigned char>(low >> 16), static_cast<unsigned char>(low >> 24)};
  result.key = Crc32(sizeBytes, 4, crc);
  return result;
}
