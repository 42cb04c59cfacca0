#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Reads fields of a little-endian record in order. Reading past the end never
// touches memory outside the record: it yields zeros and sets Failed().
class TRecordReader {
 public:
  explicit TRecordReader(QByteArrayView data) : fData(data) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::uint64_t U64();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
  double Double();
  bool Bool() { return U8() != 0; }
  // Raw bytes of a fixed-size field.
  QByteArray Bytes(qsizetype count);
  // A length-prefixed text in a slot of capacity + 1 bytes; a stored length
  // above the capacity is clamped to it.
  QByteArray PrefixedText(int capacity);
  void Skip(qsizetype count);
  void Seek(qsizetype position);

  qsizetype Position() const { return fPos; }
  qsizetype Remaining() const { return fData.size() - fPos; }
  bool Failed() const { return fFailed; }

 private:
  const char* Take(qsizetype count);

  QByteArrayView fData;
  qsizetype fPos = 0;
  bool fFailed = false;
};
