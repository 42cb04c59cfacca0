#include "model/ShortDate.h"

#include <cmath>

short_datetime EncodeShortDate(double days, bool* clamped) {
  bool outside = false;
  short_datetime value = 0;
  if (!(days >= kShortDateFirstDay)) {  // also NaN
    outside = true;
  } else {
    const double units = std::trunc((days - kShortDateFirstDay) * kShortDateUnitsPerDay);
    if (units > static_cast<double>(kShortDateMax)) {
      value = kShortDateMax;
      outside = true;
    } else {
      value = static_cast<short_datetime>(units);
    }
  }
  if (clamped) *clamped = outside;
  return value;
}

double DecodeShortDate(short_datetime value) { return value / kShortDateUnitsPerDay + kShortDateFirstDay; }
