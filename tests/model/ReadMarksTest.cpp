#include "model/ArticleStatusOutputHelper.h"
#include "model/ArticleStatusUpdateHelper.h"
#include "model/Headers.h"
#include "model/ReadMarks.h"
#include "model/ReadMarksFile.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace Qt::StringLiterals;

namespace {

QByteArray Record(const QByteArray& id) {
  QByteArray out;
  EXPECT_TRUE(TReadMarksFile::AppendRecord(out, id));
  return out;
}

// A small header set: a text thread and a two-part binary post in the first
// newsgroup, one text article in the second.
struct TSet {
  THeaders headers;
  QStringList newsgroups{u"alt.test"_s, u"alt.other"_s};

  TSet() {
    struct {
      const char* subject;
      const char* id;
      int part, total, newsgroup;
      const char* references;
    } rows[] = {
        {"Topic", "t1@x", 0, 0, 0, ""},       {"file.rar", "p1of2@x", 1, 2, 0, ""},
        {"Topic", "t2@x", 0, 0, 0, "<t1@x>"}, {"file.rar", "p2of2@x", 2, 2, 0, ""},
        {"Other", "o1@y", 0, 0, 1, ""},
    };
    for (const auto& r : rows) {
      TLoadedHeader h;
      h.number = 1;
      h.subject = r.subject;
      h.messageId = r.id;
      h.sender = "someone@example.com";
      h.references = r.references;
      h.partNumber = std::uint16_t(r.part);
      h.totalParts = std::uint16_t(r.total);
      h.newsgroup = std::uint16_t(r.newsgroup);
      EXPECT_TRUE(headers.Add(h));
    }
    headers.Finalize();
  }

  // The post and index of the article with this identifier.
  std::pair<TPost*, int> Find(const char* id) {
    for (int p = 0; p < headers.PostCount(); ++p)
      for (int i = 0; i < headers.Post(p).ArticleCount(); ++i)
        if (headers.Post(p).MessageID(i) == id) return {&headers.Post(p), i};
    ADD_FAILURE() << "no article " << id;
    return {&headers.Post(0), 0};
  }
  bool IsRead(const char* id) {
    const auto [post, i] = Find(id);
    return post->Article(i).HasFlag(ARTICLE_FLAG_IS_READ);
  }
  void SetRead(const char* id, bool read) {
    const auto [post, i] = Find(id);
    post->Article(i).SetFlag(ARTICLE_FLAG_IS_READ, read);
  }
  std::set<std::string> ReadIds() {
    std::set<std::string> out;
    for (int p = 0; p < headers.PostCount(); ++p)
      for (int i = 0; i < headers.Post(p).ArticleCount(); ++i)
        if (headers.Post(p).Article(i).HasFlag(ARTICLE_FLAG_IS_READ))
          out.insert(headers.Post(p).MessageID(i).toStdString());
    return out;
  }
};

struct TMarksDir {
  TTempDir dir;
  QString Path() const { return dir.Path(); }
  QString File(const QString& newsgroup) const { return dir.File(newsgroup + u".dat"_s); }
  QByteArray Read(const QString& newsgroup) const { return dir.Read(newsgroup + u".dat"_s); }
  void Write(const QString& newsgroup, const QByteArray& data) const { dir.Write(newsgroup + u".dat"_s, data); }
};

std::set<std::string> Keys(const TTernaryList& list) {
  std::set<std::string> keys;
  list.ForEach(0, [&](const TTernaryWalkRecord& r) { keys.insert(std::string(r.key, std::size_t(r.keyLength))); });
  return keys;
}

}  // namespace

TEST(ReadMarksFile, RecordIsLengthPlusOneTheIdentifierAndAZero) {
  EXPECT_EQ(Record("abc123.xy"), QByteArray("\x0A\x00"
                                            "abc123.xy"
                                            "\x00",
                                            12));
  QByteArray out;
  EXPECT_FALSE(TReadMarksFile::AppendRecord(out, ""));
  EXPECT_FALSE(TReadMarksFile::AppendRecord(out, QByteArray(8192, 'x')));
  EXPECT_TRUE(out.isEmpty());
}

TEST(ReadMarksFile, LoadTakesWholeRecordsAndReportsDamage) {
  const QByteArray ab = Record("a@x") + Record("b@x") + Record("a@x");
  struct TCase {
    const char* name;
    QByteArray data;
    bool whole;
    std::set<std::string> keys;
  } cases[] = {
      {"records, one twice", ab, true, {"a@x", "b@x"}},
      {"last record cut short", ab + Record("c@x").left(4), false, {"a@x", "b@x"}},
      {"a lone length byte at the end", ab + QByteArray(1, '\x05'), false, {"a@x", "b@x"}},
      {"length 0", Record("a@x") + QByteArray(2, '\0') + Record("b@x"), false, {"a@x"}},
      {"zero byte missing",
       Record("a@x") +
           QByteArray("\x04\x00"
                      "b@xY",
                      6) +
           Record("c@x"),
       false,
       {"a@x"}},
      {"length beyond the end",
       Record("a@x") + QByteArray("\xff\xff"
                                  "b@x",
                                  5),
       false,
       {"a@x"}},
      {"empty identifier", Record("a@x") + QByteArray("\x01\x00\x00", 3) + Record("b@x"), true, {"a@x", "b@x"}},
      {"zero inside a record ends its key",
       QByteArray("\x05\x00"
                  "a@\0x\0",
                  7) +
           Record("b@x"),
       true,
       {"a@", "b@x"}},
      {"identifier too long for the key buffer",
       Record("a@x") + Record(QByteArray(8191, 'k')) +
           [] {
             QByteArray r("\x01\x20", 2);  // 8192 bytes of identifier
             return r + QByteArray(8192, 'z') + QByteArray(1, '\0');
           }() +
           Record("b@x"),
       true,
       {"a@x", std::string(8191, 'k'), "b@x"}},
      {"empty file", {}, true, {}},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.Write(u"g.dat"_s, c.data);
    TTernaryList list;
    list.Add("stale@x", TReadMarksFile::Marked());
    EXPECT_EQ(TReadMarksFile::Load(path, list), c.whole);
    EXPECT_EQ(Keys(list), c.keys);
  }
  TTernaryList list;
  EXPECT_TRUE(TReadMarksFile::Load(dir.File(u"missing.dat"_s), list));
  EXPECT_EQ(list.Count(), 0);
}

TEST(ReadMarksFile, NewsgroupNamesCannotLeaveTheDirectory) {
  TMarksDir marks;
  for (const QString& name : {u"."_s, u".."_s, u"../../etc/passwd"_s, u"a/b"_s, u"/abs"_s, u""_s, u"x\\..\\y"_s}) {
    SCOPED_TRACE(name.toStdString());
    const QFileInfo file(TReadMarksFile::FileName(marks.Path(), name));
    EXPECT_EQ(QDir(file.absolutePath()).canonicalPath(), QDir(marks.Path()).canonicalPath());
    EXPECT_TRUE(file.fileName().endsWith(u".dat"_s));
  }
  // An existing file is found whatever the case of its name.
  marks.Write(u"Alt.Test"_s, Record("a@x"));
  EXPECT_EQ(TReadMarksFile::FileName(marks.Path(), u"alt.test"_s), marks.File(u"Alt.Test"_s));
}

TEST(ReadMarks, MarkedReadArticlesAreAppendedOnceAndSurviveARestart) {
  TMarksDir marks;
  {
    TSet set;
    TArticleStatusOutputHelper writer(marks.Path(), set.newsgroups);
    for (const char* id : {"t2@x", "p1of2@x", "o1@y", "t2@x"}) {
      const auto [post, i] = set.Find(id);
      writer.SaveMIDForArticle(*post, i);
    }
    EXPECT_EQ(set.ReadIds(), (std::set<std::string>{"t2@x", "p1of2@x", "o1@y"}));
  }
  EXPECT_EQ(marks.Read(u"alt.test"_s), Record("t2@x") + Record("p1of2@x"));
  EXPECT_EQ(marks.Read(u"alt.other"_s), Record("o1@y"));

  // The next run loads the same headers unread and takes the marks from the files.
  TSet again;
  ApplyReadMarks(again.headers, marks.Path(), again.newsgroups);
  EXPECT_EQ(again.ReadIds(), (std::set<std::string>{"t2@x", "p1of2@x", "o1@y"}));

  // A whole post marked read adds only what was still unread.
  TArticleStatusOutputHelper writer(marks.Path(), again.newsgroups);
  writer.SaveMIDForPost(*again.Find("p1of2@x").first);
  EXPECT_EQ(marks.Read(u"alt.test"_s), Record("t2@x") + Record("p1of2@x") + Record("p2of2@x"));
}

TEST(ReadMarks, MarkingUnreadRemovesExactlyTheChosenIdentifiers) {
  TMarksDir marks;
  marks.Write(u"alt.test"_s, Record("t1@x") + Record("t2@x") + Record("p1of2@x") + Record("t2@x") + Record("p2of2@x") +
                                 Record("gone@x"));
  marks.Write(u"alt.other"_s, Record("o1@y"));
  TSet set;
  ApplyReadMarks(set.headers, marks.Path(), set.newsgroups);
  ASSERT_EQ(set.ReadIds().size(), 5u);
  {
    TArticleStatusUpdateHelper writer(marks.Path(), set.newsgroups);
    for (const char* id : {"t2@x", "p1of2@x"}) {
      const auto [post, i] = set.Find(id);
      writer.SaveMIDForArticle(*post, i);
    }
  }
  EXPECT_EQ(set.ReadIds(), (std::set<std::string>{"t1@x", "p2of2@x", "o1@y"}));
  // Rewritten in byte order, each identifier once; marks of articles not in
  // this set stay; the other newsgroup is untouched.
  EXPECT_EQ(marks.Read(u"alt.test"_s), Record("gone@x") + Record("p2of2@x") + Record("t1@x"));
  EXPECT_EQ(marks.Read(u"alt.other"_s), Record("o1@y"));

  // The only read article of a newsgroup marked unread: no file is left.
  {
    TArticleStatusUpdateHelper writer(marks.Path(), set.newsgroups);
    const auto [post, i] = set.Find("o1@y");
    writer.SaveMIDForArticle(*post, i);
    // An article already unread is left alone.
    const auto [post2, i2] = set.Find("t2@x");
    writer.SaveMIDForArticle(*post2, i2);
  }
  EXPECT_FALSE(QFile::exists(marks.File(u"alt.other"_s)));
  EXPECT_EQ(marks.Read(u"alt.test"_s), Record("gone@x") + Record("p2of2@x") + Record("t1@x"));
}

TEST(ReadMarks, AFileThatDidNotLoadWholeIsNeverRewritten) {
  TMarksDir marks;
  const QByteArray damaged = Record("t1@x") + Record("t2@x") + QByteArray(2, '\0') + Record("p1of2@x");
  marks.Write(u"alt.test"_s, damaged);
  TSet set;
  set.SetRead("t1@x", true);
  {
    TArticleStatusUpdateHelper writer(marks.Path(), set.newsgroups);
    const auto [post, i] = set.Find("t1@x");
    writer.SaveMIDForArticle(*post, i);
  }
  EXPECT_FALSE(set.IsRead("t1@x"));  // the user's choice holds in memory
  EXPECT_EQ(marks.Read(u"alt.test"_s), damaged);
}

TEST(ReadMarks, ApplyingLeavesFlagsAloneWithoutMarksAndFollowsTheFileWithThem) {
  TMarksDir marks;
  TSet set;
  set.SetRead("t1@x", true);  // as loaded
  set.SetRead("o1@y", true);
  marks.Write(u"alt.other"_s, {});  // an empty file counts as no marks
  ApplyReadMarks(set.headers, marks.Path(), set.newsgroups);
  EXPECT_EQ(set.ReadIds(), (std::set<std::string>{"t1@x", "o1@y"}));

  marks.Write(u"alt.test"_s, Record("p2of2@x"));
  ApplyReadMarks(set.headers, marks.Path(), set.newsgroups);
  EXPECT_EQ(set.ReadIds(), (std::set<std::string>{"p2of2@x", "o1@y"}));

  // A set whose newsgroup numbers have no names leaves its flags alone.
  ApplyReadMarks(set.headers, marks.Path(), {});
  EXPECT_EQ(set.ReadIds(), (std::set<std::string>{"p2of2@x", "o1@y"}));
}

TEST(ReadMarks, DisplayedArticlesAndBatchesAppendToTheirNewsgroupsFiles) {
  TMarksDir marks;
  TSet set;
  const auto [post, i] = set.Find("o1@y");
  MarkArticleRead(*post, i, marks.Path(), set.newsgroups);
  MarkArticleRead(*post, i, marks.Path(), set.newsgroups);
  EXPECT_TRUE(set.IsRead("o1@y"));
  EXPECT_EQ(marks.Read(u"alt.other"_s), Record("o1@y"));

  EXPECT_FALSE(WriteReadMarks(marks.Path(), {{"a@x", u"g.one"_s},
                                             {"b@x", u"g.one"_s},
                                             {"c@x", u"g.two"_s},
                                             {"d@x", u"g.one"_s},
                                             {"", u"g.two"_s}}));  // the empty one fails alone
  EXPECT_EQ(marks.Read(u"g.one"_s), Record("a@x") + Record("b@x") + Record("d@x"));
  EXPECT_EQ(marks.Read(u"g.two"_s), Record("c@x"));
}
