#include "headers/HeaderFileWriter.h"

#include "app/LittleEndian.h"
#include "app/Logger.h"

#include <unistd.h>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kFlushSize = 256 * 1024;
// The merge reads index parts in whole records and text parts in blocks.
constexpr qsizetype kIndexChunk = 6553 * headerfile::kIndexRecordSize;  // 262,120 bytes
constexpr qsizetype kTextChunk = 262144;

// Reads up to size bytes, retrying short reads; -1 on error.
qint64 ReadFully(QFile& file, char* data, qint64 size) {
  qint64 got = 0;
  while (got < size) {
    const qint64 n = file.read(data + got, size - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

}  // namespace

THeaderFileWriter::THeaderFileWriter() = default;

THeaderFileWriter::~THeaderFileWriter() {
  if (fOpen) Close(false);
}

bool THeaderFileWriter::Fail(TError error, const QFile& file) {
  if (fError == WRITER_OK) {
    fError = error;
    fErrorText = file.fileName() + u": "_s + file.errorString();
    LogError(u"Header file error: "_s + fErrorText);
  }
  return false;
}

bool THeaderFileWriter::Open(const QString& textPath, const QString& indexPath, const QString& seekPath) {
  LOG_METHOD("Open");
  if (fOpen) Close(false);
  fError = WRITER_OK;
  fErrorText.clear();
  fRecords = fTextBytes = fSeekEntries = fTrimmed = 0;
  fMerged.store(0, std::memory_order_relaxed);
  fTextBuffer.clear();
  fIndexBuffer.clear();
  fSeekBuffer.clear();
  fTextBuffer.reserve(kFlushSize + headerfile::kMaxTextRecord);
  fIndexBuffer.reserve(kFlushSize + headerfile::kIndexRecordSize);
  fWithSeek = !seekPath.isEmpty();

  // Our own buffers do the batching: the files need none of their own.
  const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered;
  fText.setFileName(textPath);
  fIndex.setFileName(indexPath);
  fSeek.setFileName(seekPath);
  bool ok = fText.open(mode) || Fail(WRITER_OPEN_TEXT, fText);
  ok = ok && (fIndex.open(mode) || Fail(WRITER_OPEN_INDEX, fIndex));
  ok = ok && (!fWithSeek || fSeek.open(mode) || Fail(WRITER_OPEN_SEEK, fSeek));
  if (!ok) {
    for (QFile* f : {&fText, &fIndex, &fSeek}) {
      if (f->isOpen()) {
        f->close();
        f->remove();
      }
    }
    return false;
  }
  fOpen = true;
  return true;
}

void THeaderFileWriter::CountRecord(std::uint16_t textLength) {
  ++fRecords;
  fTextBytes += textLength;
  if (fWithSeek && fRecords % headerfile::kSeekInterval == 0) {
    const qsizetype at = fSeekBuffer.size();
    fSeekBuffer.resize(at + 8);
    le::Put64(fSeekBuffer.data() + at, fTextBytes);
    ++fSeekEntries;
  }
}

bool THeaderFileWriter::Write(const TNewsHeader& header) {
  if (!fOpen) {
    fError = WRITER_NOT_OPEN;
    return false;
  }
  if (fError != WRITER_OK) return false;

  TNewsHeader h = header;
  if (h.TextRecordLength() < 0) {
    const qsizetype room = headerfile::kMaxTextRecord - 4 - h.subject.size() - h.sender.size() - h.messageId.size();
    if (room < 0) {
      LogWarning(u"A header too long for its record was dropped: "_s + QString::fromUtf8(h.messageId));
      return false;
    }
    // Keep whole identifiers from the end of the list: the parent comes last.
    qsizetype start = h.references.size() - room;
    while (start < h.references.size() && h.references[start] != '<') ++start;
    h.references = h.references.sliced(start);
    ++fTrimmed;
  }
  const int length = h.TextRecordLength();

  const qsizetype indexAt = fIndexBuffer.size();
  fIndexBuffer.resize(indexAt + headerfile::kIndexRecordSize);
  h.EncodeIndex(reinterpret_cast<unsigned char*>(fIndexBuffer.data() + indexAt));
  const qsizetype textAt = fTextBuffer.size();
  fTextBuffer.resize(textAt + length);
  h.AppendText(fTextBuffer.data() + textAt);
  CountRecord(static_cast<std::uint16_t>(length));

  if (fTextBuffer.size() >= kFlushSize || fIndexBuffer.size() >= kFlushSize) return FlushBuffers();
  return true;
}

bool THeaderFileWriter::FlushBuffers() {
  if (fError != WRITER_OK) return false;
  if (!fIndexBuffer.isEmpty()) {
    if (fIndex.write(fIndexBuffer) != fIndexBuffer.size()) return Fail(WRITER_WRITE_INDEX, fIndex);
    fIndexBuffer.resize(0);
  }
  if (!fTextBuffer.isEmpty()) {
    if (fText.write(fTextBuffer) != fTextBuffer.size()) return Fail(WRITER_WRITE_TEXT, fText);
    fTextBuffer.resize(0);
  }
  if (!fSeekBuffer.isEmpty()) {
    if (fSeek.write(fSeekBuffer) != fSeekBuffer.size()) return Fail(WRITER_WRITE_SEEK, fSeek);
    fSeekBuffer.resize(0);
  }
  return true;
}

bool THeaderFileWriter::AppendParts(const QString& textPart, const QString& indexPart) {
  LOG_METHOD("AppendParts");
  if (!fOpen) {
    fError = WRITER_NOT_OPEN;
    return false;
  }
  if (!FlushBuffers()) return false;

  QFile index(indexPart);
  QFile text(textPart);
  if (!index.open(QIODevice::ReadOnly)) return Fail(WRITER_OPEN_PART, index);
  if (!text.open(QIODevice::ReadOnly)) return Fail(WRITER_OPEN_PART, text);
  if (index.size() % headerfile::kIndexRecordSize != 0) {
    fErrorText = indexPart + u": not a whole number of index records"_s;
    fError = WRITER_PART_MISMATCH;
    LogError(fErrorText);
    return false;
  }

  QByteArray chunk(std::max(kIndexChunk, kTextChunk), Qt::Uninitialized);
  std::uint64_t partText = 0;
  for (;;) {
    const qint64 n = ReadFully(index, chunk.data(), kIndexChunk);
    if (n < 0) return Fail(WRITER_READ_PART, index);
    if (n == 0) break;
    for (qint64 at = 0; at + headerfile::kIndexRecordSize <= n; at += headerfile::kIndexRecordSize) {
      const std::uint16_t length = le::Get16(chunk.constData() + at + 12);
      partText += length;
      CountRecord(length);
    }
    if (fIndex.write(chunk.constData(), n) != n) return Fail(WRITER_WRITE_INDEX, fIndex);
    fMerged.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
  }
  if (static_cast<std::uint64_t>(text.size()) != partText) {
    fErrorText = textPart + u": text size does not match its index"_s;
    fError = WRITER_PART_MISMATCH;
    LogError(fErrorText);
    return false;
  }
  for (;;) {
    const qint64 n = ReadFully(text, chunk.data(), kTextChunk);
    if (n < 0) return Fail(WRITER_READ_PART, text);
    if (n == 0) break;
    if (fText.write(chunk.constData(), n) != n) return Fail(WRITER_WRITE_TEXT, fText);
    fMerged.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
  }
  return FlushBuffers();
}

bool THeaderFileWriter::Close(bool deleteEmptySeek, bool durable) {
  if (!fOpen) return fError == WRITER_OK;
  bool ok = FlushBuffers();
  if (ok && durable) {
    const std::pair<QFile*, TError> files[] = {
        {&fText, WRITER_WRITE_TEXT}, {&fIndex, WRITER_WRITE_INDEX}, {&fSeek, WRITER_WRITE_SEEK}};
    for (const auto& [file, error] : files) {
      if (!file->isOpen() || (file->flush() && ::fdatasync(file->handle()) == 0)) continue;
      Fail(error, *file);
      ok = false;
      break;
    }
  }
  for (QFile* f : {&fText, &fIndex, &fSeek})
    if (f->isOpen()) f->close();
  if (fWithSeek && deleteEmptySeek && fSeekEntries == 0) fSeek.remove();
  fOpen = false;
  return ok && fError == WRITER_OK;
}

void THeaderFileWriter::Discard() {
  fTextBuffer.clear();
  fIndexBuffer.clear();
  fSeekBuffer.clear();
  for (QFile* f : {&fText, &fIndex, &fSeek}) {
    if (f->isOpen()) f->close();
    if (!f->fileName().isEmpty()) f->remove();
  }
  fOpen = false;
}
