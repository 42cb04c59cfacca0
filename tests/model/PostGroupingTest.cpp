#include "model/Headers.h"
#include "model/PostGrouping.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

TEST(SimilarityRatings, LettersOnly) {
  struct TCase {
    const char* a;
    const char* b;
    int byStart;
    int byContent;
  } cases[] = {
      {"abc01", "abc02", 100, 100},  // digits are skipped
      {"abcd", "abxd", 50, 75},
      {"Holiday", "holiday", 0, 85},  // letters compare with their case
      {"a-b-c", "abc", 100, 100},
      {"abc", "", 0, 0},
      {"", "", 0, 0},
      {"123", "456", 0, 0},  // no letters at all
      {"Holiday.Photos.part01.rar", "Holiday.Photos.part02.rar", 100, 100},
      {"Holiday.Photos.part01.rar", "Holiday.Movies.part01.rar", 35, 75},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(RatingByStart(c.a, c.b), c.byStart);
    EXPECT_EQ(RatingByContent(c.a, c.b), c.byContent);
  }
}

namespace {

// A header set whose posts have the given subjects (binary unless text),
// and the posts in that order, as the sorted top level of a list.
struct TFixture {
  THeaders headers;
  std::vector<const TPost*> posts;

  void Add(const std::string& subject, bool binary, int parts = 1, int present = 1) {
    for (int p = 1; p <= present; ++p) {
      const std::string id = subject + std::to_string(p) + "@x";
      TLoadedHeader h;
      h.subject = QByteArrayView(subject.data(), static_cast<qsizetype>(subject.size()));
      h.messageId = QByteArrayView(id.data(), static_cast<qsizetype>(id.size()));
      h.partNumber = binary ? static_cast<std::uint16_t>(p) : 0;
      h.totalParts = binary ? static_cast<std::uint16_t>(parts) : 0;
      h.lines = 100;
      h.bytes = 10000;
      headers.Add(h);
    }
    subjects.push_back(subject);
  }
  void FillTo(std::size_t count) {
    std::mt19937 random(5);
    while (subjects.size() < count) {
      std::string s;
      for (int i = 0; i < 10; ++i) s += static_cast<char>('a' + random() % 26);
      Add(s, true);
    }
  }
  void Finish() {
    headers.Finalize();
    for (const std::string& s : subjects) posts.push_back(headers.FindPost(QByteArrayView(s.data(), s.size())));
  }
  std::vector<std::string> subjects;
};

std::vector<std::pair<int, int>> Runs(const std::vector<TSimilarGroup>& groups) {
  std::vector<std::pair<int, int>> runs;
  for (const TSimilarGroup& g : groups) runs.emplace_back(g.first, g.count);
  return runs;
}

}  // namespace

TEST(GroupSimilarPosts, GroupsRunsAgainstTheirFirstPost) {
  TFixture f;
  for (int v = 1; v <= 4; ++v) f.Add("Holiday.Photos.part0" + std::to_string(v) + ".rar", true, 3, v == 2 ? 2 : 3);
  f.Add("Question about cats", false);
  f.Add("Question about cats again", false);
  // Each is compared with the head: the third is like the second, not the first.
  f.Add("aaaaaaaaaa", true);
  f.Add("aaaaaaabbb", true);
  f.Add("aaaabbbbbb", true);
  f.FillTo(51);
  f.Finish();

  TGroupingOptions options;
  TGroupNodeArray entries;
  EXPECT_EQ(Runs(GroupSimilarPosts(f.posts, options, entries)), (std::vector<std::pair<int, int>>{{0, 4}, {6, 2}}));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].articles, 11u);
  EXPECT_EQ(entries[0].totalLines, 1100u);
  EXPECT_EQ(entries[0].totalBytes, 110000u);
  EXPECT_EQ(entries[0].flags, GROUP_FLAG_INCOMPLETE);
  EXPECT_EQ(entries[1].flags, 0);

  options.groupTextPosts = true;
  EXPECT_EQ(Runs(GroupSimilarPosts(f.posts, options, entries)),
            (std::vector<std::pair<int, int>>{{0, 4}, {4, 2}, {6, 2}}));
  options.method = GROUPING_METHOD_START;
  options.threshold = 95;
  EXPECT_EQ(Runs(GroupSimilarPosts(f.posts, options, entries)), (std::vector<std::pair<int, int>>{{0, 4}}));
  options.groupSimilarPosts = false;
  EXPECT_TRUE(GroupSimilarPosts(f.posts, options, entries).empty());
  EXPECT_TRUE(entries.empty());
}

TEST(GroupSimilarPosts, SmallListsOnlyWhenAskedFor) {
  for (std::size_t count : {50u, 51u}) {
    TFixture f;
    f.Add("Holiday.Photos.part01.rar", true);
    f.Add("Holiday.Photos.part02.rar", true);
    f.FillTo(count);
    f.Finish();
    TGroupingOptions options;
    TGroupNodeArray entries;
    EXPECT_EQ(GroupSimilarPosts(f.posts, options, entries).size(), count == 51 ? 1u : 0u) << count;
    options.alwaysGroupSmallList = true;
    EXPECT_EQ(GroupSimilarPosts(f.posts, options, entries).size(), 1u) << count;
  }
}
