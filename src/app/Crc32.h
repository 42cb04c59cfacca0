#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

// CRC-32 with the reflected polynomial 0xEDB88320, initial value and final
// complement all ones (zlib's), computed with ISA-L. Pass the previous result to continue a running
// checksum over several buffers; start with 0.
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t previous = 0);
inline std::uint32_t Crc32(QByteArrayView data, std::uint32_t previous = 0) {
  return Crc32(data.data(), static_cast<std::size_t>(data.size()), previous);
}
// The checksum of the concatenation A+B from crc(A), crc(B) and B's length.
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::int64_t lengthB);
