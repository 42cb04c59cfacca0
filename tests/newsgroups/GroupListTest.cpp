#include "app/LittleEndian.h"
#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListWriter.h"
#include "support/TempDir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
struct Group {
  QByteArray name;
  std::int32_t newCount, total;
};

QString WriteList(const TTempDir& dir, const QString& base, const QList<Group>& groups) {
  TGroupListWriter w;
  EXPECT_TRUE(w.Open(dir.Path() + base));
  for (const Group& g : groups) w.Append(g.name, g.newCount, g.total);
  EXPECT_TRUE(w.Finish());
  return dir.Path() + base + u".gnam"_s;
}

QList<Group> Contents(const TGroupList& list) {
  QList<Group> out;
  for (qsizetype i = 0; i < list.Count(); ++i)
    out << Group{list.Name(i).toByteArray(), list.entries[i].newCount, list.entries[i].total};
  return out;
}

bool operator==(const Group& a, const Group& b) {
  return a.name == b.name && a.newCount == b.newCount && a.total == b.total;
}
}  // namespace

TEST(GroupList, FileLayoutByteForByte) {
  TTempDir dir;
  const QByteArray longName(253, 'x');
  WriteList(dir, u"Groups"_s, {{"Alt.Test", 1, 2}, {longName, -1, -9}, {QByteArray(254, 'y'), 0, 0}});
  const QByteArray data = dir.Read(u"Groups.gdat"_s);
  ASSERT_EQ(data.size(), 68 + 16);  // the over-long name was skipped
  EXPECT_EQ(data.left(4), "\x03\x00\xCE\xFA"_ba);
  EXPECT_EQ(data.mid(4, 64), QByteArray(64, '\0'));
  EXPECT_EQ(le::Get32(data.constData() + 68), 1u);
  EXPECT_EQ(static_cast<std::int32_t>(le::Get32(data.constData() + 80)), -9);
  const QByteArray names = dir.Read(u"Groups.gnam"_s);
  EXPECT_EQ(names.left(10), "\x0A" "alt.test\0"_ba);  // stored in lower case
  EXPECT_EQ(static_cast<unsigned char>(names[10]), 255);
  EXPECT_EQ(names.size(), 10 + 255);
}

TEST(GroupList, LoadPairsNamesWithRecordsAndHighlightsBoldOutsideTheMainList) {
  TTempDir dir;
  const QList<Group> groups = {{"a.b", 5, 10}, {"c.d", 0, -1}, {"e.f", 3, 3}};
  WriteList(dir, u"Groups"_s, groups);
  WriteList(dir, u"Folder"_s, groups);
  TGroupList main, folder;
  ASSERT_TRUE(main.Load(dir.File(u"groups.GDAT"_s), {"c.d"}));  // either file, any case
  EXPECT_EQ(Contents(main), groups);
  EXPECT_EQ(main.entries[2].position, 2u);
  EXPECT_EQ(main.entries[1].flags, 0);
  ASSERT_TRUE(folder.Load(dir.File(u"Folder.gnam"_s), {"c.d"}));
  EXPECT_EQ(folder.entries[1].flags, TGroupListEntry::FLAG_HIGHLIGHTED);

  ASSERT_TRUE(TGroupList::CreateEmpty(dir.File(u"Empty.gnam"_s)));
  TGroupList empty;
  EXPECT_TRUE(empty.Load(dir.File(u"Empty.gnam"_s)));
  EXPECT_EQ(empty.Count(), 0);
}

TEST(GroupList, DamagedPairsAreRejected) {
  TTempDir dir;
  WriteList(dir, u"L"_s, {{"a.b", 1, 1}, {"c.d", 2, 2}});
  const QByteArray names = dir.Read(u"L.gnam"_s), data = dir.Read(u"L.gdat"_s);
  struct Case {
    const char* what;
    QByteArray names, data;
  };
  const Case cases[] = {
      {"names end early", names.left(5), data},
      {"length byte below 2", "\x01" + names.mid(1), data},
      {"length past the end", "\xF0" + names.mid(1), data},
      {"wrong magic", names, "\x04" + data.mid(1)},
      {"short header", names, data.left(60)},
  };
  for (const Case& c : cases) {
    dir.Write(u"L.gnam"_s, c.names);
    dir.Write(u"L.gdat"_s, c.data);
    TGroupList list;
    EXPECT_FALSE(list.Load(dir.File(u"L.gnam"_s))) << c.what;
    EXPECT_EQ(list.Count(), 0) << c.what;
  }
  TGroupList list;
  QFile::remove(dir.File(u"L.gnam"_s));
  EXPECT_FALSE(list.Load(dir.File(u"L.gdat"_s)));
}

TEST(GroupList, SortKeepsRecordsWithTheirNamesAndDropsDuplicates) {
  TTempDir dir;
  const QString path = WriteList(dir, u"Groups"_s, {{"zz", 1, 1}, {"aa", 2, 2}, {"mm", 3, 3}, {"aa", 4, 4}});
  // Names of another case, as a hand-written list may hold.
  QByteArray names = dir.Read(u"Groups.gnam"_s);
  names.replace("\x04" "mm", "\x04" "MM");
  dir.Write(u"Groups.gnam"_s, names);
  ASSERT_TRUE(TGroupList::Sort(path, false));
  TGroupList list;
  ASSERT_TRUE(list.Load(path));
  EXPECT_EQ(Contents(list), QList<Group>({{"aa", 2, 2}, {"aa", 4, 4}, {"MM", 3, 3}, {"zz", 1, 1}}));
  ASSERT_TRUE(TGroupList::Sort(path, true));
  ASSERT_TRUE(list.Load(path));
  EXPECT_EQ(Contents(list), QList<Group>({{"aa", 4, 4}, {"MM", 3, 3}, {"zz", 1, 1}}));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gnamt"_s)));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gdatt"_s)));
}

TEST(GroupList, CountUpdates) {
  TTempDir dir;
  const QString path = WriteList(dir, u"F"_s, {{"a.b", 0, 0}, {"c.d", 0, 0}, {"a.b", 0, 0}});
  EXPECT_TRUE(TGroupList::UpdateCounts(path, "A.B", 7, 70));
  EXPECT_FALSE(TGroupList::UpdateCounts(path, "x.y", 1, 1));
  TGroupList::WriteCountsAt(path, 1, 5, 50);
  TGroupList::WriteCountsAt(path, 99, 5, 50);  // past the end: ignored, file not grown
  TGroupList list;
  ASSERT_TRUE(list.Load(path));
  EXPECT_EQ(Contents(list), QList<Group>({{"a.b", 7, 70}, {"c.d", 5, 50}, {"a.b", 7, 70}}));
  EXPECT_EQ(QFileInfo(dir.File(u"F.gdat"_s)).size(), 68 + 24);
}

TEST(GroupList, AppendPairsForNewGroups) {
  TTempDir dir;
  const QString main = WriteList(dir, u"Groups"_s, {{"a.b", 1, 1}});
  WriteList(dir, u"newgroups"_s, {{"n.g", 2, 2}});
  ASSERT_TRUE(TGroupList::AppendFile(dir.File(u"newgroups.gnam"_s), dir.File(u"Groups.gnam"_s), 0));
  ASSERT_TRUE(TGroupList::AppendFile(dir.File(u"newgroups.gdat"_s), dir.File(u"Groups.gdat"_s), 68));
  TGroupList list;
  ASSERT_TRUE(list.Load(main));
  EXPECT_EQ(Contents(list), QList<Group>({{"a.b", 1, 1}, {"n.g", 2, 2}}));
}

TEST(GroupList, ActiveLinesAndCounts) {
  struct Case {
    const char* line;
    const char* name;
    std::int64_t last, first;
    std::int32_t listCount, newGroupsCount;
  };
  const Case cases[] = {
      {"alt.test 0000000100 0000000001 y", "alt.test", 100, 1, 100, 100},
      {"alt.test 5 10 y", "alt.test", 5, 10, 0, -4},  // first > last
      {"alt.empty 0 0 y", "alt.empty", 0, 0, 0, 0},
      {"alt.bad x 3 m", "alt.bad", 0, 3, 0, -2},
      {"alt.only", "alt.only", 0, 0, 0, 0},
      {"  alt.spaces\t 9   1 y", "alt.spaces", 9, 1, 9, 9},
      {"alt.huge 99999999999 1 y", "alt.huge", 99999999999LL, 1, 2147483647, 2147483647},
      {"alt.neg -5 1 y", "alt.neg", 0, 1, 0, 0},
      // Numbers at and past 64 bits: no wrap to a negative count.
      {"alt.top 9223372036854775807 0 y", "alt.top", INT64_MAX, 0, 2147483647, 2147483647},
      {"alt.wrap 9999999999999999999 1 y", "alt.wrap", INT64_MAX, 1, 2147483647, 2147483647},
  };
  for (const Case& c : cases) {
    QByteArrayView name;
    std::int64_t last = -1, first = -1;
    ASSERT_TRUE(TGroupList::ParseActiveLine(c.line, name, last, first)) << c.line;
    EXPECT_EQ(name, QByteArrayView(c.name)) << c.line;
    EXPECT_EQ(last, c.last) << c.line;
    EXPECT_EQ(first, c.first) << c.line;
    EXPECT_EQ(TGroupList::CountFromList(last, first), c.listCount) << c.line;
    EXPECT_EQ(TGroupList::CountFromNewGroups(last, first), c.newGroupsCount) << c.line;
  }
  QByteArrayView name;
  std::int64_t last, first;
  EXPECT_FALSE(TGroupList::ParseActiveLine("   ", name, last, first));
  EXPECT_EQ(TGroupList::TotalText(-9), u"(group not on server) "_s);
  EXPECT_EQ(TGroupList::NewText(3, -9), QString());
  EXPECT_EQ(TGroupList::TotalText(-1), u"? "_s);
  EXPECT_EQ(TGroupList::TotalText(12), u"12 "_s);
}
