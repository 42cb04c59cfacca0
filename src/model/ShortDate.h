#pragma once

#include "app/DayCount.h"

#include <cstdint>

// An article date in 32 bits: 1/131072 day since day 20000 of the day count
// whose day 0 is 30 December 1899 (so 0 is 3 October 1954, 00:00). The last
// value is the end of 19 June 2044; dates outside the range are clamped.
using short_datetime = std::uint32_t;

inline constexpr double kShortDateFirstDay = 20000.0;
inline constexpr double kShortDateUnitsPerDay = 131072.0;
inline constexpr short_datetime kShortDateMax = 0xFFFFFFFFu;

// Day count with fraction (days since 30 December 1899) to a short date.
// *clamped (when given) tells whether the date lay outside the range (NaN too).
short_datetime EncodeShortDate(double days, bool* clamped = nullptr);
double DecodeShortDate(short_datetime value);
