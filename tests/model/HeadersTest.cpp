#include "HeaderGenerator.h"
#include "app/Logger.h"
#include "model/Headers.h"
#include "model/InternedStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct THeaderFields {
  const char* subject;
  const char* messageId;
  int part = 0;
  int total = 0;
  std::uint32_t bytes = 1000;
  std::uint32_t lines = 10;
  double date = 45000;
  const char* sender = "Poster <poster@example.com>";
  const char* references = "";
};

TLoadedHeader Make(const THeaderFields& s) {
  TLoadedHeader h;
  h.number = 1;
  h.subject = s.subject;
  h.messageId = s.messageId;
  h.partNumber = static_cast<std::uint16_t>(s.part);
  h.totalParts = static_cast<std::uint16_t>(s.total);
  h.bytes = s.bytes;
  h.lines = s.lines;
  h.date = s.date;
  h.sender = s.sender;
  h.references = s.references;
  return h;
}

std::vector<int> Parts(const TPost& post) {
  std::vector<int> parts;
  for (int i = 0; i < post.ArticleCount(); ++i) parts.push_back(post.MultipartArticle(i).PartNumber());
  return parts;
}

std::string Id(const TPost& post, int i) { return post.MessageID(i).toStdString(); }

// Every article of a text post is reached exactly once from its root.
bool IsOneTree(const TPost& post) {
  std::vector<int> seen(static_cast<std::size_t>(post.ArticleCount()), 0);
  std::vector<int> stack{post.ThreadRoot()};
  int visited = 0;
  while (!stack.empty()) {
    const int a = stack.back();
    stack.pop_back();
    if (a < 0 || a >= post.ArticleCount() || seen[a]++) return false;
    ++visited;
    for (int r = post.FirstReply(a); r >= 0; r = post.FindReply(r, 1)) stack.push_back(r);
  }
  return visited == post.ArticleCount() && post.TextArticle(post.ThreadRoot()).nextSibling == kNoArticle;
}

}  // namespace

TEST(Headers, SubjectsDifferingInCaseShareAPostNamedByTheFirst) {
  THeaders headers;
  ASSERT_TRUE(headers.Add(Make({"Holiday Pictures - file.jpg ", "p2@x", 2, 2})));
  ASSERT_TRUE(headers.Add(Make({"HOLIDAY pictures - FILE.JPG ", "p1@x", 1, 2})));
  headers.Finalize();
  ASSERT_EQ(headers.PostCount(), 1);
  const TPost& post = headers.Post(0);
  EXPECT_EQ(post.Subject(), "Holiday Pictures - file.jpg ");
  EXPECT_TRUE(post.IsMultipart());
  EXPECT_EQ(Parts(post), (std::vector<int>{1, 2}));
  EXPECT_TRUE(post.HasFlag(POST_FLAG_COMPLETE_MULTIPART));
  EXPECT_EQ(headers.FindPost("holiday pictures - file.jpg "), &headers.Post(0));
  EXPECT_EQ(headers.TotalArticles(), 2u);
}

TEST(Headers, ThePostKindIsSetByItsFirstHeader) {
  THeaders headers;
  // A text post keeps later headers that carry a part count, as text articles.
  ASSERT_TRUE(headers.Add(Make({"Question", "t1@x"})));
  ASSERT_TRUE(headers.Add(Make({"question", "t2@x", 1, 5})));
  // A binary post takes a header without a counter as part 0.
  ASSERT_TRUE(headers.Add(Make({"file.rar", "b1@x", 1, 1})));
  ASSERT_TRUE(headers.Add(Make({"file.rar", "b0@x"})));
  headers.Finalize();
  ASSERT_EQ(headers.PostCount(), 2);
  const TPost& text = headers.Post(0);
  EXPECT_FALSE(text.IsMultipart());
  EXPECT_EQ(text.ArticleClass(), ARTICLE_CLASS_TEXT);
  EXPECT_EQ(text.ArticleCount(), 2);
  EXPECT_EQ(text.TotalParts(), 0);
  const TPost& binary = headers.Post(1);
  EXPECT_EQ(binary.ArticleClass(), ARTICLE_CLASS_MULTIPART);
  EXPECT_EQ(Parts(binary), (std::vector<int>{0, 1}));
  EXPECT_TRUE(binary.HasFlag(POST_FLAG_COMPLETE_MULTIPART));
  EXPECT_EQ(Id(binary, 0), "b0@x");
}

TEST(Headers, PartsSortAndCompleteness) {
  struct TCase {
    std::vector<std::pair<int, std::uint32_t>> parts;  // part, bytes, in arrival order
    int total;
    std::vector<int> sorted;
    bool complete;
  } cases[] = {
      {{{2, 10}, {1, 10}, {3, 10}, {2, 30}}, 3, {1, 2, 2, 3}, true},
      {{{1, 10}, {3, 10}}, 3, {1, 3}, false},
      {{{1, 10}, {0, 10}}, 1, {0, 1}, true},
      {{{2, 10}, {3, 10}}, 3, {2, 3}, false},
      {{{4, 10}, {3, 10}, {2, 10}, {1, 10}}, 3, {1, 2, 3, 4}, true},
      {{{1, 10}, {2, 10}}, 3, {1, 2}, false},
  };
  for (const TCase& c : cases) {
    THeaders headers;
    std::vector<std::string> ids;
    for (const auto& [part, bytes] : c.parts) {
      ids.push_back("id" + std::to_string(ids.size()) + "@example.com");
      THeaderFields fields{"set", ids.back().c_str(), part, c.total, bytes};
      ASSERT_TRUE(headers.Add(Make(fields)));
    }
    headers.Finalize();
    const TPost& post = headers.Post(0);
    EXPECT_EQ(Parts(post), c.sorted);
    EXPECT_EQ(post.HasFlag(POST_FLAG_COMPLETE_MULTIPART), c.complete);
  }
  // A repeated part's largest copy comes first; equal copies keep their order.
  THeaders headers;
  const std::pair<const char*, std::uint32_t> copies[] = {{"small@x", 100}, {"large@x", 300}, {"same@x", 300}};
  for (const auto& [id, bytes] : copies) headers.Add(Make({"dup", id, 1, 1, bytes}));
  headers.Finalize();
  EXPECT_EQ(Id(headers.Post(0), 0), "large@x");
  EXPECT_EQ(Id(headers.Post(0), 1), "same@x");
  EXPECT_EQ(Id(headers.Post(0), 2), "small@x");
}

TEST(Headers, FieldLimitsDatesAndTotals) {
  THeaders headers;
  const double before1954 = 19000;
  const double after2044 = 60000;
  ASSERT_TRUE(headers.Add(Make({"big", "a1@x", 1, 3, 3000000000u, 70000, before1954})));
  ASSERT_TRUE(headers.Add(Make({"big", "a2@x", 2, 3, 3000000000u, 100, after2044})));
  ASSERT_TRUE(headers.Add(Make({"big", "a3@x", 3, 3, 3000000000u, 100, 45000})));
  EXPECT_EQ(headers.ClampedDates(), 2u);
  headers.Finalize();
  const TPost& post = headers.Post(0);
  EXPECT_EQ(post.Article(0).lines, 65535);
  EXPECT_EQ(post.Article(0).date, 0u);
  EXPECT_EQ(DaysToDateTime(DecodeShortDate(post.Article(0).date)).date(), QDate(1954, 10, 3));
  EXPECT_EQ(post.Article(1).date, kShortDateMax);
  EXPECT_EQ(post.TotalLines(), 65535u + 200u);
  EXPECT_EQ(post.TotalBytes(), 9000000000ull);  // past 4 GiB without wrapping
}

TEST(Headers, APostHoldsAtMost16383Articles) {
  THeaders headers;
  for (int i = 0; i < kMaxPostArticles + 20; ++i) {
    const std::string id = "m" + std::to_string(i) + "@x";
    ASSERT_TRUE(headers.Add(Make({"talk", id.c_str()})));
  }
  headers.Finalize();
  EXPECT_EQ(headers.Post(0).ArticleCount(), kMaxPostArticles);
  EXPECT_EQ(headers.TotalArticles(), static_cast<std::uint64_t>(kMaxPostArticles));
  EXPECT_TRUE(IsOneTree(headers.Post(0)));
}

TEST(Headers, IdentifiersComeBackPlainWhateverTheirStoredForm) {
  THeaders headers;
  // Added 3, 1, 2: part 3's identifier is the base the others are stored against.
  for (int part : {3, 1, 2}) {
    const std::string id = "part" + std::to_string(part) + "of12.abcdefgh@powerpost.local";
    ASSERT_TRUE(headers.Add(Make({"series", id.c_str(), part, 12})));
  }
  ASSERT_TRUE(headers.Add(Make({"other", "x@y"})));
  ASSERT_TRUE(headers.Add(Make({"other", "completely-different-and-long@host.example"})));
  headers.Finalize();
  const TPost& series = headers.Post(0);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Id(series, i), "part" + std::to_string(i + 1) + "of12.abcdefgh@powerpost.local");
  EXPECT_FALSE(series.Article(2).HasFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF));  // part 3, the base
  EXPECT_TRUE(series.Article(0).HasFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF));
  const TPost& other = headers.Post(1);
  EXPECT_FALSE(other.Article(1).HasFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF));
  EXPECT_EQ(Id(other, 1), "completely-different-and-long@host.example");
  EXPECT_EQ(series.ArticleCaption(1), "Part 2 of 12 - part2of12.abcdefgh@powerpost.local");
  EXPECT_EQ(series.PostCaption(1), "series (2/12)");
  EXPECT_EQ(other.PostCaption(0), "other");
  EXPECT_EQ(other.ArticleCaption(0), "Poster <poster@example.com>");
}

TEST(Headers, RefusedHeaders) {
  THeaders headers;
  const int errors = TLogger::Instance().ErrorCount();
  EXPECT_FALSE(headers.Add(Make({"", "a@x"})));
  EXPECT_EQ(TLogger::Instance().ErrorCount(), errors + 1);
  const QByteArray longSubject(70000, 's');
  TLoadedHeader h = Make({"", "b@x"});
  h.subject = longSubject;
  EXPECT_FALSE(headers.Add(h));
  ASSERT_TRUE(headers.Add(Make({"fine", "c@x"})));
  headers.Finalize();
  EXPECT_FALSE(headers.Add(Make({"late", "d@x"})));
  headers.Finalize();  // a second call changes nothing
  EXPECT_EQ(headers.PostCount(), 1);
  EXPECT_EQ(headers.TotalArticles(), 1u);
}

TEST(Headers, EnumeratorsWalkInsertionOrder) {
  THeaders headers;
  for (const char* subject : {"b", "a", "c", "A"}) headers.Add(Make({subject, "i@x"}));
  headers.Finalize();
  std::string order;
  TPostEnumerator posts = headers.GetEnumerator();
  while (posts.MoveNext()) {
    order += posts.Current().Subject().toByteArray().toStdString();
    TArticleEnumerator articles(posts.Current());
    while (articles.MoveNext()) order += std::to_string(articles.Index());
  }
  EXPECT_EQ(order, "b0a01c0");
}

TEST(Headers, StatusCommandsAndQueries) {
  struct TCase {
    int command;
    std::vector<int> before;  // article flags set first
    std::vector<int> after;   // the status flags set afterwards
  } cases[] = {
      {STATUS_CLEAR_DOWNLOAD,
       {ARTICLE_FLAG_DOWNLOADED, ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD, ARTICLE_FLAG_DECODING},
       {ARTICLE_FLAG_DECODING}},
      {STATUS_CLEAR_DECODING, {ARTICLE_FLAG_DECODING, ARTICLE_FLAG_EXPIRED}, {ARTICLE_FLAG_EXPIRED}},
      {STATUS_CLEAR_ALL, {ARTICLE_FLAG_DECODING, ARTICLE_FLAG_EXPIRED, ARTICLE_FLAG_SAVED}, {ARTICLE_FLAG_SAVED}},
      {STATUS_SET_QUEUED, {ARTICLE_FLAG_DOWNLOADED}, {ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD}},
      {STATUS_SET_EXPIRED, {ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD}, {ARTICLE_FLAG_EXPIRED}},
      {STATUS_SET_DOWNLOADED,
       {ARTICLE_FLAG_EXPIRED, ARTICLE_FLAG_DECODING},
       {ARTICLE_FLAG_DOWNLOADED, ARTICLE_FLAG_DECODING}},
      {STATUS_SET_DECODING, {ARTICLE_FLAG_DOWNLOADED}, {ARTICLE_FLAG_DOWNLOADED, ARTICLE_FLAG_DECODING}},
      {STATUS_SET_SAVED, {ARTICLE_FLAG_DOWNLOADED, ARTICLE_FLAG_DECODING}, {ARTICLE_FLAG_SAVED}},
      {7, {ARTICLE_FLAG_DOWNLOADED}, {ARTICLE_FLAG_DOWNLOADED}},
  };
  const int statusBits[] = {ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD, ARTICLE_FLAG_EXPIRED, ARTICLE_FLAG_DOWNLOADED,
                            ARTICLE_FLAG_DECODING, ARTICLE_FLAG_SAVED};
  for (const TCase& c : cases) {
    TArticle a;
    a.SetFlag(ARTICLE_FLAG_IS_READ, true);
    for (int bit : c.before) a.SetFlag(bit, true);
    a.SetStatus(c.command);
    for (int bit : statusBits)
      EXPECT_EQ(a.HasFlag(bit), std::count(c.after.begin(), c.after.end(), bit) == 1)
          << "command " << c.command << " bit " << bit;
    EXPECT_TRUE(a.HasFlag(ARTICLE_FLAG_IS_READ));
  }
  TArticle a;
  a.SetFlag(16, true);
  EXPECT_EQ(a.flags, 0);
  a.SetStatus(STATUS_SET_QUEUED);
  EXPECT_TRUE(a.GetStatus(STATUS_QUERY_BUSY));
  EXPECT_FALSE(a.GetStatus(STATUS_QUERY_SAVED));
  EXPECT_FALSE(a.GetStatus(STATUS_QUERY_UNREAD));

  // Posts: the same commands on their own bits, the unread query over articles.
  THeaders headers;
  headers.Add(Make({"set", "1@x", 1, 2}));
  headers.Add(Make({"set", "2@x", 2, 2}));
  headers.Finalize();
  TPost& post = headers.Post(0);
  post.SetFlag(POST_FLAG_COMPLETE_MULTIPART, true);
  post.SetStatus(STATUS_SET_SAVED);
  EXPECT_TRUE(post.GetStatus(STATUS_QUERY_SAVED));
  EXPECT_TRUE(post.HasFlag(POST_FLAG_COMPLETE_MULTIPART));
  post.SetFlag(8, true);
  EXPECT_EQ(post.Flags(), (1 << POST_FLAG_COMPLETE_MULTIPART) | (1 << POST_FLAG_SAVED));
  EXPECT_TRUE(post.GetStatus(STATUS_QUERY_UNREAD));
  post.Article(0).SetFlag(ARTICLE_FLAG_IS_READ, true);
  post.Article(1).SetFlag(ARTICLE_FLAG_IS_READ, true);
  EXPECT_FALSE(post.GetStatus(STATUS_QUERY_UNREAD));

  post.Article(0).SetStatus(STATUS_SET_DOWNLOADED);
  EXPECT_EQ(post.DownloadedCount(), 1);
  post.SetStatusFromArticles(ARTICLE_FLAG_DOWNLOADED, STATUS_SET_DOWNLOADED, STATUS_SET_QUEUED);
  EXPECT_TRUE(post.HasFlag(POST_FLAG_QUEUED_FOR_DOWNLOAD));
  post.SetArticlesStatus(STATUS_SET_DOWNLOADED);
  EXPECT_EQ(post.DownloadedCount(), 2);
  post.SetStatusFromArticles(ARTICLE_FLAG_DOWNLOADED, STATUS_SET_DOWNLOADED, STATUS_SET_QUEUED);
  EXPECT_TRUE(post.HasFlag(POST_FLAG_DOWNLOADED));
  EXPECT_FALSE(post.HasFlag(POST_FLAG_QUEUED_FOR_DOWNLOAD));
}

TEST(Headers, GeneratedSetMatchesWhatWentIn) {
  struct TSeen {
    int part;
    std::uint32_t bytes;
  };
  THeaderGeneratorOptions options;
  options.seed = 11;
  options.textShare = 0.2;
  options.missingPartRate = 0.01;
  options.duplicatePartRate = 0.01;
  THeaderGenerator generator(options);
  THeaders headers;
  std::map<std::string, std::vector<std::string>> idsByKey;  // lower-cased subject key -> identifiers
  std::map<std::string, TSeen> seen;                         // identifier -> part and bytes
  std::map<std::string, int> totals;
  for (int i = 0; i < 60000; ++i) {
    const TLoadedHeader& h = generator.Next();
    ASSERT_TRUE(headers.Add(h));
    const std::string key = h.subject.toByteArray().toLower().toStdString();
    idsByKey[key].push_back(h.messageId.toByteArray().toStdString());
    seen[idsByKey[key].back()] = {h.partNumber, h.bytes};
    totals.try_emplace(key, h.totalParts);
  }
  headers.Finalize();
  ASSERT_EQ(static_cast<std::size_t>(headers.PostCount()), idsByKey.size());
  EXPECT_EQ(headers.TotalArticles(), 60000u);

  int complete = 0;
  int incomplete = 0;
  int threads = 0;
  for (int p = 0; p < headers.PostCount(); ++p) {
    const TPost& post = headers.Post(p);
    const std::string key = post.Subject().toByteArray().toLower().toStdString();
    const std::vector<std::string>& ids = idsByKey[key];
    ASSERT_EQ(post.ArticleCount(), static_cast<int>(ids.size())) << key;
    EXPECT_EQ(post.IsMultipart(), totals[key] != 0);
    std::multiset<std::string> expected(ids.begin(), ids.end());
    std::uint64_t bytes = 0;
    std::set<int> parts;
    for (int i = 0; i < post.ArticleCount(); ++i) {
      const std::string id = Id(post, i);
      ASSERT_TRUE(expected.count(id)) << "unknown identifier " << id;
      expected.erase(expected.find(id));
      bytes += post.Article(i).bytes;
      if (post.IsMultipart()) {
        const TMultipartArticle& a = post.MultipartArticle(i);
        EXPECT_EQ(a.PartNumber(), seen[id].part);
        if (i > 0) {
          const TMultipartArticle& before = post.MultipartArticle(i - 1);
          EXPECT_TRUE(before.partNumber < a.partNumber ||
                      (before.partNumber == a.partNumber && before.bytes >= a.bytes));
        }
        parts.insert(a.partNumber);
      }
    }
    EXPECT_EQ(post.TotalBytes(), bytes);
    if (post.IsMultipart()) {
      bool all = true;
      for (int k = 1; k <= post.TotalParts(); ++k) all = all && parts.count(k);
      EXPECT_EQ(post.HasFlag(POST_FLAG_COMPLETE_MULTIPART), all) << key;
      (all ? complete : incomplete)++;
    } else {
      EXPECT_TRUE(IsOneTree(post)) << key;
      threads += post.ArticleCount() > 1;
    }
  }
  // The stream has every kind in fair numbers.
  EXPECT_GT(complete, 50);
  EXPECT_GT(incomplete, 20);
  EXPECT_GT(threads, 100);
}

TEST(Headers, TwoLoadsAtOnceKeepTheirSendersAndReferences) {
  // Two tabs load header sets at the same time; both intern into the shared tables.
  const auto load = [](std::uint64_t seed, THeaders& headers, std::map<std::string, std::string>& expected) {
    THeaderGeneratorOptions options;
    options.seed = seed;
    options.textShare = 0.5;
    options.senderPool = 20000;
    THeaderGenerator generator(options);
    for (int i = 0; i < 30000; ++i) {
      const TLoadedHeader& h = generator.Next();
      headers.Add(h);
      expected[h.messageId.toByteArray().toStdString()] =
          h.sender.toByteArray().toStdString() + '|' + h.references.toByteArray().toStdString();
    }
    headers.Finalize();
  };
  THeaders first;
  THeaders second;
  std::map<std::string, std::string> expectedFirst;
  std::map<std::string, std::string> expectedSecond;
  std::thread a(load, 101, std::ref(first), std::ref(expectedFirst));
  std::thread b(load, 202, std::ref(second), std::ref(expectedSecond));
  a.join();
  b.join();
  for (auto [headers, expected] : {std::pair{&first, &expectedFirst}, std::pair{&second, &expectedSecond}}) {
    int checked = 0;
    for (int p = 0; p < headers->PostCount(); ++p) {
      const TPost& post = headers->Post(p);
      for (int i = 0; i < post.ArticleCount(); ++i) {
        std::string got(post.Article(i).Sender());
        got += '|';
        if (!post.IsMultipart()) got += post.TextArticle(i).References();
        const std::string& want = (*expected)[Id(post, i)];
        // Senders are shared ignoring case: compare them so.
        ASSERT_EQ(QByteArray::fromStdString(got).toLower(),
                  QByteArray::fromStdString(post.IsMultipart() ? want.substr(0, want.find('|') + 1) : want).toLower());
        ++checked;
      }
    }
    EXPECT_EQ(checked, 30000);
  }
}
