#include "binaries/NewsDecoder.h"

#include "ArticleFixtures.h"
#include "YencTestUtil.h"
#include "app/AppPaths.h"
#include "app/Crc32.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <random>

using namespace Qt::StringLiterals;

namespace {

QString Data(const QString& relative) { return TestDataPath(u"binaries/"_s + relative); }

class NewsDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(Out());
    decoder.SetDestination(Out());
  }
  QString Out() const { return temp.Path() + u"out/"_s; }
  // Stores an article (a raw NNTP reply is converted first) and queues it.
  QString Add(const QByteArray& article, const QString& name = {}) {
    const QString path = temp.Write(u"in/"_s + (name.isEmpty() ? u"a"_s + QString::number(++inputs) : name), article);
    decoder.AddInput(path);
    return path;
  }
  void AddFile(const QString& relative) {
    const QByteArray raw = ReadAll(Data(relative));
    ASSERT_FALSE(raw.isEmpty()) << relative.toStdString();
    const bool reply = raw.startsWith("22") || raw.startsWith("1");
    Add(reply ? StoredArticle(raw) : raw);
  }
  QStringList OutFiles() const { return QDir(Out()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name); }
  const TDecodedFile* ProducedNamed(const QString& name) const {
    for (const TDecodedFile& file : decoder.ProducedFiles())
      if (QFileInfo(file.path).fileName() == name) return &file;
    return nullptr;
  }

  TTempDir temp;
  TNewsDecoder decoder{QString()};
  int inputs = 0;
};

std::uint32_t CrcOf(const QByteArray& data) { return Crc32(data); }

// ---- The format's own samples ----

TEST_F(NewsDecoderTest, FormatSamplesDecodeToTheirOriginals) {
  struct TCase {
    QStringList inputs;
    QString name;
    QString original;
    TDecodeCheck check;
  };
  const TCase cases[] = {
      {{u"yenc/format-samples/singlepart/00000005.ntx"_s},
       u"testfile.txt"_s,
       u"yenc/format-samples/singlepart/testfile.txt"_s,
       DECODE_CHECK_GOOD},
      {{u"yenc/format-samples/singlepart/test (1.2).ntx"_s},
       u"test (1.2).txt"_s,
       u"yenc/format-samples/singlepart/test (1.2).dat"_s,
       DECODE_CHECK_GOOD},
      {{u"yenc/format-samples/singlepart/00000005 (checksum mismatch).ntx"_s},
       u"testfile.txt"_s,
       u"yenc/format-samples/singlepart/testfile.txt"_s,
       DECODE_CHECK_MISMATCH},
      {{u"yenc/format-samples/singlepart/00000005 (missing checksum).ntx"_s},
       u"testfile.txt"_s,
       u"yenc/format-samples/singlepart/testfile.txt"_s,
       DECODE_CHECK_NO_CHECKSUM},
      {{u"yenc/format-samples/singlepart/00000005 (size mismatch).ntx"_s},
       u"testfile.txt"_s,
       u"yenc/format-samples/singlepart/testfile.txt"_s,
       DECODE_CHECK_MISMATCH},
      {{u"yenc/format-samples/multipart/00000020.ntx"_s, u"yenc/format-samples/multipart/00000021.ntx"_s},
       u"joystick.jpg"_s,
       u"yenc/format-samples/multipart/joystick.jpg"_s,
       DECODE_CHECK_GOOD},
      {{u"yenc/format-samples/multipart/00000020.ntx"_s,
        u"yenc/format-samples/multipart/00000021 (checksum mismatch).ntx"_s},
       u"joystick.jpg"_s,
       u"yenc/format-samples/multipart/joystick.jpg"_s,
       DECODE_CHECK_MISMATCH},
      {{u"yenc/format-samples/multipart/00000020.ntx"_s,
        u"yenc/format-samples/multipart/00000021 (missing checksum).ntx"_s},
       u"joystick.jpg"_s,
       u"yenc/format-samples/multipart/joystick.jpg"_s,
       DECODE_CHECK_NO_CHECKSUM},
      {{u"yenc/format-samples/multipart/00000020.ntx"_s,
        u"yenc/format-samples/multipart/00000021 (part mismatch).ntx"_s},
       u"joystick.jpg"_s,
       u"yenc/format-samples/multipart/joystick.jpg"_s,
       DECODE_CHECK_MISMATCH},
      {{u"yenc/format-samples/multipart/00000020.ntx"_s,
        u"yenc/format-samples/multipart/00000021 (size mismatch).ntx"_s},
       u"joystick.jpg"_s,
       u"yenc/format-samples/multipart/joystick.jpg"_s,
       DECODE_CHECK_MISMATCH},
      {{u"articles/5nl7kahf6idkev93a8qu5k9m4095nt5p2i@4ax.com.msg"_s}, u"agent (Medium).jpg"_s, {}, DECODE_CHECK_GOOD},
      {{u"yenc/sabctools/test_special_utf8_chars.yenc"_s}, u"Hi Kingdom 你好世界.txt"_s, {}, DECODE_CHECK_GOOD},
      {{u"yenc/sabctools/small_file.nntp"_s}, u"newz[NZB].nfo"_s, {}, DECODE_CHECK_GOOD},
      {{u"yenc/sabctools/small_file_2.nntp"_s}, u"RARBG.txt"_s, {}, DECODE_CHECK_GOOD},
      {{u"yenc/sabctools/crc_2.nntp"_s}, u"f624cab2452242f498eca9041c4fa2fa.par2"_s, {}, DECODE_CHECK_GOOD},
      {{u"uuencode/uuencoded.tax.jpg.msg"_s}, u"tax.jpg"_s, u"uuencode/uudecoded.tax.jpg"_s, DECODE_CHECK_NO_CHECKSUM},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.inputs.join(u" + "_s).toStdString());
    TTempDir out;
    TNewsDecoder d{QString()};
    d.SetDestination(out.Path());
    for (const QString& input : c.inputs) {
      const QByteArray raw = ReadAll(Data(input));
      const bool reply = raw.startsWith("22");
      d.AddInput(temp.Write(u"case/"_s + QFileInfo(input).fileName(), reply ? StoredArticle(raw) : raw));
    }
    ASSERT_TRUE(d.Execute()) << DecodeEndName(d.LastEnd());
    ASSERT_EQ(d.ProducedFiles().size(), 1);
    const TDecodedFile& file = d.ProducedFiles().first();
    EXPECT_EQ(file.path, out.Path() + c.name);
    EXPECT_EQ(file.check, c.check) << file.detail.toStdString();
    if (!c.original.isEmpty()) {
      EXPECT_TRUE(ReadAll(file.path) == ReadAll(Data(c.original)));
    }
    EXPECT_EQ(file.size, QFileInfo(file.path).size());
  }
}

TEST_F(NewsDecoderTest, KnownCrcsOfRealArticles) {
  struct TCase {
    QString input;
    QString name;
    qint64 size;
    std::uint32_t crc;
  };
  const TCase cases[] = {
      {u"articles/5nl7kahf6idkev93a8qu5k9m4095nt5p2i@4ax.com.msg"_s, u"agent (Medium).jpg"_s, 218267, 0xab29e71f},
      {u"uuencode/logo_full.nntp"_s, u"logo-full.svg"_s, 2184, 0x6BC2917D},
      // Spaces for zero and no zero-length line before "end".
      {u"articles/25071405.5038@dcfre.net.msg"_s, u"The Expendables 3 2014 480p Webrip R6 XviD.nzb"_s, 268151,
       0x8286b632},
      {u"yenc/sabctools/crc_8.nntp"_s, {}, 44996, 0x8355E97B},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.input.toStdString());
    TTempDir out;
    TNewsDecoder d{QString()};
    d.SetDestination(out.Path());
    const QByteArray raw = ReadAll(Data(c.input));
    d.AddInput(temp.Write(u"k/"_s + QFileInfo(c.input).fileName(), raw.startsWith("22") ? StoredArticle(raw) : raw));
    ASSERT_TRUE(d.Execute());
    ASSERT_EQ(d.Produced().size(), 1);
    if (!c.name.isEmpty()) {
      EXPECT_EQ(QFileInfo(d.Produced().first()).fileName(), c.name);
    }
    const QByteArray bytes = ReadAll(d.Produced().first());
    EXPECT_EQ(bytes.size(), c.size);
    EXPECT_EQ(CrcOf(bytes), c.crc);
  }
}

// Parts of big posts on their own: the file stays unlisted, but each part is
// checked and written where its =ypart says.
TEST_F(NewsDecoderTest, LonePartsAreCheckedAndPlaced) {
  struct TCase {
    QString input;
    qint64 offset;
    qint64 bytes;
    std::uint32_t crc;
    TDecodeCheck check;
  };
  const TCase cases[] = {
      {u"yenc/sabctools/test_regular.yenc"_s, 15360000, 384000, 0x084e170f, DECODE_CHECK_GOOD},
      // Lines ending in unescaped white space: stripping it breaks the CRC.
      {u"yenc/sabctools/test_bad_crc.yenc"_s, 74496000, 768000, 0xad765df6, DECODE_CHECK_GOOD},
      {u"yenc/sabctools/test_padded_crc.yenc"_s, 0, 409600, 0x79b5066a, DECODE_CHECK_GOOD},
      {u"yenc/sabctools/test_bad_crc_end.yenc"_s, 15360000, 384000, 0x084e170f, DECODE_CHECK_MISMATCH},
      {u"yenc/sabctools/test_article.yenc"_s, 716800, 716800, 0x665839dc, DECODE_CHECK_GOOD},
      {u"yenc/sabctools/test_partial.yenc"_s, 15360000, 549, 0, DECODE_CHECK_MISMATCH},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.input.toStdString());
    TTempDir out;
    TNewsDecoder d{QString()};
    d.SetDestination(out.Path());
    d.AddInput(temp.Write(u"p/"_s + QFileInfo(c.input).fileName(), StoredArticle(ReadAll(Data(c.input)))));
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.LastEnd(), DECODE_END_NOTHING_PRODUCED);
    ASSERT_EQ(d.PartChecks().size(), 1);
    const TPartCheck& part = d.PartChecks().first();
    EXPECT_EQ(part.offset, c.offset);
    EXPECT_EQ(part.bytes, c.bytes);
    if (c.crc) {
      EXPECT_EQ(part.crc, c.crc);
    }
    EXPECT_EQ(part.check, c.check) << part.detail.toStdString();
    ASSERT_EQ(d.Unfinished().size(), 1);
    QFile file(part.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.seek(c.offset));
    EXPECT_EQ(CrcOf(file.read(c.bytes)), part.crc);
  }
}

TEST_F(NewsDecoderTest, NamesKeepTheirBytes) {
  AddFile(u"yenc/sabctools/test_special_chars.yenc"_s);
  decoder.Execute();
  // Not UTF-8: shown as Latin-1.
  EXPECT_EQ(decoder.Unfinished(), QStringList{u"90E2Sdvsmds0801dvsmds90E\u00e9\u00e9\u00e9.part06.rar"_s});
}

TEST_F(NewsDecoderTest, YbeginWithCrcAndNoHeaderNeedsABody) {
  // A bare yEnc block has no empty line: no body, the run fails.
  AddFile(u"yenc/test_single_part.txt"_s);
  EXPECT_FALSE(decoder.Execute());
  EXPECT_EQ(decoder.LastEnd(), DECODE_END_NO_BODY);
  decoder.ClearInputs();
  Add(Article(ReadAll(Data(u"yenc/test_single_part.txt"_s))));
  ASSERT_TRUE(decoder.Execute());
  ASSERT_EQ(decoder.ProducedFiles().size(), 1);
  EXPECT_EQ(decoder.ProducedFiles().first().size, 16335);
  EXPECT_EQ(decoder.ProducedFiles().first().check, DECODE_CHECK_GOOD);  // crc32= on =ybegin
}

// ---- Multipart rules ----

QByteArray YencPart(const QByteArray& file, const QByteArray& name, int part, qint64 begin, qint64 end,
                    bool withCrc = true) {
  const QByteArray data = file.mid(begin - 1, end - begin + 1);
  QByteArray body = "=ybegin part=" + QByteArray::number(part) + " line=128 size=" + QByteArray::number(file.size()) +
                    " name=" + name + "\r\n=ypart begin=" + QByteArray::number(begin) +
                    " end=" + QByteArray::number(end) + "\r\n" + YencEncode(data) +
                    "\r\n=yend size=" + QByteArray::number(data.size()) + " part=" + QByteArray::number(part);
  if (withCrc) body += " pcrc32=" + QByteArray::number(Crc32(data), 16);
  return Article(body + "\r\n");
}

QByteArray YencSingle(const QByteArray& data, const QByteArray& name) {
  return Article("=ybegin line=128 size=" + QByteArray::number(data.size()) + " name=" + name + "\r\n" +
                 YencEncode(data) + "\r\n=yend size=" + QByteArray::number(data.size()) +
                 " crc32=" + QByteArray::number(Crc32(data), 16) + "\r\n");
}

TEST_F(NewsDecoderTest, MultipartPostBecomesOneFileListedOnce) {
  std::mt19937_64 rng(3);
  const QByteArray file = RandomBytes(rng, 250000);
  Add(YencPart(file, "data.bin", 1, 1, 100000));
  Add(YencPart(file, "data.bin", 2, 100001, 200000));
  Add(YencPart(file, "data.bin", 3, 200001, 250000));
  ASSERT_TRUE(decoder.Execute());
  ASSERT_EQ(decoder.Produced(), QStringList{Out() + u"data.bin"_s});
  EXPECT_TRUE(ReadAll(Out() + u"data.bin"_s) == file);
  EXPECT_EQ(decoder.ProducedFiles().first().check, DECODE_CHECK_GOOD);
  EXPECT_EQ(decoder.PartChecks().size(), 3);
}

TEST_F(NewsDecoderTest, MissingPartsAreReported) {
  std::mt19937_64 rng(4);
  const QByteArray file = RandomBytes(rng, 30000);
  // Without its last part the file is left unlisted and the run fails.
  Add(YencPart(file, "f.bin", 1, 1, 10000));
  Add(YencPart(file, "f.bin", 2, 10001, 20000));
  EXPECT_FALSE(decoder.Execute());
  EXPECT_EQ(decoder.LastEnd(), DECODE_END_NOTHING_PRODUCED);
  EXPECT_EQ(decoder.Unfinished(), QStringList{u"f.bin"_s});
  EXPECT_EQ(QFileInfo(Out() + u"f.bin"_s).size(), 20000);

  // Without a middle part it is listed (its last part ends it) but judged.
  TTempDir other;
  TNewsDecoder d{QString()};
  d.SetDestination(other.Path());
  d.AddInput(temp.Write(u"m1"_s, YencPart(file, "g.bin", 1, 1, 10000)));
  d.AddInput(temp.Write(u"m3"_s, YencPart(file, "g.bin", 3, 20001, 30000)));
  ASSERT_TRUE(d.Execute());
  ASSERT_EQ(d.ProducedFiles().size(), 1);
  EXPECT_EQ(d.ProducedFiles().first().check, DECODE_CHECK_MISMATCH);
}

TEST_F(NewsDecoderTest, SecondPostWithTheSameNameIsNumberedUnlessOverwriting) {
  const QByteArray first = "first file", second = "second one";
  Add(YencSingle(first, "archive.part01.rar"));
  ASSERT_TRUE(decoder.Execute());
  decoder.ClearInputs();
  Add(YencSingle(second, "archive.part01.rar"));
  ASSERT_TRUE(decoder.Execute());
  EXPECT_EQ(decoder.Produced(), QStringList{Out() + u"archive.part01_1.rar"_s});
  EXPECT_TRUE(ReadAll(Out() + u"archive.part01.rar"_s) == first);

  decoder.OverwriteFiles = true;
  ASSERT_TRUE(decoder.Execute());
  EXPECT_EQ(decoder.Produced(), QStringList{Out() + u"archive.part01.rar"_s});
  EXPECT_TRUE(ReadAll(Out() + u"archive.part01.rar"_s) == second);
}

TEST_F(NewsDecoderTest, PartsOfAnotherFileNeverWriteIntoTheFirst) {
  std::mt19937_64 rng(5);
  const QByteArray a = RandomBytes(rng, 20000), b = RandomBytes(rng, 20000);
  Add(YencPart(a, "a.bin", 1, 1, 10000));
  Add(YencPart(a, "a.bin", 2, 10001, 20000));
  // b's first part is missing: its second part goes to a file of its own,
  // listed (it ends the file) but judged incomplete.
  Add(YencPart(b, "b.bin", 2, 10001, 20000));
  ASSERT_TRUE(decoder.Execute());
  EXPECT_TRUE(ReadAll(Out() + u"a.bin"_s) == a);
  ASSERT_EQ(decoder.Produced(), (QStringList{Out() + u"a.bin"_s, Out() + u"b.bin"_s}));
  EXPECT_EQ(decoder.ProducedFiles()[0].check, DECODE_CHECK_GOOD);
  EXPECT_EQ(decoder.ProducedFiles()[1].check, DECODE_CHECK_MISMATCH);
  EXPECT_TRUE(ReadAll(Out() + u"b.bin"_s).mid(10000) == b.mid(10000));
}

TEST_F(NewsDecoderTest, LineRules) {
  const QByteArray longLine(3000, 'x');
  struct TCase {
    const char* name;
    QByteArray body;
    QByteArray expected;  // content of the one produced file; empty = nothing produced
  };
  const TCase cases[] = {
      {"yEnc line over 2048 characters is dropped",
       "=ybegin line=128 size=3 name=a.bin\r\n" + longLine + "\r\n" + YencEncode("abc") + "\r\n=yend size=3\r\n",
       "abc"},
      {"scissors lines are not uuencode markers",
       "begin --- cut here ---\r\nbegin 644 u.txt\r\n#86)C\r\n`\r\nend --- cut here ---\r\nend\r\n", "abc"},
      {"a uuencode line with lower-case letters is skipped", "begin 644 u.txt\r\n#86)C\r\n#abcd\r\n`\r\nend\r\n",
       "abc"},
      {"a short uuencode line counts its missing characters as zero", "begin 644 u.txt\r\n$86)C\r\nend\r\n",
       QByteArray("abc\0", 4)},
      {"a uuencode name keeps only its last path component", "begin 644 C:\\dir\\..\\u.txt\r\n#86)C\r\nend\r\n", "abc"},
      {"signature before the data is ignored",
       "-- \r\n=ybegin line=128 size=3 name=a.bin\r\n" + YencEncode("abc") + "\r\n=yend size=3\r\n", "abc"},
      {"a begin line without a name is text", "begin 644\r\n#86)C\r\nend\r\n", {}},
      {"a yEnc header without a name is refused",
       "=ybegin line=128 size=3\r\n" + YencEncode("abc") + "\r\n=yend size=3\r\n",
       {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir out;
    TNewsDecoder d{QString()};
    d.SetDestination(out.Path());
    d.AddInput(temp.Write(u"l"_s, Article(c.body)));
    d.Execute();
    if (c.expected.isEmpty()) {
      EXPECT_TRUE(d.Produced().isEmpty());
      continue;
    }
    ASSERT_EQ(d.Produced().size(), 1);
    EXPECT_EQ(ReadAll(d.Produced().first()), c.expected);
  }
}

TEST_F(NewsDecoderTest, BadStringsAreIgnored) {
  TTempDir bad;
  bad.Write(u"list.txt"_s, "Posted Via Some Service\r\n\r\n#ABCD\n");
  TNewsDecoder d(bad.Path());
  EXPECT_EQ(d.BadStrings(), (QStringList{u"posted via some service"_s, u"#abcd"_s}));
  d.SetDestination(Out());
  // "#ABCD" would be a valid uuencode line adding three bytes.
  d.AddInput(
      temp.Write(u"b"_s, Article("begin 644 u.txt\r\n#86)C\r\nposted via SOME service\r\n#abcd\r\n#ABCD\r\nend\r\n")));
  ASSERT_TRUE(d.Execute());
  EXPECT_EQ(ReadAll(Out() + u"u.txt"_s), "abc");
}

// ---- How a run ends ----

TEST_F(NewsDecoderTest, RunsThatEndEarlyOrDecodeNothingFail) {
  TNewsDecoder d{QString()};
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.LastEnd(), DECODE_END_NO_DESTINATION);

  d.SetDestination(Out());
  d.AddInput(temp.File(u"missing"_s));
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.LastEnd(), DECODE_END_MISSING_FILE);

  d.ClearInputs();
  d.AddInput(temp.Write(u"nobody"_s, "Subject: no body"));
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.LastEnd(), DECODE_END_NO_BODY);

  // A text article has nothing to decode: that is a success.
  d.ClearInputs();
  d.AddInput(temp.Write(u"text"_s, Article("Just words.\r\n")));
  EXPECT_TRUE(d.Execute());
  EXPECT_TRUE(d.Produced().isEmpty());

  // A file that cannot be created begins a file but produces none.
  TTempDir readOnly;
  QFile::setPermissions(readOnly.Path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  d.SetDestination(readOnly.Path());
  d.ClearInputs();
  d.AddInput(temp.Write(u"y"_s, YencSingle("abc", "a.bin")));
  if (!QFileInfo(readOnly.Path()).isWritable()) {
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.LastEnd(), DECODE_END_NOTHING_PRODUCED);
  }
  QFile::setPermissions(readOnly.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(NewsDecoderTest, AbortDeletesEverythingOfTheRun) {
  std::atomic<int> abort{0};
  decoder.SetAbortFlag(&abort);
  Add(YencSingle("first", "one.bin"));
  Add(YencSingle("second", "two.bin"));
  decoder.OnProgress = [&](TNewsDecoder*, qint64, int current, int) {
    if (current == 1) abort = 1;
  };
  EXPECT_FALSE(decoder.Execute());
  EXPECT_EQ(decoder.LastEnd(), DECODE_END_ABORTED);
  EXPECT_TRUE(decoder.Produced().isEmpty());
  EXPECT_TRUE(OutFiles().isEmpty());
}

TEST_F(NewsDecoderTest, ProgressReportsEachFileAndTheOutputSoFar) {
  std::mt19937_64 rng(6);
  const QByteArray file = RandomBytes(rng, 3000);
  Add(YencPart(file, "p.bin", 1, 1, 1000));
  Add(YencPart(file, "p.bin", 2, 1001, 2000));
  Add(YencPart(file, "p.bin", 3, 2001, 3000));
  QList<std::pair<int, int>> calls;
  decoder.OnProgress = [&](TNewsDecoder* sender, qint64, int current, int max) {
    EXPECT_EQ(sender, &decoder);
    calls.append({current, max});
  };
  decoder.SetYield(true);
  ASSERT_TRUE(decoder.Execute());
  EXPECT_EQ(calls, (QList<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));
}

// ---- MIME bodies ----

TEST_F(NewsDecoderTest, MessagePartialPiecesJoinIntoOneFile) {
  const QByteArray data = QByteArray("The whole attachment, split over two articles.").repeated(20);
  const QByteArray encoded = data.toBase64();
  const qsizetype half = encoded.size() / 2 / 4 * 4;
  auto lines = [](const QByteArray& b64) {
    QByteArray out;
    for (qsizetype i = 0; i < b64.size(); i += 76) out += b64.mid(i, 76) + "\r\n";
    return out;
  };
  Add(
      Article("Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"joined.txt\"\r\n\r\n" +
                  lines(encoded.left(half)),
              "MIME-Version: 1.0\r\nContent-Type: message/partial; id=\"x\"; number=1; total=2\r\n"));
  Add(Article(lines(encoded.mid(half)),
              "MIME-Version: 1.0\r\nContent-Type: message/partial; number=2;\r\n total=2\r\n"));
  ASSERT_TRUE(decoder.Execute()) << DecodeEndName(decoder.LastEnd());
  ASSERT_EQ(decoder.Produced(), QStringList{Out() + u"joined.txt"_s});
  EXPECT_EQ(ReadAll(Out() + u"joined.txt"_s), data);
}

TEST_F(NewsDecoderTest, MessagePartialWithoutAFileNameWritesNothing) {
  // The standard's own example names no file: nothing is written, and the
  // second piece, having no file to continue, ends the run.
  AddFile(u"mime/rfc2046/part1.eml"_s);
  AddFile(u"mime/rfc2046/part2.eml"_s);
  EXPECT_FALSE(decoder.Execute());
  EXPECT_EQ(decoder.LastEnd(), DECODE_END_BAD_MIME);
  EXPECT_EQ(decoder.LastEndIndex(), 1);
  EXPECT_TRUE(OutFiles().isEmpty());
}

TEST_F(NewsDecoderTest, Base64ImageEndsAtAnEmptyLine) {
  const QByteArray picture = QByteArray("\x89PNG fake picture bytes", 23).repeated(10);
  Add(Article(picture.toBase64() + "\r\n\r\n-- \r\nsignature\r\n",
              "Content-Type: image/png; name=\"pic.png\"\r\nContent-Transfer-Encoding: base64\r\n"));
  ASSERT_TRUE(decoder.Execute());
  ASSERT_EQ(decoder.Produced(), QStringList{Out() + u"pic.png"_s});
  EXPECT_EQ(ReadAll(Out() + u"pic.png"_s), picture);
}

TEST_F(NewsDecoderTest, MultipartMixedProducesAttachmentsOnly) {
  AddFile(u"mime/mime-tools/multi-2gifs.msg"_s);
  ASSERT_TRUE(decoder.Execute());
  EXPECT_EQ(decoder.Produced(), (QStringList{Out() + u"3d-compress.gif"_s, Out() + u"3d-eye.gif"_s}));
  EXPECT_EQ(QFileInfo(Out() + u"3d-compress.gif"_s).size(), 419);
  EXPECT_EQ(QFileInfo(Out() + u"3d-eye.gif"_s).size(), 357);
}

TEST_F(NewsDecoderTest, MimeWorkingDirectoryIsTheDecodersOwn) {
  // Stored articles of the browser live in the temporary directory; a MIME
  // decode must not empty it.
  const QString savedTemp = Paths().tempDir;
  Paths().tempDir = temp.Path() + u"_Temp/"_s;
  QDir().mkpath(Paths().tempDir);
  const QString stored = temp.Write(u"_Temp/Msg_someone@example.com.txt"_s, "stored article");
  {
    TNewsDecoder d{QString()};
    d.SetDestination(Out());
    d.AddInput(Data(u"mime/mime-tools/multi-2gifs.msg"_s));
    ASSERT_TRUE(d.Execute());
    EXPECT_TRUE(d.MimeWorkingDirectory().startsWith(Paths().tempDir));
    EXPECT_NE(d.MimeWorkingDirectory(), Paths().tempDir);
  }
  EXPECT_TRUE(QFileInfo::exists(stored));
  Paths().tempDir = savedTemp;
}

}  // namespace

namespace {

TEST_F(NewsDecoderTest, LowFreeSpacePausesWithAMessage) {
  // One reading below 10 MiB: the guard reports it, waits, and goes on.
  int readings = 0;
  decoder.SetFreeSpaceProbe([&](const QString& dir) {
    EXPECT_EQ(dir, Out());
    return readings++ == 0 ? qint64{1} << 20 : qint64{1} << 40;
  });
  QStringList events;
  decoder.OnEvent = [&](TNewsDecoder*, const QString& text) { events.append(text); };
  std::mt19937_64 rng(8);
  const QByteArray data = RandomBytes(rng, 3 << 20);  // over the 1 MiB between measurements
  Add(YencSingle(data, "big.bin"));
  ASSERT_TRUE(decoder.Execute());
  ASSERT_EQ(events.size(), 2);
  EXPECT_TRUE(events[0].startsWith(u"LESS THAN 10 MB OF FREE SPACE ON DRIVE /"_s)) << events[0].toStdString();
  EXPECT_TRUE(events[0].endsWith(u":"_s));
  EXPECT_EQ(events[1], u"Decoding messages"_s);
  EXPECT_TRUE(ReadAll(Out() + u"big.bin"_s) == data);
}

}  // namespace
