#pragma once

#include "headers/NewsHeader.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <cstdint>

// Writes header files in the layout described in NewsHeader.h: the index
// file, the text file and, when asked, the seek file. The headers download
// uses it for its part files (Write, one header at a time as overview lines
// arrive) and for the final files (Write on a job of one connection, or
// AppendParts to merge the part files in order). Everything it writes is
// buffered and reaches the disk in large blocks.
class THeaderFileWriter {
 public:
  enum TError {
    WRITER_OK,
    WRITER_OPEN_TEXT,      // the text file could not be created
    WRITER_OPEN_INDEX,     // the index file could not be created
    WRITER_OPEN_SEEK,      // the seek file could not be created
    WRITER_WRITE_TEXT,     // a write to the text file failed
    WRITER_WRITE_INDEX,    // a write to the index file failed
    WRITER_WRITE_SEEK,     // a write to the seek file failed
    WRITER_OPEN_PART,      // AppendParts: a part file could not be opened
    WRITER_READ_PART,      // AppendParts: a part file could not be read
    WRITER_PART_MISMATCH,  // AppendParts: the parts' index and text are out of step
    WRITER_NOT_OPEN,
  };

  THeaderFileWriter();
  ~THeaderFileWriter();  // closes (flushing) what is open
  THeaderFileWriter(const THeaderFileWriter&) = delete;
  THeaderFileWriter& operator=(const THeaderFileWriter&) = delete;

  // Creates (truncating) the text and index files and, when seekPath is not
  // empty, the seek file. On failure nothing stays open and the files that
  // were created are deleted.
  bool Open(const QString& textPath, const QString& indexPath, const QString& seekPath = {});
  bool IsOpen() const { return fOpen; }

  // Appends one header: its index record, then its text record. A reference
  // list that would take the text record past 65535 bytes keeps its last
  // identifiers (the nearest ancestors); a header whose other three texts
  // alone are too long is refused (false, nothing written, no file error).
  bool Write(const TNewsHeader& header);
  // Appends a pair of part files written by this class, index records first,
  // and continues the seek entries across them. Parts whose index is not a
  // whole number of records or whose text does not match its index are refused.
  bool AppendParts(const QString& textPart, const QString& indexPart);

  // Flushes and closes; a seek file without entries is deleted when
  // deleteEmptySeek is set. With durable, the files are on disk (not only in
  // the page cache) before it returns. False when any write failed.
  bool Close(bool deleteEmptySeek = true, bool durable = false);
  // Closes and deletes the files.
  void Discard();

  TError Error() const { return fError; }
  // The system's reason for the last file error, for the log.
  QString ErrorText() const { return fErrorText; }

  std::uint64_t Records() const { return fRecords; }
  std::uint64_t TextBytes() const { return fTextBytes; }
  std::uint64_t SeekEntries() const { return fSeekEntries; }
  // Bytes of part files appended so far (merge progress; any thread may read it).
  std::uint64_t MergedBytes() const { return fMerged.load(std::memory_order_relaxed); }
  // Headers whose reference list was shortened to fit.
  std::uint64_t TrimmedReferences() const { return fTrimmed; }

  QString TextPath() const { return fText.fileName(); }
  QString IndexPath() const { return fIndex.fileName(); }
  QString SeekPath() const { return fSeek.fileName(); }

 private:
  bool Fail(TError error, const QFile& file);
  bool FlushBuffers();
  void CountRecord(std::uint16_t textLength);

  QFile fText;
  QFile fIndex;
  QFile fSeek;
  QByteArray fTextBuffer;
  QByteArray fIndexBuffer;
  QByteArray fSeekBuffer;
  bool fOpen = false;
  bool fWithSeek = false;
  TError fError = WRITER_OK;
  QString fErrorText;
  std::uint64_t fRecords = 0;
  std::uint64_t fTextBytes = 0;
  std::uint64_t fSeekEntries = 0;
  std::uint64_t fTrimmed = 0;
  std::atomic<std::uint64_t> fMerged{0};
};
