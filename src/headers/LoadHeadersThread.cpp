#include "headers/LoadHeadersThread.h"

#include "app/FileUtils.h"
#include "app/LittleEndian.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <new>

using namespace Qt::StringLiterals;

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The job file's name with its last extension replaced.
QString WithExtension(const QString& jobFile, const QString& extension) {
  const int dot = jobFile.lastIndexOf(u'.');
  const int slash = jobFile.lastIndexOf(u'/');
  const QString base = dot > slash ? jobFile.left(dot) : jobFile;
  return FindPathNoCase(base + extension);
}

}  // namespace

TLoadHeadersThread::TLoadHeadersThread(QObject* parent)
    : QThread(parent),
      fReader(THeaderFileReader::TBufferSizes{qsizetype(kBufferSizeKiB) * 1024, 16384, kLines}),
      fHeaders(std::make_shared<THeaders>()) {}

TLoadHeadersThread::~TLoadHeadersThread() {
  // Never destroyed while running: the owner waits, or the thread frees itself.
  if (isRunning()) {
    requestInterruption();
    wait();
  }
}

void TLoadHeadersThread::SetRange(std::int64_t first, std::int64_t last) {
  fFirst = first;
  fLast = last;
}

void TLoadHeadersThread::SetFreeOnTerminate(bool on) {
  if (on == fFreeOnTerminate) return;
  fFreeOnTerminate = on;
  if (on)
    connect(this, &QThread::finished, this, &QObject::deleteLater);
  else
    disconnect(this, &QThread::finished, this, &QObject::deleteLater);
}

std::shared_ptr<THeaders> TLoadHeadersThread::TakeHeaders() { return std::exchange(fHeaders, nullptr); }

std::int64_t TLoadHeadersThread::ElapsedMs() const {
  const std::int64_t start = fStartMs.load();
  if (start < 0) return 0;
  const std::int64_t end = fEndMs.load();
  return (end >= 0 ? end : NowMs()) - start;
}

bool TLoadHeadersThread::Terminating() const { return isInterruptionRequested(); }

void TLoadHeadersThread::run() {
  const RETURN_CODES result = Execute();
  // A load the user stopped shows nothing.
  if (IsAborted()) return;
  TLoadHeadersOutcome outcome;
  outcome.result = result;
  outcome.jobFileName = fJobFileName;
  outcome.background = fBackground;
  outcome.first = fFirst;
  outcome.last = fLast;
  outcome.loaded = Loaded();
  if (result == RC_SUCCESS) outcome.headers = TakeHeaders();
  emit LoadFinished(outcome);
}

RETURN_CODES TLoadHeadersThread::Execute() {
  LOG_METHOD("Execute");
  fStartMs.store(NowMs());
  fEndMs.store(-1);
  fSpeedMs = fStartMs.load();
  fSpeedCurrent = 0;
  RETURN_CODES result;
  if (!fHeaders) {
    LogError("The header set of this load was already handed over");
    result = RC_BAD_STATE;
  } else if (InitializeThread() != RC_SUCCESS) {
    result = RC_FAILED_INITALIZATION;
  } else {
    const RETURN_CODES seek = SeekHeadersFile();
    if (seek != RC_SUCCESS) {
      LogError(QString::asprintf("Error %s while seeking in the headers file", ReturnCodeName(seek)));
      fReader.Rewind();
      fCurrent.store(0);
      fSkipped.store(0);
    }
    if (Terminating()) {
      result = RC_TERMINATED;
    } else {
      RETURN_CODES rc;
      try {
        rc = LoadHeaders();
      } catch (const std::exception& e) {
        LogError(u"Exception raised in load loop: "_s + QString::fromUtf8(e.what()));
        rc = RC_EXCEPTION_TRIGGERED;
      } catch (...) {
        LogError("Exception raised in load loop");
        rc = RC_EXCEPTION_TRIGGERED;
      }
      if (rc == RC_TERMINATED || rc == RC_ABORTED || rc == RC_SUCCESS) {
        result = rc;
      } else {
        if (rc != RC_EXCEPTION_TRIGGERED)
          LogError(QString::asprintf("LoadHeaders() returned error %s", ReturnCodeName(rc)));
        result = RC_OPERATION_FAILED;
      }
    }
  }
  FreeBuffers();
  // Only a finished set leaves the thread; anything else gives its memory back now.
  if (result != RC_SUCCESS) fHeaders.reset();
  UpdateSpeed(true);
  fEndMs.store(NowMs());
  fResult.store(result);
  return result;
}

void TLoadHeadersThread::FreeBuffers() { fReader.Close(); }

RETURN_CODES TLoadHeadersThread::InitializeThread() {
  LOG_METHOD("InitializeThread");
  if (fFirst < 1 || fLast < fFirst) {
    LogError(u"Invalid range of headers to load: %1 to %2"_s.arg(fFirst).arg(fLast));
    return RC_INVALID_PARAMS;
  }
  const QString jobFile = FindPathNoCase(fJobFileName);
  if (fJobFileName.isEmpty() || !QFileInfo(jobFile).isFile()) {
    LogError("Headers file does not exists");
    return RC_FILE_NOT_FOUND;
  }
  fSeekPath = WithExtension(jobFile, u".seek"_s);
  switch (fReader.Open(WithExtension(jobFile, u".hdrs"_s), WithExtension(jobFile, u".idx"_s))) {
    case THeaderFileReader::OPEN_OK:
      break;
    case THeaderFileReader::OPEN_TEXT_FAILED:
      LogError(u"Error opening headers file: "_s + fReader.Problem());
      return RC_OPEN_FAILED;
    case THeaderFileReader::OPEN_INDEX_FAILED:
      LogError(u"Error opening headers index file: "_s + fReader.Problem());
      return RC_OPEN_FAILED;
    case THeaderFileReader::ALLOC_TEXT_FAILED:
      LogError(QString::asprintf("Error allocating %lld bytes for file buffer", qlonglong(fReader.TextBufferSize())));
      return RC_FAILED_ALLOC;
    case THeaderFileReader::ALLOC_INDEX_FAILED:
      LogError(QString::asprintf("Error allocating %lld bytes for line buffer", qlonglong(fReader.IndexBufferSize())));
      return RC_FAILED_ALLOC;
  }
  fWanted.store(fLast - fFirst + 1);
  fCurrent.store(0);
  fSkipped.store(0);
  fLoaded.store(0);
  return RC_SUCCESS;
}

RETURN_CODES TLoadHeadersThread::SeekHeadersFile() {
  LOG_METHOD("SeekHeadersFile");
  if (fFirst <= 1) return RC_SUCCESS;
  QFile file(fSeekPath);
  if (!file.exists() || file.size() == 0) return RC_SUCCESS;
  if (!file.open(QIODevice::ReadOnly)) return RC_FAILED_CREATE;

  // Only the entries that can be used are read: a load from header n jumps
  // over at most (n - 1) div 5000 blocks.
  const std::int64_t usable = (fFirst - 1) / headerfile::kSeekInterval;
  const std::int64_t entries = std::min<std::int64_t>(file.size() / 8, usable);
  QByteArray data;
  try {
    data.resize(entries * 8);
  } catch (const std::bad_alloc&) {
    return RC_FAILED_ALLOC;
  }
  if (file.read(data.data(), data.size()) != data.size()) return RC_READ_FAILED;

  std::uint64_t records = 0;
  std::uint64_t offset = 0;
  std::int64_t current = 0;
  std::int64_t skipped = 0;
  for (std::int64_t k = 0; k < entries; ++k) {
    if (current >= fFirst - 1 || skipped + headerfile::kSeekInterval >= fFirst || Terminating()) break;
    records += headerfile::kSeekInterval;
    offset = le::Get64(data.constData() + k * 8);
    current += headerfile::kSeekInterval;
    skipped += headerfile::kSeekInterval;
  }
  if (Terminating() || records == 0) return RC_SUCCESS;
  const RETURN_CODES rc = fReader.SeekTo(records, offset);
  if (rc != RC_SUCCESS) {
    if (rc == RC_DATA_MISMATCH) LogWarning(fReader.Problem());
    return rc;
  }
  LogMessage(u"Jumped over %1 headers through the seek file"_s.arg(records));
  fCurrent.store(current);
  fSkipped.store(skipped);
  return RC_SUCCESS;
}

void TLoadHeadersThread::UpdateSpeed(bool force) {
  const std::int64_t now = NowMs();
  const std::int64_t elapsed = now - fSpeedMs;
  if (elapsed < 1000 && !force) return;
  if (elapsed <= 0) return;
  const std::int64_t current = fCurrent.load(std::memory_order_relaxed);
  fHeadersPerSecond.store(double(current - fSpeedCurrent) / double(elapsed) * 1000.0, std::memory_order_relaxed);
  fSpeedMs = now;
  fSpeedCurrent = current;
}

RETURN_CODES TLoadHeadersThread::LoadHeaders() {
  LOG_METHOD("LoadHeaders");
  if (fReader.Start() != RC_SUCCESS) return RC_OPERATION_FAILED;
  const std::int64_t wanted = fWanted.load();
  LogMessage(QString::asprintf("Loading %lld header", qlonglong(wanted)));

  std::int64_t current = fCurrent.load();
  std::int64_t skipped = fSkipped.load();
  std::int64_t loaded = 0;
  // The set learns how many headers come, so its arrays never regrow.
  const std::int64_t toSkip = std::max<std::int64_t>(0, fFirst - 1 - current);
  const std::int64_t available = std::max<std::int64_t>(0, std::int64_t(fReader.RecordsLeft()) - toSkip);
  fHeaders->Reserve(static_cast<std::size_t>(std::min(wanted, available)));

  const auto publish = [&] {
    fCurrent.store(current, std::memory_order_relaxed);
    fSkipped.store(skipped, std::memory_order_relaxed);
    fLoaded.store(loaded, std::memory_order_relaxed);
  };
  TNewsHeader header;
  while (loaded < wanted && current < fLast) {
    if (Terminating()) return RC_TERMINATED;
    if (IsAborted()) return RC_ABORTED;
    const THeaderFileReader::TStatus status = fReader.Next(header);
    if (status == THeaderFileReader::READ_END) {
      if (fReader.Truncated()) {
        fFilesTruncated = true;
        LogWarning(u"The header files end early, the headers before are kept: "_s + fReader.Problem());
      }
      break;
    }
    if (status == THeaderFileReader::READ_BAD_RECORD) {
      LogError(fReader.Problem());
      publish();
      return RC_BAD_INPUT_DATA;
    }
    if (status == THeaderFileReader::READ_FAILED) {
      LogError(u"Error reading the header files: "_s + fReader.Problem());
      publish();
      return RC_READ_FAILED;
    }
    ++current;
    if (current < fFirst) {
      ++skipped;
    } else {
      if (!fHeaders->Add(header.ToLoaded())) {
        publish();
        return RC_FAILED_ADD;
      }
      ++loaded;
    }
    if ((current & 1023) == 0) {
      publish();
      UpdateSpeed(false);
    }
  }
  publish();
  fHeaders->Finalize();
  return RC_SUCCESS;
}

void TLoadHeadersThread::ReportLoadFailure(RETURN_CODES result) {
  LogError(QString::asprintf("Error %s returned from load headers thread", ReturnCodeName(result)));
  TUserPrompt::Error(QString::fromLatin1(loadheaders::kLoadFailed));
}

bool TLoadHeadersThread::ConfirmStopLoading() {
  return TUserPrompt::Confirm(QString::fromLatin1(loadheaders::kStopQuestion));
}
