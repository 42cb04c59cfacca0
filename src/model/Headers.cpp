#include "model/Headers.h"

#include "app/Logger.h"
#include "model/ArticleThreader.h"
#include "model/InternedStrings.h"

#include <utility>

THeaders::THeaders() = default;
THeaders::~THeaders() = default;

TPost* THeaders::FindPost(QByteArrayView subjectKey) {
  const std::uint32_t number = fSubjects.Object(fSubjects.Find(subjectKey, false));
  return number ? &fPosts[number - 1] : nullptr;
}

TPostEnumerator THeaders::GetEnumerator() { return TPostEnumerator(*this); }

void THeaders::Reserve(std::size_t expected) {
  if (fFinalized) return;
  fPartArticles.reserve(expected);
  fTextArticles.reserve(expected);
  fPartOwners.reserve(expected);
  fTextOwners.reserve(expected);
}

bool THeaders::Add(const TLoadedHeader& header) {
  if (fFinalized) {
    LogError("Header added to a finalised header set");
    return false;
  }
  std::uint32_t number = fRecentSubjects.Find(header.subject);
  if (!number) {
    const TUniqueStringList::TId key = fSubjects.Find(header.subject, true);
    if (!key) {
      LogError("Unable to add post in THeaders.Add().FSubjectList.Find()");
      return false;
    }
    number = fSubjects.Object(key);
    const std::string_view text = fSubjects.Text(key);
    if (!number) {
      TPost& created = fPosts.emplace_back(this, header.totalParts != 0);
      // The key text never moves, so the subject need not be copied.
      created.fSubject.Borrow(text.data(), static_cast<std::uint16_t>(text.size()));
      created.fTotalParts = header.totalParts;
      number = static_cast<std::uint32_t>(fPosts.size());
      fSubjects.SetObject(key, number);
    }
    if (text.size() == static_cast<std::size_t>(header.subject.size()))
      fRecentSubjects.Put(header.subject, text.data(), number);
  }
  TPost& post = fPosts[number - 1];
  if (post.fCount >= kMaxPostArticles) return true;

  // Store the identifier first: when the store is full nothing is added.
  const std::string_view id(header.messageId.data(), static_cast<std::size_t>(header.messageId.size()));
  std::string_view stored = id;
  bool isDiff = false;
  if (post.fCount) {
    const int length = MakeStringDiff(fMessageIds.View(post.fBaseMessageId), id, fDiff);
    if (length >= 0) {
      stored = std::string_view(fDiff, static_cast<std::size_t>(length));
      isDiff = true;
    }
  }
  TMessageIdStore::TRef ref = 0;
  if (!fMessageIds.Append(stored, ref)) {
    LogError("Unable to store the message identifier of a header");
    return false;
  }
  if (!post.fCount) post.fBaseMessageId = ref;

  std::uint32_t sender = fRecentSenders.Find(header.sender);
  if (!sender && !header.sender.isEmpty()) {
    sender = TInternedStrings::Senders().Intern(header.sender);
    const std::string_view text = TInternedStrings::Senders().Text(sender);
    if (sender && text == std::string_view(header.sender.data(), static_cast<std::size_t>(header.sender.size())))
      fRecentSenders.Put(header.sender, text.data(), sender);
  }

  bool clamped = false;
  TArticle* article;
  const bool multipart = post.IsMultipart();
  TPodArray<std::uint32_t>& owners = multipart ? fPartOwners : fTextOwners;
  std::uint32_t* owner = owners.append();
  if (!owner) {
    LogError("Out of memory for the articles of a header set");
    return false;
  }
  *owner = number - 1;
  if (multipart) {
    TMultipartArticle* a = fPartArticles.append();
    if (!a) {
      owners.pop_back();
      LogError("Out of memory for the articles of a header set");
      return false;
    }
    a->LoadFields(header, &clamped);
    a->partNumber = header.partNumber;
    article = a;
  } else {
    TTextArticle* a = fTextArticles.append();
    if (!a) {
      owners.pop_back();
      LogError("Out of memory for the articles of a header set");
      return false;
    }
    a->LoadFields(header, &clamped);
    a->references = TInternedStrings::References().Intern(header.references);
    article = a;
  }
  article->sender = sender;
  article->messageId = ref;
  article->SetFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF, isDiff);
  fClampedDates += clamped;
  ++post.fCount;
  return true;
}

template <typename TRecord>
void THeaders::LayOut(TPodArray<TRecord>& records, TPodArray<std::uint32_t>& owners, bool multipart) {
  // Each post of this kind gets a run of records, in post order; within a run
  // the articles keep the order in which they were added.
  std::vector<std::uint32_t> next(fPosts.size());
  std::uint32_t start = 0;
  for (std::size_t p = 0; p < fPosts.size(); ++p) {
    TPost& post = fPosts[p];
    if (post.IsMultipart() != multipart) continue;
    post.fFirst = start;
    next[p] = start;
    start += post.fCount;
  }
  // owners[i] becomes the place of record i, then records move there in cycles.
  for (std::size_t i = 0; i < owners.size(); ++i) owners[i] = next[owners[i]]++;
  for (std::uint32_t i = 0; i < owners.size(); ++i) {
    while (owners[i] != i) {
      const std::uint32_t to = owners[i];
      std::swap(records[i], records[to]);
      std::swap(owners[i], owners[to]);
    }
  }
  owners.release();
}

void THeaders::Finalize() {
  LOG_METHOD("Finalize");
  if (fFinalized) return;
  LayOut(fPartArticles, fPartOwners, true);
  LayOut(fTextArticles, fTextOwners, false);
  fFinalized = true;

  TArticleThreader threader;
  fTotalArticles = 0;
  for (TPost& post : fPosts) {
    post.Arrange(threader);
    std::uint32_t lines = 0;
    std::uint64_t bytes = 0;
    for (int i = 0; i < post.fCount; ++i) {
      const TArticle& a = post.Article(i);
      lines += a.lines;
      bytes += a.bytes;
    }
    post.fTotalLines = lines;
    post.fTotalBytes = bytes;
    fTotalArticles += post.fCount;
  }
  if (fClampedDates)
    LogWarning(QStringLiteral("%1 article dates lay outside 3 October 1954 to 19 June 2044 and were clamped")
                   .arg(fClampedDates));
}

THeadersMemory THeaders::Memory() const {
  THeadersMemory m;
  // Sizes, not capacities: reserved room that was never written is not resident.
  m.articles = fPartArticles.size() * sizeof(TMultipartArticle) + fTextArticles.size() * sizeof(TTextArticle) +
               (fPartOwners.size() + fTextOwners.size()) * sizeof(std::uint32_t);
  m.messageIds = fMessageIds.BytesUsed();
  m.posts = fPosts.size() * sizeof(TPost);
  for (const TPost& post : fPosts) m.posts += static_cast<std::size_t>(post.fSubject.Capacity());
  m.postIndex = fSubjects.BytesAllocated();
  return m;
}
