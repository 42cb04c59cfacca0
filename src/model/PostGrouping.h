#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <vector>

class TPost;
struct TSettings;

// How alike two subjects are, in percent, comparing letters only (A-Z, a-z,
// case-sensitive; digits and other bytes are skipped). Empty subjects give 0.
// By start: equal letter pairs up to the first unequal one, over the average
// letter count. By content: equal pairs over the whole walk, over the letter
// count of the shorter subject (may exceed 100).
int RatingByStart(QByteArrayView a, QByteArrayView b);
int RatingByContent(QByteArrayView a, QByteArrayView b);

enum : int { GROUPING_METHOD_START = 1, GROUPING_METHOD_CONTENT = 2 };
enum : std::uint8_t { GROUP_FLAG_INCOMPLETE = 0x01 };  // a member binary post is not complete

struct TGroupingOptions {
  bool groupSimilarPosts = true;
  bool alwaysGroupSmallList = false;  // group lists of 50 posts or fewer too
  bool groupTextPosts = false;
  int method = GROUPING_METHOD_CONTENT;  // 1 by start, anything else by content
  int threshold = 60;                    // a rating at or above it is similar

  static TGroupingOptions FromSettings(const TSettings& settings);
};

// Totals shown on a group node.
struct TGroupEntry {
  std::uint64_t totalLines = 0;
  std::uint64_t totalBytes = 0;
  std::uint32_t articles = 0;
  std::uint8_t flags = 0;
};
using TGroupNodeArray = std::vector<TGroupEntry>;

// A run of similar posts in display order: posts[first .. first + count),
// shown under one group node whose totals are entries[index].
struct TSimilarGroup {
  int first = 0;
  int count = 0;
};

// Groups the top-level posts of a list sorted by subject: every post is
// compared with the first post of the current run (text posts only when
// options allow); a similar post joins the run, another one starts a new run.
// Answers the runs of two or more posts and fills entries, one per run.
std::vector<TSimilarGroup> GroupSimilarPosts(const std::vector<const TPost*>& posts, const TGroupingOptions& options,
                                             TGroupNodeArray& entries);
