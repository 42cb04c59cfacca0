#include "nntp/ArticleDate.h"

#include "app/DayCount.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace {

constexpr int kSecondsPerDay = 86400;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

QByteArrayView Strip(QByteArrayView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.sliced(b, e - b);
}

bool EqualsLower(QByteArrayView s, const char* lower) {
  qsizetype i = 0;
  for (; lower[i]; ++i)
    if (i >= s.size() || Lower(s[i]) != lower[i]) return false;
  return i == s.size();
}

// Unsigned decimal of 1..9 digits and nothing else.
bool ReadUnsigned(QByteArrayView s, int& value) {
  if (s.isEmpty() || s.size() > 9) return false;
  int v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// Month by the first of the abbreviations that agrees with the token over
// the shorter of the two lengths ("Ju" is June, "June" and "Jun." are June).
int MonthOf(QByteArrayView token) {
  static constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                          "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.isEmpty()) return 0;
  const qsizetype n = std::min<qsizetype>(token.size(), 3);
  for (int m = 0; m < 12; ++m) {
    bool same = true;
    for (qsizetype i = 0; i < n && same; ++i) same = Lower(token[i]) == kMonths[static_cast<size_t>(m)][i];
    if (same) return m + 1;
  }
  return 0;
}

bool IsWeekday(QByteArrayView token) {
  static constexpr std::array<const char*, 7> kDays = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
  if (token.size() < 3) return false;
  for (char c : token)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  for (const char* d : kDays)
    if (Lower(token[0]) == d[0] && Lower(token[1]) == d[1] && Lower(token[2]) == d[2]) return true;
  return false;
}

// "h:m" or "h:m:s" with one or two digits each; "." also separates.
bool ReadTime(QByteArrayView s, int& seconds) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  qsizetype i = 0;
  while (i < s.size()) {
    if (count == 3) return false;
    qsizetype start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    const qsizetype len = i - start;
    if (len < 1 || len > 2) return false;
    parts[count++] = (s[start] - '0') * (len == 2 ? 10 : 1) + (len == 2 ? s[start + 1] - '0' : 0);
    if (i < s.size()) {
      if (s[i] != ':' && s[i] != '.') return false;
      if (++i == s.size()) return false;
    }
  }
  if (count < 2) return false;
  const int h = parts[0], m = parts[1];
  int sec = parts[2];
  if (h > 23 || m > 59 || sec > 60) return false;
  if (sec == 60) sec = 59;  // a leap second stays inside its minute
  seconds = h * 3600 + m * 60 + sec;
  return true;
}

// A numeric zone: optional sign, then hh, hmm or hhmm. Anything else is 0.
bool ReadNumericZone(QByteArrayView s, int& seconds) {
  int sign = 1;
  if (!s.isEmpty() && (s[0] == '+' || s[0] == '-')) {
    sign = s[0] == '-' ? -1 : 1;
    s = s.sliced(1);
  }
  int v = 0;
  if (!ReadUnsigned(s, v)) return false;  // not a number: the caller looks it up by name
  int h = 0, m = 0;
  switch (s.size()) {
    case 1:
    case 2:
      h = v;
      break;
    case 3:
    case 4:
      h = v / 100;
      m = v % 100;
      break;
    default:
      seconds = 0;
      return true;  // five digits and more: no usable offset
  }
  seconds = (h > 23 || m > 59) ? 0 : sign * (h * 3600 + m * 60);
  return true;
}

int ZoneSeconds(QByteArrayView zone) {
  int seconds = 0;
  if (ReadNumericZone(zone, seconds)) return seconds;
  struct TNamed {
    const char* name;
    int hours;
  };
  static constexpr TNamed kZones[] = {{"gmt", 0},  {"ut", 0},   {"utc", 0},  {"pst", -8}, {"est", -5}, {"pdt", -7},
                                      {"edt", -4}, {"cst", -6}, {"cdt", -5}, {"mst", -7}, {"mdt", -6}};
  for (const TNamed& z : kZones)
    if (EqualsLower(zone, z.name)) return z.hours * 3600;
  // "GMT+0100", "UTC-5": a universal-time name carrying its own offset.
  for (const char* base : {"gmt", "utc", "ut"}) {
    const qsizetype n = static_cast<qsizetype>(std::char_traits<char>::length(base));
    if (zone.size() > n + 1 && EqualsLower(zone.first(n), base) && (zone[n] == '+' || zone[n] == '-') &&
        ReadNumericZone(zone.sliced(n), seconds))
      return seconds;
  }
  // Every other name (military letters, CET, BST, ...) counts as universal time.
  return 0;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

std::int64_t CivilToDays1899(int year, int month, int day) {
  // Days since 1970-01-01 (H. Hinnant's days_from_civil), moved to 30 December 1899.
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;
}

bool ParseArticleDateFields(QByteArrayView text, int currentYear, TArticleDateFields& out) {
  QByteArrayView s = text;
  if (const qsizetype comma = s.indexOf(','); comma >= 0) s = s.sliced(comma + 1);
  s = Strip(s);
  if (s.isEmpty()) return false;

  QByteArrayView tokens[6];
  int count = 0;
  while (!s.isEmpty() && count < 6) {
    qsizetype end = 0;
    while (end < s.size() && !IsBlank(s[end])) ++end;
    tokens[count++] = s.first(end);
    s = Strip(s.sliced(end));
  }
  int t = 0;
  // "Wed 3 Apr 2002 ...": a weekday without its comma.
  if (count > 1 && IsWeekday(tokens[0])) t = 1;

  QByteArrayView day = tokens[t], month, year, time, zone;
  const qsizetype dash1 = day.indexOf('-');
  const qsizetype dash2 = dash1 >= 0 ? day.sliced(dash1 + 1).indexOf('-') : -1;
  if (dash1 > 0 && dash2 >= 0 && day.sliced(dash1 + 1 + dash2 + 1).indexOf('-') < 0) {
    // RFC 850 / 1036: "19-Nov-82 16:14:55 EST".
    const QByteArrayView whole = day;
    day = whole.first(dash1);
    month = whole.sliced(dash1 + 1, dash2);
    year = whole.sliced(dash1 + 1 + dash2 + 1);
    if (t + 1 < count) time = tokens[t + 1];
    if (t + 2 < count) zone = tokens[t + 2];
  } else {
    if (t + 1 < count) month = tokens[t + 1];
    if (t + 2 < count) year = tokens[t + 2];
    if (t + 3 < count) time = tokens[t + 3];
    if (t + 4 < count) zone = tokens[t + 4];
  }
  // "14:58:26+0800": a zone glued to the time replaces a separate one.
  for (qsizetype i = 1; i < time.size(); ++i) {
    if (time[i] == '+' || time[i] == '-') {
      zone = time.sliced(i);
      time = time.first(i);
      break;
    }
  }

  int d = 0, y = 0;
  if (!ReadUnsigned(day, d) || !ReadUnsigned(year, y)) return false;
  if (year.size() == 2) {
    // A two-digit year is the most recent such year that is not in the future.
    y += 2000;
    if (y > currentYear) y -= 100;
  } else if (year.size() == 3) {
    y += 1900;  // "104" was written by software that printed years since 1900
  }
  const int m = MonthOf(month);
  if (m == 0 || y < 1 || y > 9999 || d < 1 || d > DaysInMonth(y, m)) return false;

  out.year = y;
  out.month = m;
  out.day = d;
  out.hasTime = ReadTime(time, out.secondsOfDay);
  if (!out.hasTime) out.secondsOfDay = 0;
  out.zoneSeconds = ZoneSeconds(zone);
  return true;
}

TArticleDateClock TArticleDateClock::Now() {
  const QDateTime now = QDateTime::currentDateTime();
  TArticleDateClock clock;
  clock.nowDays = DateTimeToDays(now);
  clock.localOffsetSeconds = now.offsetFromUtc();
  clock.currentYear = now.date().year();
  return clock;
}

TArticleDateClock TArticleDateClock::At(double nowDays, int localOffsetSeconds) {
  TArticleDateClock clock;
  clock.nowDays = nowDays;
  clock.localOffsetSeconds = localOffsetSeconds;
  if (std::isfinite(nowDays) && std::fabs(nowDays) < 3e6) {
    // The year of a day count (H. Hinnant's civil_from_days), free of any
    // static data so that a clock can be built during static initialisation.
    const std::int64_t z = static_cast<std::int64_t>(std::floor(nowDays)) - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    clock.currentYear = static_cast<int>(yoe + era * 400 + (mp >= 10 ? 1 : 0));
  }
  return clock;
}

double ParseArticleDate(QByteArrayView text, const TArticleDateClock& clock) {
  TArticleDateFields f;
  if (!ParseArticleDateFields(text, clock.currentYear, f)) return clock.nowDays;
  int seconds = f.secondsOfDay;
  if (!f.hasTime) {
    const double fraction = clock.nowDays - std::floor(clock.nowDays);
    seconds = static_cast<int>(std::lround(fraction * kSecondsPerDay)) % kSecondsPerDay;
  }
  const std::int64_t total = static_cast<std::int64_t>(seconds) - f.zoneSeconds + clock.localOffsetSeconds;
  return static_cast<double>(CivilToDays1899(f.year, f.month, f.day)) + static_cast<double>(total) / kSecondsPerDay;
}

double ParseArticleDate(QByteArrayView text) { return ParseArticleDate(text, TArticleDateClock::Now()); }
