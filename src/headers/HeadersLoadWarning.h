#pragma once

#include <cstdint>

// The question before a large header load: how much memory it will take
// against what the machine has free.

enum TLoadWarningChoice {
  LOAD_WARNING_LOAD,          // go on with the load
  LOAD_WARNING_CANCEL,        // the user said no
  LOAD_WARNING_SELECT_RANGE,  // open the range selection instead of loading
};

// Bytes a load of count headers is expected to take:
// round(count / 20) × 50 + count × 140.
std::int64_t EstimateHeadersMemory(std::int64_t count);
// Physical memory the system can give without swapping; 0 when unknown.
std::int64_t FreePhysicalMemory();

// Decides about a load of count headers. action 1 loads without asking; a
// count below threshold whose estimate fits in freeMemory loads too.
// Otherwise action 2 asks through TUserPrompt (No cancels), action 3 selects
// a range, anything else loads.
TLoadWarningChoice WarnLoadingHeaders(std::int64_t count, int threshold, int action, std::int64_t freeMemory);
// The same with the settings gLoadHeadersCountThreshold and
// gLoadHeadersExceedThresholdAction and the memory free now.
TLoadWarningChoice WarnLoadingHeaders(std::int64_t count);
