#include "app/RecordWriter.h"

#include "app/LittleEndian.h"

#include <algorithm>

void TRecordWriter::U16(std::uint16_t v) {
  char b[2];
  le::Put16(b, v);
  fData.append(b, 2);
}

void TRecordWriter::U32(std::uint32_t v) {
  char b[4];
  le::Put32(b, v);
  fData.append(b, 4);
}

void TRecordWriter::U64(std::uint64_t v) {
  char b[8];
  le::Put64(b, v);
  fData.append(b, 8);
}

void TRecordWriter::Double(double v) {
  char b[8];
  le::PutDouble(b, v);
  fData.append(b, 8);
}

void TRecordWriter::Bytes(QByteArrayView value, qsizetype count) {
  const qsizetype n = std::min(value.size(), count);
  fData.append(value.data(), n);
  fData.append(count - n, '\0');
}

void TRecordWriter::PrefixedText(QByteArrayView text, int capacity) {
  const int length = static_cast<int>(std::min<qsizetype>({text.size(), capacity, 255}));
  U8(static_cast<std::uint8_t>(length));
  Bytes(text.first(length), capacity);
}
