#include "GroupListFixtures.h"

#include "newsgroups/NewGroupsMerge.h"
#include "newsgroups/NewsgroupLoader.h"

#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {
const QList<TGroupRow> kMain = {{"zz.old", 1, 1}, {"aa.old", 2, 2}};
const QList<TGroupRow> kNew = {{"mm.new", 3, 3}, {"aa.old", 4, 4}};

QString Folder(const TTempDir& dir) { return dir.File(u"_Favorites/New Newsgroups.gnam"_s); }
bool ResultFilesGone(const TTempDir& dir) {
  return !QFileInfo::exists(dir.File(u"newgroups.gnam"_s)) && !QFileInfo::exists(dir.File(u"newgroups.gdat"_s));
}
// Files may not grow past limit bytes while it lives: a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &fSaved);
    rlimit small = fSaved;
    small.rlim_cur = limit;
    fOk = setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &fSaved); }
  bool Ok() const { return fOk; }

 private:
  rlimit fSaved{};
  bool fOk = false;
};
}  // namespace

TEST(NewGroupsMerge, FullDiskKeepsTheMainListWhole) {
  // Rewrites of a main list of some 40,000 groups, the names alone near 1 MB.
  QList<TGroupRow> big;
  for (int i = 40000; i > 0; --i) big.append({"alt.binaries.group." + QByteArray::number(i), i, i});
  for (const bool sort : {false, true}) {
    SCOPED_TRACE(sort ? "sorting the main list" : "merging new groups into it");
    TTempDir dir;
    WriteGroupList(dir.Path(), u"Groups"_s, big);
    WriteGroupList(dir.Path(), u"newgroups"_s, kNew);
    const QByteArray names = dir.Read(u"Groups.gnam"_s), data = dir.Read(u"Groups.gdat"_s);
    {
      TFileSizeLimit full(256 * 1024);
      ASSERT_TRUE(full.Ok());
      if (sort)
        EXPECT_FALSE(TGroupList::Sort(dir.File(u"Groups.gnam"_s), true));
      else
        EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 2), TNewGroupsMerge::MERGE_FAILED);
    }
    EXPECT_EQ(dir.Read(u"Groups.gnam"_s), names);
    EXPECT_EQ(dir.Read(u"Groups.gdat"_s), data);
    EXPECT_TRUE(QDir(dir.Path()).entryList({u"*.gnamt*"_s, u"*.gdatt*"_s, u"*.old"_s}, QDir::Files).isEmpty());
  }
}

TEST(NewGroupsMerge, AppendsToTheMainListAndFillsTheFolder) {
  TTempDir dir;
  WriteGroupList(dir.Path(), u"Groups"_s, kMain);
  // A stale folder from an earlier check is replaced.
  QDir().mkpath(dir.File(u"_Favorites"_s));
  WriteGroupList(dir.File(u"_Favorites/"_s), u"New Newsgroups"_s, {{"stale.group", 0, 0}});
  WriteGroupList(dir.Path(), u"newgroups"_s, kNew);
  EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 2), TNewGroupsMerge::MERGE_ADDED);
  EXPECT_EQ(ReadGroupList(dir.File(u"Groups.gnam"_s)), kMain + kNew);
  EXPECT_EQ(ReadGroupList(Folder(dir)), kNew);
  EXPECT_TRUE(ResultFilesGone(dir));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gnamt"_s)));
  // Sorting afterwards drops the group that was there already.
  ASSERT_TRUE(TGroupList::Sort(dir.File(u"Groups.gnam"_s), true));
  EXPECT_EQ(ReadGroupList(dir.File(u"Groups.gnam"_s)),
            QList<TGroupRow>({{"aa.old", 4, 4}, {"mm.new", 3, 3}, {"zz.old", 1, 1}}));
}

TEST(NewGroupsMerge, WithoutAMainListOrWithoutGroups) {
  {
    TTempDir dir;
    WriteGroupList(dir.Path(), u"newgroups"_s, kNew);
    EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 2), TNewGroupsMerge::MERGE_NO_MAIN_LIST);
    // No data file without its header is made up for a list that never was.
    EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gnam"_s)));
    EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gdat"_s)));
    EXPECT_EQ(ReadGroupList(Folder(dir)), kNew);
    EXPECT_TRUE(ResultFilesGone(dir));
  }
  {
    TTempDir dir;
    WriteGroupList(dir.Path(), u"Groups"_s, kMain);
    WriteGroupList(dir.Path(), u"NewGroups"_s, {});
    EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 0), TNewGroupsMerge::MERGE_NOTHING);
    EXPECT_EQ(ReadGroupList(dir.File(u"Groups.gnam"_s)), kMain);
    EXPECT_TRUE(ResultFilesGone(dir));
    EXPECT_FALSE(QFileInfo::exists(dir.File(u"NewGroups.gnam"_s)));
  }
}

TEST(NewGroupsMerge, DamagedMainListIsLeftAlone) {
  TTempDir dir;
  WriteGroupList(dir.Path(), u"Groups"_s, kMain);
  const QByteArray torn = dir.Read(u"Groups.gnam"_s).left(5);
  dir.Write(u"Groups.gnam"_s, torn);
  const QByteArray data = dir.Read(u"Groups.gdat"_s);
  WriteGroupList(dir.Path(), u"newgroups"_s, kNew);
  EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 2), TNewGroupsMerge::MERGE_FAILED);
  EXPECT_EQ(dir.Read(u"Groups.gnam"_s), torn);
  EXPECT_EQ(dir.Read(u"Groups.gdat"_s), data);
  EXPECT_EQ(ReadGroupList(Folder(dir)), kNew);  // the user still sees them
}

TEST(NewGroupsMerge, MainListWithTrailingBytesMergesByItsEntries) {
  TTempDir dir;
  WriteGroupList(dir.Path(), u"groups"_s, kMain);  // another case on disk
  // A torn last record and stray bytes after the last name are not carried over.
  dir.Write(u"groups.gdat"_s, dir.Read(u"groups.gdat"_s) + "\x01\x02\x03");
  dir.Write(u"groups.gnam"_s, dir.Read(u"groups.gnam"_s) + "\x05junk");
  WriteGroupList(dir.Path(), u"newgroups"_s, kNew);
  EXPECT_EQ(TNewGroupsMerge::Merge(dir.Path(), 2), TNewGroupsMerge::MERGE_ADDED);
  EXPECT_EQ(ReadGroupList(dir.File(u"groups.gnam"_s)), kMain + kNew);
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"Groups.gnam"_s)) && QFileInfo::exists(dir.File(u"groups.gnam"_s)));
}

TEST(NewsgroupLoader, LoadsInTheBackgroundAndKeepsOnlyTheLatestLoad) {
  TTempDir dir;
  QList<TGroupRow> big;
  for (int i = 0; i < 50000; ++i) big.append({"alt.group." + QByteArray::number(i), i, i});
  WriteGroupList(dir.Path(), u"Big"_s, big);
  WriteGroupList(dir.Path(), u"Small"_s, {{"alt.bold", 1, 1}, {"alt.plain", 2, 2}});
  TNewsgroupLoader loader;
  int loadedSignals = 0;
  bool lastOk = false;
  QObject::connect(&loader, &TNewsgroupLoader::Loaded, [&](bool ok) {
    ++loadedSignals;
    lastOk = ok;
  });
  loader.Load(dir.File(u"Big.gnam"_s));
  loader.Load(dir.File(u"Small.gnam"_s), {"ALT.BOLD"});
  EXPECT_TRUE(loader.IsLoading());
  ASSERT_TRUE(SpinUntil([&] { return !loader.IsLoading(); }));
  EXPECT_TRUE(lastOk);
  ASSERT_EQ(loader.List()->Count(), 2);
  EXPECT_EQ(loader.List()->entries[0].flags, TGroupListEntry::FLAG_HIGHLIGHTED);
  EXPECT_EQ(loader.List()->entries[1].flags, 0);
  // The superseded load never reports, even once it has ended.
  SpinUntil([] { return false; }, 300);
  EXPECT_EQ(loadedSignals, 1);

  loader.Load(dir.File(u"Missing.gnam"_s));
  ASSERT_TRUE(SpinUntil([&] { return !loader.IsLoading(); }));
  EXPECT_FALSE(lastOk);
  EXPECT_EQ(loader.List()->Count(), 0);
}
