#pragma once

#include "model/LoadedHeader.h"
#include "model/MessageIdStore.h"
#include "model/PodArray.h"
#include "model/Post.h"
#include "model/RecentKeyCache.h"
#include "model/StringDiff.h"
#include "model/UniqueStringList.h"

#include <cstdint>
#include <deque>
#include <vector>

class TPostEnumerator;

// Where the memory of a header set goes, in bytes.
struct THeadersMemory {
  std::size_t articles = 0;    // article records
  std::size_t messageIds = 0;  // identifier store, plain and difference forms
  std::size_t posts = 0;       // post records
  std::size_t postIndex = 0;   // subject keys and buckets
  std::size_t Total() const { return articles + messageIds + posts + postIndex; }
};

// One loaded header set: every header became an article, gathered into posts
// by subject key. Built by one loading thread (Add for every header, then
// Finalize once) and used by one browser thread afterwards.
//
// Memory is what this class is about: articles are fixed 28- or 36-byte
// records in two arrays (no allocation per article), texts are named by 32-bit
// references (senders and reference lists interned program-wide, identifiers
// in a packed store, all but the first of a post as a difference against the
// first), and a post's articles are laid out side by side when the set is
// finalised, so no per-post article list is kept.
class THeaders {
 public:
  THeaders();
  ~THeaders();
  THeaders(const THeaders&) = delete;
  THeaders& operator=(const THeaders&) = delete;

  // Room for expected headers, when the caller knows how many come: the
  // article arrays then never regrow (untouched room costs address space only).
  void Reserve(std::size_t expected);

  // Adds one header. False, with "Unable to add post in
  // THeaders.Add().FSubjectList.Find()" logged, when its subject key can be
  // neither found nor added (empty, too long, out of memory); false as well
  // after Finalize or when the identifier store is full. A post that already
  // holds 16383 articles ignores further headers (true).
  bool Add(const TLoadedHeader& header);
  // Lays out each post's articles, arranges every post (sort and completeness,
  // or threading), totals lines and bytes. Once; later calls do nothing.
  void Finalize();
  bool IsFinalized() const { return fFinalized; }

  // Posts in the order their subjects first appeared.
  int PostCount() const { return static_cast<int>(fPosts.size()); }
  TPost& Post(int i) { return fPosts[static_cast<std::size_t>(i)]; }
  const TPost& Post(int i) const { return fPosts[static_cast<std::size_t>(i)]; }
  TPost* FindPost(QByteArrayView subjectKey);
  TPostEnumerator GetEnumerator();

  // Articles held, counted by Finalize.
  std::uint64_t TotalArticles() const { return fTotalArticles; }
  // Dates that lay outside 3 October 1954 .. 19 June 2044 and were clamped.
  std::uint32_t ClampedDates() const { return fClampedDates; }
  THeadersMemory Memory() const;

 private:
  friend class TPost;
  friend class TArticleThreader;

  template <typename TRecord>
  void LayOut(TPodArray<TRecord>& records, TPodArray<std::uint32_t>& owners, bool multipart);

  TUniqueStringList fSubjects;  // subject key -> post number + 1
  std::deque<TPost> fPosts;
  TPodArray<TMultipartArticle> fPartArticles;
  TPodArray<TTextArticle> fTextArticles;
  // While loading: the post of each article record, for the layout.
  TPodArray<std::uint32_t> fPartOwners;
  TPodArray<std::uint32_t> fTextOwners;
  TMessageIdStore fMessageIds;
  TRecentKeyCache<6> fRecentSubjects;  // subject key -> post number
  TRecentKeyCache<8> fRecentSenders;   // sender -> interned id
  std::uint64_t fTotalArticles = 0;
  std::uint32_t fClampedDates = 0;
  bool fFinalized = false;
  char fDiff[kMaxStringDiff];
};

// Walks the posts of a header set in insertion order.
class TPostEnumerator {
 public:
  explicit TPostEnumerator(THeaders& headers) : fHeaders(&headers) {}
  bool MoveNext() { return ++fIndex < fHeaders->PostCount(); }
  TPost& Current() const { return fHeaders->Post(fIndex); }

 private:
  THeaders* fHeaders;
  int fIndex = -1;
};

// Walks the articles of a post from index 0.
class TArticleEnumerator {
 public:
  explicit TArticleEnumerator(TPost& post) : fPost(&post) {}
  bool MoveNext() { return ++fIndex < fPost->ArticleCount(); }
  TArticle& Current() const { return fPost->Article(fIndex); }
  int Index() const { return fIndex; }

 private:
  TPost* fPost;
  int fIndex = -1;
};
