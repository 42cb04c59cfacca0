#pragma once

#include "app/ReturnCodes.h"
#include "headers/NewsHeader.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

// Reads the header files of a job (layout in NewsHeader.h) record by record.
// Both files are read sequentially in large blocks; a header's texts are
// views into the text buffer, valid until the next call, never copied.
//
// Every record is checked before it is handed out: its four texts must fill
// its stated length exactly, each followed by its 0x00, and all of it must
// have been read from the file. A record that fails is never built from
// whatever bytes the buffer held before.
class THeaderFileReader {
 public:
  struct TBufferSizes {
    qsizetype textBlock = 512 * 1024;  // bytes per read of the text file
    qsizetype headroom = 16384;        // for a record crossing the end of a block; grows for longer ones
    int indexBatch = 25000;            // index records per read
  };
  enum TOpenResult { OPEN_OK, OPEN_TEXT_FAILED, OPEN_INDEX_FAILED, ALLOC_TEXT_FAILED, ALLOC_INDEX_FAILED };
  enum TStatus {
    READ_RECORD,      // header filled
    READ_END,         // no further whole record (Truncated() tells whether the files ended early)
    READ_BAD_RECORD,  // the record contradicts itself or its text: the files are damaged
    READ_FAILED,      // the system failed to read a file
  };

  THeaderFileReader();
  explicit THeaderFileReader(const TBufferSizes& sizes);
  // Before Open.
  void SetBufferSizes(const TBufferSizes& sizes);
  ~THeaderFileReader();
  THeaderFileReader(const THeaderFileReader&) = delete;
  THeaderFileReader& operator=(const THeaderFileReader&) = delete;

  // Opens both files for reading and allocates the buffers.
  TOpenResult Open(const QString& textPath, const QString& indexPath);
  // Closes both files and frees the buffers (the byte count stays).
  void Close();
  // The text buffer's size (for the allocation message) and the index buffer's.
  qsizetype TextBufferSize() const { return fSizes.textBlock + fSizes.headroom; }
  qsizetype IndexBufferSize() const { return qsizetype(fSizes.indexBatch) * headerfile::kIndexRecordSize; }

  // Positions the files at index record `records` and text offset
  // `textOffset` (a seek entry). RC_OPERATION_FAILED when either position
  // cannot be reached or has no byte behind it; RC_DATA_MISMATCH when the
  // record there does not match the text there (a wrong seek entry). The
  // files are left at their start on failure.
  RETURN_CODES SeekTo(std::uint64_t records, std::uint64_t textOffset);
  // Back to the start of both files.
  bool Rewind();

  // Reads the first text block and index batch from the current positions:
  // RC_OPERATION_FAILED when a read fails or the text file has nothing more.
  RETURN_CODES Start();
  // The next record; Start() first.
  TStatus Next(TNewsHeader& header);

  // Index records not yet handed out (a file cut inside a record not counted).
  std::uint64_t RecordsLeft() const;
  std::uint64_t BytesRead() const { return fBytesRead.load(std::memory_order_relaxed); }
  // The files ended before the index said they would (a short last index
  // record, or text missing for the last records).
  bool Truncated() const { return fTruncated; }
  // What went wrong last, for the log.
  QString Problem() const { return fProblem; }

 private:
  TStatus ReadBatch();
  TStatus FillText(qsizetype length);
  qint64 Read(QFile& file, char* data, qint64 size);
  void ResetBuffers();
  bool CheckRecordAt(std::uint64_t records, std::uint64_t textOffset);

  TBufferSizes fSizes;
  QFile fTextFile;
  QFile fIndexFile;
  std::unique_ptr<char[]> fText;
  qsizetype fTextCapacity = 0;
  qsizetype fTextPos = 0;  // next record's text
  qsizetype fTextEnd = 0;  // end of the valid bytes
  std::unique_ptr<unsigned char[]> fIndex;
  int fBatchCount = 0;  // records in the current batch
  int fBatchPos = 0;
  bool fLastBatch = false;
  bool fTruncated = false;
  std::uint64_t fRecordNumber = 0;  // records handed out or skipped since the file position was set
  std::uint64_t fFirstRecord = 0;   // record number at that position
  std::atomic<std::uint64_t> fBytesRead{0};
  QString fProblem;
};
