#include "binaries/YencKernel.h"

#include <immintrin.h>

#include <bit>
#include <cstring>

namespace yenc {

void TYencStops::Add(const char* text, std::size_t size) {
  if (size == 0 || size > kMaxYencLine) return;  // longer lines are dropped anyway
  lengths[size >> 6] |= std::uint64_t{1} << (size & 63);
  const auto first = static_cast<unsigned char>(text[0]);
  for (unsigned char b : {first, static_cast<unsigned char>(first >= 'a' && first <= 'z' ? first - 32 : first),
                          static_cast<unsigned char>(first >= 'A' && first <= 'Z' ? first + 32 : first)})
    firstBytes[b >> 6] |= std::uint64_t{1} << (b & 63);
  any = true;
}

std::size_t DecodeLine(const char* in, std::size_t size, char* out) {
  char* o = out;
  for (std::size_t i = 0; i < size; ++i) {
    if (in[i] == '=') {
      if (++i == size) break;  // a "=" at the end of the line escapes nothing
      *o++ = static_cast<char>(in[i] - 106);
    } else {
      *o++ = static_cast<char>(in[i] - 42);
    }
  }
  return static_cast<std::size_t>(o - out);
}

namespace {

inline bool IsLineEnd(unsigned char c) { return c == '\r' || c == '\n'; }

// The decoding state every kernel shares, so a vector loop can hand any block
// to the byte loop and take over again after it.
struct TState {
  const unsigned char* in;
  std::size_t size;
  char* out;
  std::size_t capacity;
  const TYencStops* stops;
  std::size_t lineStart = 0;     // input offset of the current line
  std::size_t outLineStart = 0;  // output offset where the current line's bytes begin
  std::size_t o = 0;             // output bytes written
  std::size_t lines = 0;
  bool escape = false;    // the next byte is escaped
  bool skipping = false;  // the current line is over-long: its bytes are dropped
  bool forCaller = false;
  std::size_t stopAt = 0;
};

// A line ends at p (a CR or LF). Returns true when decoding stops there.
inline bool EndLine(TState& s, std::size_t p) {
  const std::size_t length = p - s.lineStart;
  if (!s.skipping && length >= 1 && s.stops && s.stops->Flagged(length, s.in[s.lineStart])) {
    s.o = s.outLineStart;
    s.stopAt = s.lineStart;
    s.forCaller = true;
    return true;
  }
  s.skipping = false;
  s.escape = false;
  ++s.lines;
  s.lineStart = p + 1;
  s.outLineStart = s.o;
  if (p + 1 >= s.size) return false;
  if (s.capacity - s.o < kOutputReserve) {
    s.stopAt = p + 1;
    return true;
  }
  if (!IsLineEnd(s.in[p + 1]) && IsMarkerStart(reinterpret_cast<const char*>(s.in) + p + 1, s.size - p - 1)) {
    s.stopAt = p + 1;
    s.forCaller = true;
    return true;
  }
  return false;
}

// The byte loop over [from, to): the reference the vector kernels match.
inline bool ScalarRange(TState& s, std::size_t from, std::size_t to) {
  const unsigned char* in = s.in;
  char* out = s.out;
  for (std::size_t p = from; p < to; ++p) {
    const unsigned char c = in[p];
    if (IsLineEnd(c)) {
      if (EndLine(s, p)) return true;
      continue;
    }
    if (s.skipping) continue;
    if (s.escape) {
      out[s.o++] = static_cast<char>(c - 106);
      s.escape = false;
    } else if (c == '=') {
      s.escape = true;
    } else {
      out[s.o++] = static_cast<char>(c - 42);
    }
    if (p + 1 - s.lineStart > kMaxYencLine) {
      s.skipping = true;
      s.escape = false;
      s.o = s.outLineStart;
    }
  }
  return false;
}

// The unterminated last line ends with the input.
inline TYencRun Finish(TState& s) {
  const std::size_t length = s.size - s.lineStart;
  if (!s.skipping && length >= 1 && s.stops && s.stops->Flagged(length, s.in[s.lineStart])) {
    s.o = s.outLineStart;
    return {s.lineStart, s.o, s.lines, true};
  }
  if (s.skipping) s.o = s.outLineStart;
  return {s.size, s.o, s.lines, false};
}

inline TYencRun Stopped(const TState& s) { return {s.stopAt, s.o, s.lines, s.forCaller}; }

// Sets up the state and handles the first line start; false means return at once.
inline bool Begin(TState& s, TYencRun& early) {
  if (s.size == 0) {
    early = {0, 0, 0, false};
    return false;
  }
  if (s.capacity < kOutputReserve) {
    early = {0, 0, 0, false};
    return false;
  }
  if (!IsLineEnd(s.in[0]) && IsMarkerStart(reinterpret_cast<const char*>(s.in), s.size)) {
    early = {0, 0, 0, true};
    return false;
  }
  return true;
}

TYencRun DecodeScalar(TState& s) {
  TYencRun early;
  if (!Begin(s, early)) return early;
  if (ScalarRange(s, 0, s.size)) return Stopped(s);
  return Finish(s);
}

// Positions of escaped bytes in a block from its "=" mask: in a run of "="
// every other one escapes the next byte. escapedIn (0 or 1) says whether the
// block's first byte is escaped and receives the same for the next block.
// (The odd/even run trick of simdjson's backslash handling.)
inline std::uint64_t FindEscaped64(std::uint64_t eq, std::uint64_t& escapedIn) {
  eq &= ~escapedIn;
  const std::uint64_t follows = (eq << 1) | escapedIn;
  constexpr std::uint64_t kEven = 0x5555555555555555ULL;
  const std::uint64_t oddStarts = eq & ~kEven & ~follows;
  std::uint64_t evenSequences;
  escapedIn = __builtin_add_overflow(oddStarts, eq, &evenSequences) ? 1 : 0;
  return (kEven ^ (evenSequences << 1)) & follows;
}

inline std::uint32_t FindEscaped32(std::uint32_t eq, std::uint32_t& escapedIn) {
  eq &= ~escapedIn;
  const std::uint32_t follows = (eq << 1) | escapedIn;
  constexpr std::uint32_t kEven = 0x55555555u;
  const std::uint32_t oddStarts = eq & ~kEven & ~follows;
  const std::uint64_t sum = std::uint64_t{oddStarts} + eq;
  escapedIn = static_cast<std::uint32_t>(sum >> 32);
  return (kEven ^ (static_cast<std::uint32_t>(sum) << 1)) & follows;
}

// The same check from masks: only the first line end can close a long line
// (the others close lines begun inside the block), and only line starts
// whose byte is "=" or "b" in either case can be markers.
template <typename TMask>
inline bool BlockIsPlainFast(const TState& s, std::size_t base, TMask lineEnds, TMask eqOrB, std::size_t& lineStart,
                             unsigned& lastEnd, std::size_t blockBytes) {
  constexpr unsigned kBits = sizeof(TMask) * 8;
  if (s.capacity - s.o < kOutputReserve + blockBytes) return false;
  const unsigned first = static_cast<unsigned>(std::countr_zero(lineEnds));
  if (base + first - s.lineStart > kMaxYencLine) return false;
  if (s.stops) {
    std::size_t start = s.lineStart;
    for (TMask ends = lineEnds; ends; ends &= ends - 1) {
      const std::size_t p = base + static_cast<unsigned>(std::countr_zero(ends));
      if (p > start && s.stops->Flagged(p - start, s.in[start])) return false;
      start = p + 1;
    }
  }
  TMask candidates = static_cast<TMask>(lineEnds << 1) & static_cast<TMask>(~lineEnds) & eqOrB;
  while (candidates) {
    const unsigned c = static_cast<unsigned>(std::countr_zero(candidates));
    candidates &= candidates - 1;
    if (IsMarkerStart(reinterpret_cast<const char*>(s.in) + base + c, s.size - base - c)) return false;
  }
  lastEnd = kBits - 1 - static_cast<unsigned>(std::countl_zero(lineEnds));
  const std::size_t next = base + lastEnd + 1;
  if (lastEnd == kBits - 1 && next < s.size && !IsLineEnd(s.in[next]) &&
      IsMarkerStart(reinterpret_cast<const char*>(s.in) + next, s.size - next))
    return false;
  lineStart = next;
  return true;
}

__attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt"))) TYencRun DecodeAvx512(TState& s) {
  TYencRun early;
  if (!Begin(s, early)) return early;
  const __m512i kEq = _mm512_set1_epi8('=');
  const __m512i kCr = _mm512_set1_epi8('\r');
  const __m512i kLf = _mm512_set1_epi8('\n');
  const __m512i k42 = _mm512_set1_epi8(42);
  const __m512i k64 = _mm512_set1_epi8(64);
  const __m512i kLower = _mm512_set1_epi8(0x20);
  const __m512i kB = _mm512_set1_epi8('b');
  std::size_t i = 0;
  while (i + 64 <= s.size) {
    const __m512i v = _mm512_loadu_si512(s.in + i);
    const std::uint64_t lineEnds = _mm512_cmpeq_epi8_mask(v, kCr) | _mm512_cmpeq_epi8_mask(v, kLf);
    if (s.skipping) {
      if (lineEnds == 0) {
        i += 64;
        continue;
      }
    } else {
      std::uint64_t carry = s.escape ? 1 : 0;
      const std::uint64_t eq = _mm512_cmpeq_epi8_mask(v, kEq);
      const std::uint64_t escaped = FindEscaped64(eq, carry);
      const std::uint64_t keep = ~((eq & ~escaped) | lineEnds);
      __m512i decoded = _mm512_sub_epi8(v, k42);
      decoded = _mm512_mask_sub_epi8(decoded, escaped, decoded, k64);
      if (lineEnds == 0) {
        _mm512_storeu_si512(s.out + s.o, _mm512_maskz_compress_epi8(keep, decoded));
        s.o += static_cast<std::size_t>(std::popcount(keep));
        s.escape = carry != 0;
        i += 64;
        if (i - s.lineStart > kMaxYencLine) {
          s.skipping = true;
          s.escape = false;
          s.o = s.outLineStart;
        }
        continue;
      }
      std::size_t lineStart;
      unsigned lastEnd = 0;
      const bool plain = BlockIsPlainFast(
          s, i, lineEnds, static_cast<std::uint64_t>(eq | _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, kLower), kB)),
          lineStart, lastEnd, 64);
      if (plain) {
        _mm512_storeu_si512(s.out + s.o, _mm512_maskz_compress_epi8(keep, decoded));
        const std::uint64_t upToLastEnd = lastEnd == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << lastEnd) - 1;
        s.outLineStart = s.o + static_cast<std::size_t>(std::popcount(keep & upToLastEnd));
        s.o += static_cast<std::size_t>(std::popcount(keep));
        s.lineStart = lineStart;
        s.lines += static_cast<std::size_t>(std::popcount(lineEnds));
        s.escape = carry != 0;
        i += 64;
        continue;
      }
    }
    if (ScalarRange(s, i, i + 64)) return Stopped(s);
    i += 64;
  }
  if (ScalarRange(s, i, s.size)) return Stopped(s);
  return Finish(s);
}

// For each byte mask, the positions of its set bits packed to the front.
struct TCompressTable {
  std::uint64_t shuffle[256];
  unsigned char count[256];
  constexpr TCompressTable() : shuffle(), count() {
    for (unsigned m = 0; m < 256; ++m) {
      std::uint64_t value = 0;
      unsigned n = 0;
      for (unsigned b = 0; b < 8; ++b)
        if (m & (1u << b)) value |= std::uint64_t{b} << (8 * n++);
      shuffle[m] = value;
      count[m] = static_cast<unsigned char>(n);
    }
  }
};
constexpr TCompressTable kCompress;

__attribute__((target("avx2,bmi,bmi2,popcnt"))) inline void Compress32(const __m256i decoded, std::uint32_t keep,
                                                                       char* out, std::size_t& o) {
  constexpr std::uint64_t kHigh = 0x0808080808080808ULL;
  const unsigned m0 = keep & 0xFF, m1 = (keep >> 8) & 0xFF, m2 = (keep >> 16) & 0xFF, m3 = keep >> 24;
  const __m256i index = _mm256_set_epi64x(
      static_cast<long long>(kCompress.shuffle[m3] + kHigh), static_cast<long long>(kCompress.shuffle[m2]),
      static_cast<long long>(kCompress.shuffle[m1] + kHigh), static_cast<long long>(kCompress.shuffle[m0]));
  const __m256i packed = _mm256_shuffle_epi8(decoded, index);
  const __m128i lo = _mm256_castsi256_si128(packed);
  const __m128i hi = _mm256_extracti128_si256(packed, 1);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), lo);
  o += kCompress.count[m0];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_unpackhi_epi64(lo, lo));
  o += kCompress.count[m1];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), hi);
  o += kCompress.count[m2];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_unpackhi_epi64(hi, hi));
  o += kCompress.count[m3];
}

__attribute__((target("avx2,bmi,bmi2,popcnt"))) TYencRun DecodeAvx2(TState& s) {
  TYencRun early;
  if (!Begin(s, early)) return early;
  const __m256i kEq = _mm256_set1_epi8('=');
  const __m256i kCr = _mm256_set1_epi8('\r');
  const __m256i kLf = _mm256_set1_epi8('\n');
  const __m256i k42 = _mm256_set1_epi8(42);
  const __m256i k64 = _mm256_set1_epi8(64);
  const __m256i kLower = _mm256_set1_epi8(0x20);
  const __m256i kB = _mm256_set1_epi8('b');
  std::size_t i = 0;
  while (i + 32 <= s.size) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.in + i));
    const auto lineEnds = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(v, kCr), _mm256_cmpeq_epi8(v, kLf))));
    if (s.skipping) {
      if (lineEnds == 0) {
        i += 32;
        continue;
      }
    } else {
      std::uint32_t carry = s.escape ? 1 : 0;
      const auto eq = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, kEq)));
      const std::uint32_t escaped = FindEscaped32(eq, carry);
      const std::uint32_t keep = ~((eq & ~escaped) | lineEnds);
      // Expand the escaped bits to a byte mask to subtract the extra 64.
      const __m256i bitSelect =
          _mm256_setr_epi64x(0x8040201008040201LL, 0x8040201008040201LL, 0x8040201008040201LL, 0x8040201008040201LL);
      const __m256i spread = _mm256_shuffle_epi8(
          _mm256_set1_epi32(static_cast<int>(escaped)),
          _mm256_setr_epi64x(0x0000000000000000LL, 0x0101010101010101LL, 0x0202020202020202LL, 0x0303030303030303LL));
      const __m256i escapedBytes = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bitSelect), bitSelect);
      const __m256i decoded = _mm256_sub_epi8(_mm256_sub_epi8(v, k42), _mm256_and_si256(escapedBytes, k64));
      if (lineEnds == 0) {
        Compress32(decoded, keep, s.out, s.o);
        s.escape = carry != 0;
        i += 32;
        if (i - s.lineStart > kMaxYencLine) {
          s.skipping = true;
          s.escape = false;
          s.o = s.outLineStart;
        }
        continue;
      }
      std::size_t lineStart;
      unsigned lastEnd = 0;
      const bool plain = BlockIsPlainFast(
          s, i, lineEnds,
          static_cast<std::uint32_t>(
              eq | static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(v, kLower), kB)))),
          lineStart, lastEnd, 32);
      if (plain) {
        const std::size_t before = s.o;
        Compress32(decoded, keep, s.out, s.o);
        const std::uint32_t upToLastEnd = lastEnd == 31 ? ~std::uint32_t{0} : (std::uint32_t{2} << lastEnd) - 1;
        s.outLineStart = before + static_cast<std::size_t>(std::popcount(keep & upToLastEnd));
        s.lineStart = lineStart;
        s.lines += static_cast<std::size_t>(std::popcount(lineEnds));
        s.escape = carry != 0;
        i += 32;
        continue;
      }
    }
    if (ScalarRange(s, i, i + 32)) return Stopped(s);
    i += 32;
  }
  if (ScalarRange(s, i, s.size)) return Stopped(s);
  return Finish(s);
}

TYencKernel DetectKernel() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
      __builtin_cpu_supports("popcnt"))
    return YENC_KERNEL_AVX512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt"))
    return YENC_KERNEL_AVX2;
  return YENC_KERNEL_SCALAR;
}

}  // namespace

TYencKernel ActiveKernel() {
  static const TYencKernel kernel = DetectKernel();
  return kernel;
}

bool KernelSupported(TYencKernel kernel) { return kernel <= ActiveKernel(); }

const char* KernelName(TYencKernel kernel) {
  switch (kernel) {
    case YENC_KERNEL_AVX512:
      return "avx512";
    case YENC_KERNEL_AVX2:
      return "avx2";
    case YENC_KERNEL_SCALAR:
      break;
  }
  return "scalar";
}

TYencRun DecodeLinesWith(TYencKernel kernel, const char* in, std::size_t size, char* out, std::size_t outCapacity,
                         const TYencStops* stops) {
  if (stops && !stops->any) stops = nullptr;
  TState s{reinterpret_cast<const unsigned char*>(in), size, out, outCapacity, stops};
  if (!KernelSupported(kernel)) kernel = ActiveKernel();
  switch (kernel) {
    case YENC_KERNEL_AVX512:
      return DecodeAvx512(s);
    case YENC_KERNEL_AVX2:
      return DecodeAvx2(s);
    case YENC_KERNEL_SCALAR:
      break;
  }
  return DecodeScalar(s);
}

TYencRun DecodeLines(const char* in, std::size_t size, char* out, std::size_t outCapacity, const TYencStops* stops) {
  return DecodeLinesWith(ActiveKernel(), in, size, out, outCapacity, stops);
}

}  // namespace yenc
