#include "app/DayCount.h"
#include "nntp/ArticleDate.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr std::int64_t kUnixEpochDays = 25569;  // 1 January 1970 in days since 30 December 1899

// A fixed "now": 15 June 2025 10:30:00 local time, local time 2 hours ahead of universal time.
constexpr double kNow = 45823.4375;
constexpr int kNowYear = 2025;
constexpr int kLocalOffset = 7200;
const TArticleDateClock kClock = TArticleDateClock::At(kNow, kLocalOffset);

QJsonObject LoadJson(const QString& name) {
  QFile file(TestDataPath(u"nntp/dates/"_s + name));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
  return QJsonDocument::fromJson(file.readAll()).object();
}

// The moment a text names, in seconds since 1970 UTC; empty when the parser finds no date.
std::optional<std::int64_t> UtcSeconds(QByteArrayView text, int currentYear = 2025) {
  TArticleDateFields f;
  if (!ParseArticleDateFields(text, currentYear, f) || !f.hasTime) return std::nullopt;
  return (CivilToDays1899(f.year, f.month, f.day) - kUnixEpochDays) * 86400 + f.secondsOfDay - f.zoneSeconds;
}

std::int64_t Unix(const char* isoUtc) {
  return QDateTime::fromString(QLatin1String(isoUtc), Qt::ISODate).toSecsSinceEpoch();
}

double LocalDays(const char* isoUtc, int localOffsetSeconds) {
  return static_cast<double>(Unix(isoUtc) + localOffsetSeconds) / 86400.0 + kUnixEpochDays;
}

// Vectors of the sample suites whose expectation this parser does not share,
// with what it gives instead (nullopt: no date, the caller's fallback).
struct TOwnResult {
  std::optional<std::int64_t> unix;
  const char* why;
};
const QMap<QString, TOwnResult>& OwnResults() {
  static const QMap<QString, TOwnResult> own = {
      // Single-letter military zones count as universal time, as INN and RFC 5322 advise
      // (RFC 822 had their signs backwards); the keimpema suite reads them literally.
      {u"1 Jan 2020 00:00:00 A"_s, {1577836800, "military zone as UT"}},
      {u"1 Jan 2020 00:00:00 N"_s, {1577836800, "military zone as UT"}},
      {u"1 Jan 2020 00:00:00 M"_s, {1577836800, "military zone as UT"}},
      // Zone names outside the table count as universal time.
      {u"Tue, 25 May 2004 22:14:23 BST"_s, {1085523263, "BST not in the zone table"}},
      {u"Tue, 23 Feb 1993 13:40:33 EET"_s, {730474833, "EET not in the zone table"}},
      // A date without a zone is taken as universal time, not as the reader's local time.
      {u"21 Apr 1998 15:42:04"_s, {893173324, "no zone: universal time"}},
      // A five-digit offset is no offset.
      {u"Mon, 17 May 2004 18:32:06 +02120 (MEST)"_s, {1084818726, "5-digit zone ignored"}},
      // The numeric offset wins over a zone name after it.
      {u"Sat, 22 May 2004 23:41:27 -0700 EST"_s, {1085294487, "numeric zone first"}},
      // Comments inside the date and a month name before the day are beyond the token rules.
      {u"(foo)Fri(bar),28May200407(baz):    \r\n (bar)11\r\n\t:\t32(baz)+0100"_s, {std::nullopt, "comments"}},
      {u"February 5, 2003 13:47:26 -0800"_s, {std::nullopt, "month before day"}},
  };
  return own;
}

void CheckVector(const QString& input, std::int64_t expected, const char* suite) {
  const QByteArray bytes = input.toUtf8();
  const auto own = OwnResults().constFind(input);
  const std::optional<std::int64_t> want = own != OwnResults().cend() ? own->unix : std::optional(expected);
  EXPECT_EQ(UtcSeconds(bytes), want) << suite << ": \"" << bytes.toStdString() << '"';
}

}  // namespace

TEST(ArticleDate, VectorsOfTheSampleSuites) {
  const QJsonObject inn = LoadJson(u"inn-date-vectors.json"_s);
  for (const QJsonValue v : inn[u"rfc5322_strict"_s].toArray())
    CheckVector(v[u"input"_s].toString(), v[u"expected_unix"_s].toInteger(), "inn strict");
  for (const QJsonValue v : inn[u"rfc5322_lax_only"_s].toArray())
    CheckVector(v[u"input"_s].toString(), v[u"expected_unix_lax"_s].toInteger(), "inn lax");

  const QJsonObject keimpema = LoadJson(u"keimpema-header-date-vectors.json"_s);
  for (const QJsonValue v : keimpema[u"valid"_s].toArray())
    CheckVector(v[u"input"_s].toString(), v[u"expected_unix"_s].toInteger(), "keimpema");

  const QJsonObject cpython = LoadJson(u"cpython-email-parsedate-vectors.json"_s);
  for (const QJsonValue v : cpython[u"valid"_s].toArray())
    CheckVector(v[u"input"_s].toString(), Unix(v[u"expected_utc"_s].toString().toLatin1().constData()), "cpython");
}

TEST(ArticleDate, TextsWithoutADateGiveNow) {
  const QJsonObject cpython = LoadJson(u"cpython-email-parsedate-vectors.json"_s);
  for (const QJsonValue v : cpython[u"invalid"_s].toArray()) {
    const QByteArray text = v.toString().toUtf8();
    const double days = ParseArticleDate(text, kClock);
    ASSERT_TRUE(std::isfinite(days)) << text.toStdString();
    // "12.34.56.78+0800" has a date, only its time is unreadable.
    if (!text.contains("12.34.56.78")) {
      EXPECT_EQ(days, kNow) << text.toStdString();
    }
  }
  for (const char* text :
       {"", "Mon, 5 Xyz 2007 14:03:10 +0100", "Mon, 31 Feb 2007 14:03:10 +0000", "Mon, 5 Mar 2007x 14:03:10", "5 Mar",
        "Sun, 0 Jan 2004 10:00:00 GMT", "29 Feb 2001 00:00:00 GMT", "1 Jan 10000 00:00:00 GMT", "1 Jan 0 00:00:00 GMT"})
    EXPECT_EQ(ParseArticleDate(text, kClock), kNow) << text;
}

TEST(ArticleDate, LocalTimeAndTheFormsOfThePart) {
  struct TCase {
    const char* text;
    double expected;
  };
  const TCase cases[] = {
      // +0100 is 13:03:10 UT, shown two hours later in the clock's local time.
      {"Mon, 5 Mar 2007 14:03:10 +0100", LocalDays("2007-03-05T13:03:10Z", kLocalOffset)},
      {"5 Mar 07 14:03 EST", LocalDays("2007-03-05T19:03:00Z", kLocalOffset)},
      {"5 Mar 95 14:03 GMT", LocalDays("1995-03-05T14:03:00Z", kLocalOffset)},
      {"5 Mar 2007 14:03:00 CET", LocalDays("2007-03-05T14:03:00Z", kLocalOffset)},
      {"5 Ju 2007 14:03:00 +0000", LocalDays("2007-06-05T14:03:00Z", kLocalOffset)},
      {"5 Ma 2007 14:03:00 +0000", LocalDays("2007-03-05T14:03:00Z", kLocalOffset)},
      {"5 MARCH 2007 14:03:00 +0000", LocalDays("2007-03-05T14:03:00Z", kLocalOffset)},
      {"  Mon,   5   Mar   2007   14:03:10   +0100   (CET)  trailing words",
       LocalDays("2007-03-05T13:03:10Z", kLocalOffset)},
      {"Thu,\n 13\n Feb\n 1969\n 23:32\n -0330 (Newfoundland Time)", LocalDays("1969-02-14T03:02:00Z", kLocalOffset)},
      {"mercredi, 23 jul 2014 20:01:02 -0600", LocalDays("2014-07-24T02:01:02Z", kLocalOffset)},
      {"Fri, 21 Nov 1997 09:55:06 -0600", LocalDays("1997-11-21T15:55:06Z", kLocalOffset)},
      {"Sat, 31 Dec 2016 23:59:60 +0000", LocalDays("2016-12-31T23:59:59Z", kLocalOffset)},
      {"29 Feb 2000 12:00:00 UTC", LocalDays("2000-02-29T12:00:00Z", kLocalOffset)},
  };
  for (const TCase& c : cases) EXPECT_NEAR(ParseArticleDate(c.text, kClock), c.expected, 1e-9) << c.text;

  // No readable time: the date with the clock's time of day (10:30 local) taken as written in its zone.
  const double noTime = ParseArticleDate("Mon, 5 Mar 2007 noon +0100", kClock);
  EXPECT_NEAR(noTime, CivilToDays1899(2007, 3, 5) + (10.5 * 3600 - 3600 + kLocalOffset) / 86400.0, 1e-9);
}

TEST(ArticleDate, TwoDigitYearsNeverLandInTheFuture) {
  struct TCase {
    const char* year;
    int currentYear;
    int expected;
  };
  const TCase cases[] = {{"04", 2025, 2004},  {"25", 2025, 2025},  {"26", 2025, 1926}, {"71", 2025, 1971},
                         {"90", 2025, 1990},  {"99", 2025, 1999},  {"00", 2025, 2000}, {"30", 2031, 2030},
                         {"104", 2025, 2004}, {"1995", 2025, 1995}};
  for (const TCase& c : cases) {
    TArticleDateFields f;
    const QByteArray text = "1 Jan "_ba + c.year + " 00:00:00 GMT";
    ASSERT_TRUE(ParseArticleDateFields(text, c.currentYear, f)) << text.toStdString();
    EXPECT_EQ(f.year, c.expected) << text.toStdString();
  }
}

TEST(ArticleDate, ZonesInTheirWrittenForms) {
  struct TCase {
    const char* zone;
    int seconds;
  };
  const TCase cases[] = {{"+0000", 0},     {"-0000", 0},    {"+0100", 3600},    {"-0530", -19800}, {"+1030", 37800},
                         {"-500", -18000}, {"+2", 7200},    {"GMT+0100", 3600}, {"GMT+2", 7200},   {"UTC-0430", -16200},
                         {"ut", 0},        {"EDT", -14400}, {"pst", -28800},    {"CdT", -18000},   {"mdt", -21600},
                         {"Z", 0},         {"+2400", 0},    {"+0160", 0},       {"+10000", 0},     {"GMT+", 0},
                         {"(UTC)", 0},     {"BAD", 0}};
  for (const TCase& c : cases) {
    TArticleDateFields f;
    const QByteArray text = "Fri, 21 May 2004 12:00:00 "_ba + c.zone;
    ASSERT_TRUE(ParseArticleDateFields(text, 2025, f)) << c.zone;
    EXPECT_EQ(f.zoneSeconds, c.seconds) << c.zone;
  }
}

// Every Date field of real overview lines gives the moment Qt's own RFC 2822
// reader finds in it.
TEST(ArticleDate, RealOverviewLines) {
  int checked = 0;
  // "1-4" starts with the expiry time instead of the article number.
  const std::pair<const char*, int> files[] = {
      {"basic", 3}, {"high-numbered", 3}, {"1-4", 2}, {"xover-57-59.response", 3}};
  for (const auto& [name, dateField] : files) {
    QFile file(TestDataPath(u"nntp/overview/"_s + QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    for (QByteArray line : file.readAll().split('\n')) {
      line = line.trimmed();
      const QList<QByteArray> fields = line.split('\t');
      if (fields.size() < 5) continue;  // status and end lines of the reply
      const QByteArray& date = fields[dateField];
      const QDateTime oracle = QDateTime::fromString(QString::fromLatin1(date), Qt::RFC2822Date);
      ASSERT_TRUE(oracle.isValid()) << date.toStdString();
      EXPECT_EQ(UtcSeconds(date), oracle.toSecsSinceEpoch()) << name << ": " << date.toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);

  QFile french(TestDataPath(u"nntp/overview/newsreap-xover-french-date.json"_s));
  ASSERT_TRUE(french.open(QIODevice::ReadOnly));
  const QJsonObject o = QJsonDocument::fromJson(french.readAll()).object();
  const QByteArray line = o[u"line"_s].toString().toUtf8();
  EXPECT_EQ(UtcSeconds(line.split('\t')[3]), Unix("2014-07-24T02:01:02Z"));
}

// Cut-off and mangled dates, as broken servers and feeds deliver them, never
// crash and always give a finite moment.
TEST(ArticleDate, DamagedTextsNeverCrash) {
  QList<QByteArray> samples = {"Fri, 21 May 2004 13:16:47 +0100", "Friday, 19-Nov-82 16:14:55 EST",
                               "Wed, 3 Apr 2002 14:58:26+0800", "1 Jun 2004 06:02:22 GMT+0100"};
  int mangled = 0;
  for (const QByteArray& sample : samples) {
    for (qsizetype cut = 0; cut <= sample.size(); ++cut) {
      const QByteArray prefix = sample.first(cut);
      EXPECT_TRUE(std::isfinite(ParseArticleDate(prefix, kClock))) << prefix.toStdString();
      for (const char junk : {'\0', '\xff', '-', ',', ':', '9', ' '}) {
        QByteArray m = sample;
        if (cut < m.size()) m[cut] = junk;
        EXPECT_TRUE(std::isfinite(ParseArticleDate(m, kClock)));
        ++mangled;
      }
    }
  }
  EXPECT_GT(mangled, 500);
  const QByteArray huge(100000, '9');
  EXPECT_EQ(ParseArticleDate(huge, kClock), kNow);
  EXPECT_TRUE(std::isfinite(ParseArticleDate("99999999999999999999 Jan 99999999999999 99:99:99 +9999", kClock)));
}

TEST(ArticleDate, ClockOfTheMachine) {
  EXPECT_EQ(kClock.currentYear, kNowYear);
  EXPECT_EQ(TArticleDateClock::At(CivilToDays1899(1999, 12, 31) + 0.99, 0).currentYear, 1999);
  EXPECT_EQ(TArticleDateClock::At(CivilToDays1899(2000, 1, 1), 0).currentYear, 2000);
  EXPECT_EQ(TArticleDateClock::At(CivilToDays1899(2000, 2, 29), 0).currentYear, 2000);
  const TArticleDateClock clock = TArticleDateClock::Now();
  EXPECT_NEAR(clock.nowDays, NowAsDays(), 1.0 / 24);
  EXPECT_EQ(clock.localOffsetSeconds, QDateTime::currentDateTime().offsetFromUtc());
  // The parser without a clock uses the machine's current offset.
  const double days = ParseArticleDate("Fri, 21 May 2004 12:00:00 GMT");
  EXPECT_NEAR(days, CivilToDays1899(2004, 5, 21) + (43200.0 + clock.localOffsetSeconds) / 86400.0, 1e-9);
}
