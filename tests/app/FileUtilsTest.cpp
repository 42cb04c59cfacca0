#include "app/FileUtils.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(FileUtils, FindFileNoCase) {
  TTempDir dir;
  dir.Write(u"NewGroups.gdat"_s, "x"_ba);
  EXPECT_EQ(FindFileNoCase(dir.Path(), u"newgroups.GDAT"_s), dir.File(u"NewGroups.gdat"_s));
  EXPECT_EQ(FindFileNoCase(dir.Path(), u"missing.txt"_s), dir.File(u"missing.txt"_s));
  EXPECT_EQ(FindPathNoCase(dir.File(u"NEWGROUPS.gdat"_s)), dir.File(u"NewGroups.gdat"_s));
}

TEST(FileUtils, WriteFileAtomicCreatesWithPermissionsAndKeepsExisting) {
  TTempDir dir;
  const QString path = dir.File(u"_Servers_NNTP.dat"_s);
  ASSERT_TRUE(WriteFileAtomic(path, "secret"_ba, nullptr, QFile::ReadOwner | QFile::WriteOwner));
  const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
  EXPECT_TRUE(QFile::permissions(path) & QFile::ReadOwner);
  EXPECT_FALSE(QFile::permissions(path) & others);
  ASSERT_TRUE(WriteFileAtomic(path, "secret2"_ba));
  EXPECT_EQ(dir.Read(u"_Servers_NNTP.dat"_s), "secret2"_ba);
  EXPECT_FALSE(QFile::permissions(path) & others);
  EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files).size(), 1);  // no temporary left
}

TEST(FileUtils, RecordRewriteReplacesAndLeavesNoHelpers) {
  TTempDir dir;
  const QString path = dir.Write(u"list.dat"_s, "old"_ba);
  ASSERT_TRUE(SafeRewriteRecordFile(path, "new"_ba));
  EXPECT_EQ(dir.Read(u"list.dat"_s), "new"_ba);
  EXPECT_FALSE(QFileInfo::exists(path + u'1'));
  EXPECT_FALSE(QFileInfo::exists(path + u'2'));
  ASSERT_TRUE(SafeRewriteRecordFile(dir.File(u"fresh.dat"_s), "first"_ba));
  EXPECT_EQ(dir.Read(u"fresh.dat"_s), "first"_ba);
}

TEST(FileUtils, FailedRecordRewriteLeavesTheOldFileIntact) {
  TTempDir dir;
  const QString path = dir.Write(u"list.dat"_s, "old"_ba);
  // The new file cannot be created: a directory stands in its way.
  QDir().mkpath(path + u'1');
  EXPECT_FALSE(SafeRewriteRecordFile(path, "new"_ba));
  EXPECT_EQ(dir.Read(u"list.dat"_s), "old"_ba);
  QDir(path + u'1').removeRecursively();

  // The new file cannot be moved into place: the old one must come back.
  QDir().mkpath(dir.File(u"blocked"_s));
  const QString blocked = dir.Write(u"blocked/list.dat"_s, "old"_ba);
  QDir().mkpath(blocked + u"2/keep"_s);  // the old file cannot be moved aside either
  EXPECT_FALSE(SafeRewriteRecordFile(blocked, "new"_ba));
  EXPECT_EQ(dir.Read(u"blocked/list.dat"_s), "old"_ba);
  EXPECT_FALSE(QFileInfo::exists(blocked + u'1'));
}

TEST(FileUtils, RecoverRecordFileAfterInterruptedRewrite) {
  TTempDir dir;
  const QString path = dir.File(u"list.dat"_s);
  dir.Write(u"list.dat2"_s, "old"_ba);
  dir.Write(u"list.dat1"_s, "half"_ba);
  RecoverRecordFile(path);
  EXPECT_EQ(dir.Read(u"list.dat"_s), "old"_ba);
  EXPECT_FALSE(QFileInfo::exists(path + u'1'));
  EXPECT_FALSE(QFileInfo::exists(path + u'2'));
}

TEST(FileUtils, DeletePlainFilesKeepsSubdirectoriesAndHiddenFiles) {
  TTempDir dir;
  dir.Write(u"a.tmp"_s, "x"_ba);
  dir.Write(u"b"_s, "x"_ba);
  dir.Write(u".hidden"_s, "x"_ba);
  dir.Write(u"sub/inner.tmp"_s, "x"_ba);
  EXPECT_EQ(DeletePlainFiles(dir.Path()), 0);
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"a.tmp"_s)));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"b"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u".hidden"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"sub/inner.tmp"_s)));
}

TEST(FileUtils, CleanPathComponentNeverLeavesTheDirectory) {
  struct Case {
    QString in;
    QString out;
  };
  const Case cases[] = {
      {u"news.example.com"_s, u"news.example.com"_s},
      {u"../../etc/passwd"_s, u".._.._etc_passwd"_s},
      {u"/absolute"_s, u"_absolute"_s},
      {u"a\\b"_s, u"a_b"_s},
      {u"."_s, u"_"_s},
      {u".."_s, u"_"_s},
      {u""_s, u"_"_s},
      {u"  "_s, u"_"_s},
      {QString::fromUtf8("ctl\x01\x1f\x7fz"), u"ctl___z"_s},
      {QString(1, QChar(0)) + u"x"_s, u"_x"_s},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanPathComponent(c.in), c.out) << c.in.toStdString();
  const QString longName(5000, u'é');
  const QString cut = CleanPathComponent(longName);
  EXPECT_LE(cut.toUtf8().size(), 200);
  EXPECT_EQ(cut.toUtf8().size(), 200);  // two bytes per character, cut on a boundary
  EXPECT_EQ(CleanPathComponent(QString(300, u'a'), 10), QString(10, u'a'));
}

TEST(FileUtils, TrailingSlashHelpers) {
  EXPECT_EQ(WithTrailingSlash(u"/a"_s), u"/a/"_s);
  EXPECT_EQ(WithTrailingSlash(u"/a/"_s), u"/a/"_s);
  EXPECT_EQ(WithTrailingSlash(QString()), QString());
  EXPECT_EQ(WithoutTrailingSlash(u"/a//"_s), u"/a"_s);
  EXPECT_EQ(WithoutTrailingSlash(u"/"_s), u"/"_s);
}
