#include "binaries/HeaderWords.h"

#include "ArticleFixtures.h"
#include "support/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString Data(const QString& relative) { return TestDataPath(u"binaries/"_s + relative); }

bool CharsetKnown(const QString& charset) { return QStringDecoder(charset.toLatin1().constData()).isValid(); }

TEST(HeaderWords, PublicVectors) {
  const QJsonObject root = QJsonDocument::fromJson(ReadAll(Data(u"mime/rfc2047-vectors.json"_s))).object();
  int checked = 0;
  for (const QJsonValue& v : root[u"vectors"_s].toArray()) {
    const QJsonObject vector = v.toObject();
    const QString input = vector[u"input"_s].toString();
    QString expected = vector[u"expected_text"_s].toString();
    bool known = true;
    if (!vector.contains(u"expected_text"_s)) {
      // Join the decoded pieces; all of them are Latin-1 compatible here.
      for (const QJsonValue& chunk : vector[u"expected_chunks"_s].toArray()) {
        expected += chunk[u"bytes_latin1"_s].toString();
        const QString charset = chunk[u"charset"_s].toString();
        if (!charset.isEmpty() && !CharsetKnown(charset)) known = false;
      }
    }
    for (const QJsonValue& chunk : vector[u"expected_chunks"_s].toArray()) {
      const QString charset = chunk[u"charset"_s].toString();
      if (!charset.isEmpty() && !CharsetKnown(charset)) known = false;
    }
    if (!known) continue;  // a charset this Qt build does not know
    EXPECT_EQ(DecodeHeaderWords(input.toUtf8()), expected) << input.toStdString();
    ++checked;
  }
  EXPECT_GT(checked, 25);
}

// MIME-tools' GOOD and BAD words: GOOD ones decode to the given bytes (shown
// as Latin-1, which every GOOD charset here is compatible with); BAD ones,
// whose closing "?=" is missing, are kept as they are.
TEST(HeaderWords, MimeToolsWords) {
  const QList<QByteArray> blocks = ReadAll(Data(u"mime/mime-tools/words.txt"_s)).split('\n');
  int checked = 0;
  for (qsizetype i = 0; i + 2 < blocks.size(); ++i) {
    const QByteArray kind = blocks[i].trimmed();
    if (kind != "GOOD" && kind != "BAD") continue;
    QByteArray perl = blocks[i + 1].trimmed();
    // The input runs to the next blank line (it may be folded).
    QByteArray input = blocks[i + 2];
    qsizetype k = i + 3;
    for (; k < blocks.size() && !blocks[k].trimmed().isEmpty(); ++k) input += "\n" + blocks[k];
    perl = perl.mid(1, perl.size() - 2);
    QByteArray expected;
    for (qsizetype k = 0; k < perl.size(); ++k) {
      if (perl[k] == '\\' && k + 3 < perl.size() && perl[k + 1] == 'x') {
        expected.append(static_cast<char>(perl.mid(k + 2, 2).toInt(nullptr, 16)));
        k += 3;
      } else if (perl[k] == '\\' && k + 1 < perl.size()) {
        expected.append(perl[++k]);
      } else {
        expected.append(perl[k]);
      }
    }
    if (kind == "GOOD") {
      EXPECT_EQ(DecodeHeaderWords(input), QString::fromLatin1(expected)) << input.toStdString();
    } else {
      EXPECT_EQ(DecodeHeaderWords(input), QString::fromLatin1(input)) << input.toStdString();
    }
    ++checked;
    i = k;
  }
  EXPECT_GE(checked, 9);
}

TEST(HeaderWords, CharsetsAndFallbacks) {
  struct TCase {
    QByteArray in;
    QString out;
  };
  const TCase cases[] = {
      {"=?koi8-r?B?68/Sz9TLyco=?=", u"Короткий"_s},
      {"=?UTF-8?B?5L2g5aW9?= =?UTF-8?B?5LiW55WM?=", u"你好世界"_s},
      {"=?x-unknown-charset?Q?abc?=", u"abc"_s},
      {"=?utf-8?X?abc?=", u"abc"_s},          // unknown encoding: the text as it is
      {"=?utf-8?Q?abc", u"=?utf-8?Q?abc"_s},  // no end: kept
      {"=??Q?abc?=", u"=??Q?abc?="_s},        // no charset: kept
      {"caf\xe9 latin-1 bytes", u"café latin-1 bytes"_s},
      {"=?iso-2022-jp?B?GyRCJEskWyRzJDQbKEI=?=", u"にほんご"_s},
  };
  for (const TCase& c : cases) EXPECT_EQ(DecodeHeaderWords(c.in), c.out) << c.in.toStdString();
}

TEST(HeaderWords, ParameterValues) {
  struct TCase {
    QByteArray in;
    const char* key;
    QString value;
  };
  const TCase cases[] = {
      {"image/gif; name=\"a b.gif\"", "name", u"a b.gif"_s},
      {"attachment; FILENAME=plain.txt ; size=3", "filename", u"plain.txt"_s},
      {"attachment; filename=\"quote \\\" inside\"", "filename", u"quote \" inside"_s},
      {"attachment;\n filename*=UTF-8''%61%74%74%61%63%68%6D%65%6E%74%2E%C3%A4%C3%B6%C3%BC", "filename",
       u"attachment.äöü"_s},
      {"attachment; filename*0*=ISO-8859-1''caf%E9; filename*1=\".txt\"", "filename", u"café.txt"_s},
      {"text/plain; name==?koi8-r?B?89DJ08/L?=.doc", "name", u"Список.doc"_s},
      {"multipart/mixed; boundary=\"--=_b;x\"", "boundary", u"--=_b;x"_s},
  };
  for (const TCase& c : cases) EXPECT_EQ(ParseHeaderValue(c.in).Param(c.key), c.value) << c.in.toStdString();
  EXPECT_EQ(ParseHeaderValue(" Image/GIF ; x=1").value, "image/gif");
}

}  // namespace
