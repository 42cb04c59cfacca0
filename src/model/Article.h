#pragma once

#include "model/LoadedHeader.h"
#include "model/ShortDate.h"

#include <cstdint>
#include <string_view>

// Bit numbers of TArticle::flags.
enum TArticleFlags : int {
  INVALID_ARTICLE = 0,
  ARTICLE_FLAG_MESSAGEID_IS_DIFF = 1,
  ARTICLE_FLAG_IS_REPLY = 2,
  ARTICLE_FLAG_IS_READ = 3,
  ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD = 4,
  ARTICLE_FLAG_EXPIRED = 5,
  ARTICLE_FLAG_DOWNLOADED = 6,
  ARTICLE_FLAG_DECODING = 7,
  ARTICLE_FLAG_SAVED = 8,
  ARTICLE_FLAG_DISABLED = 9,
};

// Status commands of SetStatus, shared by articles and posts.
enum TStatusCommand : int {
  STATUS_CLEAR_DOWNLOAD = 0,  // clear downloaded, queued, expired
  STATUS_CLEAR_DECODING = 1,
  STATUS_CLEAR_ALL = 2,  // both of the above
  STATUS_SET_QUEUED = 3,
  STATUS_SET_EXPIRED = 4,
  STATUS_SET_DOWNLOADED = 5,
  STATUS_SET_DECODING = 6,
  STATUS_SET_SAVED = 8,
};

// Queries of GetStatus.
enum TStatusQuery : int {
  STATUS_QUERY_BUSY = 0,  // queued, downloaded or decoding
  STATUS_QUERY_SAVED = 1,
  STATUS_QUERY_UNREAD = 2,  // posts only: some article is not read
};

// Applies a status command to a flag word whose bits for queued, expired,
// downloaded, decoding and saved are given; read and completeness bits are
// never touched.
template <typename TFlags>
void ApplyStatusCommand(TFlags& flags, int command, int queued, int expired, int downloaded, int decoding, int saved) {
  const auto bit = [](int n) { return static_cast<TFlags>(TFlags(1) << n); };
  const TFlags download = bit(downloaded) | bit(queued) | bit(expired);
  switch (command) {
    case STATUS_CLEAR_DOWNLOAD:
      flags &= static_cast<TFlags>(~download);
      break;
    case STATUS_CLEAR_DECODING:
      flags &= static_cast<TFlags>(~bit(decoding));
      break;
    case STATUS_CLEAR_ALL:
      flags &= static_cast<TFlags>(~(download | bit(decoding)));
      break;
    case STATUS_SET_QUEUED:
      flags = static_cast<TFlags>((flags & ~download) | bit(queued));
      break;
    case STATUS_SET_EXPIRED:
      flags = static_cast<TFlags>((flags & ~download) | bit(expired));
      break;
    case STATUS_SET_DOWNLOADED:
      flags = static_cast<TFlags>((flags & ~download) | bit(downloaded));
      break;
    case STATUS_SET_DECODING:
      flags = static_cast<TFlags>((flags & ~bit(decoding)) | bit(decoding));
      break;
    case STATUS_SET_SAVED:
      flags = static_cast<TFlags>((flags & ~(download | bit(decoding))) | bit(saved));
      break;
    default:
      break;
  }
}

inline constexpr std::uint16_t kNoArticle = 0xFFFF;

// One header of a header set: a fixed 28-byte record without pointers. Texts
// are named by 32-bit references: the sender into the program-wide sender
// list, the message identifier into the header set's store (plain, or as a
// difference against the post's first identifier when
// ARTICLE_FLAG_MESSAGEID_IS_DIFF is set; TPost::MessageID gives it plain).
struct TArticle {
  std::uint32_t number = 0;  // on the server
  short_datetime date = 0;
  std::uint32_t bytes = 0;
  std::uint32_t messageId = 0;
  std::uint32_t sender = 0;
  std::uint16_t newsgroup = 0;  // index into the header set's newsgroup names
  std::uint16_t lines = 0;      // 65535 stands for 65535 or more
  std::uint16_t flags = 0;
  std::uint16_t partNumber = 0;  // multipart articles only

  bool HasFlag(int bit) const { return bit >= 0 && bit <= 15 && (flags >> bit) & 1; }
  // A bit above 15 does nothing.
  void SetFlag(int bit, bool on);
  void SetStatus(int command);
  bool GetStatus(int query) const;
  std::string_view Sender() const;

  // Number, bytes, newsgroup, lines (capped), date, reply and read flags and
  // the interned sender. *dateClamped tells whether the date lay out of range.
  void LoadFromHeader(const TLoadedHeader& header, bool* dateClamped = nullptr);
  // The same without the sender (and part number or references).
  void LoadFields(const TLoadedHeader& header, bool* dateClamped = nullptr);
};

// A part of a binary post.
struct TMultipartArticle : TArticle {
  int PartNumber() const { return partNumber; }
  void LoadFromHeader(const TLoadedHeader& header, bool* dateClamped = nullptr);
};

// An article of a text post, with its place in the reply tree: indices into
// the post's article array (kNoArticle = none), filled by threading.
struct TTextArticle : TArticle {
  std::uint32_t references = 0;  // id in the program-wide reference list
  std::uint16_t firstReply = kNoArticle;
  std::uint16_t nextSibling = kNoArticle;

  std::string_view References() const;
  void LoadFromHeader(const TLoadedHeader& header, bool* dateClamped = nullptr);
};

static_assert(sizeof(TArticle) == 28 && sizeof(TMultipartArticle) == 28 && sizeof(TTextArticle) == 36);
