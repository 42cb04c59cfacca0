#include "app/AnonymousSender.h"
#include "app/LineListFile.h"
#include "app/Settings.h"
#include "app/SharedLists.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(LineLists, DefaultFilesAreCreatedAndLoadedByTheirRules) {
  TTempDir dir;
  dir.Write(u"_completemultipartstrings.TXT"_s, ";c\n// slashed\n#hash\n\n.rar\r\n"_ba);
  TSharedLists lists;
  lists.LoadFrom(dir.Path());
  // An existing file is found whatever its case and not replaced by the default.
  EXPECT_EQ(lists.completeMultipartStrings, QList<QByteArray>({"#hash", "", ".rar"}));
  EXPECT_EQ(lists.autoShowExtensions, QStringList({u".nfo"_s, u".txt"_s}));
  EXPECT_TRUE(lists.IsImageFormat(u".JPG"_s));
  EXPECT_FALSE(lists.IsImageFormat(u".exe"_s));
  EXPECT_TRUE(lists.boldNewsgroups.isEmpty());
  for (const char* name : {"_AutoShowList.txt", "_Headers.txt", "_AnonymousList.txt", "_ImageFormats.txt"})
    EXPECT_TRUE(QFile::exists(dir.File(QLatin1String(name)))) << name;
  EXPECT_FALSE(QFile::exists(dir.File(u"_NewsgroupsBoldList.txt"_s)));
  EXPECT_FALSE(QFile::exists(dir.File(u"_NewsPostSubjects.txt"_s)));
}

TEST(LineLists, AutoShowLinesAreTrimmedAndLowerCased) {
  EXPECT_EQ(TSharedLists::AutoShowFromLines({"  .NFO  ", "", "; comment", ".Txt"}),
            QStringList({u".nfo"_s, u".txt"_s}));
}

TEST(LineLists, PostedSubjectsStaySortedWithoutDuplicates) {
  TTempDir dir;
  AddPostedSubject(dir.Path(), u"Zebra"_s);
  AddPostedSubject(dir.Path(), u"apple"_s);
  AddPostedSubject(dir.Path(), u"ZEBRA"_s);
  EXPECT_EQ(dir.Read(u"_NewsPostSubjects.txt"_s), "apple\nzebra\n"_ba);
}

TEST(LineLists, UnreadableSubjectsFileIsNotOverwritten) {
  TTempDir dir;
  // A directory in place of the file: it exists but cannot be read as a list.
  QDir().mkpath(dir.File(u"_NewsPostSubjects.txt/keep"_s));
  AddPostedSubject(dir.Path(), u"new"_s);
  EXPECT_TRUE(QFileInfo(dir.File(u"_NewsPostSubjects.txt/keep"_s)).isDir());
}

class ChooseSenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = Settings();
    TLineListFile::CreateDefaultIfMissing(dir.Path(), QLatin1String(TLineListFile::kAnonymousList));
  }
  void TearDown() override { Settings() = saved; }
  QString Choose(const QString& groups) { return ChooseSender(groups, identity, dir.File(u"_AnonymousList.txt"_s)); }

  TSettings saved;
  TTempDir dir;
  const TSenderAddress identity{u"Jane Roe"_s, u"jane@example.org"_s};
};

TEST_F(ChooseSenderTest, Rules) {
  const QString anonymous = AnonymousSender().FromText();
  const QString mine = u"Jane Roe <jane@example.org>"_s;
  struct Case {
    bool anonymousPosting, alwaysAnonymous, binariesAnonymous;
    QString groups;
    QString expected;
  };
  const Case cases[] = {
      {true, true, true, QString(), mine},  // e-mail: always the identity
      {false, true, false, u"comp.lang.c"_s, anonymous},
      {false, false, true, u"alt.binaries.pictures"_s, anonymous},
      {false, false, true, u"comp.lang.c,alt.binaries.x"_s, anonymous},
      {false, false, false, u"alt.binaries.pictures"_s, mine},
      {true, false, false, u"Alt.Anonymous.Test"_s, anonymous},
      {true, false, false, u"comp.lang.c"_s, mine},
      {true, false, false, u"comp.lang.c, alt.binaries.misc"_s, anonymous},
      {true, false, false, u",,"_s, mine},
  };
  for (const Case& c : cases) {
    Settings().AnonymousPosting = c.anonymousPosting;
    Settings().AlwaysAnonymous = c.alwaysAnonymous;
    Settings().BinariesAnonymous = c.binariesAnonymous;
    EXPECT_EQ(Choose(c.groups), c.expected) << c.groups.toStdString();
  }
}

TEST_F(ChooseSenderTest, MissingOrUnreadableList) {
  Settings().AnonymousPosting = true;
  Settings().AlwaysAnonymous = false;
  Settings().BinariesAnonymous = false;
  QFile::remove(dir.File(u"_AnonymousList.txt"_s));
  EXPECT_EQ(Choose(u"alt.anonymous"_s), identity.FromText());
  QDir().mkpath(dir.File(u"_AnonymousList.txt"_s));  // exists but cannot be read
  EXPECT_EQ(Choose(u"comp.lang.c"_s), AnonymousSender().FromText());
}
