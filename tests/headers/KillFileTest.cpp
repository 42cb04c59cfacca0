#include "app/LineListFile.h"
#include "headers/KillFile.h"
#include "support/TempDir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
TKillFile Parsed(const TTempDir& dir, const QByteArray& text) {
  TKillFile kill(dir.Write(u"_Killfile.txt"_s, text));
  EXPECT_TRUE(kill.Load());
  kill.Parse();
  return kill;
}
}  // namespace

TEST(KillFile, MissingFileIsCreatedWithCommentsOnly) {
  TTempDir dir;
  TKillFile kill(dir.File(u"_Killfile.txt"_s));
  ASSERT_TRUE(kill.Load());
  EXPECT_TRUE(kill.IsCreated());
  QList<QByteArray> lines;
  ASSERT_EQ(TLineListFile::Load(dir.File(u"_Killfile.txt"_s), lines), TLineListFile::LOAD_OK);
  ASSERT_EQ(lines.size(), 10);
  EXPECT_EQ(lines, TKillFile::DefaultLines());
  EXPECT_EQ(lines[1], "# Killfile");
  EXPECT_TRUE(lines[7].startsWith("# from: "));
  EXPECT_EQ(lines[8], "# subject: want some viagra?");
  kill.Parse();
  EXPECT_FALSE(kill.HasEntries());
  EXPECT_TRUE(kill.IsEmpty());
  EXPECT_FALSE(kill.MatchesSender(u"anyone@example.com"_s));
  EXPECT_FALSE(kill.MatchesSubject(u"want some viagra?"_s));

  // A second load finds the file (any case of its name) and creates nothing.
  TKillFile again(dir.File(u"_KILLFILE.TXT"_s));
  ASSERT_TRUE(again.Load());
  EXPECT_FALSE(again.IsCreated());
}

TEST(KillFile, ParsingLines) {
  TTempDir dir;
  const TKillFile kill = Parsed(dir,
                                "# comment\n"
                                "  # from: commented@out\n"
                                "\n"
                                "From: capital@ignored\n"
                                "from:NoBlank@Example.COM\r\n"
                                "   from:   *@spam.example   \n"
                                "subject: Want Some *\n"
                                "subject:\n"
                                "from:\n"
                                "sender: other@ignored\n");
  EXPECT_EQ(kill.SenderPatterns(), QStringList({u"noblank@example.com"_s, u"*@spam.example"_s}));
  EXPECT_EQ(kill.SubjectPatterns(), QStringList{u"want some *"_s});
  EXPECT_TRUE(kill.HasEntries());
  EXPECT_FALSE(kill.IsEmpty());
}

TEST(KillFile, Matching) {
  struct TCase {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const TCase cases[] = {
      {"*", "anyone@example.com", true},
      {"a?c", "abc", true},
      {"a?c", "abbc", false},
      {"*b", "ab", true},
      {"*b", "aab", true},
      {"*b", "abc", false},
      {"*viagra*", "want some viagra?", true},
      {"abc", "abcd", false},
      {"abc", "xabc", false},
      {"*@spam.example", "joe@spam.example", true},
      {"*@spam.example", "joe@spam.example.org", false},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    const TKillFile kill = Parsed(dir, "from: "_ba + c.pattern + "\nsubject: "_ba + c.pattern + "\n");
    EXPECT_EQ(kill.MatchesSender(QString::fromLatin1(c.text)), c.matches) << c.pattern << " / " << c.text;
    EXPECT_EQ(kill.MatchesSubject(QString::fromLatin1(c.text)), c.matches) << c.pattern << " / " << c.text;
  }

  // Sender and subject patterns are kept apart.
  TTempDir dir;
  const TKillFile kill = Parsed(dir, "from: bad@example.com\n");
  EXPECT_TRUE(kill.MatchesSender(u"bad@example.com"_s));
  EXPECT_FALSE(kill.MatchesSubject(u"bad@example.com"_s));
}

TEST(KillFile, WireBytesInAnyCharset) {
  TTempDir dir;
  // The file written in UTF-8, the headers arriving as UTF-8 or Latin-1.
  const TKillFile kill = Parsed(dir, "subject: *CAFÉ*\nfrom: j?rg@*\n");
  EXPECT_TRUE(kill.MatchesSubject(TKillFile::MatchText("Le Café du coin")));
  EXPECT_TRUE(kill.MatchesSubject(TKillFile::MatchText("LE CAF\xC9 DU COIN")));
  EXPECT_TRUE(kill.MatchesSender(TKillFile::MatchText("J\xC3\xB6rg@example.com")));  // "?" is one character
}

TEST(KillFile, CreateDefaultAndFailures) {
  TTempDir dir;
  const QString path = dir.Write(u"_Killfile.txt"_s, "from: keep@me\n");
  TKillFile kill(path);
  EXPECT_TRUE(kill.CreateDefault(false));
  EXPECT_EQ(dir.Read(u"_Killfile.txt"_s), "from: keep@me\n");
  EXPECT_TRUE(kill.CreateDefault(true));
  EXPECT_FALSE(kill.IsCreated());
  EXPECT_TRUE(dir.Read(u"_Killfile.txt"_s).startsWith("#\n# Killfile\n"));

  TKillFile nowhere(dir.File(u"no/such/dir/_Killfile.txt"_s));
  EXPECT_FALSE(nowhere.Load());
  EXPECT_TRUE(nowhere.Lines().isEmpty());
  nowhere.Parse();
  EXPECT_FALSE(nowhere.HasEntries());
}
