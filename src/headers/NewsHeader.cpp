#include "headers/NewsHeader.h"

#include "app/LittleEndian.h"

#include <cstring>

int TNewsHeader::TextRecordLength() const {
  const qsizetype length = subject.size() + sender.size() + messageId.size() + references.size() + 4;
  return length <= headerfile::kMaxTextRecord ? static_cast<int>(length) : -1;
}

void TNewsHeader::EncodeIndex(unsigned char* r) const {
  le::Put32(r + 0, number);
  le::Put16(r + 4, static_cast<std::uint16_t>(subject.size()));
  le::Put16(r + 6, static_cast<std::uint16_t>(sender.size()));
  le::Put16(r + 8, static_cast<std::uint16_t>(messageId.size()));
  le::Put16(r + 10, static_cast<std::uint16_t>(references.size()));
  le::Put16(r + 12, static_cast<std::uint16_t>(TextRecordLength()));
  le::Put32(r + 14, lines);
  le::Put32(r + 18, bytes);
  le::PutDouble(r + 22, date);
  le::Put16(r + 30, newsgroup);
  le::Put16(r + 32, partNumber);
  le::Put16(r + 34, totalParts);
  le::Put16(r + 36, partPosition);
  r[38] = reply ? 1 : 0;
  r[39] = 0;
}

THeaderTextLengths TNewsHeader::DecodeIndex(const unsigned char* r) {
  number = le::Get32(r + 0);
  lines = le::Get32(r + 14);
  bytes = le::Get32(r + 18);
  date = le::GetDouble(r + 22);
  newsgroup = le::Get16(r + 30);
  partNumber = le::Get16(r + 32);
  totalParts = le::Get16(r + 34);
  partPosition = le::Get16(r + 36);
  reply = r[38] != 0;
  THeaderTextLengths lengths;
  lengths.subject = le::Get16(r + 4);
  lengths.sender = le::Get16(r + 6);
  lengths.messageId = le::Get16(r + 8);
  lengths.references = le::Get16(r + 10);
  lengths.record = le::Get16(r + 12);
  return lengths;
}

void TNewsHeader::AppendText(char* out) const {
  for (const QByteArrayView text : {subject, sender, messageId, references}) {
    if (!text.isEmpty()) std::memcpy(out, text.data(), static_cast<std::size_t>(text.size()));
    out += text.size();
    *out++ = 0;
  }
}

TLoadedHeader TNewsHeader::ToLoaded() const {
  TLoadedHeader h;
  h.number = number;
  h.lines = lines;
  h.bytes = bytes;
  h.date = date;
  h.newsgroup = newsgroup;
  h.partNumber = partNumber;
  h.totalParts = totalParts;
  h.reply = reply;
  h.subject = subject;
  h.sender = sender;
  h.messageId = messageId;
  h.references = references;
  return h;
}
