#include "headers/HeaderFileReader.h"

#include "app/LittleEndian.h"
#include "app/Logger.h"

#include <fcntl.h>

#include <cstring>
#include <new>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRecord = headerfile::kIndexRecordSize;

// The record's texts each end with their 0x00 where its lengths say.
bool TerminatorsInPlace(const char* text, const THeaderTextLengths& l) {
  qsizetype at = l.subject;
  if (text[at] != 0) return false;
  at += 1 + l.sender;
  if (text[at] != 0) return false;
  at += 1 + l.messageId;
  if (text[at] != 0) return false;
  at += 1 + l.references;
  return text[at] == 0;
}

}  // namespace

THeaderFileReader::THeaderFileReader() = default;
THeaderFileReader::THeaderFileReader(const TBufferSizes& sizes) { SetBufferSizes(sizes); }

void THeaderFileReader::SetBufferSizes(const TBufferSizes& sizes) {
  fSizes = sizes;
  if (fSizes.textBlock < 1) fSizes.textBlock = 1;
  if (fSizes.headroom < 0) fSizes.headroom = 0;
  if (fSizes.indexBatch < 1) fSizes.indexBatch = 1;
}

void THeaderFileReader::Close() {
  fTextFile.close();
  fIndexFile.close();
  fText.reset();
  fIndex.reset();
  fTextCapacity = 0;
  ResetBuffers();
}

THeaderFileReader::~THeaderFileReader() = default;

THeaderFileReader::TOpenResult THeaderFileReader::Open(const QString& textPath, const QString& indexPath) {
  Close();
  fBytesRead.store(0, std::memory_order_relaxed);
  fTextFile.setFileName(textPath);
  fIndexFile.setFileName(indexPath);
  // Our own buffers make the large reads; the files need none of their own.
  if (!fTextFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    fProblem = textPath + u": "_s + fTextFile.errorString();
    return OPEN_TEXT_FAILED;
  }
  if (!fIndexFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    fProblem = indexPath + u": "_s + fIndexFile.errorString();
    return OPEN_INDEX_FAILED;
  }
  fTextCapacity = TextBufferSize();
  fText.reset(new (std::nothrow) char[static_cast<std::size_t>(fTextCapacity)]);
  if (!fText) return ALLOC_TEXT_FAILED;
  std::memset(fText.get() + fSizes.textBlock, 0, static_cast<std::size_t>(fSizes.headroom));
  fIndex.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(IndexBufferSize())]);
  if (!fIndex) return ALLOC_INDEX_FAILED;
  ResetBuffers();
  return OPEN_OK;
}

void THeaderFileReader::ResetBuffers() {
  fTextPos = fTextEnd = 0;
  fBatchCount = fBatchPos = 0;
  fLastBatch = false;
  fTruncated = false;
  fRecordNumber = 0;
}

qint64 THeaderFileReader::Read(QFile& file, char* data, qint64 size) {
  qint64 got = 0;
  while (got < size) {
    const qint64 n = file.read(data + got, size - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  fBytesRead.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
  // Ask for the next blocks now: the disk fetches them while the records of
  // this one are handed over, instead of when the next read waits for them.
  if (got == size && file.handle() >= 0)
    ::posix_fadvise(file.handle(), file.pos(), static_cast<off_t>(2 * size), POSIX_FADV_WILLNEED);
  return got;
}

bool THeaderFileReader::Rewind() {
  ResetBuffers();
  fFirstRecord = 0;
  return fTextFile.seek(0) && fIndexFile.seek(0);
}

bool THeaderFileReader::CheckRecordAt(std::uint64_t records, std::uint64_t textOffset) {
  unsigned char record[kRecord];
  if (!fIndexFile.seek(qint64(records * kRecord)) ||
      fIndexFile.read(reinterpret_cast<char*>(record), kRecord) != kRecord)
    return true;  // a cut index ends the load where it is; nothing to compare
  TNewsHeader header;
  const THeaderTextLengths lengths = header.DecodeIndex(record);
  if (!lengths.Consistent()) return false;
  QByteArray text(lengths.record, Qt::Uninitialized);
  if (!fTextFile.seek(qint64(textOffset)) || fTextFile.read(text.data(), text.size()) != text.size()) return false;
  return TerminatorsInPlace(text.constData(), lengths);
}

RETURN_CODES THeaderFileReader::SeekTo(std::uint64_t records, std::uint64_t textOffset) {
  LOG_METHOD("SeekTo");
  const auto fail = [this](RETURN_CODES rc) {
    Rewind();
    return rc;
  };
  if (records > std::uint64_t(INT64_MAX) / kRecord || textOffset > std::uint64_t(INT64_MAX)) {
    return fail(RC_OPERATION_FAILED);
  }
  const qint64 indexAt = qint64(records * kRecord);
  const qint64 textAt = qint64(textOffset);
  // A byte must stand at both positions: a seek past the end succeeds on its own.
  char byte;
  if (!fIndexFile.seek(indexAt) || fIndexFile.read(&byte, 1) != 1 || !fIndexFile.seek(indexAt))
    return fail(RC_OPERATION_FAILED);
  if (!fTextFile.seek(textAt) || fTextFile.read(&byte, 1) != 1 || !fTextFile.seek(textAt))
    return fail(RC_OPERATION_FAILED);
  // An entry that points inside the text file but at the wrong record would
  // hand out misaligned texts: the first record must match its text.
  if (!CheckRecordAt(records, textOffset)) {
    fProblem = u"The seek entry for record %1 does not point at its text (offset %2)"_s.arg(records).arg(textOffset);
    return fail(RC_DATA_MISMATCH);
  }
  if (!fIndexFile.seek(indexAt) || !fTextFile.seek(textAt)) return fail(RC_OPERATION_FAILED);
  ResetBuffers();
  fFirstRecord = records;
  return RC_SUCCESS;
}

RETURN_CODES THeaderFileReader::Start() {
  LOG_METHOD("Start");
  ResetBuffers();
  const qint64 n = Read(fTextFile, fText.get(), fSizes.textBlock);
  if (n < 0) {
    LogError("Error reading buffer (1)");
    return RC_OPERATION_FAILED;
  }
  if (n == 0) {
    LogError("Reading at end of file (1.1)");
    return RC_OPERATION_FAILED;
  }
  fTextEnd = n;
  if (ReadBatch() == READ_FAILED) {
    LogError("Error reading buffer (2)");
    return RC_OPERATION_FAILED;
  }
  return RC_SUCCESS;
}

THeaderFileReader::TStatus THeaderFileReader::ReadBatch() {
  fBatchPos = 0;
  fBatchCount = 0;
  const qint64 want = IndexBufferSize();
  const qint64 n = Read(fIndexFile, reinterpret_cast<char*>(fIndex.get()), want);
  if (n < 0) {
    fProblem = fIndexFile.fileName() + u": "_s + fIndexFile.errorString();
    return READ_FAILED;
  }
  fBatchCount = static_cast<int>(n / kRecord);
  if (n < want) fLastBatch = true;
  if (n % kRecord != 0) {
    fTruncated = true;
    LogWarning(u"The headers index file ends inside a record: its last %1 bytes are ignored"_s.arg(n % kRecord));
  }
  return fBatchCount ? READ_RECORD : READ_END;
}

THeaderFileReader::TStatus THeaderFileReader::FillText(qsizetype length) {
  const qsizetype tail = fTextEnd - fTextPos;
  // Room for the record's start, the rest of it and a whole block after it.
  const qsizetype needed = fSizes.textBlock + std::max<qsizetype>(fSizes.headroom, length);
  if (fTextCapacity < needed) {
    std::unique_ptr<char[]> grown(new (std::nothrow) char[static_cast<std::size_t>(needed)]);
    if (!grown) {
      fProblem = u"No memory for a text record of %1 bytes"_s.arg(length);
      return READ_FAILED;
    }
    std::memcpy(grown.get(), fText.get() + fTextPos, static_cast<std::size_t>(tail));
    fText = std::move(grown);
    fTextCapacity = needed;
  } else if (tail) {
    std::memmove(fText.get(), fText.get() + fTextPos, static_cast<std::size_t>(tail));
  }
  fTextPos = 0;
  fTextEnd = tail;
  const qint64 n = Read(fTextFile, fText.get() + tail, fTextCapacity - tail);
  if (n < 0) {
    fProblem = fTextFile.fileName() + u": "_s + fTextFile.errorString();
    return READ_FAILED;
  }
  fTextEnd += n;
  if (fTextEnd < length) {
    fTruncated = true;
    fProblem = u"The headers file ends inside the text of record %1"_s.arg(fFirstRecord + fRecordNumber + 1);
    return READ_END;
  }
  return READ_RECORD;
}

THeaderFileReader::TStatus THeaderFileReader::Next(TNewsHeader& header) {
  if (fBatchPos == fBatchCount) {
    if (fLastBatch || !fIndex) return READ_END;
    const TStatus s = ReadBatch();
    if (s != READ_RECORD) return s;
  }
  const unsigned char* record = fIndex.get() + qsizetype(fBatchPos) * kRecord;
  const THeaderTextLengths lengths = header.DecodeIndex(record);
  const std::uint64_t number = fFirstRecord + fRecordNumber + 1;
  if (!lengths.Consistent()) {
    fProblem = u"Header record %1 states a text length of %2 bytes, its texts take %3"_s.arg(number)
                   .arg(lengths.record)
                   .arg(int(lengths.subject) + lengths.sender + lengths.messageId + lengths.references + 4);
    return READ_BAD_RECORD;
  }
  const qsizetype length = lengths.record;
  if (fTextEnd - fTextPos < length) {
    const TStatus s = FillText(length);
    if (s != READ_RECORD) return s;
  }
  const char* text = fText.get() + fTextPos;
  if (!TerminatorsInPlace(text, lengths)) {
    fProblem = u"The texts of header record %1 are out of step with its index record"_s.arg(number);
    return READ_BAD_RECORD;
  }
  header.subject = QByteArrayView(text, lengths.subject);
  text += lengths.subject + 1;
  header.sender = QByteArrayView(text, lengths.sender);
  text += lengths.sender + 1;
  header.messageId = QByteArrayView(text, lengths.messageId);
  text += lengths.messageId + 1;
  header.references = QByteArrayView(text, lengths.references);
  fTextPos += length;
  ++fBatchPos;
  ++fRecordNumber;
  return READ_RECORD;
}

std::uint64_t THeaderFileReader::RecordsLeft() const {
  const qint64 rest = fIndexFile.isOpen() ? std::max<qint64>(0, fIndexFile.size() - fIndexFile.pos()) : 0;
  return std::uint64_t(fBatchCount - fBatchPos) + std::uint64_t(rest / kRecord);
}
