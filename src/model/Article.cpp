#include "model/Article.h"

#include "model/InternedStrings.h"

void TArticle::SetFlag(int bit, bool on) {
  if (bit < 0 || bit > 15) return;
  const auto mask = static_cast<std::uint16_t>(1u << bit);
  flags = static_cast<std::uint16_t>(on ? flags | mask : flags & ~mask);
}

void TArticle::SetStatus(int command) {
  ApplyStatusCommand(flags, command, ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD, ARTICLE_FLAG_EXPIRED, ARTICLE_FLAG_DOWNLOADED,
                     ARTICLE_FLAG_DECODING, ARTICLE_FLAG_SAVED);
}

bool TArticle::GetStatus(int query) const {
  switch (query) {
    case STATUS_QUERY_BUSY:
      return HasFlag(ARTICLE_FLAG_QUEUED_FOR_DOWNLOAD) || HasFlag(ARTICLE_FLAG_DOWNLOADED) ||
             HasFlag(ARTICLE_FLAG_DECODING);
    case STATUS_QUERY_SAVED:
      return HasFlag(ARTICLE_FLAG_SAVED);
    default:
      return false;
  }
}

std::string_view TArticle::Sender() const { return TInternedStrings::Senders().Text(sender); }

void TArticle::LoadFromHeader(const TLoadedHeader& header, bool* dateClamped) {
  LoadFields(header, dateClamped);
  sender = TInternedStrings::Senders().Intern(header.sender);
}

void TArticle::LoadFields(const TLoadedHeader& header, bool* dateClamped) {
  number = header.number;
  bytes = header.bytes;
  newsgroup = header.newsgroup;
  lines = header.lines > 65535 ? 65535 : static_cast<std::uint16_t>(header.lines);
  date = EncodeShortDate(header.date, dateClamped);
  SetFlag(ARTICLE_FLAG_IS_REPLY, header.reply);
  SetFlag(ARTICLE_FLAG_IS_READ, header.read);
}

void TMultipartArticle::LoadFromHeader(const TLoadedHeader& header, bool* dateClamped) {
  TArticle::LoadFromHeader(header, dateClamped);
  partNumber = header.partNumber;
}

void TTextArticle::LoadFromHeader(const TLoadedHeader& header, bool* dateClamped) {
  TArticle::LoadFromHeader(header, dateClamped);
  references = TInternedStrings::References().Intern(header.references);
}

std::string_view TTextArticle::References() const { return TInternedStrings::References().Text(references); }
