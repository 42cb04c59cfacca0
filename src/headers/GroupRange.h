#pragma once

#include "headers/JobTypes.h"

#include <cstdint>
#include <vector>

// One part of a newsgroup's article span, fetched by one XOVER over one
// connection.
struct TGroupRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  int id = 0;                // 0-based; names its part files
  double percentDone = 0;    // of this range
  std::int64_t headers = 0;  // headers written from it
};

// The article numbers a newsgroup's operation asks for, from what GROUP
// reported. last < first means there is nothing to fetch.
struct TGroupSpan {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t Size() const { return last - first + 1; }
};

TGroupSpan ComputeGroupSpan(const TJobOperationArgs& operation, std::int64_t serverFirst, std::int64_t serverLast,
                            std::int64_t estimated);

// Splits the span over the connections: one range below the threshold or
// with one connection, else one per connection with the remainder added to
// the last. Never more ranges than article numbers.
std::vector<TGroupRange> SplitIntoRanges(const TGroupSpan& span, int connections, int singleConnectionThreshold);

// About how many headers the span holds, from the density GROUP reported;
// 0 when that is unknown.
std::int64_t ExpectedHeaders(const TGroupSpan& span, std::int64_t serverFirst, std::int64_t serverLast,
                             std::int64_t estimated);

// Percent done of a range whose lines so far ran from firstReceived to
// lastReceived; 0 before anything arrived.
double RangePercent(std::int64_t rangeLast, std::int64_t firstReceived, std::int64_t lastReceived);
