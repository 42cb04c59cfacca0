#include "binaries/UuDecode.h"

#include <cstring>
#include <memory>

namespace uu {
namespace {

struct TTables {
  unsigned char first[65536];
  unsigned char second[65536];
  unsigned char third[65536];
  TTables() {
    for (unsigned a = 0; a < 256; ++a) {
      const unsigned da = (a - 32) & 63;
      for (unsigned b = 0; b < 256; ++b) {
        const unsigned db = (b - 32) & 63;
        const unsigned index = (a << 8) | b;
        first[index] = static_cast<unsigned char>((da << 2) | (db >> 4));
        second[index] = static_cast<unsigned char>(((da & 15) << 4) | (db >> 2));
        third[index] = static_cast<unsigned char>(((da & 3) << 6) | db);
      }
    }
  }
};

// Built during static initialisation, before any decoder runs.
const std::unique_ptr<TTables> gTables = std::make_unique<TTables>();

inline unsigned Pair(const unsigned char* p) { return (unsigned{p[0]} << 8) | p[1]; }

}  // namespace

bool IsDataLine(const char* line, std::size_t size) {
  unsigned bad = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    bad |= static_cast<unsigned>(c < 32) | static_cast<unsigned>(c > 96);
  }
  return bad == 0;
}

std::size_t DecodeLine(const char* line, std::size_t size, char* out) {
  if (size == 0) return 0;
  const std::size_t count = (static_cast<unsigned char>(line[0]) - 32u) & 63u;
  if (count == 0) return 0;
  const std::size_t needed = (count + 2) / 3 * 4;  // characters after the count
  const auto* p = reinterpret_cast<const unsigned char*>(line + 1);
  unsigned char padded[88];
  if (size - 1 < needed) {
    // Short line: copy what is there and pad with spaces (zero bits).
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, p, size - 1);
    p = padded;
  }
  const TTables& t = *gTables;
  auto* o = reinterpret_cast<unsigned char*>(out);
  std::size_t full = count / 3;
  for (std::size_t g = 0; g < full; ++g, p += 4) {
    o[0] = t.first[Pair(p)];
    o[1] = t.second[Pair(p + 1)];
    o[2] = t.third[Pair(p + 2)];
    o += 3;
  }
  const std::size_t rest = count - full * 3;
  if (rest > 0) {
    o[0] = t.first[Pair(p)];
    if (rest > 1) o[1] = t.second[Pair(p + 1)];
  }
  return count;
}

}  // namespace uu
