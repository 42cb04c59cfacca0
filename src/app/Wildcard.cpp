#include "app/Wildcard.h"

namespace {

// Linear-time matcher: on a mismatch after a star, the star takes one more
// character and matching resumes; no recursion, so hostile patterns are cheap.
template <typename View, typename Char>
bool Match(View pattern, View text) {
  constexpr Char kStar = Char('*');
  constexpr Char kAny = Char('?');
  qsizetype p = 0, t = 0;
  qsizetype starP = -1, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == kStar) {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && (pattern[p] == kAny || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (starP >= 0) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == kStar) ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchWildcard(QStringView pattern, QStringView text) { return Match<QStringView, char16_t>(pattern, text); }
bool MatchWildcard(QByteArrayView pattern, QByteArrayView text) { return Match<QByteArrayView, char>(pattern, text); }
