#include "model/StringDiff.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>

namespace {

std::string Encode(std::string_view base, std::string_view text) {
  char out[kMaxStringDiff];
  const int n = EncodeStringDiff(base, text, out);
  return n < 0 ? std::string("<overflow>") : std::string(out, static_cast<std::size_t>(n));
}

std::string Decode(std::string_view base, std::string_view diff) {
  std::string out;
  return DecodeStringDiff(base, diff, out) ? out : std::string("<malformed>");
}

}  // namespace

TEST(StringDiff, EncodesByTheRules) {
  const std::string longBase(250, 'a');
  const std::string longText = longBase + "z";
  struct TCase {
    const char* base;
    const char* text;
    const char* diff;
  } cases[] = {
      // copy 4, literal 2 (no resync fits), copy 13
      {"part1of12.abcdefgh", "part2of12.abcdefgh", "#42!13"},
      // a match run of 3 is written literally; two extra bytes are an insertion
      {"abcdefghijklmnop", "abcXYdefghijklmnop", "abcX\"2Yd!12"},
      // two missing bytes are a deletion
      {"abcdefghijklmnop", "abcfghijklmnop", "abcf$2!10"},
      // markers in a changed stretch are doubled
      {"abcdefgh", "ab!#efgh", "ab!!###4"},
      {"abcdefgh", "ab\"$efgh", "ab\"\"$$#4"},
      // inserted bytes are written as they are, markers included
      {"abcdefghijklmnop", "abcX!defghijklmnop", "abcX\"2!d!12"},
      // long copies split at 99
      {longBase.c_str(), longText.c_str(), "!99!99!52z"},
      // base exhausted: the rest literally; text exhausted: stop
      {"abcd", "abcdef!", "#4ef!!"},
      {"abcdefgh", "abcd", "#4"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Encode(c.base, c.text), c.diff);
    EXPECT_EQ(Decode(c.base, c.diff), c.text);
  }
}

TEST(StringDiff, StoredOnlyWhenShorterAndExact) {
  char out[kMaxStringDiff];
  EXPECT_EQ(MakeStringDiff("", "abc@x", out), -1);  // empty base: stored plain
  EXPECT_EQ(MakeStringDiff("abc@x", "", out), -1);
  EXPECT_EQ(MakeStringDiff("abcdefgh", "zyxwvuts", out), -1);  // not shorter
  const int n = MakeStringDiff("part1of12.abcdefgh@host", "part2of12.abcdefgh@host", out);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(out, static_cast<std::size_t>(n)), "#42!18");
  // A text longer than the difference buffer can hold is kept plain.
  const std::string big(3000, '!');
  EXPECT_EQ(EncodeStringDiff("x", big, out), -1);
  EXPECT_EQ(MakeStringDiff("x", big, out), -1);
}

TEST(StringDiff, RejectsMalformedDifferences) {
  for (const char* diff : {"#", "#0", "#x", "!1", "!1x", "\"3ab", "$", "#9", "!12", "$9", "ab#5"}) {
    std::string out;
    EXPECT_FALSE(DecodeStringDiff("abcd", diff, out)) << diff;
  }
}

TEST(StringDiff, RandomPairsRoundTrip) {
  std::mt19937 random(42);
  const char alphabet[] = "ab!\"#$0123456789xyz.@";
  const auto make = [&](std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i) s += alphabet[random() % (sizeof(alphabet) - 1)];
    return s;
  };
  char out[kMaxStringDiff];
  for (int round = 0; round < 20000; ++round) {
    const std::string base = make(random() % 60);
    std::string text = base;
    // A few edits of every kind against the base.
    for (int e = static_cast<int>(random() % 5); e > 0 && !text.empty(); --e) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = alphabet[random() % (sizeof(alphabet) - 1)];
          break;
        case 1:
          text.insert(at, make(1 + random() % 5));
          break;
        default:
          text.erase(at, 1 + random() % 4);
          break;
      }
    }
    const int n = EncodeStringDiff(base, text, out);
    ASSERT_GE(n, 0);
    ASSERT_EQ(Decode(base, std::string_view(out, static_cast<std::size_t>(n))), text)
        << "base " << base << " text " << text;
    const int stored = MakeStringDiff(base, text, out);
    if (stored >= 0) {
      ASSERT_LT(static_cast<std::size_t>(stored), text.size());
      ASSERT_EQ(Decode(base, std::string_view(out, static_cast<std::size_t>(stored))), text);
    }
  }
}

TEST(StringDiff, NeverReadsPastEitherText) {
  // Base, text and difference each end right before an inaccessible page:
  // any read past their ends faults.
  const long page = sysconf(_SC_PAGESIZE);
  char* area = static_cast<char*>(
      mmap(nullptr, static_cast<std::size_t>(page) * 6, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(area, MAP_FAILED);
  for (int guard : {1, 3, 5}) ASSERT_EQ(mprotect(area + guard * page, static_cast<std::size_t>(page), PROT_NONE), 0);
  const auto atEnd = [&](int slot, const std::string& s) {
    char* at = area + (2 * slot + 1) * page - static_cast<long>(s.size());
    std::memcpy(at, s.data(), s.size());
    return std::string_view(at, s.size());
  };
  std::mt19937 random(3);
  char out[kMaxStringDiff];
  for (int round = 0; round < 5000; ++round) {
    // Lengths around the resynchronisation threshold of 8.
    std::string base(7 + random() % 6, 'a');
    for (char& c : base) c = static_cast<char>('a' + random() % 3);
    std::string text = base;
    text[random() % text.size()] = 'z';
    if (random() % 2) text.insert(random() % text.size(), std::string(1 + random() % 4, 'y'));
    const std::string_view b = atEnd(0, base);
    const std::string_view t = atEnd(1, text);
    const int n = EncodeStringDiff(b, t, out);
    ASSERT_GE(n, 0);
    const std::string_view diff = atEnd(2, std::string(out, static_cast<std::size_t>(n)));
    std::string back;
    ASSERT_TRUE(DecodeStringDiff(b, diff, back));
    ASSERT_EQ(back, text);
  }
  munmap(area, static_cast<std::size_t>(page) * 6);
}
