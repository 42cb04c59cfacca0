#include "app/Crc32.h"
#include "binaries/CheckNewsMessage.h"
#include "binaries/FileDupeKey.h"
#include "binaries/UuDecode.h"

#include "ArticleFixtures.h"
#include "YencTestUtil.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace Qt::StringLiterals;

namespace {

QString Data(const QString& relative) { return TestDataPath(u"binaries/"_s + relative); }

TEST(Crc32, MatchesZlibAcrossSizesAndChaining) {
  std::mt19937_64 rng(1);
  const QByteArray data = RandomBytes(rng, 300000);
  for (qsizetype size : {0, 1, 15, 16, 63, 64, 65, 255, 4096, 100001, 300000}) {
    const QByteArray piece = data.left(size);
    const auto expected = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(piece.constData()), static_cast<uInt>(size)));
    EXPECT_EQ(Crc32(piece), expected) << size;
    // Continued over two buffers, and combined from two results.
    const qsizetype cut = size / 3;
    EXPECT_EQ(Crc32(piece.mid(cut), Crc32(piece.left(cut))), expected) << size;
    EXPECT_EQ(Crc32Combine(Crc32(piece.left(cut)), Crc32(piece.mid(cut)), size - cut), expected) << size;
  }
  EXPECT_EQ(Crc32(QByteArrayView("123456789")), 0xCBF43926u);
}

TEST(FileDupeKey, KeyIsTheCrcOfDataAndSize) {
  TTempDir dir;
  const QByteArray data = "Some decoded file";
  const QString path = dir.Write(u"f.bin"_s, data);
  const TFileDupeKey key = FileDupeKey(path);
  EXPECT_EQ(key.error, 0);
  EXPECT_EQ(key.size, data.size());
  // Fixed for good: stored ".crc" files hold these values.
  const QByteArray sizeBytes("\x11\0\0\0", 4);
  EXPECT_EQ(key.key, Crc32(data + sizeBytes));
  EXPECT_EQ(key.key, 0x7c867abeu);
  // Same bytes, same key; one byte more, another key.
  EXPECT_EQ(FileDupeKey(dir.Write(u"g.bin"_s, data)).key, key.key);
  EXPECT_NE(FileDupeKey(dir.Write(u"h.bin"_s, data + '\0')).key, key.key);

  EXPECT_EQ(FileDupeKey(dir.File(u"missing"_s)).error, 1);
  EXPECT_EQ(FileDupeKey(dir.Write(u"empty"_s, {})).error, 3);
}

TEST(CheckNewsMessage, Articles) {
  const QByteArray data = "decoded part data";
  const QByteArray crc = QByteArray::number(Crc32(data), 16);
  auto part = [&](const QByteArray& yend) {
    return Article("=ybegin part=1 line=128 size=100 name=x\r\n=ypart begin=1 end=17\r\n" + YencEncode(data) + "\r\n" +
                   yend + "\r\n");
  };
  struct TCase {
    const char* name;
    QByteArray article;
    bool valid;
  };
  const TCase cases[] = {
      {"part with matching pcrc32", part("=yend size=17 part=1 pcrc32=" + crc), true},
      {"pcrc32 in upper case", part("=yend size=17 part=1 PCRC32=" + crc.toUpper()), true},
      {"part with a wrong pcrc32", part("=yend size=17 part=1 pcrc32=12345678"), false},
      {"part without pcrc32", part("=yend size=17 part=1"), false},
      {"part without =yend", Article("=ybegin part=1 line=128 size=9 name=x\r\n=ypart begin=1 end=9\r\nabc\r\n"),
       false},
      {"part without =ypart", Article("=ybegin part=1 line=128 size=9 name=x\r\nabc\r\n=yend pcrc32=0\r\n"), false},
      {"single part needs no CRC", Article("=ybegin line=128 size=3 name=x\r\nabc\r\n=yend crc32=0\r\n"), true},
      {"MIME is valid", Article("garbage", "MIME-Version: 1.0\r\n"), true},
      {"uuencode lines", Article("begin 644 x\r\nM86)C86)C86)C\r\nM86)C86)C86)C\r\n`\r\nend\r\n"), true},
      {"broken uuencode line between full ones",
       Article("begin 644 x\r\nM86)C86)C86)C\r\nM86)c86)C86)C\r\nM86)C\r\nend\r\n"), false},
      {"plain text", Article("Mostly harmless.\r\nand more text.\r\n"), true},
      // Neighbouring lines starting with "M" are judged as uuencode lines.
      {"text lines that look like uuencode lines", Article("Mostly harmless.\r\nMore text.\r\nthe end\r\n"), false},
  };
  for (const TCase& c : cases) EXPECT_EQ(CheckNewsMessage(QByteArrayView(c.article)), c.valid) << c.name;

  // The sample articles: good parts pass, a damaged part fails.
  for (const QString& good :
       {u"yenc/format-samples/multipart/00000020.ntx"_s, u"yenc/format-samples/multipart/00000021.ntx"_s})
    EXPECT_TRUE(CheckNewsMessage(QByteArrayView(ReadAll(Data(good))))) << good.toStdString();
  EXPECT_FALSE(CheckNewsMessage(
      QByteArrayView(ReadAll(Data(u"yenc/format-samples/multipart/00000021 (checksum mismatch).ntx"_s)))));
  EXPECT_TRUE(CheckNewsMessage(QByteArrayView(StoredArticle(ReadAll(Data(u"yenc/sabctools/test_bad_crc.yenc"_s))))));

  QBuffer closed;
  EXPECT_FALSE(CheckNewsMessage(closed));
  QByteArray bytes = part("=yend size=17 part=1 pcrc32=" + crc);
  QBuffer open(&bytes);
  open.open(QIODevice::ReadOnly);
  EXPECT_TRUE(CheckNewsMessage(open));
}

TEST(UuDecode, PublicVectors) {
  const QJsonObject root = QJsonDocument::fromJson(ReadAll(Data(u"uuencode/cpython-uu-vectors.json"_s))).object();
  int checked = 0;
  for (const QJsonValue& v : root[u"cases"_s].toArray()) {
    const QJsonObject c = v.toObject();
    if (!c.contains(u"expected_hex"_s) && !c.contains(u"expected_text"_s)) continue;
    const QByteArray expected = c.contains(u"expected_hex"_s)
                                    ? QByteArray::fromHex(c[u"expected_hex"_s].toString().toLatin1())
                                    : c[u"expected_text"_s].toString().toUtf8();
    // Decode the lines between "begin" and "end" as the decoder does.
    QByteArray out;
    bool inside = false;
    for (const QByteArray& line : c[u"encoded"_s].toString().toUtf8().split('\n')) {
      if (line.startsWith("begin ")) {
        inside = true;
      } else if (inside && line.startsWith("end")) {
        break;
      } else if (inside && uu::IsDataLine(line.constData(), static_cast<std::size_t>(line.size()))) {
        char buffer[64];
        out.append(buffer, static_cast<qsizetype>(
                               uu::DecodeLine(line.constData(), static_cast<std::size_t>(line.size()), buffer)));
      }
    }
    EXPECT_EQ(out, expected) << c[u"name"_s].toString().toStdString();
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

TEST(UuDecode, TablesMatchTheArithmetic) {
  std::mt19937_64 rng(2);
  for (int round = 0; round < 2000; ++round) {
    QByteArray line(static_cast<qsizetype>(rng() % 70), Qt::Uninitialized);
    for (char& c : line) c = static_cast<char>(32 + rng() % 65);
    char out[64];
    const std::size_t n = uu::DecodeLine(line.constData(), static_cast<std::size_t>(line.size()), out);
    // The plain way: six bits per character, missing characters are zero.
    auto value = [&](qsizetype i) { return i < line.size() ? (static_cast<unsigned char>(line[i]) - 32) & 63 : 0; };
    const std::size_t count = line.isEmpty() ? 0 : static_cast<std::size_t>(value(0));
    ASSERT_EQ(n, count);
    for (std::size_t k = 0; k < count; ++k) {
      const qsizetype group = 1 + static_cast<qsizetype>(k / 3) * 4;
      unsigned byte = 0;
      switch (k % 3) {
        case 0:
          byte = (value(group) << 2) | (value(group + 1) >> 4);
          break;
        case 1:
          byte = ((value(group + 1) & 15) << 4) | (value(group + 2) >> 2);
          break;
        case 2:
          byte = ((value(group + 2) & 3) << 6) | value(group + 3);
          break;
      }
      ASSERT_EQ(static_cast<unsigned char>(out[k]), byte & 0xFF) << line.toStdString();
    }
  }
}

}  // namespace
