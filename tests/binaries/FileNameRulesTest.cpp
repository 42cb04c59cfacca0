#include "binaries/FileNameRules.h"

#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(FileNameRules, CleanFileName) {
  const QString longBase(300, u'b');
  struct TCase {
    QString in;
    QString out;
  };
  const TCase cases[] = {
      {u"a:b?.txt"_s, u"a-b-.txt"_s},
      {u"\"quoted name.jpg\""_s, u"quoted name.jpg"_s},
      {u"\"\"x\"\""_s, u"-x-"_s},
      {u"a\"$*/:<>?\\z"_s, u"a---------z"_s},
      {u"pipe|kept.txt"_s, u"pipe|kept.txt"_s},
      {u"../../etc/passwd"_s, u"..-..-etc-passwd"_s},
      {u"C:\\Windows\\x.dll"_s, u"C--Windows-x.dll"_s},
      {u"tab\there\x01\x7f.bin"_s, u"tab-here--.bin"_s},
      {u"nul"_s + QChar(0) + u"x"_s, u"nul-x"_s},
      {u".."_s, u"_"_s},
      {u"."_s, u"_"_s},
      {u""_s, u"_"_s},
      {u"\"\""_s, u"_"_s},
      {u"...hidden"_s, u"...hidden"_s},
      {u"Список.doc"_s, u"Список.doc"_s},
  };
  for (const TCase& c : cases) EXPECT_EQ(CleanFileName(c.in), c.out) << c.in.toStdString();

  // Over-long names keep their extension and stay within 255 bytes of UTF-8,
  // without splitting a character.
  const QString cut = CleanFileName(longBase + u".part01.rar"_s);
  EXPECT_TRUE(cut.endsWith(u".rar"_s));
  EXPECT_EQ(cut.toUtf8().size(), 255);
  const QString wide = CleanFileName(QString(200, QChar(0x4f60)) + u".txt"_s);
  EXPECT_LE(wide.toUtf8().size(), 255);
  EXPECT_TRUE(wide.endsWith(u".txt"_s));
  EXPECT_EQ(wide.toUtf8().size() % 3, 1);  // whole 3-byte characters plus ".txt"
}

TEST(FileNameRules, IsValidFileName) {
  for (const QString& bad : {u"a/b"_s, u"a:b"_s, u"a?b"_s, u"a\\b"_s, u""_s, u"."_s, u".."_s, u"a\nb"_s})
    EXPECT_FALSE(IsValidFileName(bad)) << bad.toStdString();
  for (const QString& good : {u"a.b"_s, u"a b|c"_s, u"-"_s, u"..x"_s}) EXPECT_TRUE(IsValidFileName(good));
}

TEST(FileNameRules, UniqueFileName) {
  TTempDir dir;
  EXPECT_EQ(UniqueFileName(dir.Path(), u"archive.part01.rar"_s, false), u"archive.part01.rar"_s);
  dir.Write(u"archive.part01.rar"_s, "x");
  EXPECT_EQ(UniqueFileName(dir.Path(), u"archive.part01.rar"_s, false), u"archive.part01_1.rar"_s);
  EXPECT_EQ(UniqueFileName(dir.Path(), u"archive.part01.rar"_s, true), u"archive.part01.rar"_s);
  dir.Write(u"archive.part01_1.rar"_s, "x");
  EXPECT_EQ(UniqueFileName(dir.Path(), u"archive.part01.rar"_s, false), u"archive.part01_2.rar"_s);
  dir.Write(u"noext"_s, "x");
  EXPECT_EQ(UniqueFileName(dir.Path(), u"noext"_s, false), u"noext_1"_s);
  // A dangling link is taken, so nothing is ever written through it.
  ASSERT_TRUE(QFile::link(dir.Path() + u"nowhere"_s, dir.Path() + u"link.bin"_s));
  EXPECT_EQ(UniqueFileName(dir.Path(), u"link.bin"_s, false), u"link_1.bin"_s);
  // Numbering an over-long name keeps it within 255 bytes.
  const QString longName = QString(251, u'n') + u".bin"_s;
  dir.Write(longName, "x");
  const QString numbered = UniqueFileName(dir.Path(), longName, false);
  EXPECT_EQ(numbered.toUtf8().size(), 255);
  EXPECT_TRUE(numbered.endsWith(u"_1.bin"_s));
  // A caller numbering many files continues where it was.
  qint64 next = 1;
  EXPECT_EQ(UniqueFileName(dir.Path(), u"noext"_s, false, &next), u"noext_1"_s);
  EXPECT_EQ(next, 2);
  EXPECT_EQ(UniqueFileName(dir.Path(), u"noext"_s, false, &next), u"noext_2"_s);
}

}  // namespace
