#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Appends fields of a little-endian record in order.
class TRecordWriter {
 public:
  TRecordWriter() = default;
  explicit TRecordWriter(qsizetype reserve) { fData.reserve(reserve); }

  void U8(std::uint8_t v) { fData.append(static_cast<char>(v)); }
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void I64(std::int64_t v) { U64(static_cast<std::uint64_t>(v)); }
  void Double(double v);
  void Bool(bool v) { U8(v ? 1 : 0); }
  // Exactly count bytes: the value cut or padded with zeros.
  void Bytes(QByteArrayView value, qsizetype count);
  // A length byte and the text in a slot of capacity + 1 bytes; a longer text
  // is cut to the capacity (and to 255), the rest of the slot is zeros.
  void PrefixedText(QByteArrayView text, int capacity);
  void Zeros(qsizetype count) { fData.append(count, '\0'); }

  qsizetype Size() const { return fData.size(); }
  const QByteArray& Data() const { return fData; }
  QByteArray Take() { return std::move(fData); }

 private:
  QByteArray fData;
};
