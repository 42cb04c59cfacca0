#include "app/IniFile.h"
#include "support/TempDir.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(IniFile, SectionsAndKeysIgnoreCaseAndKeepOrder) {
  TIniFile ini{QString()};
  ini.FromBytes("; comment\n[Setup]\nGShowNewsLines=0\n  Name = Korvel \n[Other]\nx=1\n"_ba);
  EXPECT_FALSE(ini.ReadBool(u"setup"_s, u"gshownewslines"_s, true));
  EXPECT_EQ(ini.ReadString(u"SETUP"_s, u"name"_s), u" Korvel"_s);  // values are verbatim
  EXPECT_EQ(ini.Sections(), QStringList({u"Setup"_s, u"Other"_s}));
  ini.WriteString(u"setup"_s, u"NAME"_s, u"x"_s);
  EXPECT_EQ(ini.Keys(u"Setup"_s), QStringList({u"GShowNewsLines"_s, u"Name"_s}));
}

TEST(IniFile, EncodingsAndDefaults) {
  TIniFile ini{QString()};
  ini.FromBytes(
      "[S]\nb1=1\nb2=7\nb3=yes\ni1=-42\ni2=12abc\nl1=9000000000\nf1=2.5\nf2=2,5\ns1= spaced \"q\" \n"
      "e1=\n"_ba);
  EXPECT_TRUE(ini.ReadBool(u"S"_s, u"b1"_s, false));
  EXPECT_TRUE(ini.ReadBool(u"S"_s, u"b2"_s, false));   // any non-zero is true
  EXPECT_FALSE(ini.ReadBool(u"S"_s, u"b3"_s, false));  // unparsable: default
  EXPECT_TRUE(ini.ReadBool(u"S"_s, u"b3"_s, true));
  EXPECT_EQ(ini.ReadInteger(u"S"_s, u"i1"_s, 0), -42);
  EXPECT_EQ(ini.ReadInteger(u"S"_s, u"i2"_s, 5), 5);
  EXPECT_EQ(ini.ReadInteger(u"S"_s, u"missing"_s, 9), 9);
  EXPECT_EQ(ini.ReadInt64(u"S"_s, u"l1"_s, 0), 9000000000LL);
  EXPECT_EQ(ini.ReadInteger(u"S"_s, u"l1"_s, 3), 3);  // out of range for 32 bits
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"S"_s, u"f1"_s, 0), 2.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"S"_s, u"f2"_s, 1.25), 1.25);  // C locale only
  EXPECT_EQ(ini.ReadString(u"S"_s, u"s1"_s), u" spaced \"q\""_s);
  EXPECT_EQ(ini.ReadString(u"S"_s, u"e1"_s, u"def"_s), QString());  // present but empty

  ini.WriteFloat(u"S"_s, u"f3"_s, 0.1);
  EXPECT_DOUBLE_EQ(ini.ReadFloat(u"S"_s, u"f3"_s, 0), 0.1);
  EXPECT_FALSE(ini.ReadString(u"S"_s, u"f3"_s).contains(u','));
}

TEST(IniFile, StringListsReadMissingItemsAsEmpty) {
  TIniFile ini{QString()};
  ini.FromBytes("[L]\nCount=3\n0=a\n2=c\n[Huge]\nCount=2000000000\n0=x\n"_ba);
  EXPECT_EQ(ini.ReadStringList(u"L"_s), QStringList({u"a"_s, QString(), u"c"_s}));
  // A hostile count must not allocate billions of entries.
  EXPECT_LE(ini.ReadStringList(u"Huge"_s).size(), 65536);
  ini.WriteStringList(u"L"_s, {u"x"_s});
  EXPECT_EQ(ini.ReadStringList(u"L"_s), QStringList({u"x"_s}));
  EXPECT_FALSE(ini.ValueExists(u"L"_s, u"2"_s));
}

TEST(IniFile, Latin1FallbackAndUtf8) {
  TIniFile ini{QString()};
  ini.FromBytes("\xEF\xBB\xBF[S]\nu=caf\xC3\xA9\n"_ba);
  EXPECT_EQ(ini.ReadString(u"S"_s, u"u"_s), u"café"_s);
  TIniFile latin{QString()};
  latin.FromBytes("[S]\nl=caf\xE9\n"_ba);
  EXPECT_EQ(latin.ReadString(u"S"_s, u"l"_s), u"café"_s);
}

TEST(IniFile, NothingReachesDiskBeforeFlushAndFlushReplacesWhole) {
  TTempDir dir;
  const QString path = dir.Write(u"a.ini"_s, "[S]\nk=old\n"_ba);
  {
    TIniFile ini(path);
    ASSERT_TRUE(ini.IsOpen());
    ini.WriteString(u"S"_s, u"k"_s, u"new"_s);
    EXPECT_EQ(dir.Read(u"a.ini"_s), "[S]\nk=old\n"_ba);
    ASSERT_TRUE(ini.UpdateFile());
  }
  EXPECT_EQ(TIniFile(path).ReadString(u"S"_s, u"k"_s), u"new"_s);
  // A missing file reads as empty and can be created by the flush.
  TIniFile fresh(dir.File(u"new.ini"_s));
  EXPECT_TRUE(fresh.IsOpen());
  EXPECT_TRUE(fresh.Sections().isEmpty());
}

TEST(IniFile, FailedFlushKeepsTheOldFile) {
  TTempDir dir;
  const QString path = dir.Write(u"sub/a.ini"_s, "[S]\nk=old\n"_ba);
  TIniFile ini(path);
  ini.WriteString(u"S"_s, u"k"_s, u"new"_s);
  // Make the directory unusable for a temporary file by replacing it with a file.
  QFile::rename(dir.File(u"sub"_s), dir.File(u"moved"_s));
  dir.Write(u"sub"_s, "not a directory"_ba);
  EXPECT_FALSE(ini.UpdateFile());
  EXPECT_EQ(dir.Read(u"moved/a.ini"_s), "[S]\nk=old\n"_ba);
}

TEST(IniFile, UnreadableFileIsNotOpen) {
  TTempDir dir;
  QDir().mkpath(dir.File(u"isdir.ini"_s));
  TIniFile ini(dir.File(u"isdir.ini"_s));
  EXPECT_FALSE(ini.IsOpen());
}
