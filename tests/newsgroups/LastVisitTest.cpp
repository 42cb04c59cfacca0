#include "app/DayCount.h"
#include "app/IniFile.h"
#include "newsgroups/ArticleEstimates.h"
#include "newsgroups/LastVisit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

using namespace Qt::StringLiterals;

TEST(LastVisit, GetLastVisitFallsBackToAllNew) {
  TTempDir dir;
  const QString file = dir.Write(u"_LastVisit.ini"_s,
                                 "[a.low]\nLastMessage=500\n[a.high]\nLastMessage=1500\n[a.bad]\nLastMessage=abc\n");
  struct TCase {
    const char* group;
    std::int64_t first;
    std::int64_t expected;
  };
  const TCase cases[] = {{"a.none", 1000, 999}, {"a.low", 1000, 999},   {"a.high", 1000, 1500},
                         {"a.bad", 1000, 999},  {"A.HIGH", 1000, 1500}, {"a.low", 500, 500}};
  TLastVisit& store = TLastVisit::Instance();
  for (const TCase& c : cases) {
    std::int64_t l = -7;
    EXPECT_TRUE(store.GetLastVisit(file, QLatin1String(c.group), c.first, l)) << c.group;
    EXPECT_EQ(l, c.expected) << c.group << " first " << c.first;
  }
  std::int64_t l = 0;
  EXPECT_TRUE(store.GetLastVisit(dir.File(u"missing.ini"_s), u"x"_s, 1, l));  // a missing file reads as empty
  EXPECT_EQ(l, 0);
  EXPECT_EQ(store.ReadLastMessage(file, u"a.low"_s), 500);
  EXPECT_EQ(store.ReadLastMessage(file, u"a.none"_s), 0);
}

TEST(LastVisit, SetAndClear) {
  TTempDir dir;
  const QString file = TLastVisit::FileFor(dir.Path());
  TLastVisit& store = TLastVisit::Instance();
  const double before = NowAsDays();
  ASSERT_TRUE(store.SetLastVisit(file, u"alt.test"_s, 6000000000LL));
  ASSERT_TRUE(store.SetLastVisits(file, {{u"b.one"_s, 10}, {u"b.two"_s, 20}}));
  std::int64_t l = 0;
  ASSERT_TRUE(store.GetLastVisit(file, u"alt.test"_s, 100, l));
  EXPECT_EQ(l, 6000000000LL);
  const TIniFile ini(file);
  EXPECT_GE(ini.ReadFloat(u"alt.test"_s, u"LastTime"_s, 0), before);

  ASSERT_TRUE(store.ClearLastVisits(file, {u"b.one"_s, u"never.visited"_s}));
  ASSERT_TRUE(store.ClearLastVisit(file, u"ALT.TEST"_s));
  const TIniFile after(file);
  EXPECT_EQ(after.Sections(), QStringList{u"b.two"_s});
  EXPECT_FALSE(store.SetLastVisit(dir.File(u"no/such/dir/_LastVisit.ini"_s), u"x"_s, 1));
}

// The worker thread and the user-interface thread write the same file: no
// visit may be lost between one's read and the other's write.
TEST(LastVisit, ConcurrentWritersLoseNothing) {
  TTempDir dir;
  const QString file = dir.File(u"_LastVisit.ini"_s);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) TLastVisit::Instance().SetLastVisit(file, u"g%1.%2"_s.arg(t).arg(i), i + 1);
    });
  for (std::thread& t : threads) t.join();
  const TIniFile ini(file);
  EXPECT_EQ(ini.Sections().size(), 100);
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i) EXPECT_EQ(ini.ReadInt64(u"g%1.%2"_s.arg(t).arg(i), u"LastMessage"_s, 0), i + 1);
}

TEST(ArticleEstimates, UnreadAndExpectedCounts) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  struct TCase {
    const char* what;
    std::int64_t first, last, estimated, lastVisit, unread;
  };
  const TCase cases[] = {
      {"dense group", 1, 1000, 1000, 900, 100},
      {"half the numbers used", 1, 2000, 1000, 1000, 500},
      {"never visited", 1, 1000, 1000, 0, 1000},
      {"half to even (2.5 -> 2)", 1, 10, 5, 5, 2},
      {"half to even (3.5 -> 4)", 1, 10, 5, 3, 4},
      {"visited to the end", 1, 1000, 1000, 1000, 0},
      {"visit beyond the last", 1, 1000, 1000, 5000, 0},
      {"estimated zero", 1, 1000, 0, 0, 0},
      {"estimated negative", 1, 1000, -9, 0, 0},
      {"last below first", 1000, 10, 50, 0, 0},
      {"count above the span", 1, 10, 1000, 0, 1000},
      {"tiny count", 1, 4000000000LL, 1, 3999999000LL, 0},
      {"visit far below first", 1000, 2000, 1001, -kMax, 1001},
      {"numbers at the 64-bit edge", kMax - 100, kMax, 101, kMax - 51, 51},
  };
  for (const TCase& c : cases) EXPECT_EQ(EstimateUnread(c.first, c.last, c.estimated, c.lastVisit), c.unread) << c.what;

  EXPECT_EQ(EstimateHeaders(1, 100, 1, 1000, 500), 50);
  EXPECT_EQ(EstimateHeaders(1, 1000, 1, 1000, 500), 500);
  EXPECT_EQ(EstimateHeaders(50, 10, 1, 1000, 500), 0);
  EXPECT_EQ(EstimateHeaders(1, 1000, 1000, 1, 500), 0);
  EXPECT_EQ(EstimateHeaders(1, 1000, 1, 1000, 0), 0);
  EXPECT_EQ(EstimateHeaders(-kMax, kMax, -kMax, kMax, 7), 7);
}
