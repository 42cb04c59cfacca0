#include "app/RecordReader.h"

#include "app/LittleEndian.h"

const char* TRecordReader::Take(qsizetype count) {
  if (count < 0 || count > Remaining()) {
    fFailed = true;
    fPos = fData.size();
    return nullptr;
  }
  const char* p = fData.data() + fPos;
  fPos += count;
  return p;
}

std::uint8_t TRecordReader::U8() {
  const char* p = Take(1);
  return p ? static_cast<std::uint8_t>(*p) : 0;
}

std::uint16_t TRecordReader::U16() {
  const char* p = Take(2);
  return p ? le::Get16(p) : 0;
}

std::uint32_t TRecordReader::U32() {
  const char* p = Take(4);
  return p ? le::Get32(p) : 0;
}

std::uint64_t TRecordReader::U64() {
  const char* p = Take(8);
  return p ? le::Get64(p) : 0;
}

double TRecordReader::Double() {
  const char* p = Take(8);
  return p ? le::GetDouble(p) : 0.0;
}

QByteArray TRecordReader::Bytes(qsizetype count) {
  const char* p = Take(count);
  return p ? QByteArray(p, count) : QByteArray();
}

QByteArray TRecordReader::PrefixedText(int capacity) {
  const char* p = Take(static_cast<qsizetype>(capacity) + 1);
  if (!p) return {};
  int length = static_cast<unsigned char>(p[0]);
  if (length > capacity) length = capacity;
  return QByteArray(p + 1, length);
}

void TRecordReader::Skip(qsizetype count) { Take(count); }

void TRecordReader::Seek(qsizetype position) {
  if (position < 0 || position > fData.size()) {
    fFailed = true;
    fPos = fData.size();
    return;
  }
  fPos = position;
}
