#include "app/Settings.h"
#include "binaries/DownloadList.h"
#include "binaries/DownloadListSettings.h"
#include "binaries/ImportNzb.h"
#include "binaries/NzbImporter.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
QString Nzb(const char* name) { return TestDataPath(u"binaries/nzb/"_s + QString::fromLatin1(name)); }

const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n";

// Imports and loads the list back (posts built), or fails the test.
struct TImported {
  TTempDir dir;
  QString cue;
  TDownloadList list;
  bool ok = false;
  QString error;

  explicit TImported(const QString& nzb) {
    cue = dir.File(u"list.cue"_s);
    ok = ImportNZBFile(nzb, cue, &error);
    if (ok) {
      EXPECT_TRUE(list.Load(cue));
      list.BuildPosts();
    }
  }
};

TNzbSegment Segment(const char* subject, int number, int fileSegments = 1) {
  TNzbSegment s;
  s.subject = subject;
  s.number = static_cast<std::uint16_t>(number);
  s.fileSegments = fileSegments;
  s.fileMaxNumber = number;
  return s;
}
}  // namespace

TEST(NzbImport, SegmentRecordTakesTheSegmentNumberIntoTheCounter) {
  const struct {
    const char* subject;
    int number;
    int fileSegments;
    const char* stored;
    int total;
  } cases[] = {
      {"files (1/3) a.rar yEnc (1/10)", 4, 10, "files (1/3) a.rar yEnc (4/10)", 10},
      {"\"x.bin\" yEnc [2/7]", 2, 7, "\"x.bin\" yEnc (2/7)", 7},  // brackets when there are no parentheses
      {"[1/5] - \"a.r00\" yEnc (12/40) 123", 12, 40, "[1/5] - \"a.r00\" yEnc  123 (12/40)", 40},
      {"single.nfo yEnc", 1, 1, "single.nfo yEnc", 0},
      {"obfuscated", 2, 3, "obfuscated (2/3)", 3},  // one file in several articles stays one post
      {"big (1/99999999)", 1, 1, "big (1/65535)", 65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subject);
    QByteArray subject;
    const TDownloadEntry e = TImportNZB::SegmentRecord(Segment(c.subject, c.number, c.fileSegments), subject);
    EXPECT_EQ(subject, QByteArray(c.stored));
    EXPECT_EQ(e.totalParts, c.total);
    EXPECT_EQ(e.partNumber, c.number);
    EXPECT_EQ(e.Kind(), 0);
    EXPECT_EQ(e.postCount, 1);
    EXPECT_EQ(e.lines, 0);
    EXPECT_EQ(e.articleNumber, 0u);
  }
}

TEST(NzbImport, DatesBecomeShortDatesAndClamp) {
  QByteArray subject;
  TNzbSegment s = Segment("a", 1);
  s.date = 0.0 / 86400 + 25569;  // 1970-01-01
  EXPECT_NE(TImportNZB::SegmentRecord(s, subject).date, 0u);
  s.date = 19000;  // before 3 October 1954
  EXPECT_EQ(TImportNZB::SegmentRecord(s, subject).date, 0u);
  s.date = 1e300;
  EXPECT_EQ(TImportNZB::SegmentRecord(s, subject).date, 0xFFFFFFFFu);
}

// Real NZB files from other programs' test suites.
TEST(NzbImport, RealFilesBecomeLists) {
  const struct {
    const char* file;
    int records;
    int rows;
    const char* firstId;
    const char* firstSubject;
    const char* group;
  } cases[] = {
      {"sabnzbd.nzb", 2, 1, "123456789abcdef@news.newzbin.com", "Here's your file!  abc-mr2a.r01 (1/2)",
       "alt.binaries.newzbin"},
      {"sabnzbd-no-namespace.nzb", 2, 1, "123456789abcdef@news.newzbin.com", "Here's your file!  abc-mr2a.r01 (1/2)",
       "alt.binaries.newzbin"},
      {"big_buck_bunny.nzb", 35, 5, nullptr, nullptr, nullptr},
      {"big_buck_bunny.nzb.gz", 35, 5, nullptr, nullptr, nullptr},
      {"invalid_gzipped_nzb.nzb.gz", 2, 1, nullptr, nullptr, nullptr},  // plain XML despite its name
      {"some_nzb_file", 10, 10, nullptr, nullptr, nullptr},
      {"plain.nzb", 3, 3, nullptr, nullptr, nullptr},
      {"decode.nzb", 2582, 46, "VNdHifYKSAtPRNYRoIhyQLghUETQLDaC@UFK",
       "[02/45] - \"ubuntu-mate-16.04.2-desktop-amd64.iso.part01.rar\" (1/66)", "alt.binaries.test"},
      {"encode.nzb", 3, 2, nullptr, nullptr, nullptr},
      // Missing or bad sizes count as 0.
      {"Ubuntu-16.04.1-Server-i386-badsize.nzb", 1013, 55, nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TImported imported(Nzb(c.file));
    ASSERT_TRUE(imported.ok) << imported.error.toStdString();
    EXPECT_EQ(imported.list.Count(), c.records);
    EXPECT_EQ(static_cast<int>(imported.list.Rows().size()), c.rows);
    const TDownloadListSettings s = TDownloadListSettings::Read(imported.cue);
    EXPECT_TRUE(s.ForceDisplayBytes);
    EXPECT_EQ(s.TotalPosts, c.records);
    for (const TDownloadEntry& e : imported.list.Entries()) {
      EXPECT_EQ(e.articleNumber, 0u);
      EXPECT_TRUE(e.HasTexts());
    }
    if (c.firstId) {
      // The first row's post entry is the first article of the first file.
      const TDownloadEntry& e = imported.list.Entry(imported.list.Rows().front());
      EXPECT_EQ(e.messageId, QByteArray(c.firstId));
      EXPECT_EQ(e.subject, QByteArray(c.firstSubject));
      EXPECT_EQ(imported.list.Newsgroup(e.newsgroup), QByteArray(c.group));
    }
  }
}

TEST(NzbImport, FilesBecomeMultipartPostsWithTheirSizes) {
  TImported imported(Nzb("decode.nzb"));
  ASSERT_TRUE(imported.ok);
  const TDownloadEntry& first = imported.list.Entry(0);
  EXPECT_EQ(first.Kind(), 1);  // all 66 parts present
  EXPECT_EQ(first.postCount, 66);
  EXPECT_EQ(first.totalParts, 66);
  EXPECT_EQ(first.bytes, 787135u);
  EXPECT_EQ(imported.list.Entry(1).Kind(), 3);
  EXPECT_EQ(imported.list.Entry(1).partNumber, 2);
}

TEST(NzbImport, EntitiesAreDecodedOnce) {
  TImported imported(Nzb("encode.nzb"));
  ASSERT_TRUE(imported.ok);
  QByteArrayList subjects;
  for (const TDownloadEntry& e : imported.list.Entries()) subjects.append(e.subject);
  EXPECT_TRUE(subjects.contains("[02/45] - \"ubuntu-mate-16.04.2-desktop-amd64.iso.part01.rar\" (1/66)"));
  EXPECT_TRUE(subjects.contains("[01/45] - &quot;ubuntu-mate-16.04.2-desktop-amd64.iso.par2&quot; (1/1)"));
}

TEST(NzbImport, AFileWithoutCounterStaysOnePost) {
  TImported imported(Nzb("bad_subject.nzb"));
  ASSERT_TRUE(imported.ok);
  ASSERT_EQ(imported.list.Count(), 2);
  EXPECT_EQ(imported.list.Entry(0).subject, "WQDMm92SQnbDguxHUwXugqbku5Z22JSs (1/2)");
  EXPECT_EQ(imported.list.Entry(0).Kind(), 1);
  EXPECT_EQ(imported.list.Entry(1).Kind(), 3);
}

TEST(NzbImport, SegmentsWithUnusableIdsAreSkipped) {
  TImported imported(Nzb("valid_nzb_with_bad_segments.nzb"));
  ASSERT_TRUE(imported.ok);
  // Of 35 segments, only the one with an empty message-id is left out.
  EXPECT_EQ(imported.list.Count(), 34);
}

// Files that are not sound NZBs are refused, and an older list of the same
// name is left exactly as it was.
TEST(NzbImport, MalformedFilesCreateNoList) {
  TTempDir scratch;
  const QString truncated = scratch.Write(
      u"truncated.nzb"_s, QByteArray(kHead) + "<file subject=\"a (1/1)\"><groups><group>alt.x</group></groups>"
                                              "<segments><segment bytes=\"1\" number=\"1\">a@x</segment>");
  const QString notNzb = scratch.Write(u"other.xml"_s, "<?xml version=\"1.0\"?><html><body/></html>");
  const QString empty = scratch.Write(u"empty.nzb"_s, "");
  const QString laughs = scratch.Write(
      u"laughs.nzb"_s,
      "<?xml version=\"1.0\"?>\n<!DOCTYPE nzb [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n]>\n"
      "<nzb><file subject=\"&d;\"><groups><group>alt.x</group></groups>"
      "<segments><segment number=\"1\">a@x</segment></segments></file></nzb>\n");
  const QString files[] = {Nzb("malformed_files.nzb"),   Nzb("malformed_files2.nzb"),
                           Nzb("malformed_groups.nzb"),  Nzb("malformed_segments.nzb"),
                           Nzb("invalid_bytes.nzb"),     Nzb("Ubuntu-16.04.1-Server-i386-nofile.nzb"),
                           truncated,                    notNzb,
                           empty,                        laughs,
                           scratch.File(u"missing.nzb"_s)};
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    TTempDir dir;
    const QString cue = dir.File(u"list.cue"_s);
    ASSERT_TRUE(ImportNZBFile(Nzb("sabnzbd.nzb"), cue));
    const QByteArray oldCue = dir.Read(u"list.cue"_s);
    const QByteArray oldBody = dir.Read(u"list.body"_s);
    const QByteArray oldCui = dir.Read(u"list.cui"_s);
    QString error;
    EXPECT_FALSE(ImportNZBFile(file, cue, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.Read(u"list.cue"_s), oldCue);
    EXPECT_EQ(dir.Read(u"list.body"_s), oldBody);
    EXPECT_EQ(dir.Read(u"list.cui"_s), oldCui);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files).size(), 3);

    TTempDir fresh;
    EXPECT_FALSE(ImportNZBFile(file, fresh.File(u"new.cue"_s)));
    EXPECT_TRUE(QDir(fresh.Path()).entryList(QDir::Files).isEmpty());
  }
}

TEST(NzbImport, HostileValuesAreClampedOrRefused) {
  TTempDir dir;
  const QString nzb = dir.Write(
      u"hostile.nzb"_s,
      QByteArray(kHead) +
          "<file poster=\"p\" date=\"99999999999999999999999\" subject=\"evil&#13;&#10;subject (1/3)\">"
          "<groups><group>alt.bad&#10;group</group><group>alt.second</group></groups><segments>"
          "<segment bytes=\"99999999999\" number=\"1\">&lt;one@x&gt;</segment>"
          "<segment bytes=\"-5\" number=\"2\">two@x&#13;&#10;QUIT</segment>"
          "<segment bytes=\"x\" number=\"3\">has space@x</segment>"
          "<segment bytes=\"12\" number=\"999999\">four@x</segment>"
          "</segments></file></nzb>");
  const QString cue = dir.File(u"list.cue"_s);
  ASSERT_TRUE(ImportNZBFile(nzb, cue));
  // Still three lines per record, however the texts tried to break them.
  EXPECT_EQ(dir.Read(u"list.body"_s).count("\r\n"), 6);
  TDownloadList list;
  ASSERT_TRUE(list.Load(cue));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Entry(0).messageId, "one@x");
  EXPECT_EQ(list.Entry(0).bytes, 0xFFFFFFFFu);
  EXPECT_EQ(list.Entry(0).date, EncodeShortDate(25569.0));  // an unreadable date counts as 0 seconds
  EXPECT_EQ(list.Entry(0).subject, "evil  subject (1/3)");
  EXPECT_EQ(list.Newsgroup(list.Entry(0).newsgroup), "alt.bad group");
  EXPECT_EQ(list.Entry(1).messageId, "four@x");
  EXPECT_EQ(list.Entry(1).bytes, 12u);
  EXPECT_EQ(list.Entry(1).subject, "evil  subject (65535/3)");
}

TEST(NzbImport, Latin1TextInAUtf8FileIsReadAsLatin1) {
  TTempDir dir;
  const QString nzb = dir.Write(u"latin.nzb"_s, QByteArray(kHead) +
                                                    "<file subject=\"caf\xE9 (1/1)\" date=\"1\"><groups><group>"
                                                    "alt.x</group></groups><segments><segment bytes=\"5\" "
                                                    "number=\"1\">a@x</segment></segments></file></nzb>");
  TImported imported(nzb);
  ASSERT_TRUE(imported.ok) << imported.error.toStdString();
  EXPECT_EQ(imported.list.Entry(0).subject, "caf\xC3\xA9 (1/1)");
}

TEST(NzbImport, ReimportReplacesTheListButKeepsItsCompanions) {
  TTempDir dir;
  const QString cue = dir.File(u"list.cue"_s);
  ASSERT_TRUE(ImportNZBFile(Nzb("plain.nzb"), cue));
  for (const char* ext : {"stats", "crc", "grouping", "srv"}) dir.Write(u"list."_s + QLatin1String(ext), ext);
  ASSERT_TRUE(ImportNZBFile(Nzb("sabnzbd.nzb"), cue));
  TDownloadList list;
  ASSERT_TRUE(list.Load(cue));
  EXPECT_EQ(list.Count(), 2);
  for (const char* ext : {"stats", "crc", "grouping", "srv"})
    EXPECT_EQ(dir.Read(u"list."_s + QLatin1String(ext)), QByteArray(ext));
}

TEST(NzbImport, DecodeDirectoryFollowsTheProgramSettings) {
  const TSettings saved = Settings();
  Settings().gSaveNZBPath = u"/downloads"_s;
  Settings().gCreateSubdirWhenImportingNZB = true;
  EXPECT_EQ(TImportNZB::DefaultDecodePath(u"/x/My Show.nzb"_s), u"/downloads/My Show/"_s);
  // Names that would climb out of the directory are cleaned.
  EXPECT_EQ(TImportNZB::DefaultDecodePath(u"/x/..nzb"_s), u"/downloads/_/"_s);
  EXPECT_EQ(TImportNZB::DefaultDecodePath(u"/x/...nzb"_s), u"/downloads/_/"_s);
  Settings().gCreateSubdirWhenImportingNZB = false;
  EXPECT_EQ(TImportNZB::DefaultDecodePath(u"/x/a.nzb"_s), u"/downloads/"_s);
  EXPECT_EQ(TImportNZB::ListPathFor(u"/x/a/b.nzb"_s, u"/lists"_s), u"/lists/b.cue"_s);

  TTempDir dir;
  const QString cue = dir.File(u"l.cue"_s);
  ASSERT_TRUE(ImportNZBFile(Nzb("sabnzbd.nzb"), cue));
  EXPECT_EQ(TDownloadListSettings::Read(cue).DecodePath, u"/downloads/"_s);
  Settings() = saved;
}
