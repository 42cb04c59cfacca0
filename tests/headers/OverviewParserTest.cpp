// Overview lines into stored headers, and article spans into ranges.
#include "headers/GroupRange.h"
#include "headers/OverviewParser.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QByteArray Line(QByteArrayView number, QByteArrayView subject, QByteArrayView from = "Poster <p@example.com>",
                QByteArrayView id = "<id@example.com>", QByteArrayView references = "",
                QByteArrayView tail = "\t1234\t17\tXref: x") {
  QByteArray line;
  line += number.toByteArray() + '\t' + subject.toByteArray() + '\t' + from.toByteArray() +
          "\tMon, 5 Mar 2007 14:03:10 +0100\t" + id.toByteArray() + '\t' + references.toByteArray() +
          tail.toByteArray();
  return line;
}

// A fixed clock in universal time, so dates compare exactly.
TArticleDateClock Clock() { return TArticleDateClock::At(45000.5, 0); }

}  // namespace

TEST(OverviewParser, Subjects) {
  struct TCase {
    const char* name;
    QByteArray subject;
    QByteArray expected;
    bool reply;
    int part, total, position;
  };
  const TCase cases[] = {
      {"prefixes, doubled blanks, counter", "re: Re:  Hello   world (3/12)", "Hello world ", true, 3, 12, 13},
      {"prefix alone", "RE:", "(no subject)", true, 0, 0, 0},
      {"prefix with blanks only", "Re:   re:  ", "(no subject)", true, 0, 0, 0},
      {"blanks around are trimmed", "  plain subject  ", "plain subject", false, 0, 0, 0},
      {"brackets read as parentheses", "set [1/3] x", "set  x", false, 1, 3, 5},
      {"parentheses before brackets", "[2/7] - a.rar yEnc (1/25)", "[2/7] - a.rar yEnc ", false, 1, 25, 20},
      {"not a counter", "a (1/) b", "a (1/) b", false, 0, 0, 0},
      {"encoded word", "=?UTF-8?B?R3LDvMOfZQ==?= (1/2)", "Grüße ", false, 1, 2, 9},
      {"\"Re :\" is no prefix", "Re : x", "Re : x", false, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TOverviewParser parser;
    parser.SetClock(Clock());
    TNewsHeader h;
    ASSERT_EQ(parser.Parse(Line("42", c.subject), h), TOverviewParser::OVERVIEW_HEADER);
    EXPECT_EQ(h.subject, QByteArrayView(c.expected));
    EXPECT_EQ(h.reply, c.reply);
    EXPECT_EQ(h.partNumber, c.part);
    EXPECT_EQ(h.totalParts, c.total);
    EXPECT_EQ(h.partPosition, c.position);
  }
}

TEST(OverviewParser, FieldsOfAGoodLine) {
  TOverviewParser parser;
  parser.SetClock(Clock());
  TNewsHeader h;
  ASSERT_EQ(parser.Parse(Line("\"1'7\"", "x", "  Poster <p@example.com> ", "<abc@host>", "<r1@h> <r2@h>"), h),
            TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.number, 17u);
  EXPECT_EQ(parser.LastNumber(), 17);
  EXPECT_EQ(h.sender, QByteArrayView("Poster <p@example.com>"));
  EXPECT_EQ(h.messageId, QByteArrayView("abc@host"));
  EXPECT_EQ(h.references, QByteArrayView("<r1@h> <r2@h>"));
  EXPECT_EQ(h.bytes, 1234u);
  EXPECT_EQ(h.lines, 17u);
  // 5 March 2007 13:03:10 universal time.
  EXPECT_NEAR(h.date, 39146.0 + (13 * 3600 + 3 * 60 + 10) / 86400.0, 1e-9);

  // Bytes and lines are optional; unreadable ones are 0.
  ASSERT_EQ(parser.Parse(Line("5", "x", "a", "<b@c>", "", ""), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.bytes, 0u);
  ASSERT_EQ(parser.Parse(Line("5", "x", "a", "<b@c>", "", "\tmany\t-3"), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.bytes, 0u);
  EXPECT_EQ(h.lines, 0u);
  // An article number beyond the record's 32 bits is kept as the largest one.
  ASSERT_EQ(parser.Parse(Line("8589934592", "x"), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.number, 0xFFFFFFFFu);
  EXPECT_EQ(parser.LastNumber(), 8589934592);
}

TEST(OverviewParser, LinesThatFailOrAreSkipped) {
  struct TCase {
    const char* name;
    QByteArray line;
    TOverviewParser::TResult result;
  };
  const QByteArray longId = '<' + QByteArray(255, 'i') + '>';
  const TCase cases[] = {
      {"number 0", Line("0", "x"), TOverviewParser::OVERVIEW_FAILED},
      {"number not a number", Line("12a", "x"), TOverviewParser::OVERVIEW_FAILED},
      {"empty line", "", TOverviewParser::OVERVIEW_FAILED},
      {"five fields only", "1\tsubject\tfrom\tdate\t<id@x>", TOverviewParser::OVERVIEW_FAILED},
      {"six fields are enough", "1\tsubject\tfrom\tdate\t<id@x>\t", TOverviewParser::OVERVIEW_HEADER},
      {"empty subject", Line("1", ""), TOverviewParser::OVERVIEW_FAILED},
      {"subject that was only a counter", Line("1", "(1/2)"), TOverviewParser::OVERVIEW_FAILED},
      {"message-id of 257 characters", Line("1", "x", "a", longId), TOverviewParser::OVERVIEW_FAILED},
      {"message-id of 256 characters", Line("1", "x", "a", longId.left(256)), TOverviewParser::OVERVIEW_HEADER},
      {"a lone bracket", Line("1", "x", "a", "<"), TOverviewParser::OVERVIEW_FAILED},
      {"no message-id", Line("1", "x", "a", ""), TOverviewParser::OVERVIEW_FAILED},
      {"empty brackets", Line("1", "x", "a", "<>"), TOverviewParser::OVERVIEW_SKIPPED},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TOverviewParser parser;
    TNewsHeader h;
    EXPECT_EQ(parser.Parse(c.line, h), c.result);
  }
}

TEST(OverviewParser, SenderLimitAndCut) {
  TOverviewParser parser;
  TNewsHeader h;
  const QByteArray sender160(160, 's');
  ASSERT_EQ(parser.Parse(Line("1", "x", sender160), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.sender, QByteArrayView(sender160));
  ASSERT_EQ(parser.Parse(Line("1", "x", sender160 + 's'), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.sender, QByteArrayView("(invalid)"));
  // A failing message-id still lets the sender count as seen.
  ASSERT_EQ(parser.Parse(Line("1", "x", "seen@x", "<"), h), TOverviewParser::OVERVIEW_FAILED);
  EXPECT_TRUE(parser.SenderSeen());
  EXPECT_EQ(h.sender, QByteArrayView("seen@x"));

  // Subjects keep 256 bytes, and a cut never splits a UTF-8 character.
  ASSERT_EQ(parser.Parse(Line("1", QByteArray(300, 'a')), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.subject.size(), 256);
  const QByteArray utf8 = QByteArray(255, 'a') + "\xC3\xA9tail";
  ASSERT_EQ(parser.Parse(Line("1", utf8), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(h.subject, QByteArrayView(QByteArray(255, 'a')));
}

TEST(OverviewParser, MatchStrings) {
  TOverviewParser parser;
  parser.SetMatchStrings(u"Foo,,BAR baz"_s);
  ASSERT_TRUE(parser.HasMatchStrings());
  TNewsHeader h;
  EXPECT_EQ(parser.Parse(Line("1", "Re: the FOO files (1/2)"), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(parser.Parse(Line("1", "bar  Baz"), h), TOverviewParser::OVERVIEW_HEADER);  // blanks folded first
  EXPECT_EQ(parser.Parse(Line("1", "other"), h), TOverviewParser::OVERVIEW_FAILED);
  // Case beyond ASCII folds on both sides.
  parser.SetMatchStrings(u"\u00dcber,\u00e9t\u00e9"_s);
  EXPECT_EQ(parser.Parse(Line("1", "\xc3\x9c" "ber alles"), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(parser.Parse(Line("1", "Summer \xc3\x89T\xc3\x89 2024"), h), TOverviewParser::OVERVIEW_HEADER);
  EXPECT_EQ(parser.Parse(Line("1", "uber alles"), h), TOverviewParser::OVERVIEW_FAILED);
  parser.SetMatchStrings({});
  EXPECT_FALSE(parser.HasMatchStrings());
  EXPECT_EQ(parser.Parse(Line("1", "other"), h), TOverviewParser::OVERVIEW_HEADER);
}

TEST(GroupRange, SpansOfTheOperations) {
  struct TCase {
    const char* name;
    QString data;
    std::int64_t first, last;
  };
  // The server reports articles 1001..2000, 800 of them.
  const TCase cases[] = {
      {"all", u"JOB_OPERATION_GET_HEADERS_ALL"_s, 1001, 2000},
      {"unknown operation", u"SOMETHING_ELSE,5"_s, 1001, 2000},
      {"range", u"JOB_OPERATION_GET_HEADERS_RANGE,1200,1300"_s, 1200, 1300},
      {"from", u"JOB_OPERATION_GET_HEADERS_FROM,1500"_s, 1500, 2000},
      {"percent", u"JOB_OPERATION_GET_HEADERS_PERCENT,10"_s, 1900, 2000},
      {"percent 0 counts as 100", u"JOB_OPERATION_GET_HEADERS_PERCENT,0"_s, 1000, 2000},
      {"percent over 100", u"JOB_OPERATION_GET_HEADERS_PERCENT,250"_s, 1000, 2000},
      // 1000 ÷ 801 × 100 = 124.84...
      {"number", u"JOB_OPERATION_GET_HEADERS_NUMBER,100"_s, 1875, 2000},
      {"number beyond the group", u"JOB_OPERATION_GET_HEADERS_NUMBER,5000"_s, 1, 2000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TGroupSpan span = ComputeGroupSpan(ParseOperationString(c.data), 1001, 2000, 800);
    EXPECT_EQ(span.first, c.first);
    EXPECT_EQ(span.last, c.last);
  }
  // Halves round to even: 2.5 and 3.5 of articles 1..10.
  EXPECT_EQ(ComputeGroupSpan(ParseOperationString(u"JOB_OPERATION_GET_HEADERS_PERCENT,25"_s), 1, 10, 10).first, 8);
  EXPECT_EQ(ComputeGroupSpan(ParseOperationString(u"JOB_OPERATION_GET_HEADERS_PERCENT,35"_s), 1, 10, 10).first, 6);
}

TEST(GroupRange, Ranges) {
  struct TCase {
    const char* name;
    std::int64_t first, last;
    int connections;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  };
  const TCase cases[] = {
      {"below the threshold", 1, 249, 4, {{1, 249}}},
      {"one connection", 1, 100000, 1, {{1, 100000}}},
      {"even split", 1, 1000, 4, {{1, 250}, {251, 500}, {501, 750}, {751, 1000}}},
      {"remainder to the last", 11, 1013, 4, {{11, 260}, {261, 510}, {511, 760}, {761, 1013}}},
      {"more connections than numbers", 1, 300, 400, {}},
      {"empty span", 10, 9, 4, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TGroupRange> ranges = SplitIntoRanges({c.first, c.last}, c.connections, 250);
    if (c.connections == 400) {
      // One number per range, never an empty one.
      ASSERT_EQ(ranges.size(), 300u);
      EXPECT_EQ(ranges.back().first, 300);
      EXPECT_EQ(ranges.back().last, 300);
      continue;
    }
    ASSERT_EQ(ranges.size(), c.ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
      EXPECT_EQ(ranges[i].id, static_cast<int>(i));
      EXPECT_EQ(ranges[i].first, c.ranges[i].first);
      EXPECT_EQ(ranges[i].last, c.ranges[i].second);
    }
  }
  // Expected headers follow the density GROUP reported.
  EXPECT_EQ(ExpectedHeaders({1501, 2000}, 1001, 2000, 800), 400);
  EXPECT_EQ(ExpectedHeaders({1501, 2000}, 1001, 2000, 0), 0);
  EXPECT_DOUBLE_EQ(RangePercent(200, 101, 150), 50.0);
  EXPECT_DOUBLE_EQ(RangePercent(200, 0, 0), 0.0);
}
