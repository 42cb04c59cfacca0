#include "support/TempDir.h"

#include "model/ArticleThreader.h"
#include "model/Headers.h"
#include "model/MessageThreader.h"
#include "model/SubjectParsing.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Parent of every article of a text post, as the tree says (-1 for the root).
std::vector<int> Parents(const TPost& post) {
  std::vector<int> parent(static_cast<std::size_t>(post.ArticleCount()), -2);
  std::vector<int> stack{post.ThreadRoot()};
  parent[post.ThreadRoot()] = -1;
  while (!stack.empty()) {
    const int a = stack.back();
    stack.pop_back();
    for (int r = post.FirstReply(a); r >= 0; r = post.FindReply(r, 1)) {
      EXPECT_EQ(parent[r], -2) << "article reached twice";
      parent[r] = a;
      stack.push_back(r);
    }
  }
  return parent;
}

std::vector<int> Replies(const TPost& post, int article) {
  std::vector<int> out;
  for (int r = post.FirstReply(article); r >= 0; r = post.FindReply(r, 1)) out.push_back(r);
  return out;
}

struct TArticleFields {
  const char* id;
  const char* references;
  double date = 45000;
};

// One text post made of the given articles, in this order.
void Thread(THeaders& headers, const std::vector<TArticleFields>& articles) {
  for (const TArticleFields& a : articles) {
    TLoadedHeader h;
    h.subject = "topic";
    h.messageId = a.id;
    h.references = a.references;
    h.date = a.date;
    ASSERT_TRUE(headers.Add(h));
  }
  headers.Finalize();
}

}  // namespace

TEST(ArticleThreader, RealOverviewThreadsFollowTheirReferences) {
  QFile file(TestDataPath(u"model/overview/basic"_s));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  THeaders headers;
  std::map<std::string, std::vector<QByteArray>> referencesById;
  int lines = 0;
  while (!file.atEnd()) {
    QByteArray line = file.readLine();
    if (line.endsWith('\n')) line.chop(1);
    const QList<QByteArray> f = line.split('\t');
    ASSERT_EQ(f.size(), 9);
    QByteArray subject = f[1];
    TLoadedHeader h;
    h.reply = StripReplyPrefixes(subject);
    while (subject.contains("  ")) subject.replace("  ", " ");
    h.subject = subject;
    h.sender = f[2];
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(f[3]), Qt::RFC2822Date);
    ASSERT_TRUE(date.isValid()) << f[3].toStdString();
    h.date = DateTimeToDays(date);
    const QByteArray id = f[4].mid(1, f[4].size() - 2);
    h.messageId = id;
    h.references = f[5];
    h.bytes = f[6].toUInt();
    h.lines = f[7].toUInt();
    h.number = static_cast<std::uint32_t>(++lines);
    ASSERT_TRUE(headers.Add(h));
    std::vector<std::string_view> refs;
    TArticleThreader::ParseReferences(std::string_view(f[5].constData(), f[5].size()), refs);
    for (std::string_view r : refs) referencesById[id.toStdString()].push_back(QByteArray(r.data(), r.size()));
  }
  headers.Finalize();
  ASSERT_EQ(lines, 99);

  int replies = 0;
  int deep = 0;
  for (int p = 0; p < headers.PostCount(); ++p) {
    const TPost& post = headers.Post(p);
    ASSERT_FALSE(post.IsMultipart());
    const std::vector<int> parent = Parents(post);
    std::map<std::string, int> index;
    for (int i = 0; i < post.ArticleCount(); ++i) index.emplace(post.MessageID(i).toStdString(), i);
    int root = -1;
    for (int i = 0; i < post.ArticleCount(); ++i) {
      SCOPED_TRACE(post.MessageID(i).toStdString());
      ASSERT_NE(parent[i], -2) << "article missing from the tree";
      // The parent is the latest reference present in the post.
      int expected = -1;
      const std::vector<QByteArray>& refs = referencesById[post.MessageID(i).toStdString()];
      for (auto r = refs.rbegin(); r != refs.rend() && expected < 0; ++r) {
        const auto it = index.find(r->toStdString());
        if (it != index.end() && it->second != i) expected = it->second;
      }
      if (expected < 0) {
        if (root < 0) {
          root = i;
          EXPECT_EQ(post.ThreadRoot(), i);
          continue;
        }
        expected = root;  // parent not loaded: under the root
      } else {
        ++replies;
        deep += parent[expected] >= 0;
      }
      EXPECT_EQ(parent[i], expected);
    }
    // Replies to one article in date order.
    for (int i = 0; i < post.ArticleCount(); ++i) {
      const std::vector<int> r = Replies(post, i);
      for (std::size_t k = 1; k < r.size(); ++k) EXPECT_LE(post.Article(r[k - 1]).date, post.Article(r[k]).date);
    }
    EXPECT_EQ(post.ChildCount(), 1);
  }
  // The corpus has real chains, not just flat replies.
  EXPECT_GT(replies, 20);
  EXPECT_GT(deep, 5);
}

TEST(ArticleThreader, RepliesInDateOrderEqualDatesInArrivalOrder) {
  THeaders headers;
  const double ten = 45000 + 10 / 24.0;
  const double nine = 45000 + 9 / 24.0;
  Thread(headers, {{"root", ""},
                   {"late", "<root>", ten},
                   {"early", "<root>", nine},
                   {"same1", "<root>", ten},
                   {"same2", "<x> <root>", ten},
                   {"orphan", "<gone> <missing>", nine}});
  const TPost& post = headers.Post(0);
  EXPECT_EQ(post.ThreadRoot(), 0);
  // The orphan's parents are not loaded: it hangs under the root, by date.
  EXPECT_EQ(Replies(post, 0), (std::vector<int>{2, 5, 1, 3, 4}));
  EXPECT_EQ(post.ReplyCount(0), 5);
  EXPECT_EQ(post.FindReply(2, 2), 1);
  EXPECT_EQ(post.FindReply(2, 9), -1);
  EXPECT_EQ(post.FindReply(99, 0), -1);
}

TEST(ArticleThreader, ReferencesAndTheirBrackets) {
  std::vector<std::string_view> refs;
  TArticleThreader::ParseReferences("<a1> <a2", refs);
  EXPECT_EQ(refs, (std::vector<std::string_view>{"a1"}));
  TArticleThreader::ParseReferences("junk <a1>\t<a2>  <> <<a3>", refs);
  EXPECT_EQ(refs, (std::vector<std::string_view>{"a1", "a2", "<a3"}));
  TArticleThreader::ParseReferences("", refs);
  EXPECT_TRUE(refs.empty());

  // The later reference wins when both are loaded; an unclosed one is ignored.
  THeaders headers;
  Thread(headers, {{"a1", ""}, {"a2", "<a1>"}, {"b", "<a1> <a2>"}, {"c", "<a2> <b"}});
  const std::vector<int> parent = Parents(headers.Post(0));
  EXPECT_EQ(parent, (std::vector<int>{-1, 0, 1, 1}));
}

TEST(ArticleThreader, CyclesStayInTheTree) {
  struct TCase {
    const char* name;
    std::vector<TArticleFields> articles;
    int root;
    std::vector<int> parents;
  } cases[] = {
      // Every article names the next: no root at all, the first becomes it.
      {"cycle alone", {{"a", "<b>", 45000.3}, {"b", "<c>", 45000.2}, {"c", "<a>", 45000.1}}, 0, {-1, 0, 0}},
      // A circle beside a real root: its first article goes under the root.
      {"cycle beside a root", {{"r", ""}, {"a", "<b>"}, {"b", "<c>"}, {"c", "<a>"}}, 0, {-1, 0, 3, 1}},
      // An article naming itself.
      {"self", {{"r", ""}, {"a", "<a>"}}, 0, {-1, 0}},
      // Two copies of one article (a crosspost loaded twice) naming themselves.
      {"copies", {{"r", ""}, {"a", "<a>"}, {"a", "<a>"}}, 0, {-1, 0, 1}},
      // A circle with a tail hanging off it.
      {"tail", {{"r", ""}, {"t", "<b>"}, {"a", "<b>"}, {"b", "<a>"}}, 0, {-1, 3, 0, 2}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    THeaders headers;
    Thread(headers, c.articles);
    const TPost& post = headers.Post(0);
    EXPECT_EQ(post.ThreadRoot(), c.root);
    EXPECT_EQ(Parents(post), c.parents);
    EXPECT_EQ(post.ChildCount(), 1);
  }
  // Spelled out for the lone cycle: children of the first in date order.
  THeaders headers;
  Thread(headers, {{"a", "<b>", 45000.3}, {"b", "<c>", 45000.2}, {"c", "<a>", 45000.1}});
  EXPECT_EQ(Replies(headers.Post(0), 0), (std::vector<int>{2, 1}));
}

TEST(MessageThreader, RowsInTreeOrderWithDepth) {
  TMessageThreader threader;
  threader.SetCount(6);
  threader.SetEntry(0, 100, 45000.5, "", "root");
  threader.SetEntry(1, 101, 45000.7, " <root> ", "reply-late");
  threader.SetEntry(2, 102, 45000.6, "<root>", "reply-early");
  threader.SetEntry(3, 103, 45000.8, "<root> <reply-early>", "deep");
  threader.SetEntry(4, 104, 45000.1, "", "other-top");  // a second top level: moved under the first
  threader.SetEntry(5, 105, 45000.9, "<self>", "self");
  threader.Thread();
  std::vector<std::pair<std::intptr_t, int>> rows;
  for (int r = 0; r < threader.Count(); ++r) rows.emplace_back(threader.Item(r), threader.Depth(r));
  // Top level by date: other-top (.1), root (.5), self (.9): the first takes the others.
  EXPECT_EQ(rows,
            (std::vector<std::pair<std::intptr_t, int>>{{104, 0}, {100, 1}, {102, 2}, {103, 3}, {101, 2}, {105, 1}}));

  // A cycle of two rows still shows both.
  threader.SetCount(2);
  threader.SetEntry(0, 1, 45000, "<b>", "a");
  threader.SetEntry(1, 2, 45000, "<a>", "b");
  threader.Thread();
  EXPECT_EQ(threader.Count(), 2);
}
