#include "binaries/LineDecoder.h"

#include "app/Crc32.h"
#include "app/Logger.h"
#include "binaries/FileNameRules.h"
#include "binaries/HeaderWords.h"
#include "binaries/UuDecode.h"

#include <QFile>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 20;
constexpr std::size_t kBufferCapacity = kFlushAt + yenc::kOutputReserve + yenc::kOutputSlack;
constexpr qint64 kLowSpace = 10 * 1024 * 1024;
// Free space is measured again after this much output (and before every
// file is closed), not before every line: a statfs per uuencode line would
// cost more than decoding it.
constexpr qint64 kMeasureEvery = 1 << 20;
// The largest hole one part may open at the end of its file, beyond four
// times what this run already decoded into it: room for hundreds of missing
// articles at the start of a post.
constexpr qint64 kMaxHole = qint64{256} << 20;

bool StartsWithNoCase(const char* line, std::size_t size, const char* keyword) {
  const std::size_t n = std::strlen(keyword);
  if (size < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != keyword[i]) return false;
  }
  return true;
}

bool ContainsNoCase(QByteArrayView text, const char* needle) { return text.toByteArray().toLower().contains(needle); }

// "--" together with "cut here" marks a scissors line, not a uuencode marker.
bool IsCutHereLine(QByteArrayView line) { return line.contains("--") && ContainsNoCase(line, "cut here"); }

bool ParseInt64(QByteArrayView text, qint64& value) {
  if (text.isEmpty()) return false;
  bool ok = false;
  value = text.toLongLong(&ok, 10);
  return ok;
}

// The value of key= among the space-separated tokens of text (keys compared
// without case); nullopt when the key is missing.
std::optional<QByteArrayView> TokenValue(QByteArrayView text, const char* key) {
  const qsizetype keyLength = static_cast<qsizetype>(std::strlen(key));
  qsizetype i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    qsizetype j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
    const QByteArrayView token = text.sliced(i, j - i);
    if (token.size() >= keyLength && StartsWithNoCase(token.data(), static_cast<std::size_t>(keyLength), key))
      return token.sliced(keyLength);
    i = j;
  }
  return std::nullopt;
}

}  // namespace

const char* DecodeCheckName(TDecodeCheck check) {
  switch (check) {
    case DECODE_CHECK_GOOD:
      return "good";
    case DECODE_CHECK_MISMATCH:
      return "mismatch";
    case DECODE_CHECK_NO_CHECKSUM:
      break;
  }
  return "no checksum";
}

// What the parts of one yEnc file told so far.
struct TLineDecoder::TFileCheck {
  qint64 declaredSize = 0;
  std::optional<std::uint32_t> fileCrc;
  QStringList problems;
  bool allPartsHaveCrc = true;
  int parts = 0;
  qint64 bytes = 0;       // decoded bytes over all parts
  qint64 nextOffset = 0;  // end of the gap-free run of parts from offset 0
  std::uint32_t crc = 0;  // CRC-32 of that run
  bool contiguous = true;
};

TLineDecoder::TLineDecoder() : fBuffer(kBufferCapacity) {}

TLineDecoder::~TLineDecoder() { FinishRun(); }

void TLineDecoder::ResetRun() {
  FinishRun();
  fMode = MODE_NONE;
  ClearProduced();
  fPartChecks.clear();
  fBegun.clear();
  fBegunCount = 0;
  fMultipartNames.clear();
  fNextNumber.clear();
  fChecks.clear();
  fBeganOutput = false;
  fWriteFailed = false;
  fToggle = 1;
  fBytesSinceMeasure = 0;
}

// ---- Output file ----

bool TLineDecoder::OpenPath(const QString& name, bool append) {
  fOutputName = name;
  fOutputFailed = false;
  fUsed = 0;
  fWritePos = 0;
  const QByteArray path = QFile::encodeName(fDestination + name);
  // Never through a link, never into a device or pipe: only regular files.
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  if (!append) flags |= O_CREAT | O_TRUNC;
  const int fd = ::open(path.constData(), flags, 0666);
  if (fd < 0) {
    LogWarning(u"Cannot open the output file "_s + fDestination + name + u": "_s +
               QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    LogWarning(u"The output is not a regular file: "_s + fDestination + name);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fFd = fd;
  fWritePos = append ? static_cast<qint64>(st.st_size) : 0;
  return true;
}

bool TLineDecoder::OpenOutput(const QString& name, bool append) {
  CloseFile();
  // The caller sets the mode that goes with the new file.
  fMode = MODE_NONE;
  fBeganOutput = true;
  if (!fBegun.contains(name)) fBegun.insert(name, fBegunCount++);
  return OpenPath(name, append);
}

void TLineDecoder::Append(const char* data, std::size_t size) {
  while (size > 0 && fFd >= 0) {
    const std::size_t n = std::min(size, kFlushAt - std::min(fUsed, kFlushAt));
    std::memcpy(fBuffer.data() + fUsed, data, n);
    fUsed += n;
    data += n;
    size -= n;
    if (fUsed >= kFlushAt) Flush();
  }
}

void TLineDecoder::WriteData(const char* data, std::size_t size) { Append(data, size); }

bool TLineDecoder::Flush() {
  if (fFd < 0) return false;
  if (fUsed == 0) return true;
  fBytesSinceMeasure += static_cast<qint64>(fUsed);
  if (fBytesSinceMeasure >= kMeasureEvery) {
    fBytesSinceMeasure = 0;
    FreeSpaceGuard();
  }
  std::size_t done = 0;
  while (done < fUsed) {
    const ssize_t written = ::pwrite(fFd, fBuffer.data() + done, fUsed - done, static_cast<off_t>(fWritePos + done));
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    const int error = written < 0 ? errno : ENOSPC;
    if (error == EINTR) continue;
    if ((error == ENOSPC || error == EDQUOT) && !Aborted()) {
      // The same block is written again at the same place once there is room.
      WaitAlternating(u"ERROR SAVING DECODED DATA. CHECK DISK SPACE ON DRIVE "_s + DriveText() + u":"_s);
      continue;
    }
    if (!Aborted())
      LogError(u"Writing "_s + fDestination + fOutputName + u" failed: "_s +
               QString::fromLocal8Bit(std::strerror(error)));
    // The file lost data for good: it is closed and never listed.
    fWriteFailed = fWriteFailed || !Aborted();
    fOutputFailed = true;
    ::close(fFd);
    fFd = -1;
    fUsed = 0;
    return false;
  }
  // Start writing what is written back to disk now, without waiting for it:
  // the finished file is synced before it counts as done, and that then has
  // little left to wait for.
  ::sync_file_range(fFd, static_cast<off_t>(fWritePos), static_cast<off_t>(fUsed), SYNC_FILE_RANGE_WRITE);
  fWritePos += static_cast<qint64>(fUsed);
  fUsed = 0;
  return true;
}

void TLineDecoder::CloseFile() {
  if (fFd < 0) return;
  Flush();
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

qint64 TLineDecoder::OutputSize() const { return fFd >= 0 ? fWritePos + static_cast<qint64>(fUsed) : 0; }

void TLineDecoder::AddProduced(TDecodeCheck check, const QString& detail) {
  const QString path = fDestination + fOutputName;
  struct stat st;
  const qint64 size = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<qint64>(st.st_size) : 0;
  fBegun.remove(fOutputName);
  const auto known = fProducedIndex.constFind(path);
  if (known != fProducedIndex.constEnd()) {
    fProduced[*known] = {path, size, check, detail};
    return;
  }
  fProducedIndex.insert(path, fProduced.size());
  fProduced.append({path, size, check, detail});
  if (check == DECODE_CHECK_MISMATCH)
    LogWarning(u"Decoded "_s + path + u" failed its check: "_s + detail);
  else
    LogMessage(u"Decoded "_s + path + u" ("_s + QString::number(size) + u" bytes, "_s +
               QLatin1String(DecodeCheckName(check)) + u")"_s);
}

void TLineDecoder::CloseOutput(bool produced) {
  if (fOutputName.isEmpty()) return;
  const bool wasOpen = fFd >= 0;
  CloseFile();
  // A yEnc file closed by anything but its "=yend" lacks its end.
  const bool yenc = fMode == MODE_YENC_DATA || fMode == MODE_YENC_WAIT_PART;
  if (produced && wasOpen && !fOutputFailed)
    AddProduced(yenc ? DECODE_CHECK_MISMATCH : DECODE_CHECK_NO_CHECKSUM, yenc ? u"no =yend"_s : QString());
  fOutputName.clear();
  fHavePart = false;
}

void TLineDecoder::FinishRun() {
  CloseFile();
  fOutputName.clear();
  fHavePart = false;
  fMode = MODE_NONE;
}

void TLineDecoder::DiscardRun() {
  const QString current = fOutputName.isEmpty() ? QString() : fDestination + fOutputName;
  FinishRun();
  if (!current.isEmpty()) QFile::remove(current);
  for (const TDecodedFile& file : std::as_const(fProduced)) QFile::remove(file.path);
  ClearProduced();
}

QStringList TLineDecoder::ProducedPaths() const {
  QStringList paths;
  for (const TDecodedFile& file : fProduced) paths.append(file.path);
  return paths;
}

QStringList TLineDecoder::Unfinished() const {
  QList<std::pair<qint64, QString>> ordered;
  for (auto it = fBegun.constBegin(); it != fBegun.constEnd(); ++it) ordered.append({it.value(), it.key()});
  std::sort(ordered.begin(), ordered.end());
  QStringList names;
  for (const auto& entry : ordered) names.append(entry.second);
  return names;
}

// ---- Free space and waiting ----

void TLineDecoder::Sleep(int milliseconds) {
  while (milliseconds > 0 && !Aborted()) {
    const int slice = std::min(milliseconds, 50);
    QThread::msleep(static_cast<unsigned long>(slice));
    milliseconds -= slice;
  }
}

QString TLineDecoder::DriveText() const {
  // Linux has no drive letters: the volume is named by its mount point.
  const QString root = QStorageInfo(fDestination).rootPath();
  return root.isEmpty() ? fDestination.left(1).toUpper() : root;
}

void TLineDecoder::WaitAlternating(const QString& text) {
  if (fToggle == 1) {
    fToggle = 0;
    if (fEvent) fEvent(text);
    Sleep(1500);
    if (fEvent) fEvent(u"Decoding messages"_s);
  } else {
    fToggle = 1;
    Sleep(250);
  }
}

void TLineDecoder::FreeSpaceGuard() {
  const QByteArray path = QFile::encodeName(fDestination);
  while (!Aborted()) {
    qint64 available = -1;
    if (fFreeSpaceProbe) {
      available = fFreeSpaceProbe(fDestination);
    } else {
      struct statvfs fs;
      if (::statvfs(path.constData(), &fs) == 0)
        available = static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
    }
    if (available < 0 || available >= kLowSpace) break;  // unknown or enough: carry on
    WaitAlternating(u"LESS THAN 10 MB OF FREE SPACE ON DRIVE "_s + DriveText() + u":"_s);
  }
  fToggle = 1;
}

// ---- The classifier ----

void TLineDecoder::ProcessLine(const char* line, std::size_t size) {
  // Marker lines start with "b", "e" or "="; every other line is data, and
  // on the uuencode path there are millions of them.
  const char first = size > 0 ? static_cast<char>(line[0] | 0x20) : 0;
  if (first == 'b' && StartsWithNoCase(line, size, "begin ")) {
    OnBegin(line, size);
    return;
  }
  if (first == 'e' && fMode == MODE_UUENCODE && StartsWithNoCase(line, size, "end")) {
    if (IsCutHereLine(QByteArrayView(line, static_cast<qsizetype>(size)))) return;
    CloseOutput(true);
    fMode = MODE_NONE;
    return;
  }
  if (line[0] == '=' && size > 1 && (line[1] | 0x20) == 'y') {
    if (StartsWithNoCase(line, size, "=ybegin ")) {
      OnYbegin(line, size);
      return;
    }
    if (StartsWithNoCase(line, size, "=yend ")) {
      OnYend(line, size);
      return;
    }
  }
  if (fFd < 0) return;
  switch (fMode) {
    case MODE_UUENCODE:
      if (uu::IsDataLine(line, size)) DecodeUuLine(line, size);
      break;
    case MODE_YENC_WAIT_PART:
      if (StartsWithNoCase(line, size, "=ypart ")) OnYpart(line, size);
      break;
    case MODE_YENC_DATA:
      if (size >= 1 && size <= yenc::kMaxYencLine) DecodeYencLine(line, size);
      break;
    case MODE_NONE:
      break;
  }
}

void TLineDecoder::OnBegin(const char* line, std::size_t size) {
  const QByteArrayView text(line, static_cast<qsizetype>(size));
  if (IsCutHereLine(text)) return;
  const QByteArrayView rest = text.sliced(6);
  const qsizetype space = rest.indexOf(' ');
  const QByteArrayView modeToken = space < 0 ? rest : rest.first(space);
  if (modeToken.isEmpty()) return;
  for (char c : modeToken)
    if (c < '0' || c > '9') return;
  if (Aborted()) return;
  QByteArray name = space < 0 ? QByteArray() : rest.sliced(space + 1).toByteArray().trimmed();
  const qsizetype slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
  if (slash >= 0) name = name.mid(slash + 1);
  // A begin line without a name is ordinary text, not a file.
  if (name.isEmpty()) return;
  const QString cleaned = CleanFileName(BytesToText(name));
  if (!IsValidFileName(cleaned)) return;
  if (fFd >= 0) CloseOutput(true);
  OpenOutput(ChooseName(cleaned), false);
  fMode = MODE_UUENCODE;
}

void TLineDecoder::DecodeUuLine(const char* line, std::size_t size) {
  // Straight into the output buffer: a line gives at most 63 bytes.
  if (fUsed + 64 > kBufferCapacity && !Flush()) return;
  fUsed += uu::DecodeLine(line, size, fBuffer.data() + fUsed);
  if (fUsed >= kFlushAt) Flush();
}

bool TLineDecoder::ParseYbegin(QByteArrayView text, TYbegin& result) {
  result = TYbegin();
  bool haveSize = false;
  qsizetype i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    qsizetype j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    const QByteArrayView token = text.sliced(i, j - i);
    const std::size_t length = static_cast<std::size_t>(token.size());
    if (StartsWithNoCase(token.data(), length, "name=")) {
      result.name = text.sliced(i + 5).toByteArray().trimmed();
      break;
    }
    qint64 value = 0;
    if (StartsWithNoCase(token.data(), length, "line=")) {
      if (!ParseInt64(token.sliced(5), value)) return false;
      result.line = value;
    } else if (StartsWithNoCase(token.data(), length, "part=")) {
      if (!ParseInt64(token.sliced(5), value) || value < 0) return false;
      result.part = value;
    } else if (StartsWithNoCase(token.data(), length, "size=")) {
      if (!ParseInt64(token.sliced(5), value)) return false;
      result.size = value;
      haveSize = true;
    } else if (StartsWithNoCase(token.data(), length, "crc32=")) {
      result.crc = ParseCrc(token.sliced(6));
    }
    i = j;
  }
  // Sizes are checked here so no later seek or size test sees a hostile one.
  if (!haveSize || result.size <= 0 || result.size >= kMaxYencSize) return false;
  return result.line != 0 && !result.name.isEmpty();
}

std::optional<std::uint32_t> TLineDecoder::ParseCrc(QByteArrayView value) {
  std::uint32_t crc = 0;
  for (char c : value) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    crc = (crc << 4) | static_cast<std::uint32_t>(digit);  // only the low 32 bits stay
  }
  return crc;
}

QString TLineDecoder::ChooseName(const QString& cleaned) {
  qint64& next = fNextNumber[cleaned];
  return UniqueFileName(fDestination, cleaned, fOverwrite, &next);
}

TLineDecoder::TFileCheck& TLineDecoder::CheckFor(const QString& name) {
  auto& slot = fChecks[name];
  if (!slot) slot = std::make_shared<TFileCheck>();
  return *slot;
}

void TLineDecoder::OnYbegin(const char* line, std::size_t size) {
  QByteArrayView text = QByteArrayView(line, static_cast<qsizetype>(size)).trimmed();
  const qsizetype space = text.indexOf(' ');
  text = space < 0 ? QByteArrayView() : text.sliced(space + 1);
  if (Aborted()) return;
  // Even a header that is refused below announced a file.
  fBeganOutput = true;
  // A second "=ybegin" before "=yend" starts over: the unfinished file stays
  // unlisted instead of being written on by the new header.
  if (!fOutputName.isEmpty()) CloseOutput(false);
  TYbegin header;
  if (!ParseYbegin(text, header)) {
    fMode = MODE_NONE;
    return;
  }
  QString name;
  if (header.part > 1 && fMultipartNames.contains(header.name)) {
    // A later part of a file begun in this run. Keyed by the file's own name
    // so a post of several files never writes one file's parts into another.
    name = fMultipartNames.value(header.name);
  } else {
    name = ChooseName(CleanFileName(BytesToText(header.name)));
    fMultipartNames.insert(header.name, name);
    fChecks.remove(name);
    if (header.part <= 1 && PathEntryExists(fDestination + name)) QFile::remove(fDestination + name);
  }
  const bool exists = PathEntryExists(fDestination + name);
  OpenOutput(name, exists);
  fYbegin = header;
  fHavePart = false;
  fPartBegin = fPartEnd = 0;
  fPartCrc = 0;
  fPartBytes = 0;
  fMode = header.part != 0 ? MODE_YENC_WAIT_PART : MODE_YENC_DATA;
}

void TLineDecoder::OnYpart(const char* line, std::size_t size) {
  const QByteArrayView text(line, static_cast<qsizetype>(size));
  const auto beginText = TokenValue(text, "begin=");
  const auto endText = TokenValue(text, "end=");
  qint64 begin = 0, end = 0;
  if (!beginText || !endText || !ParseInt64(*beginText, begin) || !ParseInt64(*endText, end)) return;
  // A part outside its file would seek before the start or grow the file to
  // whatever a hostile header says: it is ignored like a bad begin=.
  if (begin < 1 || begin > end || end > fYbegin.size) {
    LogWarning(u"Ignored a yEnc part with the range "_s + QString::number(begin) + u"-"_s + QString::number(end) +
               u" in a file of "_s + QString::number(fYbegin.size) + u" bytes"_s);
    return;
  }
  if (!Flush()) return;
  // Missing earlier parts leave a hole; a part may open one only as large as
  // real missing parts could be, so no header alone makes a file of a
  // hostile size (sparse here, but filled with zeros on file systems
  // without holes, and huge wherever the file is copied).
  struct stat st;
  const qint64 fileEnd = ::fstat(fFd, &st) == 0 ? static_cast<qint64>(st.st_size) : 0;
  const qint64 hole = begin - 1 - fileEnd;
  const auto known = fChecks.constFind(fOutputName);
  const qint64 decoded = known != fChecks.constEnd() ? (*known)->bytes : 0;
  if (hole > std::max(kMaxHole, 4 * decoded)) {
    LogWarning(u"Ignored a yEnc part at offset "_s + QString::number(begin - 1) + u" of "_s + fDestination +
               fOutputName + u": it would leave a hole of "_s + QString::number(hole) + u" bytes"_s);
    return;
  }
  fWritePos = begin - 1;
  fPartBegin = begin;
  fPartEnd = end;
  fHavePart = true;
  fPartCrc = 0;
  fPartBytes = 0;
  fMode = MODE_YENC_DATA;
}

void TLineDecoder::DecodeYencLine(const char* line, std::size_t size) {
  if (fUsed + size + yenc::kOutputSlack > kBufferCapacity) Flush();
  if (fFd < 0) return;
  char* out = fBuffer.data() + fUsed;
  const std::size_t n = yenc::DecodeLine(line, size, out);
  fPartCrc = Crc32(out, n, fPartCrc);
  fPartBytes += static_cast<qint64>(n);
  fUsed += n;
  if (fUsed >= kFlushAt) Flush();
}

yenc::TYencRun TLineDecoder::DecodeYencRun(const char* p, std::size_t size, const yenc::TYencStops* stops) {
  if (kBufferCapacity - fUsed < yenc::kOutputReserve + yenc::kOutputSlack) Flush();
  if (fFd < 0) return {};
  char* out = fBuffer.data() + fUsed;
  const yenc::TYencRun run = yenc::DecodeLines(p, size, out, kBufferCapacity - fUsed, stops);
  if (run.produced > 0) {
    // The CRC runs while the block is still in the cache.
    fPartCrc = Crc32(out, run.produced, fPartCrc);
    fPartBytes += static_cast<qint64>(run.produced);
    fUsed += run.produced;
  }
  if (fUsed >= kFlushAt) Flush();
  return run;
}

void TLineDecoder::OnYend(const char* line, std::size_t size) {
  if (fMode != MODE_YENC_DATA && fMode != MODE_YENC_WAIT_PART) return;
  if (fOutputName.isEmpty()) {
    fMode = MODE_NONE;
    return;
  }
  const QByteArrayView text(line, static_cast<qsizetype>(size));
  const bool multipart = fYbegin.part != 0;
  const bool completesFile = !multipart || (fHavePart && fPartEnd == fYbegin.size);
  const bool wasOpen = fFd >= 0;
  Flush();

  qint64 value = 0;
  const auto sizeText = TokenValue(text, "size=");
  const auto partText = TokenValue(text, "part=");
  const auto partCrcText = TokenValue(text, "pcrc32=");
  const auto crcText = TokenValue(text, "crc32=");
  const std::optional<std::uint32_t> partCrc = partCrcText ? ParseCrc(*partCrcText) : std::nullopt;
  const std::optional<std::uint32_t> fileCrc = crcText ? ParseCrc(*crcText) : std::nullopt;

  TFileCheck& check = CheckFor(fOutputName);
  check.declaredSize = fYbegin.size;
  if (fYbegin.crc) check.fileCrc = fYbegin.crc;
  if (fileCrc) check.fileCrc = fileCrc;
  ++check.parts;
  check.bytes += fPartBytes;
  const QString where = multipart ? u"part "_s + QString::number(fYbegin.part) + u": "_s : QString();
  QStringList partProblems;
  if (sizeText && ParseInt64(*sizeText, value) && value != fPartBytes)
    partProblems.append(where + u"=yend size "_s + QString::number(value) + u", decoded "_s +
                        QString::number(fPartBytes));
  qint64 offset = 0;
  std::optional<std::uint32_t> expectedPartCrc = partCrc;
  if (multipart) {
    if (partText && ParseInt64(*partText, value) && value != fYbegin.part)
      partProblems.append(where + u"=yend names part "_s + QString::number(value));
    if (fHavePart && fPartBytes != fPartEnd - fPartBegin + 1)
      partProblems.append(where + u"=ypart spans "_s + QString::number(fPartEnd - fPartBegin + 1) +
                          u" bytes, decoded "_s + QString::number(fPartBytes));
    if (!partCrc) check.allPartsHaveCrc = false;
    offset = fHavePart ? fPartBegin - 1 : -1;
  } else {
    if (!check.fileCrc && partCrc) check.fileCrc = partCrc;
    expectedPartCrc = check.fileCrc;
    check.allPartsHaveCrc = false;
    if (fPartBytes != fYbegin.size)
      partProblems.append(u"decoded "_s + QString::number(fPartBytes) + u" bytes of "_s +
                          QString::number(fYbegin.size));
  }
  if (expectedPartCrc && *expectedPartCrc != fPartCrc)
    partProblems.append(where + u"CRC-32 "_s + QString::number(fPartCrc, 16) + u", expected "_s +
                        QString::number(*expectedPartCrc, 16));
  check.problems += partProblems;
  fPartChecks.append({fDestination + fOutputName, fYbegin.part, std::max<qint64>(offset, 0), fPartBytes, fPartCrc,
                      !partProblems.isEmpty() ? DECODE_CHECK_MISMATCH
                      : expectedPartCrc       ? DECODE_CHECK_GOOD
                                              : DECODE_CHECK_NO_CHECKSUM,
                      partProblems.join(u"; "_s)});
  if (check.contiguous && offset == check.nextOffset) {
    check.crc = check.nextOffset == 0 ? fPartCrc : Crc32Combine(check.crc, fPartCrc, fPartBytes);
    check.nextOffset += fPartBytes;
  } else {
    check.contiguous = false;
  }

  if (!completesFile || !wasOpen || fOutputFailed) {
    // Only the part that ends the file lists it; a part whose file could not
    // be written lists nothing.
    CloseFile();
    fOutputName.clear();
    fHavePart = false;
    fMode = MODE_NONE;
    return;
  }

  QStringList problems = check.problems;
  struct stat st;
  const qint64 fileSize = fFd >= 0 && ::fstat(fFd, &st) == 0 ? static_cast<qint64>(st.st_size) : -1;
  if (fileSize != check.declaredSize)
    problems.append(u"file size "_s + QString::number(fileSize) + u", expected "_s +
                    QString::number(check.declaredSize));
  else if (check.bytes < check.declaredSize)
    problems.append(u"parts missing: "_s + QString::number(check.bytes) + u" of "_s +
                    QString::number(check.declaredSize) + u" bytes decoded"_s);
  bool crcGood = false;
  if (check.fileCrc && fFd >= 0) {
    std::uint32_t whole = check.crc;
    if (!(check.contiguous && check.nextOffset == fileSize)) {
      // Parts came out of order or with gaps: read the file back.
      whole = 0;
      qint64 at = 0;
      while (at < fileSize) {
        const ssize_t n = ::pread(fFd, fBuffer.data(), kFlushAt, static_cast<off_t>(at));
        if (n <= 0) break;
        whole = Crc32(fBuffer.data(), static_cast<std::size_t>(n), whole);
        at += n;
      }
    }
    crcGood = whole == *check.fileCrc;
    if (!crcGood && multipart)
      problems.append(u"file CRC-32 "_s + QString::number(whole, 16) + u", expected "_s +
                      QString::number(*check.fileCrc, 16));
  }
  TDecodeCheck verdict = DECODE_CHECK_NO_CHECKSUM;
  if (!problems.isEmpty())
    verdict = DECODE_CHECK_MISMATCH;
  else if (crcGood || (multipart && check.allPartsHaveCrc && check.bytes == check.declaredSize))
    verdict = DECODE_CHECK_GOOD;
  CloseFile();
  AddProduced(verdict, problems.join(u"; "_s));
  fOutputName.clear();
  fHavePart = false;
  fMode = MODE_NONE;
}
