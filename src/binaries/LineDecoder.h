#pragma once

#include "binaries/YencKernel.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Outcome of the integrity checks of one decoded file.
enum TDecodeCheck : std::uint8_t {
  DECODE_CHECK_NO_CHECKSUM,  // nothing to check against (uuencode, MIME, yEnc without CRC)
  DECODE_CHECK_GOOD,         // CRC-32 and sizes match
  DECODE_CHECK_MISMATCH      // a CRC, a size or a part number disagrees, or data is missing
};
const char* DecodeCheckName(TDecodeCheck check);

// Outcome of one yEnc part (single-part files are one part numbered 0).
struct TPartCheck {
  QString path;
  qint64 part = 0;
  qint64 offset = 0;  // where its data went in the file
  qint64 bytes = 0;   // decoded
  std::uint32_t crc = 0;
  TDecodeCheck check = DECODE_CHECK_NO_CHECKSUM;
  QString detail;
};

struct TDecodedFile {
  QString path;  // full path
  qint64 size = 0;
  TDecodeCheck check = DECODE_CHECK_NO_CHECKSUM;
  QString detail;  // what disagreed, for the log
};

// The line classifier and the output file that the decoders share: uuencode
// between "begin" and "end", yEnc single and multipart between "=ybegin" and
// "=yend" (with "=ypart" positioning), plus the raw output calls the MIME
// stages use. Decoded data is gathered in a buffer and written in large
// blocks; runs of yEnc data lines go through the vectorised kernel. While
// decoding yEnc it computes the CRC-32 of every part and of the whole file
// and judges each file it completes (TDecodeCheck).
//
// One object per decoder; not shared between threads.
class TLineDecoder {
 public:
  enum TMode : std::uint8_t { MODE_NONE, MODE_UUENCODE, MODE_YENC_WAIT_PART, MODE_YENC_DATA };

  TLineDecoder();
  ~TLineDecoder();
  TLineDecoder(const TLineDecoder&) = delete;
  TLineDecoder& operator=(const TLineDecoder&) = delete;

  // Settings of the owner; destination ends with "/".
  void SetDestination(const QString& destination) { fDestination = destination; }
  const QString& Destination() const { return fDestination; }
  void SetOverwrite(bool overwrite) { fOverwrite = overwrite; }
  void SetAbortFlag(const std::atomic<int>* abortFlag) { fAbortFlag = abortFlag; }
  void SetEventHandler(std::function<void(const QString&)> handler) { fEvent = std::move(handler); }
  bool Aborted() const { return fAbortFlag && fAbortFlag->load(std::memory_order_relaxed) != 0; }
  // Replaces the free-space measurement (bytes available on the volume of a
  // directory, -1 when unknown); for tests.
  void SetFreeSpaceProbe(std::function<qint64(const QString&)> probe) { fFreeSpaceProbe = std::move(probe); }

  // Starts a run: closes any output without listing it and forgets names,
  // modes, checks and the produced list.
  void ResetRun();

  // The line classifier for one line (no line end).
  void ProcessLine(const char* line, std::size_t size);
  // True when the next lines are yEnc data for an open output: the owner may
  // then hand whole runs of lines to DecodeYencRun.
  bool InYencData() const { return fMode == MODE_YENC_DATA && fFd >= 0; }
  // Decodes yEnc data lines from p (at a line start) until the end, or up to
  // the first line the classifier must see (run.forCaller).
  yenc::TYencRun DecodeYencRun(const char* p, std::size_t size, const yenc::TYencStops* stops);

  TMode Mode() const { return fMode; }
  bool HasOutput() const { return fFd >= 0; }

  // Raw output for the MIME stages. OpenOutput creates name in the
  // destination (or, with append, opens it and writes at its end); false when
  // that fails. WriteData appends decoded bytes; CloseOutput ends the file
  // and, with produced, lists it.
  bool OpenOutput(const QString& name, bool append);
  void WriteData(const char* data, std::size_t size);
  void CloseOutput(bool produced);
  QString OutputName() const { return fOutputName; }

  // Ends a run normally: the open output is closed without being listed.
  void FinishRun();
  // Ends an aborted run: every produced file and the open one are deleted.
  void DiscardRun();

  const QList<TDecodedFile>& Produced() const { return fProduced; }
  // Lists a file another decoder wrote for this run (MIME attachments).
  void AddExternal(const TDecodedFile& file) {
    fBeganOutput = true;
    fProducedIndex.insert(file.path, fProduced.size());
    fProduced.append(file);
  }
  QStringList ProducedPaths() const;
  void ClearProduced() {
    fProduced.clear();
    fProducedIndex.clear();
  }
  // Every yEnc part ended by "=yend" in this run, in order.
  const QList<TPartCheck>& PartChecks() const { return fPartChecks; }
  // Names of files begun in this run and not (yet) listed as produced.
  QStringList Unfinished() const;
  // Whether this run began any output file, or saw a yEnc header that
  // should have begun one.
  bool BeganOutput() const { return fBeganOutput; }
  // Whether writing failed for good in this run (not just a full disk).
  bool WriteFailed() const { return fWriteFailed; }

  // Size of the bytes decoded into the open output (for progress).
  qint64 OutputSize() const;

  // Parses "=ybegin" values (the text after the keyword); exposed for tests.
  struct TYbegin {
    qint64 line = 0;
    qint64 size = 0;
    qint64 part = 0;
    QByteArray name;
    std::optional<std::uint32_t> crc;
  };
  static bool ParseYbegin(QByteArrayView text, TYbegin& result);
  // The yEnc size limit: larger or non-positive sizes are refused.
  static constexpr qint64 kMaxYencSize = qint64{1} << 40;
  // CRC fields: hexadecimal, more than 8 digits keep the low 32 bits, empty
  // is 0, anything else is no value.
  static std::optional<std::uint32_t> ParseCrc(QByteArrayView value);

 private:
  struct TFileCheck;

  void OnBegin(const char* line, std::size_t size);
  void OnYbegin(const char* line, std::size_t size);
  void OnYpart(const char* line, std::size_t size);
  void OnYend(const char* line, std::size_t size);
  void DecodeUuLine(const char* line, std::size_t size);
  void DecodeYencLine(const char* line, std::size_t size);

  bool OpenPath(const QString& name, bool append);
  void Append(const char* data, std::size_t size);
  bool Flush();
  void CloseFile();
  void AddProduced(TDecodeCheck check, const QString& detail);
  void FreeSpaceGuard();
  void WaitAlternating(const QString& text);
  void Sleep(int milliseconds);
  QString DriveText() const;
  TFileCheck& CheckFor(const QString& name);
  QString ChooseName(const QString& cleaned);

  QString fDestination;
  bool fOverwrite = false;
  const std::atomic<int>* fAbortFlag = nullptr;
  std::function<void(const QString&)> fEvent;
  std::function<qint64(const QString&)> fFreeSpaceProbe;

  TMode fMode = MODE_NONE;
  int fFd = -1;
  QString fOutputName;  // relative to the destination
  std::vector<char> fBuffer;
  std::size_t fUsed = 0;
  qint64 fWritePos = 0;  // file offset of fBuffer[0]
  bool fBeganOutput = false;
  bool fWriteFailed = false;
  bool fOutputFailed = false;  // the open output lost data for good

  // yEnc state of the open output.
  TYbegin fYbegin;
  qint64 fPartBegin = 0;  // 1-based, from "=ypart"
  qint64 fPartEnd = 0;
  bool fHavePart = false;
  std::uint32_t fPartCrc = 0;
  qint64 fPartBytes = 0;
  QHash<QByteArray, QString> fMultipartNames;
  QHash<QString, qint64>
      fNextNumber;  // per cleaned name: where UniqueFileName goes on  // "=ybegin" name -> chosen file name
  QHash<QString, std::shared_ptr<TFileCheck>> fChecks;

  QList<TDecodedFile> fProduced;
  QHash<QString, qsizetype> fProducedIndex;  // path -> index in fProduced
  QList<TPartCheck> fPartChecks;
  QHash<QString, qint64> fBegun;  // unfinished names -> order begun
  qint64 fBegunCount = 0;
  int fToggle = 1;
  qint64 fBytesSinceMeasure = 0;
};
