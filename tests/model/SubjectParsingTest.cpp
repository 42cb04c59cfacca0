#include "model/SubjectParsing.h"

#include <gtest/gtest.h>

TEST(PartCounter, RealSubjects) {
  struct TCase {
    const char* subject;
    int part;
    int total;
    int position;
    const char* rest;
  } cases[] = {
      {"Holiday pictures - file.jpg (03/12)", 3, 12, 29, "Holiday pictures - file.jpg "},
      // parentheses are tried before brackets
      {"[2/7] - a.rar yEnc (1/25)", 1, 25, 20, "[2/7] - a.rar yEnc "},
      {"[01/15] - \"Name.part01.rar\" yEnc (1/137)", 1, 137, 34, "[01/15] - \"Name.part01.rar\" yEnc "},
      // without parentheses the last brackets count as parentheses
      {"set [1/3] x", 1, 3, 5, "set  x"},
      {"Name.part01.rar [12/50]", 12, 50, 17, "Name.part01.rar "},
      {"[1/3] foo [2/5]", 2, 5, 11, "[1/3] foo "},
      // with parentheses elsewhere, brackets still count in the second pass
      {"Mixed [1/2] (text)", 1, 2, 7, "Mixed  (text)"},
      // the last counter wins; other slashes are passed over
      {"Photos (1/2) (3/4)", 3, 4, 14, "Photos (1/2) "},
      {"File 2023/2024 (5/10)", 5, 10, 16, "File 2023/2024 "},
      {"(1/2)x", 1, 2, 1, "x"},
      {"(1/2)", 1, 2, 1, ""},
      // numbers keep their low 16 bits
      {"counter (70000/70001)", 4464, 4465, 9, "counter "},
      // no counter: nothing changes, brackets included
      {"a (1/) b", 0, 0, 0, "a (1/) b"},
      {"a (/3) b", 0, 0, 0, "a (/3) b"},
      {"a [b/c] d", 0, 0, 0, "a [b/c] d"},
      {"x(1/2", 0, 0, 0, "x(1/2"},
      {"big (1/12345678901)", 0, 0, 0, "big (1/12345678901)"},
      {"plain subject", 0, 0, 0, "plain subject"},
      {"", 0, 0, 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.subject);
    QByteArray subject(c.subject);
    const TPartCounter counter = ParsePartCounter(subject);
    EXPECT_EQ(counter.part, c.part);
    EXPECT_EQ(counter.total, c.total);
    EXPECT_EQ(counter.position, c.position);
    EXPECT_EQ(subject, c.rest);
  }
}

TEST(ReplyPrefixes, StrippedWithTheReplyFlag) {
  struct TCase {
    const char* subject;
    const char* result;
    bool reply;
  } cases[] = {
      {"Re: Re: re:Hello", "Hello", true},
      {"Re:", "(no subject)", true},
      {"re: re:  ", "(no subject)", true},
      {"RE:   spaced out", "spaced out", true},
      {"Reply to all", "Reply to all", false},
      {"Fwd: Re: forwarded", "Fwd: Re: forwarded", false},
      {"The beer truck (was Re: Pre-RFD)", "The beer truck (was Re: Pre-RFD)", false},
  };
  for (const TCase& c : cases) {
    QByteArray subject(c.subject);
    EXPECT_EQ(StripReplyPrefixes(subject), c.reply) << c.subject;
    EXPECT_EQ(subject, c.result) << c.subject;
  }
}

TEST(FileNames, ExtractedFromSubjects) {
  struct TCase {
    const char* subject;
    bool mustBeQuoted;
    const char* name;
  } cases[] = {
      {"Here is some.file.part01.rar for you", false, "some.file.part01.rar"},
      {"[1/5] - \"Holiday.Pictures.zip\" yEnc", true, "Holiday.Pictures.zip"},
      {"\"My Holiday Pictures.zip\" yEnc", true, "My Holiday Pictures.zip"},
      {"file.zip yEnc", true, ""},
      {"file.zip yEnc", false, "file.zip"},
      {"file.mp3 and file.part1.rar", false, "file.part1.rar"},
      {"data.001", false, "data.001"},
      {"data.1234", false, ""},
      {"photo.JPEG2", false, "photo.JPEG2"},
      {"readme.com", false, ""},
      {"alt.binaries.test", false, ""},
      {"ALT.BINARIES.pictures.misc", false, ""},
      {"archive.7z", false, ""},
      {"file.tar-gz", false, ""},
      {"...zip", false, ""},
      {"in /path/to/name.iso now", false, "name.iso"},
      {"a.", false, ""},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ExtractFileName(c.subject, c.mustBeQuoted), c.name) << c.subject << " quoted " << c.mustBeQuoted;
}

TEST(SubjectCompare, ModesOrderAsUsersExpect) {
  // Plain: letter case ignored.
  EXPECT_EQ(CompareSubjects("Hello", "hELLO", SUBJECT_COMPARE_PLAIN), 0);
  EXPECT_LT(CompareSubjects("abc", "abd", SUBJECT_COMPARE_PLAIN), 0);
  EXPECT_LT(CompareSubjects("ab", "abc", SUBJECT_COMPARE_PLAIN), 0);
  // Intelligent: file counters in brackets do not split a set apart.
  EXPECT_GT(CompareSubjects("[02/15] - \"a.rar\"", "[01/15] - \"b.rar\"", SUBJECT_COMPARE_PLAIN), 0);
  EXPECT_LT(CompareSubjects("[02/15] - \"a.rar\"", "[01/15] - \"b.rar\"", SUBJECT_COMPARE_INTELLIGENT), 0);
  EXPECT_EQ(CompareSubjects("[02/15] - \"a.rar\"", "[01/15] - \"A.RAR\"", SUBJECT_COMPARE_INTELLIGENT), 0);
  EXPECT_EQ(CompareSubjects("  \"Quoted\"", "quoted\"", SUBJECT_COMPARE_INTELLIGENT), 0);
  // A bracket far into the subject stops the blanking.
  EXPECT_NE(CompareSubjects("a very long subject text here [1/2]", "a very long subject text here [2/2]",
                            SUBJECT_COMPARE_INTELLIGENT),
            0);
  // File names: compared instead of the subjects when found.
  EXPECT_GT(CompareSubjects("x - \"b.zip\"", "y - \"a.zip\"", SUBJECT_COMPARE_FILENAME), 0);
  EXPECT_GT(CompareSubjects("no name here", "y - \"a.zip\"", SUBJECT_COMPARE_FILENAME), 0);
}

TEST(CompleteMultipartStrings, MatchIgnoringCaseAndSkipEmptyEntries) {
  const QList<QByteArray> strings = {QByteArray(), ".NFO", ".sfv", "// note"};
  EXPECT_TRUE(ContainsCompleteMultipartString("Release.nfo", strings));
  EXPECT_TRUE(ContainsCompleteMultipartString("CHECK.SFV yEnc", strings));
  // The empty line in the list must not make every subject complete.
  EXPECT_FALSE(ContainsCompleteMultipartString("nothing here", strings));
  EXPECT_FALSE(ContainsCompleteMultipartString("a note", strings));
  EXPECT_FALSE(ContainsCompleteMultipartString("", strings));
}
