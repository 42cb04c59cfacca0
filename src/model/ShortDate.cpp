#include "model/ShortDate.h"

#include <cmath>

namespace {
const QDate kDayZero(1899, 12, 30);
}

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

double DateTimeToDays(const QDateTime& dateTime) {
  const QDateTime local = dateTime.toLocalTime();
  const qint64 day = kDayZero.daysTo(local.date());
  return static_cast<double>(day) + local.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime DaysToDateTime(double days) {
  const double whole = std::floor(days);
  const qint64 ms = std::llround((days - whole) * 86400000.0);
  return QDateTime(kDayZero.addDays(static_cast<qint64>(whole)), QTime(0, 0)).addMSecs(ms);
}
