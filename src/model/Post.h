#pragma once

#include "model/Article.h"
#include "model/String.h"

#include <QByteArray>

#include <cstdint>
#include <string>

class THeaders;
class TArticleThreader;

// Bit numbers of TPost flags.
enum TPostFlags : int {
  INVALID_POST = 0,
  POST_FLAG_COMPLETE_MULTIPART = 1,
  POST_FLAG_QUEUED_FOR_DOWNLOAD = 2,
  POST_FLAG_DOWNLOADED = 3,
  POST_FLAG_EXPIRED = 4,
  POST_FLAG_DECODING = 5,
  POST_FLAG_SAVED = 6,
};

enum TArticleClass : std::uint8_t { ARTICLE_CLASS_TEXT, ARTICLE_CLASS_MULTIPART };

inline constexpr int kMaxPostArticles = 16383;

// All articles of a header set that share one subject key (ignoring case).
// A post created by a header with a part count is a multipart (binary) post
// whose articles are its parts (TMultipartArticle); any other is a text post
// whose articles form a reply tree (TTextArticle).
//
// Posts live in their THeaders and keep their address from creation on. The
// articles of a post are one contiguous run of the header set's article
// records, laid out by THeaders::Finalize: Article(i) and everything that
// reads articles is valid once the set is finalised.
class TPost {
 public:
  TPost(THeaders* owner, bool multipart)
      : fOwner(owner), fKind(multipart ? ARTICLE_CLASS_MULTIPART : ARTICLE_CLASS_TEXT) {}

  bool IsMultipart() const { return fKind == ARTICLE_CLASS_MULTIPART; }
  TArticleClass ArticleClass() const { return static_cast<TArticleClass>(fKind); }
  int ArticleCount() const { return fCount; }
  // Multipart: the article count. Text: the articles shown at the top of the
  // post, the thread root and its next siblings (normally just the root).
  int ChildCount() const;
  // The part total of the header that created the post; 0 for text posts.
  int TotalParts() const { return IsMultipart() ? fTotalParts : 0; }

  QByteArrayView Subject() const { return fSubject.View(); }
  // Replaces the subject shown (subject formatting); the post index keeps the key.
  bool SetSubject(QByteArrayView subject) { return fSubject.Assign(subject); }
  std::uint32_t TotalLines() const { return fTotalLines; }
  std::uint64_t TotalBytes() const { return fTotalBytes; }

  std::uint8_t Flags() const { return fFlags; }
  bool HasFlag(int bit) const { return bit >= 0 && bit <= 7 && (fFlags >> bit) & 1; }
  // A bit above 7 does nothing.
  void SetFlag(int bit, bool on);
  // Index of the document icon of the post's file type; -1 until identified.
  int FileType() const { return fFileType; }
  void SetFileType(int type) { fFileType = static_cast<std::int8_t>(type); }

  // Text posts after threading: index of the first article in thread order; -1 before.
  int ThreadRoot() const { return fThreadRoot == kNoArticle ? -1 : fThreadRoot; }

  const TArticle& Article(int i) const;
  TArticle& Article(int i);
  // Only for text, resp. multipart posts.
  const TTextArticle& TextArticle(int i) const;
  TTextArticle& TextArticle(int i);
  const TMultipartArticle& MultipartArticle(int i) const;
  TMultipartArticle& MultipartArticle(int i);
  // Article 0, or null for an empty post.
  const TArticle* FirstArticle() const { return fCount ? &Article(0) : nullptr; }

  // Article i's identifier in plain form (undoing the difference form).
  QByteArray MessageID(int i) const;
  // The same into a reused buffer; false when a stored difference is damaged.
  bool MessageIDInto(int i, std::string& out) const;

  // Replies of article i (text posts): how many, and the first (-1 none).
  int ReplyCount(int i) const;
  int FirstReply(int i) const;
  // Text posts: follows n next-sibling links from article (n = 0: itself) and
  // answers the index reached, or -1 when the chain is shorter or article is
  // not in the post. Multipart posts answer n and no article.
  int FindReply(int article, int n, const TArticle** found = nullptr) const;

  // "Part %d of %d - %s" (part, total, identifier) for parts; the sender as
  // stored for text articles (the browser turns it into its display form).
  QByteArray ArticleCaption(int i) const;
  // The subject for text posts; "%s (%d/%d)" (subject, part of article i,
  // total) for multipart posts.
  QByteArray PostCaption(int i) const;

  void SetStatus(int command);
  bool GetStatus(int query) const;
  // SetStatus(whenAll) when every article has article flag articleFlag (also
  // when there is none), else SetStatus(otherwise).
  void SetStatusFromArticles(int articleFlag, int whenAll, int otherwise);
  void SetArticlesStatus(int command);
  int DownloadedCount() const;

  // Multipart: sorts the parts by number (largest copy of a repeated part
  // first) and sets POST_FLAG_COMPLETE_MULTIPART. Text: threads the articles.
  void Arrange(TArticleThreader& threader);
  void Arrange();

  THeaders& Owner() const { return *fOwner; }

 private:
  friend class THeaders;
  friend class TArticleThreader;

  void ArrangeParts();

  THeaders* fOwner;
  TString fSubject;
  std::uint64_t fTotalBytes = 0;
  std::uint32_t fTotalLines = 0;
  std::uint32_t fFirst = 0;          // first article record, once finalised
  std::uint32_t fBaseMessageId = 0;  // the first article's identifier: base of the differences
  std::uint16_t fCount = 0;
  std::uint16_t fTotalParts = 0;
  std::uint16_t fThreadRoot = kNoArticle;
  std::uint8_t fFlags = 0;
  std::int8_t fFileType = -1;
  std::uint8_t fKind;
};
