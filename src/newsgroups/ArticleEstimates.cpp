#include "newsgroups/ArticleEstimates.h"

#include <cmath>

namespace {

// Wide enough that differences of any two article numbers are exact.
using TWide = long double;

// count / density, computed in floating point as the formulas are written,
// then clamped before it becomes an integer again.
std::int64_t Scaled(TWide count, std::int64_t first, std::int64_t last, std::int64_t estimated) {
  if (estimated <= 0 || last < first || count <= 0) return 0;
  const TWide span = static_cast<TWide>(last) - static_cast<TWide>(first) + 1;
  const TWide density = span / static_cast<TWide>(estimated);
  const TWide value = std::nearbyint(count / density);
  if (!(value > 0)) return 0;
  if (value >= static_cast<TWide>(estimated)) return estimated;
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t EstimateUnread(std::int64_t first, std::int64_t last, std::int64_t estimated, std::int64_t lastVisit) {
  if (lastVisit >= last) return 0;
  return Scaled(static_cast<TWide>(last) - static_cast<TWide>(lastVisit), first, last, estimated);
}

std::int64_t EstimateHeaders(std::int64_t rangeFirst, std::int64_t rangeLast, std::int64_t first, std::int64_t last,
                             std::int64_t estimated) {
  if (rangeLast < rangeFirst) return 0;
  return Scaled(static_cast<TWide>(rangeLast) - static_cast<TWide>(rangeFirst) + 1, first, last, estimated);
}
