#pragma once

#include <QByteArrayView>

#include <cstdint>

// Article dates as servers send them in Date headers and overview lines:
// "[weekday,] day month year time zone", plus the lax forms seen in the wild
// (RFC 850 "19-Nov-82", no comma after the weekday, dotted times, a zone glued
// to the time, "GMT+hhmm", 3-digit years). Pure functions over bytes, no
// allocation: the headers download runs them once per overview line.

// What "now" means to the parser: the fallback result, the time of day used
// when a date has no readable time, the current offset from universal time
// used to turn every date into local time, and the year that decides the
// century of a two-digit year. Build it once per batch of lines.
struct TArticleDateClock {
  double nowDays = 0;          // current local date-time, days since 30 December 1899
  int localOffsetSeconds = 0;  // current offset of local time from universal time
  int currentYear = 2000;      // local calendar year of nowDays

  static TArticleDateClock Now();
  // A fixed clock (tests, replays): now, offset, and the year taken from now.
  static TArticleDateClock At(double nowDays, int localOffsetSeconds);
};

// The parts of a date as written, before any time-zone arithmetic.
struct TArticleDateFields {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int secondsOfDay = 0;  // valid only when hasTime
  bool hasTime = false;  // false: the text had no readable time of day
  int zoneSeconds = 0;   // offset of the written time from universal time
};

// Reads the calendar date, time and zone; false when the text holds no date
// (missing or non-numeric day or year, unknown month, invalid calendar date).
bool ParseArticleDateFields(QByteArrayView text, int currentYear, TArticleDateFields& out);

// The date as a local date-time (days since 30 December 1899). Never fails:
// text without a date gives clock.nowDays; a date without a readable time
// takes the clock's current time of day.
double ParseArticleDate(QByteArrayView text, const TArticleDateClock& clock);
double ParseArticleDate(QByteArrayView text);

// Days since 30 December 1899 of a proleptic Gregorian calendar date.
std::int64_t CivilToDays1899(int year, int month, int day);
