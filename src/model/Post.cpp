#include "model/Post.h"

#include "model/ArticleThreader.h"
#include "model/Headers.h"

#include <algorithm>

void TPost::SetFlag(int bit, bool on) {
  if (bit < 0 || bit > 7) return;
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  fFlags = static_cast<std::uint8_t>(on ? fFlags | mask : fFlags & ~mask);
}

const TArticle& TPost::Article(int i) const {
  return IsMultipart() ? static_cast<const TArticle&>(MultipartArticle(i)) : TextArticle(i);
}

TArticle& TPost::Article(int i) { return IsMultipart() ? static_cast<TArticle&>(MultipartArticle(i)) : TextArticle(i); }

const TTextArticle& TPost::TextArticle(int i) const { return fOwner->fTextArticles[fFirst + std::uint32_t(i)]; }
TTextArticle& TPost::TextArticle(int i) { return fOwner->fTextArticles[fFirst + std::uint32_t(i)]; }
const TMultipartArticle& TPost::MultipartArticle(int i) const {
  return fOwner->fPartArticles[fFirst + std::uint32_t(i)];
}
TMultipartArticle& TPost::MultipartArticle(int i) { return fOwner->fPartArticles[fFirst + std::uint32_t(i)]; }

int TPost::ChildCount() const {
  if (IsMultipart()) return fCount;
  if (!fCount) return 0;
  int count = 0;
  // Bounded by the article count, whatever the links say.
  for (int i = fThreadRoot == kNoArticle ? 0 : fThreadRoot; i >= 0 && i < fCount && count < fCount; ++count) {
    const std::uint16_t next = TextArticle(i).nextSibling;
    i = next == kNoArticle ? -1 : next;
  }
  return count;
}

bool TPost::MessageIDInto(int i, std::string& out) const {
  const TArticle& a = Article(i);
  const std::string_view stored = fOwner->fMessageIds.View(a.messageId);
  if (!a.HasFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF)) {
    out.assign(stored);
    return true;
  }
  return DecodeStringDiff(fOwner->fMessageIds.View(fBaseMessageId), stored, out);
}

QByteArray TPost::MessageID(int i) const {
  thread_local std::string buffer;
  if (!MessageIDInto(i, buffer)) return {};
  return QByteArray(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

int TPost::ReplyCount(int i) const {
  if (IsMultipart() || i < 0 || i >= fCount) return 0;
  int count = 0;
  for (std::uint16_t r = TextArticle(i).firstReply; r != kNoArticle && r < fCount && count < fCount; ++count)
    r = TextArticle(r).nextSibling;
  return count;
}

int TPost::FirstReply(int i) const {
  if (IsMultipart() || i < 0 || i >= fCount) return -1;
  const std::uint16_t r = TextArticle(i).firstReply;
  return r == kNoArticle ? -1 : r;
}

int TPost::FindReply(int article, int n, const TArticle** found) const {
  if (found) *found = nullptr;
  if (IsMultipart()) return n;
  if (article < 0 || article >= fCount || n < 0) return -1;
  int i = article;
  for (int step = 0; step < n; ++step) {
    const std::uint16_t next = TextArticle(i).nextSibling;
    if (next == kNoArticle || next >= fCount) return -1;
    i = next;
  }
  if (found) *found = &Article(i);
  return i;
}

QByteArray TPost::ArticleCaption(int i) const {
  if (i < 0 || i >= fCount) return {};
  if (!IsMultipart()) {
    const std::string_view sender = Article(i).Sender();
    return QByteArray(sender.data(), static_cast<qsizetype>(sender.size()));
  }
  return "Part " + QByteArray::number(MultipartArticle(i).partNumber) + " of " + QByteArray::number(fTotalParts) +
         " - " + MessageID(i);
}

QByteArray TPost::PostCaption(int i) const {
  const QByteArray subject = Subject().toByteArray();
  if (!IsMultipart()) return subject;
  const int part = (i >= 0 && i < fCount) ? MultipartArticle(i).partNumber : 0;
  return subject + " (" + QByteArray::number(part) + '/' + QByteArray::number(fTotalParts) + ')';
}

void TPost::SetStatus(int command) {
  ApplyStatusCommand(fFlags, command, POST_FLAG_QUEUED_FOR_DOWNLOAD, POST_FLAG_EXPIRED, POST_FLAG_DOWNLOADED,
                     POST_FLAG_DECODING, POST_FLAG_SAVED);
}

bool TPost::GetStatus(int query) const {
  switch (query) {
    case STATUS_QUERY_BUSY:
      return HasFlag(POST_FLAG_QUEUED_FOR_DOWNLOAD) || HasFlag(POST_FLAG_DOWNLOADED) || HasFlag(POST_FLAG_DECODING);
    case STATUS_QUERY_SAVED:
      return HasFlag(POST_FLAG_SAVED);
    case STATUS_QUERY_UNREAD:
      for (int i = 0; i < fCount; ++i)
        if (!Article(i).HasFlag(ARTICLE_FLAG_IS_READ)) return true;
      return false;
    default:
      return false;
  }
}

void TPost::SetStatusFromArticles(int articleFlag, int whenAll, int otherwise) {
  for (int i = 0; i < fCount; ++i) {
    if (!Article(i).HasFlag(articleFlag)) {
      SetStatus(otherwise);
      return;
    }
  }
  SetStatus(whenAll);
}

void TPost::SetArticlesStatus(int command) {
  for (int i = 0; i < fCount; ++i) Article(i).SetStatus(command);
}

int TPost::DownloadedCount() const {
  int count = 0;
  for (int i = 0; i < fCount; ++i) count += Article(i).HasFlag(ARTICLE_FLAG_DOWNLOADED);
  return count;
}

void TPost::ArrangeParts() {
  TMultipartArticle* first = &MultipartArticle(0);
  // Stable, so equal copies keep the order in which they arrived.
  std::stable_sort(first, first + fCount, [](const TMultipartArticle& a, const TMultipartArticle& b) {
    if (a.partNumber != b.partNumber) return a.partNumber < b.partNumber;
    return a.bytes > b.bytes;
  });
  bool complete = false;
  int expected = 1;
  for (int i = 0; i < fCount; ++i) {
    const int part = first[i].partNumber;
    if (part == expected && part == fTotalParts) {
      complete = true;
      break;
    }
    if (part == expected) {
      ++expected;
    } else if (part > expected) {
      break;
    }
  }
  SetFlag(POST_FLAG_COMPLETE_MULTIPART, complete);
}

void TPost::Arrange(TArticleThreader& threader) {
  if (!fCount) return;
  if (IsMultipart()) {
    ArrangeParts();
  } else {
    threader.Thread(*this);
  }
}

void TPost::Arrange() {
  TArticleThreader threader;
  Arrange(threader);
}
