#pragma once

#include "binaries/LineDecoder.h"
#include "binaries/YencKernel.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTemporaryDir;
class TFileBytes;

// How a run of TNewsDecoder::Execute ended.
enum TDecodeEnd : std::uint8_t {
  DECODE_END_OK,
  DECODE_END_NO_DESTINATION,
  DECODE_END_ABORTED,
  DECODE_END_MISSING_FILE,      // an input file does not exist
  DECODE_END_UNREADABLE,        // an input file could not be read
  DECODE_END_NO_BODY,           // an input file has no empty line, so no body
  DECODE_END_BAD_MIME,          // unusable MIME structure or a stop inside a MIME body
  DECODE_END_NOTHING_PRODUCED,  // a file was begun but none was completed
  DECODE_END_WRITE_FAILED,      // an output file could not be written
  DECODE_END_EXCEPTION
};
const char* DecodeEndName(TDecodeEnd end);

// The multipart binary decoder: turns the stored article files of one post
// (each a whole article: header, empty line, body) into files in a
// destination directory. It recognises uuencode, yEnc (single and multipart),
// MIME "message/partial" and "image/" bodies in base64, and hands
// "multipart/mixed" messages to TMime.
//
// One object per worker thread, reused for every post; it touches no window.
class TNewsDecoder {
 public:
  // Size = bytes written so far to the current output, CurrentPos = index of
  // the file about to be decoded, MaxPos = index of the last file.
  using TProgressEvent = std::function<void(TNewsDecoder* sender, qint64 size, int currentPos, int maxPos)>;
  using TDisplayEvent = std::function<void(TNewsDecoder* sender, const QString& text)>;

  struct TInput {
    QString path;
    quintptr reference = 0;  // the owner's article, handed back untouched
  };

  // Loads BadStrings from the system data directory's "_BadStrings/".
  TNewsDecoder();
  // The same from another directory (tests, tools).
  explicit TNewsDecoder(const QString& badStringsDirectory);
  ~TNewsDecoder();
  TNewsDecoder(const TNewsDecoder&) = delete;
  TNewsDecoder& operator=(const TNewsDecoder&) = delete;

  bool OverwriteFiles = false;
  TProgressEvent OnProgress;
  TDisplayEvent OnEvent;

  void SetDestination(const QString& directory);
  const QString& Destination() const { return fDestination; }
  void AddInput(const QString& path, quintptr reference = 0) { fInputs.append({path, reference}); }
  const QList<TInput>& Inputs() const { return fInputs; }
  void ClearInputs() { fInputs.clear(); }
  // Non-zero means stop now; owned and only ever set by the owner.
  void SetAbortFlag(const std::atomic<int>* flag) { fAbortFlag = flag; }
  // When set, the decoder sleeps 1 ms every 500 body lines.
  void SetYield(bool yield) { fYield = yield; }

  // Clears the names, the mode, the produced list and the MIME state.
  void Reset();
  // Decodes the inputs in order. False when there is no destination, the run
  // was aborted (then every file of the run is deleted), an input ended the
  // run early, a file was begun but none completed, or writing failed; the
  // caller keeps the articles and may try again. LastEnd says which.
  bool Execute();
  TDecodeEnd LastEnd() const { return fLastEnd; }
  // Index of the input the run stopped at when it ended early, else -1.
  int LastEndIndex() const { return fLastEndIndex; }

  // Full paths of the files completed in the last run, and their checks.
  QStringList Produced() const;
  const QList<TDecodedFile>& ProducedFiles() const { return fProduced; }
  void ClearProduced() { fProduced.clear(); }
  // Every yEnc part of the last run with its own check, in order.
  const QList<TPartCheck>& PartChecks() const { return fLines.PartChecks(); }
  // Files begun in the last run but never completed (partial files left in
  // the destination), relative to it.
  const QStringList& Unfinished() const { return fUnfinished; }

  const QStringList& BadStrings() const { return fBadStrings; }
  // Replaces the free-space measurement of the guard; for tests.
  void SetFreeSpaceProbe(std::function<qint64(const QString&)> probe) { fLines.SetFreeSpaceProbe(std::move(probe)); }
  // The working directory of this decoder's MIME messages: its own, so
  // clearing it never touches files of other decoders or stored articles.
  QString MimeWorkingDirectory();

 private:
  int DecodeFile(const QString& path);
  int DecodeBody(const char* p, const char* end);
  int DecodeMimeBase64(const char* p, const char* end);
  int DecodeMultipart(const QString& path);
  bool IsBadString(const char* line, std::size_t size) const;
  bool Aborted() const { return fAbortFlag && fAbortFlag->load(std::memory_order_relaxed) != 0; }
  void Pace(std::size_t lines);
  void LoadBadStrings(const QString& directory);

  QString fDestination;
  QList<TInput> fInputs;
  const std::atomic<int>* fAbortFlag = nullptr;
  bool fYield = false;

  TLineDecoder fLines;
  QList<TDecodedFile> fProduced;
  QStringList fUnfinished;
  TDecodeEnd fLastEnd = DECODE_END_OK;
  int fLastEndIndex = -1;
  std::size_t fLineIndex = 0;

  QStringList fBadStrings;
  QSet<QString> fBadSet;
  std::size_t fLongestBad = 0;  // bytes
  yenc::TYencStops fStops;

  // MIME state of the current file; carries from one input to the next.
  struct TMimeState {
    int kind = 0;  // 1 message/partial, 2 image
    qint64 part = 0;
    qint64 total = 0;
    QString name;
    int stage = 0;
  } fMime;

  std::unique_ptr<TFileBytes> fFile;  // kept so its buffer serves every article
  std::unique_ptr<QTemporaryDir> fWorkDir;
};
