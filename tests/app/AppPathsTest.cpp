#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class AppPathsTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    QFile::remove(DocumentsIni());
    QFile::remove(ExeIni());
    QDir(GetMyDocumentsDirectory() + u"KorvelData"_s).removeRecursively();
  }
  static QString DocumentsIni() { return GetMyDocumentsDirectory() + u"Korvel.ini"_s; }
  static QString ExeIni() { return WithTrailingSlash(QCoreApplication::applicationDirPath()) + u"Korvel.ini"_s; }
  static void WriteIni(const QString& path, const QString& dir) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Setup]\nUserDataPath=" + dir.toUtf8() + "\n");
  }
  TTempDir dir;
};

TEST_F(AppPathsTest, DocumentsFolderIsTheTestHome) {
  EXPECT_TRUE(GetMyDocumentsDirectory().endsWith(u"/home/Documents/"_s));
}

TEST_F(AppPathsTest, BootstrapFileLookup) {
  QString path;
  EXPECT_FALSE(RetrieveUserDataDirectory(path));

  WriteIni(ExeIni(), WithoutTrailingSlash(dir.Path()));
  ASSERT_TRUE(RetrieveUserDataDirectory(path));  // the fallback beside the executable
  EXPECT_EQ(path, dir.Path());

  TTempDir other;
  ASSERT_TRUE(StoreUserDataDirectory(WithoutTrailingSlash(other.Path())));
  EXPECT_TRUE(QFileInfo::exists(DocumentsIni()));
  ASSERT_TRUE(RetrieveUserDataDirectory(path));  // the documents one comes first
  EXPECT_EQ(path, other.Path());

  WriteIni(DocumentsIni(), dir.File(u"gone"_s));
  EXPECT_FALSE(RetrieveUserDataDirectory(path));  // a directory that no longer exists
  WriteIni(DocumentsIni(), QString());
  EXPECT_FALSE(RetrieveUserDataDirectory(path));
}

TEST_F(AppPathsTest, ForceSetupRemovesBootstrapFilesAndOnlyTheDefaultDataDirectory) {
  WriteIni(DocumentsIni(), dir.Path());
  WriteIni(ExeIni(), dir.Path());
  const QString defaultData = GetMyDocumentsDirectory() + u"KorvelData/"_s;
  QDir().mkpath(defaultData + u"_Usenet"_s);
  dir.Write(u"custom/_Settings.ini"_s, "[Application]\nName=Korvel\n"_ba);
  DeleteUserDataIniFile();
  EXPECT_FALSE(QFileInfo::exists(DocumentsIni()));
  EXPECT_FALSE(QFileInfo::exists(ExeIni()));
  EXPECT_FALSE(QFileInfo::exists(defaultData));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"custom/_Settings.ini"_s)));
}

TEST_F(AppPathsTest, SetPathsCreatesTheLayout) {
  SetPaths(WithoutTrailingSlash(dir.Path()) + u"/data"_s);
  const TAppPaths& p = Paths();
  EXPECT_EQ(p.userDataDir, dir.File(u"data/"_s));
  EXPECT_EQ(p.readMarksDir, dir.File(u"data/_Usenet/_MessageStore/_MID/"_s));
  EXPECT_EQ(p.headersDir, dir.File(u"data/_Usenet/_Headers/"_s));
  for (const char* sub : {"_Dictionaries", "_SelectionGroups", "_SelectionScripts", "_Signatures", "_Temp", "_Mime",
                          "Attachments", "_Usenet/_Headers", "_Usenet/_DownloadLists", "_Usenet/_Servers",
                          "_Usenet/_MessageStore/_Messages", "_Usenet/_MessageStore/_MID"})
    EXPECT_TRUE(QFileInfo(dir.File(u"data/"_s) + QLatin1String(sub)).isDir()) << sub;
}

TEST_F(AppPathsTest, DirectoryChecks) {
  EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"TestFile.tst"_s)));
  EXPECT_FALSE(IsDirectoryWritable(dir.File(u"missing"_s)));
  EXPECT_TRUE(IsDirectoryEmpty(dir.Path()));
  dir.Write(u".hidden"_s, "x"_ba);
  EXPECT_FALSE(IsDirectoryEmpty(dir.Path()));

  EXPECT_FALSE(IsValidUserDataDirectory(dir.File(u"_Settings.ini"_s)));
  dir.Write(u"_Settings.ini"_s, "[Setup]\ngFileSignature={X}\n"_ba);
  EXPECT_FALSE(IsValidUserDataDirectory(dir.File(u"_Settings.ini"_s)));
  dir.Write(u"_Settings.ini"_s, "[application]\nname=korvel\n"_ba);
  EXPECT_FALSE(IsValidUserDataDirectory(dir.File(u"_Settings.ini"_s)));  // the value is compared exactly
  dir.Write(u"_Settings.ini"_s, "[Application]\nName=Korvel\n"_ba);
  EXPECT_TRUE(IsValidUserDataDirectory(dir.File(u"_Settings.ini"_s)));
}

TEST_F(AppPathsTest, ReadOnlyDirectoryIsNotWritable) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  QDir().mkpath(dir.File(u"ro"_s));
  QFile::setPermissions(dir.File(u"ro"_s), QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_FALSE(IsDirectoryWritable(dir.File(u"ro"_s)));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"ro/TestFile.tst"_s)));
  QFile::setPermissions(dir.File(u"ro"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(AppPathsTest, DeleteDownloadListFiles) {
  const char* all[] = {".cue", ".cui", ".log", ".lck", ".temp", ".seek", ".txt",
                       ".stats", ".crc", ".srv", ".grouping", ".body"};
  struct Case {
    bool withBody, withCompanions;
    QStringList kept;
  };
  const Case cases[] = {
      {false, false, {u".stats"_s, u".crc"_s, u".srv"_s, u".grouping"_s, u".body"_s}},
      {true, false, {u".stats"_s, u".crc"_s, u".srv"_s, u".grouping"_s}},
      {true, true, {}},
  };
  for (const Case& c : cases) {
    for (const char* ext : all) dir.Write(u"my.list"_s + QLatin1String(ext), "x"_ba);
    dir.Write(u"other.cue"_s, "x"_ba);
    DeleteDownloadListFiles(dir.File(u"my.list.cue"_s), c.withBody, c.withCompanions);
    for (const char* ext : all) {
      const QString e = QLatin1String(ext);
      EXPECT_EQ(QFileInfo::exists(dir.File(u"my.list"_s + e)), c.kept.contains(e)) << ext;
    }
    EXPECT_TRUE(QFileInfo::exists(dir.File(u"other.cue"_s)));
  }
}
