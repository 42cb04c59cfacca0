#include "app/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous) {
  auto crc = static_cast<uLong>(previous);
  const auto* p = static_cast<const Bytef*>(data);
  // zlib takes a 32-bit length; feed larger buffers in slices.
  while (size > 0) {
    const auto n = static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
    crc = crc32(crc, p, n);
    p += n;
    size -= n;
  }
  return static_cast<std::uint32_t>(crc);
}

std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::int64_t lengthB) {
  return static_cast<std::uint32_t>(crc32_combine64(crcA, crcB, static_cast<z_off64_t>(lengthB)));
}
