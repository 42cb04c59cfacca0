#include "app/Crc32.h"

#include <isa-l/crc.h>
#include <zlib.h>

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous) {
  // ISA-L folds with carry-less multiplication (PCLMUL/VPCLMUL, chosen at run
  // time): memory speed instead of a byte table. Same CRC and chaining as zlib.
  return crc32_gzip_refl(previous, static_cast<const unsigned char*>(data), static_cast<std::uint64_t>(size));
}

std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::int64_t lengthB) {
  return static_cast<std::uint32_t>(crc32_combine64(crcA, crcB, static_cast<z_off64_t>(lengthB)));
}
