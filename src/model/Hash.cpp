#include "model/Hash.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

// Slicing tables: kCrc16[0] is the classic byte table, kCrc16[k] advances a
// byte followed by k zero bytes, so eight message bytes fold in one step.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrc16Tables() {
  std::array<std::array<std::uint16_t, 256>, 8> t{};
  for (int i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
    for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    t[0][i] = crc;
  }
  for (int k = 1; k < 8; ++k)
    for (int i = 0; i < 256; ++i) t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 8]);
  return t;
}
constexpr auto kCrc16 = MakeCrc16Tables();

inline std::uint32_t Rot(std::uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

// clang-format off
inline void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  a -= c; a ^= Rot(c, 4);  c += b;
  b -= a; b ^= Rot(a, 6);  a += c;
  c -= b; c ^= Rot(b, 8);  b += a;
  a -= c; a ^= Rot(c, 16); c += b;
  b -= a; b ^= Rot(a, 19); a += c;
  c -= b; c ^= Rot(b, 4);  b += a;
}

inline void Final(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  c ^= b; c -= Rot(b, 14);
  a ^= c; a -= Rot(c, 11);
  b ^= a; b -= Rot(a, 25);
  c ^= b; c -= Rot(b, 16);
  a ^= c; a -= Rot(c, 4);
  b ^= a; b -= Rot(a, 14);
  c ^= b; c -= Rot(b, 24);
}

// clang-format on

inline std::uint32_t Load32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

}  // namespace

std::uint16_t Crc16(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint16_t crc = 0;
  for (; size >= 8; size -= 8, p += 8) {
    crc = static_cast<std::uint16_t>(kCrc16[7][p[0] ^ (crc >> 8)] ^ kCrc16[6][p[1] ^ (crc & 0xFF)] ^ kCrc16[5][p[2]] ^
                                     kCrc16[4][p[3]] ^ kCrc16[3][p[4]] ^ kCrc16[2][p[5]] ^ kCrc16[1][p[6]] ^
                                     kCrc16[0][p[7]]);
  }
  for (; size; --size, ++p) crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[0][(crc >> 8) ^ *p]);
  return crc;
}

std::uint32_t HashLittle(const void* data, std::size_t size, std::uint32_t initval) {
  const auto* k = static_cast<const unsigned char*>(data);
  std::uint32_t a, b, c;
  a = b = c = 0xdeadbeef + static_cast<std::uint32_t>(size) + initval;
  while (size > 12) {
    a += Load32(k);
    b += Load32(k + 4);
    c += Load32(k + 8);
    Mix(a, b, c);
    size -= 12;
    k += 12;
  }
  switch (size) {
    case 12:
      c += static_cast<std::uint32_t>(k[11]) << 24;
      [[fallthrough]];
    case 11:
      c += static_cast<std::uint32_t>(k[10]) << 16;
      [[fallthrough]];
    case 10:
      c += static_cast<std::uint32_t>(k[9]) << 8;
      [[fallthrough]];
    case 9:
      c += k[8];
      [[fallthrough]];
    case 8:
      b += static_cast<std::uint32_t>(k[7]) << 24;
      [[fallthrough]];
    case 7:
      b += static_cast<std::uint32_t>(k[6]) << 16;
      [[fallthrough]];
    case 6:
      b += static_cast<std::uint32_t>(k[5]) << 8;
      [[fallthrough]];
    case 5:
      b += k[4];
      [[fallthrough]];
    case 4:
      a += static_cast<std::uint32_t>(k[3]) << 24;
      [[fallthrough]];
    case 3:
      a += static_cast<std::uint32_t>(k[2]) << 16;
      [[fallthrough]];
    case 2:
      a += static_cast<std::uint32_t>(k[1]) << 8;
      [[fallthrough]];
    case 1:
      a += k[0];
      break;
    case 0:
      return c;
  }
  Final(a, b, c);
  return c;
}
