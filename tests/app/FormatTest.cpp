#include "app/Crc32.h"
#include "app/ReturnCodes.h"
#include "app/TextFormat.h"
#include "app/Wildcard.h"

#include <QString>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(TextFormat, NumbersGetSeparatorsFromTenThousand) {
  struct Case {
    std::int64_t value;
    char16_t separator;
    const char* expected;
  };
  const Case cases[] = {
      {0, u',', "0"},
      {9999, u',', "9999"},
      {10000, u',', "10,000"},
      {123456, u' ', "123 456"},
      {1234567, u'.', "1.234.567"},
      {-9999, u',', "-9999"},
      {-10000, u',', "-10,000"},
      {-123456789, u',', "-123,456,789"},
      {9223372036854775807LL, u',', "9,223,372,036,854,775,807"},
  };
  for (const Case& c : cases) {
    SetThousandSeparator(QChar(c.separator));
    EXPECT_EQ(FormatNumber(c.value).toStdString(), c.expected) << c.value;
  }
  SetThousandSeparator(QChar(u','));
}

TEST(TextFormat, SizesSpeedsAndDurations) {
  EXPECT_EQ(FormatSize(0), u"0.00 KB"_s);
  EXPECT_EQ(FormatSize(1536), u"1.50 KB"_s);
  EXPECT_EQ(FormatSize(5LL * 1024 * 1024), u"5.00 MB"_s);
  EXPECT_EQ(FormatSize(3LL * 1024 * 1024 * 1024 / 2), u"1.50 GB"_s);
  EXPECT_EQ(FormatSize(2LL * 1024 * 1024 * 1024 * 1024), u"2.00 TB"_s);
  EXPECT_EQ(FormatSize(4096LL * 1024 * 1024 * 1024 * 1024), u"4096.00 TB"_s);
  EXPECT_EQ(FormatSpeed(2.5 * 1024 * 1024), u"2.50 MB/s"_s);
  EXPECT_EQ(FormatDuration(0), u"00:00:00"_s);
  EXPECT_EQ(FormatDuration(3723), u"01:02:03"_s);
  EXPECT_EQ(FormatDuration(100 * 3600 + 59), u"100:00:59"_s);
  EXPECT_EQ(FormatDuration(-5), u"00:00:00"_s);
}

TEST(Wildcard, Cases) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Case cases[] = {
      {"*ab", "aab", true},  // the star first takes nothing, then one character
      {"*anonym*", "alt.anonymous.test", true},
      {"alt.binaries.*", "alt.binaries.pictures", true},
      {"alt.binaries.*", "alt.binaries", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false},
      {"ABC", "abc", false},  // case-sensitive: callers lower-case both
      {"**a**", "bab", true},
      {"*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchWildcard(QString::fromUtf8(c.pattern), QString::fromUtf8(c.text)), c.match)
        << c.pattern << " vs " << c.text;
    EXPECT_EQ(MatchWildcard(QByteArrayView(c.pattern), QByteArrayView(c.text)), c.match)
        << c.pattern << " vs " << c.text;
  }
}

TEST(Crc32, KnownValuesAndRunningChecksum) {
  EXPECT_EQ(Crc32(QByteArrayView("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32(QByteArrayView("")), 0u);
  const std::uint32_t first = Crc32(QByteArrayView("12345"));
  EXPECT_EQ(Crc32(QByteArrayView("6789"), first), 0xCBF43926u);
  EXPECT_EQ(Crc32Combine(first, Crc32(QByteArrayView("6789")), 4), 0xCBF43926u);
}

TEST(ReturnCodes, NamesFollowTheOrder) {
  EXPECT_STREQ(ReturnCodeName(RC_UNDEFINED), "RC_UNDEFINED");
  EXPECT_STREQ(ReturnCodeName(RC_SUCCESS), "RC_SUCCESS");
  EXPECT_STREQ(ReturnCodeName(RC_INVALID_TYPECAST), "RC_INVALID_TYPECAST");
  EXPECT_EQ(static_cast<int>(RC_INVALID_TYPECAST), 66);
  EXPECT_EQ(static_cast<int>(RC_TIMEOUT), 47);
  EXPECT_STREQ(ReturnCodeName(static_cast<RETURN_CODES>(200)), "RC_200");
}
