#pragma once

#include <cstdint>
#include <cstring>

// Record files are little-endian whatever the host; these read and write one
// value at an unaligned position without relying on the host's byte order.
namespace le {

inline std::uint16_t Get16(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t Get32(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline std::uint64_t Get64(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return static_cast<std::uint64_t>(Get32(b)) | (static_cast<std::uint64_t>(Get32(b + 4)) << 32);
}
inline double GetDouble(const void* p) {
  std::uint64_t bits = Get64(p);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

inline void Put16(void* p, std::uint16_t v) {
  auto* b = static_cast<unsigned char*>(p);
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
}
inline void Put32(void* p, std::uint32_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void Put64(void* p, std::uint64_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutDouble(void* p, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  Put64(p, bits);
}

}  // namespace le
