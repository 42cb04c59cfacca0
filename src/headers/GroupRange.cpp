#include "headers/GroupRange.h"

#include <algorithm>
#include <cmath>

namespace {

// Nearest integer, halves to even (the default rounding mode).
std::int64_t RoundEven(double value) { return static_cast<std::int64_t>(std::nearbyint(value)); }

}  // namespace

TGroupSpan ComputeGroupSpan(const TJobOperationArgs& operation, std::int64_t serverFirst, std::int64_t serverLast,
                            std::int64_t estimated) {
  const double serverSpan = static_cast<double>(serverLast - serverFirst + 1);
  TGroupSpan span{serverFirst, serverLast};
  switch (operation.operation) {
    case JOB_OPERATION_GET_HEADERS_RANGE:
      span = {operation.first, operation.second};
      break;
    case JOB_OPERATION_GET_HEADERS_FROM:
      span.first = operation.first;
      break;
    case JOB_OPERATION_GET_HEADERS_PERCENT: {
      const std::int64_t p = operation.first < 1 || operation.first > 100 ? 100 : operation.first;
      span.first = serverLast - RoundEven(serverSpan / 100.0 * static_cast<double>(p));
      break;
    }
    case JOB_OPERATION_GET_HEADERS_NUMBER:
      span.first =
          std::max<std::int64_t>(1, serverLast - RoundEven(serverSpan / static_cast<double>(std::max<std::int64_t>(
                                                                             estimated + 1, 1)) *
                                                             static_cast<double>(operation.first)));
      break;
    default:
      break;
  }
  // Article numbers start at 1: nothing below is asked for.
  span.first = std::max<std::int64_t>(span.first, 1);
  return span;
}

std::vector<TGroupRange> SplitIntoRanges(const TGroupSpan& span, int connections, int singleConnectionThreshold) {
  std::vector<TGroupRange> ranges;
  const std::int64_t size = span.Size();
  if (size < 1) return ranges;
  if (connections < 1 || size < singleConnectionThreshold || connections == 1) {
    ranges.push_back({span.first, span.last, 0, 0, 0});
    return ranges;
  }
  const std::int64_t count = std::min<std::int64_t>(connections, size);
  const std::int64_t each = size / count;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t first = span.first + i * each;
    ranges.push_back({first, first + each - 1, static_cast<int>(i), 0, 0});
  }
  ranges.back().last += size - each * count;
  return ranges;
}

std::int64_t ExpectedHeaders(const TGroupSpan& span, std::int64_t serverFirst, std::int64_t serverLast,
                             std::int64_t estimated) {
  const std::int64_t serverSpan = serverLast - serverFirst + 1;
  if (serverSpan < 1 || estimated < 1 || span.Size() < 1) return 0;
  const double perHeader = static_cast<double>(serverSpan) / static_cast<double>(estimated);
  return RoundEven(static_cast<double>(span.Size()) / perHeader);
}

double RangePercent(std::int64_t rangeLast, std::int64_t firstReceived, std::int64_t lastReceived) {
  if (firstReceived <= 0 || lastReceived < firstReceived || rangeLast < firstReceived) return 0;
  const double percent = 100.0 / static_cast<double>(rangeLast - firstReceived + 1) *
                         static_cast<double>(lastReceived - firstReceived + 1);
  return std::min(percent, 100.0);
}
