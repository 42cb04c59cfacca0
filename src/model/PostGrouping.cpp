#include "model/PostGrouping.h"

#include "app/Settings.h"
#include "model/Post.h"

namespace {

inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int Letters(QByteArrayView s) {
  int n = 0;
  for (char c : s) n += IsLetter(c);
  return n;
}

// Pairs up letters of a and b in order and counts the equal pairs; with
// stopAtDifference the count ends at the first unequal pair.
int EqualLetterPairs(QByteArrayView a, QByteArrayView b, bool stopAtDifference) {
  qsizetype i = 0;
  qsizetype j = 0;
  int count = 0;
  while (i < a.size() && j < b.size()) {
    if (!IsLetter(a[i])) {
      ++i;
      continue;
    }
    const char c = b[j++];
    if (!IsLetter(c)) continue;
    if (a[i] == c) {
      ++count;
    } else if (stopAtDifference) {
      break;
    }
    ++i;
  }
  return count;
}

}  // namespace

int RatingByContent(QByteArrayView a, QByteArrayView b) {
  if (a.isEmpty() || b.isEmpty()) return 0;
  const int count = EqualLetterPairs(a, b, false);
  const int letters = Letters(a.size() < b.size() ? a : b);
  return letters ? count * 100 / letters : 0;
}

int RatingByStart(QByteArrayView a, QByteArrayView b) {
  if (a.isEmpty() || b.isEmpty()) return 0;
  const int count = EqualLetterPairs(a, b, true);
  const int average = (Letters(a) + Letters(b)) / 2;
  return count && average ? count * 100 / average : 0;
}

TGroupingOptions TGroupingOptions::FromSettings(const TSettings& settings) {
  TGroupingOptions o;
  o.groupSimilarPosts = settings.gGroupSimilarPosts;
  o.alwaysGroupSmallList = settings.gAlwaysGroupSmallHeadersList;
  o.groupTextPosts = settings.gGroupingGroupTextPosts;
  o.method = settings.gGroupingSimilarityMethod;
  o.threshold = settings.gGroupingSimilarityRating;
  return o;
}

std::vector<TSimilarGroup> GroupSimilarPosts(const std::vector<const TPost*>& posts, const TGroupingOptions& options,
                                             TGroupNodeArray& entries) {
  entries.clear();
  std::vector<TSimilarGroup> groups;
  if (!options.groupSimilarPosts || posts.empty()) return groups;
  if (posts.size() <= 50 && !options.alwaysGroupSmallList) return groups;

  const auto rate = options.method == GROUPING_METHOD_START ? RatingByStart : RatingByContent;
  std::size_t head = 0;
  bool inGroup = false;
  for (std::size_t p = 1; p < posts.size(); ++p) {
    const bool candidate = options.groupTextPosts || (posts[head]->IsMultipart() && posts[p]->IsMultipart());
    if (candidate && rate(posts[head]->Subject(), posts[p]->Subject()) >= options.threshold) {
      if (!inGroup) {
        groups.push_back({static_cast<int>(head), 1});
        inGroup = true;
      }
      ++groups.back().count;
    } else {
      inGroup = false;
      head = p;
    }
  }
  entries.reserve(groups.size());
  for (const TSimilarGroup& g : groups) {
    TGroupEntry e;
    for (int k = g.first; k < g.first + g.count; ++k) {
      const TPost& post = *posts[static_cast<std::size_t>(k)];
      e.totalLines += post.TotalLines();
      e.totalBytes += post.TotalBytes();
      e.articles += static_cast<std::uint32_t>(post.ArticleCount());
      if (post.IsMultipart() && !post.HasFlag(POST_FLAG_COMPLETE_MULTIPART)) e.flags |= GROUP_FLAG_INCOMPLETE;
    }
    entries.push_back(e);
  }
  return groups;
}
