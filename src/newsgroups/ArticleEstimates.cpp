#include "newsgroups/ArticleEstimates.h"

#include <cmath>

namespace {

// count / density, computed in floating point as the formulas are written,
// then clamped before it becomes an integer again.
std::int64_t Scaled(double count, std::int64_t first, std::int64_t last, std::int64_t estimated) {
  if (estimated <= 0 || last < first || count <= 0) return 0;
  const double span = static_cast<double>(last) - static_cast<double>(first) + 1.0;
  const double density = span / static_cast<double>(estimated);
  const double value = std::nearbyint(count / density);
  if (!(value > 0)) return 0;
  if (value >= static_cast<double>(estimated)) return estimated;
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t EstimateUnread(std::int64_t first, std::int64_t last, std::int64_t estimated, std::int64_t lastVisit) {
  if (lastVisit >= last) return 0;
  return Scaled(static_cast<double>(last) - static_cast<double>(lastVisit), first, last, estimated);
}

std::int64_t EstimateHeaders(std::int64_t rangeFirst, std::int64_t rangeLast, std::int64_t first, std::int64_t last,
                             std::int64_t estimated) {
  if (rangeLast < rangeFirst) return 0;
  return Scaled(static_cast<double>(rangeLast) - static_cast<double>(rangeFirst) + 1.0, first, last, estimated);
}
