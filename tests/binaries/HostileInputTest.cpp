#include "binaries/CheckNewsMessage.h"
#include "binaries/NewsDecoder.h"

#include "ArticleFixtures.h"
#include "YencTestUtil.h"
#include "support/TempDir.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <random>

using namespace Qt::StringLiterals;

// Articles written to break the decoder: names that try to leave the
// destination, absurd sizes and offsets, broken structure. None may crash,
// hang, write outside the destination or make a file of a hostile size.
namespace {

QString Data(const QString& relative) { return TestDataPath(u"binaries/"_s + relative); }

QList<std::pair<QString, QByteArray>> HostileArticles() {
  QList<std::pair<QString, QByteArray>> articles;
  const QDir sab(Data(u"yenc/sabctools"_s));
  for (const QString& name : sab.entryList({u"test_*.yenc"_s}, QDir::Files))
    articles.append({name, StoredArticle(ReadAll(sab.filePath(name)))});
  // The same replies stored raw: the status line is then a header line.
  for (const QString& name : sab.entryList({u"test_*.yenc"_s}, QDir::Files))
    articles.append({u"raw "_s + name, ReadAll(sab.filePath(name))});

  auto yenc = [](const QByteArray& ybegin, const QByteArray& rest = "test data\r\n=yend size=9\r\n") {
    return Article("=ybegin " + ybegin + "\r\n" + rest);
  };
  const QByteArray longName(400, 'n');
  const QList<QByteArray> names = {"../escape.bin",
                                   "/etc/escape.bin",
                                   "..",
                                   ".",
                                   "..\\..\\escape.bin",
                                   QByteArray("nul\0byte.bin", 12),
                                   "ctl\x01\x1b[31m.bin",
                                   longName + ".bin",
                                   "x/../../../escape.bin",
                                   "\"quoted\"",
                                   " ",
                                   "a:b?.txt",
                                   "link.bin"};
  for (const QByteArray& name : names) {
    articles.append({u"yEnc name "_s + QString::fromLatin1(name.left(20).toPercentEncoding()),
                     yenc("line=128 size=9 name=" + name)});
    articles.append({u"uu name "_s + QString::fromLatin1(name.left(20).toPercentEncoding()),
                     Article("begin 644 " + name + "\r\n#86)C\r\nend\r\n")});
    articles.append({u"MIME name "_s + QString::fromLatin1(name.left(20).toPercentEncoding()),
                     Article("QUJD\r\n", "Content-Type: image/gif; name=\"" + name +
                                             "\"\r\nContent-Transfer-Encoding: base64\r\n")});
    articles.append(
        {u"multipart name "_s + QString::fromLatin1(name.left(20).toPercentEncoding()),
         Article("--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"" +
                     name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--b--\r\n",
                 "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n")});
  }
  articles.append({u"1 TiB part near the end"_s,
                   yenc("part=2 line=128 size=1099511627775 name=big.bin",
                        "=ypart begin=1099511627700 end=1099511627775\r\ntest data\r\n=yend size=9\r\n")});
  articles.append(
      {u"part beyond a small size"_s, yenc("part=2 line=128 size=100 name=small.bin",
                                           "=ypart begin=1000000000 end=1000000009\r\ntest data\r\n=yend size=9\r\n")});
  articles.append({u"begin zero"_s, yenc("part=1 line=128 size=100 name=zero.bin",
                                         "=ypart begin=0 end=9\r\ntest data\r\n=yend size=9\r\n")});
  articles.append({u"negative offsets"_s, yenc("part=1 line=128 size=100 name=neg.bin",
                                               "=ypart begin=-5 end=-1\r\ntest data\r\n=yend size=9\r\n")});
  articles.append({u"negative part"_s, yenc("part=-1 line=128 size=100 name=negpart.bin")});
  articles.append({u"megabyte yEnc line"_s, yenc("line=128 size=9 name=long.bin", QByteArray(3 << 19, 'x') + "\r\n")});
  articles.append({u"megabyte uu line"_s, Article("begin 644 u.bin\r\n" + QByteArray(3 << 19, 'M') + "\r\nend\r\n")});
  articles.append({u"megabyte header without body"_s, QByteArray(3 << 19, 'h')});
  articles.append({u"lone CRs"_s, QByteArray("Subject: x\r\r=ybegin line=1 size=3 name=cr.bin\rabc\r=yend\r")});
  articles.append(
      {u"NUL bytes everywhere"_s,
       Article(QByteArray(100000, '\0') + "\r\n=ybegin line=128 size=9 name=z\r\n" + QByteArray(5000, '\0') + "\r\n")});
  articles.append({u"escape at the very end"_s, yenc("line=128 size=9 name=end.bin", "abc=")});
  articles.append({u"many begins"_s, Article(QByteArray("begin 644 many.bin\r\n").repeated(1000))});
  articles.append({u"message/partial absurd numbers"_s,
                   Article("QUJD\r\n", "Content-Type: message/partial; number=99999999999999999999; total=-1\r\n")});
  articles.append({u"message/partial later piece first"_s,
                   Article("QUJD\r\n", "Content-Type: message/partial; number=2; total=2\r\n")});
  articles.append({u"unterminated multipart"_s,
                   Article("--b\r\nContent-Type: text/plain\r\n", "Content-Type: multipart/mixed; boundary=b\r\n")});
  articles.append({u"multipart with a huge header line"_s,
                   Article("--b\r\nContent-Type: application/x; name=" + QByteArray(1 << 20, 'q') + "\r\n\r\nx\r\n",
                           "Content-Type: multipart/mixed; boundary=b\r\n")});
  std::mt19937_64 rng(99);
  for (int i = 0; i < 20; ++i) {
    QByteArray noise = RandomBytes(rng, 5000);
    noise.insert(static_cast<qsizetype>(rng() % 4000),
                 "\r\n\r\n=ybegin part=1 line=1 size=50 name=r\r\n=ypart begin=1 end=50\r\n");
    articles.append({u"noise "_s + QString::number(i), Article(noise)});
  }
  const QDir mime(Data(u"mime/mime-tools"_s));
  for (const QString& name : mime.entryList({u"*.msg"_s}, QDir::Files))
    articles.append({u"mime "_s + name, ReadAll(mime.filePath(name))});
  return articles;
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(Out());
    temp.Write(u"box/victim"_s, "untouched");
    ASSERT_TRUE(QFile::link(u"../victim"_s, Out() + u"link.bin"_s));
  }
  QString Box() const { return temp.Path() + u"box/"_s; }
  QString Out() const { return Box() + u"out/"_s; }

  // Nothing outside the destination changed, every file in it is a plain
  // file of a sane size, and everything listed lies directly in it.
  void ExpectContained(const TNewsDecoder& decoder, const QString& what) {
    SCOPED_TRACE(what.toStdString());
    EXPECT_EQ(QDir(Box()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              (QStringList{u"out"_s, u"victim"_s}));
    EXPECT_EQ(ReadAll(Box() + u"victim"_s), "untouched");
    QDirIterator it(Out(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
      const QFileInfo info(it.next());
      if (info.isSymLink()) continue;  // the trap link set up above
      EXPECT_TRUE(info.isFile()) << info.filePath().toStdString();
      EXPECT_LT(info.size(), qint64{1} << 30) << info.filePath().toStdString();
      EXPECT_LE(info.fileName().toUtf8().size(), 255);
    }
    for (const QString& path : decoder.Produced()) {
      EXPECT_EQ(QFileInfo(path).absolutePath() + u"/"_s, Out()) << path.toStdString();
      EXPECT_FALSE(QFileInfo(path).isSymLink());
    }
  }

  TTempDir temp;
};

TEST_F(HostileInputTest, EachArticleAloneStaysInTheDestination) {
  QList<std::pair<QString, QString>> stored;
  for (const auto& [what, article] : HostileArticles()) {
    stored.append({what, temp.Write(u"in/"_s + QString::number(stored.size()), article)});
    CheckNewsMessage(QByteArrayView(article));
  }
  for (bool overwrite : {false, true}) {
    for (const auto& [what, path] : stored) {
      TNewsDecoder decoder{QString()};
      decoder.OverwriteFiles = overwrite;
      decoder.SetDestination(Out());
      decoder.AddInput(path);
      decoder.Execute();
      ExpectContained(decoder, what);
      // A clean destination with the trap link for the next article.
      QDir(Out()).removeRecursively();
      QDir().mkpath(Out());
      ASSERT_TRUE(QFile::link(u"../victim"_s, Out() + u"link.bin"_s));
    }
  }
}

TEST_F(HostileInputTest, AllArticlesInOneRunStayInTheDestination) {
  TNewsDecoder decoder{QString()};
  decoder.SetDestination(Out());
  decoder.SetYield(true);
  int n = 0;
  for (const auto& [what, article] : HostileArticles())
    decoder.AddInput(temp.Write(u"all/"_s + QString::number(n++), article));
  decoder.Execute();
  ExpectContained(decoder, u"all at once"_s);
}

TEST_F(HostileInputTest, AbsurdSizesAndRangesWriteNothingOutOfPlace) {
  struct TCase {
    const char* name;
    QByteArray body;
  };
  const TCase cases[] = {
      {"1 TiB single part", "=ybegin line=128 size=1099511627776 name=t.bin\r\ntest data\r\n=yend size=9\r\n"},
      {"21-digit size", "=ybegin line=128 size=999999999999999999999 name=t.bin\r\ntest data\r\n=yend size=9\r\n"},
      {"negative size", "=ybegin line=128 size=-1000 name=t.bin\r\ntest data\r\n=yend size=9\r\n"},
      {"part range reversed",
       "=ybegin part=1 line=128 size=1000 name=t.bin\r\n=ypart begin=500 end=100\r\ntest data\r\n=yend size=9\r\n"},
      {"part beyond the size",
       "=ybegin part=1 line=128 size=1000 name=t.bin\r\n=ypart begin=10001 end=10009\r\ntest data\r\n=yend\r\n"},
      {"part at byte zero",
       "=ybegin part=1 line=128 size=9 name=t.bin\r\n=ypart begin=0 end=9\r\ntest data\r\n=yend\r\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir out;
    TNewsDecoder decoder{QString()};
    decoder.SetDestination(out.Path());
    decoder.AddInput(temp.Write(u"absurd"_s, Article(c.body)));
    EXPECT_FALSE(decoder.Execute());
    EXPECT_TRUE(decoder.Produced().isEmpty());
    // Refused before any data: no file at all, or an empty one.
    for (const QFileInfo& info : QDir(out.Path()).entryInfoList(QDir::Files)) EXPECT_EQ(info.size(), 0);
  }
}

}  // namespace
