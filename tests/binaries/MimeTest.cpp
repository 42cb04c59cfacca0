#include "binaries/Mime.h"

#include "ArticleFixtures.h"
#include "app/Crc32.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString Data(const QString& relative) { return TestDataPath(u"binaries/"_s + relative); }

class MimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(Work());
    QDir().mkpath(Attach());
    mime.SetWorkingDirectory(Work());
    mime.SetAttachmentDirectory(Attach());
  }
  QString Work() const { return temp.Path() + u"work/"_s; }
  QString Attach() const { return temp.Path() + u"attach/"_s; }
  qint64 SizeOf(const QString& name) const { return QFileInfo(Attach() + name).size(); }

  TTempDir temp;
  TMime mime;
};

TEST_F(MimeTest, AttachmentsOfMimeToolsMessages) {
  struct TCase {
    QString message;
    QStringList names;
    QList<qint64> sizes;
  };
  const TCase cases[] = {
      {u"multi-2gifs.msg"_s, {u"3d-compress.gif"_s, u"3d-eye.gif"_s}, {419, 357}},
      // Same names get "_0", "_1", ... before the extension.
      {u"dup-names.msg"_s,
       {u"one.gif"_s, u"one_0.gif"_s, u"two.nice.gif"_s, u"two.nice_0.gif"_s, u"two.nice_1.gif"_s},
       {419, 357, 419, 357, 357}},
      // Path parts and encoded words in names; a name in the content type only.
      {u"multi-2evil.msg"_s,
       {u"because-ofpath3d-compress.gif"_s,
        u"3d-eye-is-an-evil-filename because of excessive length and verbosity.  Unfortunately what can we do "
        u"given an idiotic situation such as this-"_s},
       {419, 357}},
      {u"multi-nested.msg"_s, {u"3d-vise.gif"_s, u"3d-eye.gif"_s, u"filename"_s}, {419, 357, -1}},
      // uuencoded files inside a text part.
      {u"uu-zeegee.msg"_s, {u"up.gif"_s, u"zeegee.gif"_s}, {110, 4834}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message.toStdString());
    TTempDir attach;
    TMime m;
    m.SetWorkingDirectory(Work());
    m.SetAttachmentDirectory(attach.Path());
    m.SetNamedPartsOnly(true);
    ASSERT_TRUE(m.Decode(Data(u"mime/mime-tools/"_s + c.message)));
    EXPECT_EQ(m.Attachments(), c.names);
    for (qsizetype i = 0; i < c.sizes.size() && i < m.Attachments().size(); ++i) {
      if (c.sizes[i] >= 0) {
        EXPECT_EQ(QFileInfo(attach.Path() + m.Attachments()[i]).size(), c.sizes[i]) << i;
      }
    }
    EXPECT_EQ(QDir(attach.Path()).entryList(QDir::Files).size(), c.names.size());
  }
}

TEST_F(MimeTest, EmbeddedUuencodedFilesInANewsArticle) {
  // Three uuencoded files in a plain news article: the body is one part.
  ASSERT_TRUE(mime.Decode(Data(u"mime/php-mailparse/oeuue"_s)));
  EXPECT_EQ(mime.Attachments(), (QStringList{u"README1.dat"_s, u"README2.dat"_s, u"README3.dat"_s}));
  for (const QString& name : mime.Attachments()) {
    const QByteArray bytes = ReadAll(Attach() + name);
    EXPECT_EQ(bytes.size(), 88);
    EXPECT_EQ(Crc32(bytes), 0xc5948d54u);
  }
  // The uuencoded lines are not part of the text.
  ASSERT_EQ(mime.TextParts().size(), 1);
  EXPECT_FALSE(ReadAll(mime.TextParts().first()).contains("begin 644"));
}

TEST_F(MimeTest, TextPartsGoToTheWorkingDirectory) {
  temp.Write(u"work/left-over.txt"_s, "from an earlier decode");
  ASSERT_TRUE(mime.Decode(Data(u"mime/mime-tools/russian.msg"_s)));
  EXPECT_FALSE(QFileInfo::exists(Work() + u"left-over.txt"_s));
  EXPECT_TRUE(mime.Attachments().isEmpty());
  ASSERT_EQ(mime.TextParts().size(), 1);
  EXPECT_EQ(QFileInfo(mime.TextParts().first()).fileName(), u"Список.doc"_s);

  ASSERT_TRUE(mime.Decode(Data(u"mime/mime-tools/attachment-filename-encoding-UTF8.msg"_s)));
  QStringList names;
  for (const QString& path : mime.TextParts()) names.append(QFileInfo(path).fileName());
  EXPECT_TRUE(names.contains(u"attachment.äöü"_s)) << names.join(u", "_s).toStdString();
}

TEST_F(MimeTest, BodiesAndHeaderFields) {
  const QByteArray message =
      "From: a@example.com\r\n"
      "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=\r\n"
      "References: <a@x>\r\n <b@x>\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"=_B\"\r\n"
      "\r\n"
      "preamble\r\n"
      "--=_B\r\n"
      "Content-Type: text/plain; charset=iso-8859-1\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "caf=E9 with a soft=\r\n"
      " break\r\n"
      "--=_b\r\n"  // delimiters are compared without case
      "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "AAEC\r\n"
      "AwQ=\r\n"
      "--=_B\r\n"
      "Content-Type: application/octet-stream\r\n"
      "\r\n"
      "unnamed\r\n"
      "--=_B--\r\n"
      "epilogue\r\n";
  const QString path = temp.Write(u"message.eml"_s, message);
  ASSERT_TRUE(mime.Decode(path));
  EXPECT_EQ(mime.Subject(), u"Grüße"_s);
  EXPECT_TRUE(mime.SubjectDecoded());
  EXPECT_EQ(mime.References(), u"<a@x> <b@x>"_s);
  ASSERT_EQ(mime.TextParts().size(), 1);
  EXPECT_EQ(ReadAll(mime.TextParts().first()), "caf\xe9 with a soft break");
  // Unnamed parts get "Part_N.txt" unless only named parts are wanted.
  EXPECT_EQ(mime.Attachments(), (QStringList{u"data.bin"_s, u"Part_3.txt"_s}));
  EXPECT_EQ(ReadAll(Attach() + u"data.bin"_s), QByteArray("\0\1\2\3\4", 5));
  EXPECT_EQ(ReadAll(Attach() + u"Part_3.txt"_s), "unnamed");
}

}  // namespace
