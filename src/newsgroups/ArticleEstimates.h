#pragma once

#include <cstdint>

// Estimates from a GROUP reply (first, last, estimated count). Servers number
// articles sparsely, so a span of article numbers holds about
// span / density articles, density = (last - first + 1) / estimated.
// Servers also report last < first for empty groups and counts far from the
// span; every figure here is therefore clamped to 0..estimated and never
// divides by zero. Rounding is to the nearest integer, halves to even.

// Unread articles after the last visit L: (last - L) / density; 0 when
// estimated <= 0, the span is empty or L is not below last.
std::int64_t EstimateUnread(std::int64_t first, std::int64_t last, std::int64_t estimated, std::int64_t lastVisit);

// Articles expected between rangeFirst and rangeLast (inclusive) of a group
// reported as first..last with estimated articles.
std::int64_t EstimateHeaders(std::int64_t rangeFirst, std::int64_t rangeLast, std::int64_t first, std::int64_t last,
                             std::int64_t estimated);
