#include "binaries/DownloadEntry.h"

#include "app/LittleEndian.h"

#include <cstring>

using namespace Qt::StringLiterals;

static_assert(std::atomic_ref<std::uint8_t>::required_alignment == 1);

QString DownloadStatusText(std::uint8_t status) {
  switch (status) {
    case DOWNLOAD_STATUS_PENDING: return u"Pending"_s;
    case DOWNLOAD_STATUS_DOWNLOADING: return u"Downloading"_s;
    case DOWNLOAD_STATUS_CHECKING: return u"Checking"_s;
    case DOWNLOAD_STATUS_VALID: return u"Valid"_s;
    case DOWNLOAD_STATUS_INVALID: return u"Invalid"_s;
    case DOWNLOAD_STATUS_CHECK_ERROR: return u"Checking error"_s;
    case DOWNLOAD_STATUS_WAIT_DECODE: return u"Waiting to decode"_s;
    case DOWNLOAD_STATUS_DECODING: return u"Decoding"_s;
    case DOWNLOAD_STATUS_DECODED: return u"Decoded"_s;
    case DOWNLOAD_STATUS_DECODE_ERROR: return u"Decode error"_s;
    case DOWNLOAD_STATUS_COMPLETE: return u"Complete"_s;
    case DOWNLOAD_STATUS_SKIPPED: return u"Skipped"_s;
    case DOWNLOAD_STATUS_UNAVAILABLE: return u"Unavailable"_s;
    case DOWNLOAD_STATUS_DUPLICATE: return u"Duplicate"_s;
    case DOWNLOAD_STATUS_SOME_DUPLICATE: return u"Some duplicate"_s;
    case DOWNLOAD_STATUS_WAIT_CHECK: return u"Waiting for check"_s;
    case DOWNLOAD_STATUS_REQUESTING: return u"Requesting"_s;
    default: return u"Unknown state ("_s + QString::number(status) + u')';
  }
}

bool IsSettledDownloadStatus(std::uint8_t status, bool noRetryUnavailable) {
  if (status >= 2 && status <= 7) return true;
  if (status >= 23) return true;
  switch (status) {
    case DOWNLOAD_STATUS_INVALID:
    case DOWNLOAD_STATUS_COMPLETE:
    case DOWNLOAD_STATUS_DUPLICATE:
    case DOWNLOAD_STATUS_SOME_DUPLICATE:
      return true;
    case DOWNLOAD_STATUS_UNAVAILABLE:
      return noRetryUnavailable;
    default:
      return false;
  }
}

int TDownloadEntry::Kind() const {
  for (int k = 0; k < 5; ++k)
    if (flags & (1u << k)) return k;
  return 0;
}

void TDownloadEntry::ToRecord(char* out) const {
  std::memset(out, 0, kRecordSize);
  le::Put32(out + 0, flags);
  le::Put32(out + 16, date);
  le::Put32(out + 28, articleNumber);
  le::Put32(out + 32, totalLines);
  le::Put32(out + 36, bytes);
  le::Put16(out + 40, lines);
  le::Put16(out + 42, static_cast<std::uint16_t>(fileGroup));
  le::Put16(out + 44, totalParts);
  le::Put16(out + 46, partNumber);
  le::Put16(out + 48, counterPosition);
  le::Put16(out + 50, postCount);
  le::Put16(out + 52, postIndex);
  le::Put16(out + 54, newsgroup);
  le::Put32(out + 56, order);
  le::Put32(out + 60, messageIdCrc);
  out[64] = static_cast<char>(Status());
  out[65] = 0;
}

TDownloadEntry TDownloadEntry::FromRecord(const char* r) {
  TDownloadEntry e;
  e.flags = le::Get32(r + 0);
  e.date = le::Get32(r + 16);
  e.articleNumber = le::Get32(r + 28);
  e.totalLines = le::Get32(r + 32);
  e.bytes = le::Get32(r + 36);
  e.lines = le::Get16(r + 40);
  e.fileGroup = static_cast<std::int16_t>(le::Get16(r + 42));
  e.totalParts = le::Get16(r + 44);
  e.partNumber = le::Get16(r + 46);
  e.counterPosition = le::Get16(r + 48);
  e.postCount = le::Get16(r + 50);
  e.postIndex = le::Get16(r + 52);
  e.newsgroup = le::Get16(r + 54);
  e.order = le::Get32(r + 56);
  e.messageIdCrc = le::Get32(r + 60);
  e.status = static_cast<std::uint8_t>(r[64]);
  e.reserved = static_cast<std::uint8_t>(r[65]);
  return e;
}

QByteArray BodyLineText(QByteArrayView text) {
  QByteArray out(text.data(), text.size());
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return out;
}
