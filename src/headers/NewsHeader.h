#pragma once

#include "model/LoadedHeader.h"

#include <QByteArrayView>

#include <cstdint>

// The header files of a headers job, written by THeaderFileWriter and read by
// THeaderFileReader. All integers are little-endian.
//
// Index file (".idx", and the ".idx.tmp" part files): one 40-byte record per header.
//   offset size field
//    0     4   article number
//    4     2   subject length in bytes
//    6     2   sender length
//    8     2   message identifier length
//   10     2   references length
//   12     2   length of the header's text record: the four lengths + 4
//   14     4   lines
//   18     4   bytes
//   22     8   date: IEEE double, days since 30 December 1899, local time
//   30     2   newsgroup index (0-based, among the job's downloaded newsgroups)
//   32     2   part number found in the subject, 0 if none
//   34     2   total parts found in the subject, 0 if none
//   36     2   1-based position where the part counter was cut out, 0 if none
//   38     1   reply flag: 1 when "re:" prefixes were removed
//   39     1   reserved: written as 0, ignored when read
//
// Text file (".hdrs", and the ".tmp" part files): the text records in index
// order, each "subject 0x00 sender 0x00 message-id 0x00 references 0x00";
// the text record of index record i starts at the sum of the lengths of
// records 0..i-1.
//
// Seek file (".seek"): 64-bit offsets; entry k (from 1) is where text record
// 5000 × k starts, so a loader can jump over whole blocks of 5000 headers.
// A last block of fewer than 5000 headers has no entry.
namespace headerfile {
inline constexpr int kIndexRecordSize = 40;
inline constexpr int kSeekInterval = 5000;
inline constexpr int kMaxTextRecord = 0xFFFF;  // the length field at offset 12 is 16 bits
}  // namespace headerfile

// The lengths an index record gives for its text record.
struct THeaderTextLengths {
  std::uint16_t subject = 0;
  std::uint16_t sender = 0;
  std::uint16_t messageId = 0;
  std::uint16_t references = 0;
  std::uint16_t record = 0;  // offset 12

  // The four texts and their terminators fill the record exactly.
  bool Consistent() const { return std::uint32_t(subject) + sender + messageId + references + 4 == record; }
};

// One header as the download builds it and the header files hold it: the
// fixed fields of its index record and its four texts (views the caller keeps
// alive).
struct TNewsHeader {
  std::uint32_t number = 0;
  std::uint32_t lines = 0;
  std::uint32_t bytes = 0;
  double date = 0;
  std::uint16_t newsgroup = 0;
  std::uint16_t partNumber = 0;
  std::uint16_t totalParts = 0;
  std::uint16_t partPosition = 0;
  bool reply = false;
  QByteArrayView subject;  // reply prefixes and part counter removed
  QByteArrayView sender;
  QByteArrayView messageId;  // without angle brackets
  QByteArrayView references;

  // The text record's length, or -1 when the texts do not fit in one record.
  int TextRecordLength() const;
  // Writes the 40-byte index record; the texts must fit (TextRecordLength() >= 0).
  void EncodeIndex(unsigned char* record) const;
  // Fills the fixed fields from an index record (texts untouched) and answers
  // the lengths it gives.
  THeaderTextLengths DecodeIndex(const unsigned char* record);
  // Appends the text record to out (same precondition as EncodeIndex).
  void AppendText(char* out) const;

  // The header as a header set takes it; never read (byte 39 is not a read mark).
  TLoadedHeader ToLoaded() const;
};
