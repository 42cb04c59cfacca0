#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Line splitting as the decoders read articles: CR, LF and CR LF each end a line.
namespace linescan {

// The first CR or LF in [p, end), or end.
inline const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '\r' && *p != '\n') ++p;
  return p;
}

// The start of the line after the one ending at lineEnd (a CR LF counts once).
inline const char* SkipLineEnd(const char* lineEnd, const char* end) {
  if (lineEnd >= end) return end;
  if (lineEnd[0] == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') return lineEnd + 2;
  return lineEnd + 1;
}

inline bool StartsWithNoCase(const char* line, std::size_t size, const char* keyword) {
  const std::size_t n = std::strlen(keyword);
  if (size < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != keyword[i]) return false;
  }
  return true;
}

}  // namespace linescan
