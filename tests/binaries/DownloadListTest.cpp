#include "app/Crc32.h"
#include "app/LittleEndian.h"
#include "binaries/DownloadList.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/DownloadListSettings.h"
#include "binaries/DownloadSequence.h"
#include "binaries/DownloadStats.h"
#include "binaries/DupeKeyFile.h"
#include "binaries/FileGroupList.h"
#include "binaries/QueueWriter.h"
#include "binaries/WorkSelection.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray Record(const TDownloadEntry& e) {
  QByteArray r(TDownloadEntry::kRecordSize, '\0');
  e.ToRecord(r.data());
  return r;
}

// A list written by the queue writer: one entry per subject, message-ids
// "id<i>@x", every entry in group "alt.test". lines/bytes per entry optional.
struct TListSpec {
  QByteArray subject;
  std::uint16_t lines = 10;
  std::uint32_t bytes = 1000;
  std::uint8_t status = 0;
};

QString WriteList(const TTempDir& dir, const std::vector<TListSpec>& specs, const QString& name = u"list.cue"_s) {
  const QString path = dir.File(name);
  TQueueWriter writer;
  EXPECT_TRUE(writer.Open(path));
  int i = 0;
  for (const TListSpec& s : specs) {
    TDownloadEntry e;
    e.SetKind(0);
    e.lines = s.lines;
    e.bytes = s.bytes;
    e.status = s.status;
    writer.Write(e, s.subject, "alt.test", "id" + QByteArray::number(i++) + "@x");
  }
  EXPECT_TRUE(writer.Close());
  EXPECT_TRUE(writer.WriteSettings());
  return path;
}

QString Kinds(const TDownloadList& list) {
  QString out;
  for (const TDownloadEntry& e : list.Entries()) out += QString::number(e.Kind());
  return out;
}
}  // namespace

TEST(DownloadEntry, RecordLayoutIsLittleEndianAtFixedOffsets) {
  TDownloadEntry e;
  e.flags = 0x01020304;
  e.date = 0x11121314;
  e.articleNumber = 0x21222324;
  e.totalLines = 0x31323334;
  e.bytes = 0x41424344;
  e.lines = 0x5152;
  e.fileGroup = -2;
  e.totalParts = 0x6162;
  e.partNumber = 0x7172;
  e.counterPosition = 0x0102;
  e.postCount = 3;
  e.postIndex = 2;
  e.newsgroup = 7;
  e.order = 99;
  e.messageIdCrc = 0xA1A2A3A4;
  e.status = DOWNLOAD_STATUS_UNAVAILABLE;
  e.reserved = 5;  // always written as 0
  const QByteArray r = Record(e);
  ASSERT_EQ(r.size(), 66);
  const char* p = r.constData();
  EXPECT_EQ(le::Get32(p + 0), 0x01020304u);
  EXPECT_EQ(le::Get32(p + 4) | le::Get32(p + 8) | le::Get32(p + 12) | le::Get32(p + 20) | le::Get32(p + 24), 0u);
  EXPECT_EQ(le::Get32(p + 16), 0x11121314u);
  EXPECT_EQ(le::Get32(p + 28), 0x21222324u);
  EXPECT_EQ(le::Get32(p + 32), 0x31323334u);
  EXPECT_EQ(le::Get32(p + 36), 0x41424344u);
  EXPECT_EQ(le::Get16(p + 40), 0x5152);
  EXPECT_EQ(le::Get16(p + 42), 0xFFFE);
  EXPECT_EQ(le::Get16(p + 44), 0x6162);
  EXPECT_EQ(le::Get16(p + 46), 0x7172);
  EXPECT_EQ(le::Get16(p + 48), 0x0102);
  EXPECT_EQ(le::Get16(p + 50), 3);
  EXPECT_EQ(le::Get16(p + 52), 2);
  EXPECT_EQ(le::Get16(p + 54), 7);
  EXPECT_EQ(le::Get32(p + 56), 99u);
  EXPECT_EQ(le::Get32(p + 60), 0xA1A2A3A4u);
  EXPECT_EQ(static_cast<unsigned char>(p[64]), 18);
  EXPECT_EQ(p[65], 0);

  const TDownloadEntry back = TDownloadEntry::FromRecord(p);
  EXPECT_EQ(back.fileGroup, -2);
  EXPECT_EQ(back.bytes, e.bytes);
  EXPECT_EQ(back.Status(), DOWNLOAD_STATUS_UNAVAILABLE);
  EXPECT_EQ(Record(back), r.left(65) + '\0');
}

TEST(DownloadEntry, StatusTextsAndSettledStatuses) {
  const struct {
    int status;
    const char* text;
    bool settled;
    bool settledNoRetry;
  } cases[] = {
      {0, "Pending", false, false},       {1, "Downloading", false, false},
      {2, "Unknown state (2)", true, true}, {7, "Unknown state (7)", true, true},
      {9, "Valid", false, false},         {10, "Invalid", true, true},
      {15, "Decode error", false, false}, {16, "Complete", true, true},
      {17, "Skipped", false, false},      {18, "Unavailable", false, true},
      {19, "Duplicate", true, true},      {20, "Some duplicate", true, true},
      {21, "Waiting for check", false, false}, {22, "Requesting", false, false},
      {23, "Unknown state (23)", true, true},  {255, "Unknown state (255)", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(DownloadStatusText(static_cast<std::uint8_t>(c.status)), QString::fromLatin1(c.text));
    EXPECT_EQ(IsSettledDownloadStatus(static_cast<std::uint8_t>(c.status), false), c.settled);
    EXPECT_EQ(IsSettledDownloadStatus(static_cast<std::uint8_t>(c.status), true), c.settledNoRetry);
  }
}

TEST(DownloadListLoad, RecordsPairWithTheirLinesAndStrayBytesAreIgnored) {
  TTempDir dir;
  TDownloadEntry e;
  e.flags = DOWNLOAD_FLAG_SINGLE | DOWNLOAD_FLAG_OWNS_SUBJECT | DOWNLOAD_FLAG_GATHERED | DOWNLOAD_FLAG_OWNS_TEXT |
            DOWNLOAD_FLAG_REMOVED;
  e.order = 42;
  e.status = DOWNLOAD_STATUS_COMPLETE;
  // Two records and one stray byte; the first record's subject line is empty.
  dir.Write(u"l.cue"_s, Record(e) + Record(e) + "X");
  dir.Write(u"l.body"_s, "lost@x\r\n\r\nalt.a\r\nkept@x\r\nSubject two\r\nalt.b\r\n");
  TDownloadList list;
  ASSERT_TRUE(list.Load(dir.File(u"l.cue"_s)));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_FALSE(list.Entry(0).HasTexts());
  EXPECT_TRUE(list.Entry(0).subject.isEmpty());
  EXPECT_EQ(list.Entry(1).messageId, "kept@x");
  EXPECT_EQ(list.Entry(1).subject, "Subject two");
  EXPECT_EQ(list.Newsgroup(list.Entry(1).newsgroup), "alt.b");
  EXPECT_EQ(list.Entry(1).messageIdCrc, Crc32(QByteArrayView("kept@x")));
  for (const TDownloadEntry& loaded : list.Entries()) {
    EXPECT_EQ(loaded.flags, DOWNLOAD_FLAG_SINGLE | DOWNLOAD_FLAG_OWNS_MESSAGEID | DOWNLOAD_FLAG_REMOVED);
    EXPECT_EQ(loaded.order, 0u);
    EXPECT_EQ(loaded.Status(), DOWNLOAD_STATUS_COMPLETE);
  }
}

TEST(DownloadListLoad, MissingCompanionFails) {
  TTempDir dir;
  dir.Write(u"l.cue"_s, QByteArray(66, '\0'));
  TDownloadList list;
  EXPECT_FALSE(list.Load(dir.File(u"l.cue"_s)));
  EXPECT_EQ(list.ErrorText(), u"Queue \""_s + dir.File(u"l.cue"_s) + u"\" does not exists or is missing related files"_s);
  EXPECT_EQ(list.Count(), 0);
}

TEST(DownloadListSave, RoundTripKeepsRecordsAndThreeLinesPerRecord) {
  TTempDir dir;
  const QString path = dir.File(u"l.cue"_s);
  TDownloadList list;
  TDownloadEntry e;
  e.SetKind(0);
  e.bytes = 123;
  e.status = DOWNLOAD_STATUS_UNAVAILABLE;
  list.Append(e, "a@x", "Evil\r\nsubject\twith controls", "alt.one");
  list.Append(e, "b@x", "Second", "alt.two\n");
  ASSERT_TRUE(list.Save(path, true));
  EXPECT_EQ(dir.Read(u"l.body"_s), "a@x\r\nEvil  subject with controls\r\nalt.one\r\nb@x\r\nSecond\r\nalt.two \r\n"_ba);

  TDownloadList back;
  ASSERT_TRUE(back.Load(path));
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Entry(1).messageId, "b@x");
  EXPECT_EQ(back.Entry(1).bytes, 123u);
  EXPECT_EQ(back.Entry(1).Status(), DOWNLOAD_STATUS_UNAVAILABLE);

  // A records-only save leaves P.body alone.
  back.Entry(0).SetStatus(DOWNLOAD_STATUS_COMPLETE);
  const QByteArray body = dir.Read(u"l.body"_s);
  ASSERT_TRUE(back.Save(path, false));
  EXPECT_EQ(dir.Read(u"l.body"_s), body);
  EXPECT_EQ(static_cast<unsigned char>(dir.Read(u"l.cue"_s)[64]), DOWNLOAD_STATUS_COMPLETE);
  EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Files).filter(u".new"_s).isEmpty());
  EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Files).filter(u".tmp"_s).isEmpty());
}

TEST(DownloadListSave, FailedSaveKeepsTheOldPair) {
  TTempDir dir;
  const QString path = WriteList(dir, {{"old one"}, {"old two"}}, u"l.cue"_s);
  const QByteArray cue = dir.Read(u"l.cue"_s);
  const QByteArray body = dir.Read(u"l.body"_s);
  const QByteArray cui = dir.Read(u"l.cui"_s);
  TDownloadList list;
  list.Append(TDownloadEntry{}, "new@x", "new", "alt.new");
  // The body's temporary cannot be created: a directory stands in its way.
  ASSERT_TRUE(QDir().mkpath(BodyTempPath(path)));
  EXPECT_FALSE(list.Save(path, true));
  EXPECT_EQ(dir.Read(u"l.cue"_s), cue);
  EXPECT_EQ(dir.Read(u"l.body"_s), body);
  EXPECT_EQ(dir.Read(u"l.cui"_s), cui);
  EXPECT_FALSE(QFileInfo::exists(CueTempPath(path)));
}

// A save cut short at each step leaves a list that loads, either the old or the new pair.
TEST(DownloadListSave, InterruptedSaveLoadsOldOrNewPair) {
  const struct {
    const char* name;
    bool cueNew;
    bool bodyNew;
    bool bodyInPlace;  // the body was already renamed before the crash
    bool expectNew;
  } cases[] = {
      {"temporaries only", false, false, false, false},
      {"body pending, not committed", false, true, false, false},
      {"committed, nothing renamed", true, true, false, true},
      {"committed, body renamed", true, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    const QString path = WriteList(dir, {{"old"}}, u"l.cue"_s);
    TDownloadList fresh;
    TDownloadEntry e;
    fresh.Append(e, "n1@x", "new one", "alt.new");
    fresh.Append(e, "n2@x", "new two", "alt.new");
    // Produce the new pair under the pending names by hand.
    const QString newCue = dir.File(u"n.cue"_s);
    ASSERT_TRUE(fresh.Save(newCue, true));
    dir.Write(u"l.cue.tmp"_s, dir.Read(u"n.cue"_s));
    dir.Write(u"l.body.tmp"_s, dir.Read(u"n.body"_s));
    if (c.cueNew) dir.Write(u"l.cue.new"_s, dir.Read(u"n.cue"_s));
    if (c.bodyNew) dir.Write(u"l.body.new"_s, dir.Read(u"n.body"_s));
    if (c.bodyInPlace) dir.Write(u"l.body"_s, dir.Read(u"n.body"_s));

    TDownloadList list;
    ASSERT_TRUE(list.Load(path));
    ASSERT_EQ(list.Count(), c.expectNew ? 2 : 1);
    EXPECT_EQ(list.Entry(0).subject, c.expectNew ? "new one" : "old");
    EXPECT_EQ(QDir(dir.Path()).entryList({u"l.*"_s}, QDir::Files).size(), 3);  // cue, body, cui
  }
}

TEST(DownloadListFiles, DeleteRemovesTheRightFamily) {
  const QStringList all = {u"cue"_s, u"cui"_s, u"log"_s, u"lck"_s, u"temp"_s, u"seek"_s, u"txt"_s, u"body"_s,
                           u"stats"_s, u"crc"_s, u"srv"_s, u"grouping"_s, u"cue.new"_s};
  const struct {
    bool texts;
    bool everything;
    QStringList left;
  } cases[] = {
      {false, false, {u"body"_s, u"stats"_s, u"crc"_s, u"srv"_s, u"grouping"_s}},
      {true, false, {u"stats"_s, u"crc"_s, u"srv"_s, u"grouping"_s}},
      {true, true, {}},
  };
  for (const auto& c : cases) {
    TTempDir dir;
    for (const QString& ext : all) dir.Write(u"my.list."_s + ext, "x");
    dir.Write(u"other.cue"_s, "x");
    DeleteDownloadList(dir.File(u"my.list.cue"_s), c.texts, c.everything);
    QStringList left;
    for (const QString& ext : all)
      if (QFileInfo::exists(dir.File(u"my.list."_s + ext))) left.append(ext);
    EXPECT_EQ(left, c.left);
    EXPECT_TRUE(QFileInfo::exists(dir.File(u"other.cue"_s)));
  }
}

TEST(QueueWriter, ReplacesAnOlderListOnlyWhenClosed) {
  TTempDir dir;
  const QString path = WriteList(dir, {{"old"}}, u"l.cue"_s);
  dir.Write(u"l.stats"_s, "[Dupe]\r\nFiles=1\r\n");
  const QByteArray oldCue = dir.Read(u"l.cue"_s);
  {
    TQueueWriter writer;
    ASSERT_TRUE(writer.Open(path));
    writer.Write(TDownloadEntry{}, "abandoned", "alt.x", "z@x");
    // Dropped without Close: the old list stays and no temporary is left.
  }
  EXPECT_EQ(dir.Read(u"l.cue"_s), oldCue);
  EXPECT_FALSE(QFileInfo::exists(CueTempPath(path)));
  EXPECT_FALSE(QFileInfo::exists(BodyTempPath(path)));

  TQueueWriter writer;
  writer.ForceDisplayBytes = true;
  ASSERT_TRUE(writer.Open(path));
  TDownloadEntry single;
  single.SetKind(0);
  TDownloadEntry multi;
  multi.SetKind(1);
  multi.postCount = 3;
  writer.Write(single, "s", "alt.x", "1@x");
  writer.Write(multi, "m", "alt.x", "2@x");
  writer.Write(multi, "m", "alt.x", "3@x");
  ASSERT_TRUE(writer.Close());
  ASSERT_TRUE(writer.WriteSettings(u"/dl/"_s));
  EXPECT_EQ(dir.Read(u"l.cue"_s).size(), 3 * 66);
  EXPECT_EQ(dir.Read(u"l.stats"_s), "[Dupe]\r\nFiles=1\r\n");
  const TDownloadListSettings s = TDownloadListSettings::Read(path);
  EXPECT_TRUE(s.ForceDisplayBytes);
  EXPECT_EQ(s.DecodePath, u"/dl/"_s);
  EXPECT_EQ(s.TotalPosts, 3);
  EXPECT_EQ(s.TotalMessages, 7);
  EXPECT_EQ(s.TotalSingle, 1);
  EXPECT_EQ(s.TotalMulti, 2);
}

TEST(DownloadListSettings, DefaultsAndRoundTrip) {
  TTempDir dir;
  const QString path = dir.File(u"l.cue"_s);
  const TDownloadListSettings d = TDownloadListSettings::Read(path);
  EXPECT_TRUE(d.UseAlternate);
  EXPECT_TRUE(d.Downloadincompleteposts);
  EXPECT_EQ(d.SaveQueueFrequency, 1);
  EXPECT_EQ(d.AuthenticationErrorAction, 1);
  EXPECT_FALSE(d.KillDupes);

  TDownloadListSettings s;
  s.DecodePath = u"/x/y z/"_s;
  s.KillDupes = s.CheckMessages = s.KeepMessages = s.AllConnectionUnlimited = s.cbSaveToNewsgroupName = true;
  s.Downloadincompleteposts = false;
  s.SaveQueueFrequency = 25;
  s.AuthenticationErrorAction = 2;
  s.Stats_BytesReceived = 1.5e12;
  s.Stats_PostDecoded = 7;
  ASSERT_TRUE(s.Write(path));
  const QByteArray text = dir.Read(u"l.cui"_s);
  EXPECT_TRUE(text.contains("Downloadincompleteposts=0")) << text.constData();
  EXPECT_TRUE(text.contains("Stats_BytesReceived=1500000000000")) << text.constData();
  const TDownloadListSettings r = TDownloadListSettings::Read(path);
  EXPECT_EQ(r.DecodePath, s.DecodePath);
  EXPECT_TRUE(r.KillDupes && r.CheckMessages && r.KeepMessages && r.AllConnectionUnlimited && r.cbSaveToNewsgroupName);
  EXPECT_FALSE(r.Downloadincompleteposts);
  EXPECT_EQ(r.SaveQueueFrequency, 25);
  EXPECT_EQ(r.AuthenticationErrorAction, 2);
  EXPECT_EQ(r.Stats_BytesReceived, 1.5e12);
  EXPECT_EQ(r.Stats_PostDecoded, 7);
}

TEST(DupeKeyFile, LoadsWholeRecordsAndAppendsAligned) {
  TTempDir dir;
  const QString path = dir.File(u"l.cue"_s);
  EXPECT_EQ(LoadDupeKeys(path), QSet<std::uint32_t>({0u}));
  ASSERT_TRUE(AppendDupeKeys(path, {0x11223344u, 7u}));
  EXPECT_EQ(dir.Read(u"l.crc"_s), QByteArray("\x44\x33\x22\x11\x07\x00\x00\x00", 8));
  // A record cut short by a crash: ignored on load, cut back before the next append.
  dir.Write(u"l.crc"_s, dir.Read(u"l.crc"_s) + "\x01\x02");
  EXPECT_EQ(LoadDupeKeys(path), QSet<std::uint32_t>({0x11223344u, 7u}));
  ASSERT_TRUE(AppendDupeKeys(path, {9u}));
  EXPECT_EQ(dir.Read(u"l.crc"_s).size(), 12);
  EXPECT_EQ(LoadDupeKeys(path), QSet<std::uint32_t>({0x11223344u, 7u, 9u}));
}

TEST(FileGroupList, FirstGroupIsLineOneAndBadNamesAreRefused) {
  TTempDir dir;
  const QString path = dir.File(u"l.cue"_s);
  for (const char* bad : {"a/b", "a\\b", "a?", "<a", "a>", "a:b", "a*", "\"a\"", "a|b", ""}) {
    SCOPED_TRACE(bad);
    TFileGroupList groups;
    EXPECT_EQ(groups.Add(path, bad), -1);
  }
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"l.grouping"_s)));
  dir.Write(u"l.grouping"_s, "");
  TFileGroupList groups;
  ASSERT_TRUE(groups.Load(path));
  EXPECT_EQ(groups.Add(path, "Movies"), 1);
  EXPECT_EQ(groups.Add(path, "Music"), 2);
  EXPECT_EQ(dir.Read(u"l.grouping"_s), "\r\nMovies\r\nMusic\r\n");
  TFileGroupList back;
  ASSERT_TRUE(back.Load(path));
  EXPECT_EQ(back.Name(1), "Movies");
  EXPECT_EQ(back.Name(2), "Music");
  EXPECT_EQ(back.Name(3), "");
  EXPECT_EQ(back.IndexOf("Music"), 2);
}

TEST(FileGroupList, BrowserGroupsGetOneLineEach) {
  TTempDir dir;
  const QString path = dir.File(u"l.cue"_s);
  TDownloadList list;
  for (int g : {-3, -3, 0, -5}) {
    TDownloadEntry e;
    e.fileGroup = static_cast<std::int16_t>(g);
    list.Append(e, "id" + QByteArray::number(list.Count()), "subject " + QByteArray::number(list.Count()), "alt.x");
  }
  list.BuildPosts();
  TFileGroupList groups;
  ASSERT_TRUE(groups.EnterBrowserGroups(path, list));
  EXPECT_EQ(dir.Read(u"l.grouping"_s), "\r\nFile group 3\r\nFile group 5\r\n");
  EXPECT_EQ(list.Entry(0).fileGroup, 1);
  EXPECT_EQ(list.Entry(1).fileGroup, 1);
  EXPECT_EQ(list.Entry(2).fileGroup, 0);
  EXPECT_EQ(list.Entry(3).fileGroup, 2);
}

TEST(DownloadStats, AccumulatesAcrossSessionsAndResets) {
  TTempDir dir;
  const QString path = dir.File(u"l.stats"_s);
  {
    TDownloadStats stats;
    stats.Load(path);
    stats.AddArticle(u"Main"_s, 1000, 5);
    stats.AddArticle(u"Main"_s, 500, 5);
    stats.AddArticle(u"Fill"_s, 10, 23);
    stats.AddDuplicate(4096);
    ASSERT_TRUE(stats.Write());
  }
  TDownloadStats stats;
  stats.Load(path);
  stats.AddArticle(u"Main"_s, 1, 99);  // hour clamped to 23
  EXPECT_EQ(stats.Servers().value(u"Main"_s).bytes, 1501.0);
  EXPECT_EQ(stats.Servers().value(u"Main"_s).files, 3);
  EXPECT_EQ(stats.ArticlesInHour(5), 2);
  EXPECT_EQ(stats.BytesInHour(5), 1500);
  EXPECT_EQ(stats.ArticlesInHour(23), 2);
  EXPECT_EQ(stats.DupeFiles(), 1.0);
  EXPECT_EQ(stats.DupeBytes(), 4096.0);
  const QByteArray text = dir.Read(u"l.stats"_s);
  for (const char* section : {"[BytesReceived]", "[FilesReceived]", "[HourofDay]", "[BytesperHour]", "[Dupe]"})
    EXPECT_TRUE(text.contains(section)) << section;
  stats.Reset();
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(stats.Servers().isEmpty());
}

TEST(DownloadSequence, TakesUsableListsInOrderAndDeletesTheFileAtTheEnd) {
  TTempDir dir;
  const QString data = dir.Path();
  const QString a = WriteList(dir, {{"a"}}, u"a.cue"_s);
  const QString b = WriteList(dir, {{"b"}}, u"b.cue"_s);
  ASSERT_TRUE(TDownloadSequence::Write(data, {dir.File(u"gone.cue"_s), a, b}));
  EXPECT_EQ(TDownloadSequence::TakeNext(data), a);  // the list without P.cui was passed over
  EXPECT_EQ(TDownloadSequence::Read(data), QStringList({b}));
  EXPECT_EQ(TDownloadSequence::TakeNext(data), b);
  EXPECT_EQ(TDownloadSequence::TakeNext(data), QString());
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"_QueueList.txt"_s)));
}

// Posts built from subjects: counters, sorting, complete and incomplete
// posts, reposted parts, singles shown together, removed entries.
TEST(DownloadListPosts, BuildsPostsFromSubjects) {
  const struct {
    const char* name;
    std::vector<TListSpec> entries;
    const char* kinds;          // kind of each entry after building, in list order
    std::vector<int> parts;     // part number of each entry after building
    std::vector<int> rows;      // post entries shown
  } cases[] = {
      {"parts out of order form one complete post",
       {{"file.rar (3/3)"}, {"file.rar (1/3)"}, {"file.rar (2/3)"}},
       "133", {1, 2, 3}, {0}},
      {"case is ignored; brackets count when there are no parentheses",
       {{"Pic [1/2] yEnc"}, {"PIC [2/2] YENC"}},
       "13", {1, 2}, {0}},
      {"a missing part makes an incomplete post",
       {{"a (1/3)"}, {"a (3/3)"}, {"b"}},
       "240", {1, 3, 0}, {0, 2}},
      {"a repost sorts the larger copy first",
       {{"a (2/2)", 10}, {"a (1/2)", 10}, {"a (2/2)", 20}},
       "133", {1, 2, 2}, {0}},
      {"another subject starts another post",
       {{"a (1/2)"}, {"a (2/2)"}, {"b (1/1)"}},
       "131", {1, 2, 1}, {0, 2}},
      {"singles with one subject share a row",
       {{"notes.txt"}, {"Notes.txt"}, {"other"}},
       "000", {0, 0, 0}, {0, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    TDownloadList list;
    ASSERT_TRUE(list.Load(WriteList(dir, c.entries)));
    list.BuildPosts();
    EXPECT_EQ(Kinds(list), QString::fromLatin1(c.kinds));
    std::vector<int> parts;
    for (const TDownloadEntry& e : list.Entries()) parts.push_back(e.partNumber);
    EXPECT_EQ(parts, c.parts);
    EXPECT_EQ(list.Rows(), c.rows);
  }
}

TEST(DownloadListPosts, PostFieldsAndRemovedEntries) {
  TTempDir dir;
  TDownloadList list;
  ASSERT_TRUE(list.Load(WriteList(dir, {{"x (1/2) ", 5}, {"x (2/2) ", 7}, {"gone"}, {"kept"}})));
  list.Entry(2).SetFlag(DOWNLOAD_FLAG_REMOVED, true);
  list.BuildPosts();
  const TDownloadEntry& first = list.Entry(0);
  // A removed entry inside the post's run is taken in; "kept" starts a row of its own.
  EXPECT_EQ(first.postCount, 3);
  EXPECT_EQ(first.totalLines, 22u);
  EXPECT_EQ(first.totalParts, 2);
  EXPECT_EQ(first.counterPosition, 3);
  EXPECT_EQ(list.Entry(1).parent, 0);
  EXPECT_EQ(list.Entry(1).postIndex, 1);
  EXPECT_EQ(list.Entry(1).totalLines, 7u);
  EXPECT_EQ(list.PostOf(1), 0);
  EXPECT_EQ(list.PostRange(0), std::make_pair(0, 3));
  EXPECT_EQ(list.Rows(), std::vector<int>({0, 3}));
  EXPECT_EQ(list.Entry(1).order, 1u);
  EXPECT_EQ(list.Entry(2).order, 1u);
  EXPECT_EQ(list.Entry(3).order, 2u);
  // Saving with texts keeps the subjects exactly as stored.
  ASSERT_TRUE(list.Save(dir.File(u"list.cue"_s), true));
  TDownloadList back;
  ASSERT_TRUE(back.Load(dir.File(u"list.cue"_s)));
  EXPECT_EQ(back.Entry(0).subject, "x (1/2) ");
}

TEST(WorkSelection, PicksTheWorkAndLeavesSettledPostsAlone) {
  TTempDir dir;
  TDownloadList list;
  ASSERT_TRUE(list.Load(WriteList(
      dir, {
               {"done (1/2)", 10, 10, DOWNLOAD_STATUS_COMPLETE},  // 0: settled post
               {"done (2/2)", 10, 10, DOWNLOAD_STATUS_COMPLETE},
               {"rep (1/3)", 10, 100},  // 2
               {"rep (2/3)", 10, 100},  // 3
               {"rep (3/3)", 10, 100},  // 4: the smaller copy of part 3
               {"rep (3/3)", 10, 900},  // 5: the larger one
               {"inc (1/3)"},           // 6: incomplete post
               {"inc (2/3)"},
               {"one", 1, 1, DOWNLOAD_STATUS_COMPLETE},    // 8: a single already done
               {"one", 1, 1, DOWNLOAD_STATUS_DECODE_ERROR},  // 9: gathered under it, failed
               {"gone", 1, 1, DOWNLOAD_STATUS_UNAVAILABLE},  // 10
           })));
  list.BuildPosts();
  ASSERT_EQ(Kinds(list), u"13133324000"_s);

  TDownloadList again = list;
  const std::vector<int> all = SelectWork(list, {true, false});
  EXPECT_EQ(all, std::vector<int>({2, 3, 5, 6, 7, 9, 10}));
  EXPECT_EQ(list.Entry(4).Status(), DOWNLOAD_STATUS_SKIPPED);
  EXPECT_FALSE(list.Entry(4).HasFlag(DOWNLOAD_FLAG_SELECTED));
  EXPECT_TRUE(list.Entry(5).HasFlag(DOWNLOAD_FLAG_SELECTED));
  EXPECT_EQ(list.Entry(9).Status(), DOWNLOAD_STATUS_PENDING);
  EXPECT_EQ(list.Entry(8).Status(), DOWNLOAD_STATUS_COMPLETE);
  EXPECT_FALSE(list.Entry(0).HasFlag(DOWNLOAD_FLAG_SELECTED));

  const std::vector<int> strict = SelectWork(again, {false, true});
  EXPECT_EQ(strict, std::vector<int>({2, 3, 5, 9}));
  EXPECT_EQ(again.Entry(6).Status(), DOWNLOAD_STATUS_SKIPPED);
  EXPECT_EQ(again.Entry(7).Status(), DOWNLOAD_STATUS_SKIPPED);
  EXPECT_EQ(again.Entry(10).Status(), DOWNLOAD_STATUS_UNAVAILABLE);
}

TEST(WorkSelection, SessionEndResetsAllButSettledStatuses) {
  TTempDir dir;
  const std::uint8_t statuses[] = {1, 9, 10, 11, 15, 16, 17, 18, 19, 20, 21, 22, 30};
  std::vector<TListSpec> specs;
  for (std::uint8_t s : statuses) specs.push_back({"single " + QByteArray::number(s), 1, 1, s});
  TDownloadList list;
  ASSERT_TRUE(list.Load(WriteList(dir, specs)));
  list.BuildPosts();
  TDownloadList noRetry = list;
  ResetStatusesAfterSession(list, false);
  ResetStatusesAfterSession(noRetry, true);
  QByteArray after;
  QByteArray afterNoRetry;
  for (int i = 0; i < list.Count(); ++i) {
    after += QByteArray::number(list.Entry(i).Status()) + ' ';
    afterNoRetry += QByteArray::number(noRetry.Entry(i).Status()) + ' ';
  }
  EXPECT_EQ(after, "0 0 10 0 0 16 0 0 19 20 0 0 30 ");
  EXPECT_EQ(afterNoRetry, "0 0 10 0 0 16 0 18 19 20 0 0 30 ");
}
