#include "binaries/NewsDecoder.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/FileBytes.h"
#include "binaries/FileNameRules.h"
#include "binaries/HeaderWords.h"
#include "binaries/LineScan.h"
#include "binaries/Mime.h"
#include "binaries/MimeCodecs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <exception>
#include <string_view>

using namespace Qt::StringLiterals;
using linescan::FindLineEnd;
using linescan::SkipLineEnd;
using linescan::StartsWithNoCase;

namespace {

enum : int { KIND_PLAIN = 0, KIND_PARTIAL = 1, KIND_IMAGE = 2, KIND_MULTIPART = 4, KIND_OTHER_ENCODING = 999 };

// Codes of one input file.
enum : int { CODE_DONE = 0, CODE_STOP = 1, CODE_UNREADABLE = 2, CODE_NO_BODY = -1 };

// The end of the header block: the first blank line, written CR LF CR LF or
// LF LF; the whole text when there is none.
std::size_t HeaderBlockEnd(const char* data, std::size_t size) {
  const std::string_view text(data, size);
  const std::size_t crlf = std::min(text.find("\r\n\r\n"), size);
  // Only a blank line before that one matters: never scan a whole body.
  const std::size_t lf = text.substr(0, std::min(crlf + 2, size)).find("\n\n");
  return std::min(crlf, lf);
}

QByteArray TrimmedLine(const char* p, std::size_t size) {
  return QByteArray(p, static_cast<qsizetype>(size)).trimmed();
}

}  // namespace

const char* DecodeEndName(TDecodeEnd end) {
  switch (end) {
    case DECODE_END_OK:
      return "completed";
    case DECODE_END_NO_DESTINATION:
      return "no destination";
    case DECODE_END_ABORTED:
      return "aborted";
    case DECODE_END_MISSING_FILE:
      return "missing article file";
    case DECODE_END_UNREADABLE:
      return "unreadable article file";
    case DECODE_END_NO_BODY:
      return "article without body";
    case DECODE_END_BAD_MIME:
      return "unusable MIME structure";
    case DECODE_END_NOTHING_PRODUCED:
      return "no file completed";
    case DECODE_END_WRITE_FAILED:
      return "write failed";
    case DECODE_END_EXCEPTION:
      break;
  }
  return "exception";
}

TNewsDecoder::TNewsDecoder() : TNewsDecoder(Paths().systemDataDir + u"_BadStrings/"_s) {}

TNewsDecoder::TNewsDecoder(const QString& badStringsDirectory) {
  LoadBadStrings(badStringsDirectory);
  fLines.SetEventHandler([this](const QString& text) {
    if (OnEvent) OnEvent(this, text);
  });
}

TNewsDecoder::~TNewsDecoder() = default;

void TNewsDecoder::LoadBadStrings(const QString& directory) {
  LOG_METHOD("LoadBadStrings");
  fBadStrings.clear();
  fBadSet.clear();
  fStops = yenc::TYencStops();
  fLongestBad = 0;
  if (directory.isEmpty()) return;
  const QDir dir(directory);
  const QStringList files = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& name : files) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) continue;
    const QByteArray content = file.readAll();
    const char* p = content.constData();
    const char* end = p + content.size();
    while (p < end) {
      const char* e = FindLineEnd(p, end);
      if (e > p) {
        const QString entry = BytesToText(QByteArrayView(p, e - p)).toLower();
        if (!fBadSet.contains(entry)) {
          fBadStrings.append(entry);
          fBadSet.insert(entry);
          const QByteArray bytes = entry.toUtf8();
          fStops.Add(bytes.constData(), static_cast<std::size_t>(bytes.size()));
          fLongestBad = std::max(fLongestBad, static_cast<std::size_t>(bytes.size()));
        }
      }
      p = SkipLineEnd(e, end);
    }
  }
}

bool TNewsDecoder::IsBadString(const char* line, std::size_t size) const {
  if (fBadSet.isEmpty() || size > fLongestBad) return false;
  // Only a line with an entry's length and first byte (either case) can be
  // one; the rest are passed without a copy.
  if (!fStops.Flagged(size, static_cast<unsigned char>(line[0]))) return false;
  return fBadSet.contains(BytesToText(QByteArrayView(line, static_cast<qsizetype>(size))).toLower());
}

void TNewsDecoder::SetDestination(const QString& directory) {
  fDestination = directory.isEmpty() ? QString() : WithTrailingSlash(directory);
}

QString TNewsDecoder::MimeWorkingDirectory() {
  if (!fWorkDir || !fWorkDir->isValid()) {
    const QString base =
        !Paths().tempDir.isEmpty() && QDir(Paths().tempDir).exists() ? Paths().tempDir : QDir::tempPath() + u"/"_s;
    fWorkDir = std::make_unique<QTemporaryDir>(base + u"Decoder-XXXXXX"_s);
  }
  return fWorkDir->isValid() ? fWorkDir->path() + u"/"_s : QString();
}

void TNewsDecoder::Reset() {
  fLines.ResetRun();
  fProduced.clear();
  fUnfinished.clear();
  fMime = TMimeState();
  fLineIndex = 0;
}

QStringList TNewsDecoder::Produced() const {
  QStringList paths;
  for (const TDecodedFile& file : fProduced) paths.append(file.path);
  return paths;
}

void TNewsDecoder::Pace(std::size_t lines) {
  if (!fYield) {
    fLineIndex += lines;
    return;
  }
  const std::size_t before = fLineIndex;
  fLineIndex += lines;
  const std::size_t sleeps = fLineIndex / 500 - before / 500;
  if (sleeps > 0) QThread::msleep(static_cast<unsigned long>(sleeps));
}

bool TNewsDecoder::Execute() {
  LOG_METHOD("Execute");
  Reset();
  fLastEnd = DECODE_END_OK;
  fLastEndIndex = -1;
  if (fDestination.isEmpty()) {
    fLastEnd = DECODE_END_NO_DESTINATION;
    return false;
  }
  fLines.SetDestination(fDestination);
  fLines.SetOverwrite(OverwriteFiles);
  fLines.SetAbortFlag(fAbortFlag);

  qint64 outputSize = 0;
  const int last = static_cast<int>(fInputs.size()) - 1;
  for (int i = 0; i <= last; ++i) {
    if (OnProgress) {
      try {
        OnProgress(this, outputSize, i, last);
      } catch (...) {
      }
    }
    int code = CODE_DONE;
    try {
      code = DecodeFile(fInputs[i].path);
    } catch (const std::exception& e) {
      LogError(u"Exception raised decoding "_s + fInputs[i].path + u": "_s + QString::fromLocal8Bit(e.what()));
      fLastEnd = DECODE_END_EXCEPTION;
      fLastEndIndex = i;
      break;
    } catch (...) {
      LogError(u"Exception raised decoding "_s + fInputs[i].path);
      fLastEnd = DECODE_END_EXCEPTION;
      fLastEndIndex = i;
      break;
    }
    if (code != CODE_DONE) {
      if (code == CODE_NO_BODY)
        fLastEnd = DECODE_END_NO_BODY;
      else if (code == CODE_UNREADABLE)
        fLastEnd = DECODE_END_UNREADABLE;
      else if (!PathEntryExists(fInputs[i].path))
        fLastEnd = DECODE_END_MISSING_FILE;
      else
        fLastEnd = DECODE_END_BAD_MIME;
      fLastEndIndex = i;
      break;
    }
    if (Aborted()) break;
    outputSize = fLines.OutputSize();
  }
  fLines.FinishRun();
  if (Aborted()) {
    fLines.DiscardRun();
    fLastEnd = DECODE_END_ABORTED;
    return false;
  }
  fProduced = fLines.Produced();
  fUnfinished = fLines.Unfinished();
  // A run that ended early, lost data or begun files without finishing any
  // is a failure: the owner keeps the articles to try again.
  if (fLastEnd == DECODE_END_OK && fLines.WriteFailed()) fLastEnd = DECODE_END_WRITE_FAILED;
  if (fLastEnd == DECODE_END_OK && fProduced.isEmpty() && fLines.BeganOutput()) fLastEnd = DECODE_END_NOTHING_PRODUCED;
  if (fLastEnd != DECODE_END_OK)
    LogWarning(u"Decoding ended: "_s + QLatin1String(DecodeEndName(fLastEnd)) +
               (fLastEndIndex >= 0 ? u" ("_s + fInputs[fLastEndIndex].path + u")"_s : QString()));
  return fLastEnd == DECODE_END_OK;
}

int TNewsDecoder::DecodeFile(const QString& path) {
  LOG_METHOD("DecodeFile");
  if (!fFile) fFile = std::make_unique<TFileBytes>();
  TFileBytes& file = *fFile;
  struct TRelease {
    TFileBytes& file;
    ~TRelease() { file.Release(); }
  } release{file};
  switch (file.Load(path)) {
    case TFileBytes::FILE_MISSING:
      return CODE_STOP;
    case TFileBytes::FILE_UNREADABLE:
      return CODE_UNREADABLE;
    case TFileBytes::FILE_OK:
      break;
  }
  char* data = file.Data();
  const std::size_t size = file.Size();
  const char* end = data + size;

  // Header lines ending in CR CR would otherwise end the header early.
  const std::size_t headerEnd = HeaderBlockEnd(data, size);
  for (std::size_t i = 0; i + 1 < headerEnd; ++i)
    if (data[i] == '\r' && data[i + 1] == '\r') data[i] = ' ';

  // Walk the header: logical lines (continuations joined) up to the first
  // empty line. Only the lines the decoder looks at are copied.
  int kind = KIND_PLAIN;
  QByteArray logical;
  bool keep = false;
  auto examine = [&](const QByteArray& line) -> bool {
    if (kind == KIND_PLAIN &&
        StartsWithNoCase(line.constData(), static_cast<std::size_t>(line.size()), "content-type:")) {
      const THeaderValue value = ParseHeaderValue(QByteArrayView(line).sliced(13));
      if (value.value == "message/partial") {
        bool okNumber = false, okTotal = false;
        const qint64 number = value.Param("number").trimmed().toLongLong(&okNumber);
        const qint64 total = value.Param("total").trimmed().toLongLong(&okTotal);
        if (okNumber && okTotal && number >= 1 && total >= 1) {
          kind = KIND_PARTIAL;
          fMime.part = number;
          fMime.total = total;
        }
      } else if (value.value.startsWith("image/")) {
        const QString name = value.Param("name");
        if (!name.isEmpty()) {
          kind = KIND_IMAGE;
          fMime.part = 1;
          fMime.total = 1;
          fMime.name = name;
        }
      } else if (value.value == "multipart/mixed" && value.Has("boundary")) {
        kind = KIND_MULTIPART;
        return true;
      }
    } else if (kind == KIND_IMAGE && StartsWithNoCase(line.constData(), static_cast<std::size_t>(line.size()),
                                                      "content-transfer-encoding:")) {
      if (ParseHeaderValue(QByteArrayView(line).sliced(26)).value != "base64") kind = KIND_OTHER_ENCODING;
    }
    return false;
  };

  const char* p = data;
  bool foundEmpty = false;
  while (p < end) {
    const char* e = FindLineEnd(p, end);
    const std::size_t length = static_cast<std::size_t>(e - p);
    const char* next = SkipLineEnd(e, end);
    if (length == 0) {
      foundEmpty = true;
      p = next;
      break;
    }
    if (p[0] == ' ' || p[0] == '\t') {
      // RFC 5322 folds with any white space; continuation lines join
      // their line unchanged.
      if (keep) logical.append(p, static_cast<qsizetype>(length));
    } else {
      if (keep && examine(logical)) return DecodeMultipart(path);
      keep = StartsWithNoCase(p, length, "content-");
      logical = keep ? QByteArray(p, static_cast<qsizetype>(length)) : QByteArray();
    }
    p = next;
  }
  if (!foundEmpty) return CODE_NO_BODY;
  if (keep && examine(logical)) return DecodeMultipart(path);

  // The body starts at the first non-empty line after the empty line.
  while (p < end && (*p == '\r' || *p == '\n')) ++p;

  fMime.kind = kind;
  if (kind == KIND_PARTIAL || kind == KIND_IMAGE) return DecodeMimeBase64(p, end);
  return DecodeBody(p, end);
}

int TNewsDecoder::DecodeBody(const char* p, const char* end) {
  while (p < end) {
    if (Aborted()) break;
    if (fLines.InYencData()) {
      const yenc::TYencRun run =
          fLines.DecodeYencRun(p, static_cast<std::size_t>(end - p), fStops.any ? &fStops : nullptr);
      p += run.consumed;
      Pace(run.lines);
      if (p >= end) break;
      if (!run.forCaller && run.consumed > 0) continue;
    }
    const char* e = FindLineEnd(p, end);
    const std::size_t length = static_cast<std::size_t>(e - p);
    if (length > 0 && !IsBadString(p, length)) fLines.ProcessLine(p, length);
    Pace(1);
    p = SkipLineEnd(e, end);
  }
  return CODE_DONE;
}

int TNewsDecoder::DecodeMimeBase64(const char* p, const char* end) {
  int stage = fMime.kind == KIND_PARTIAL ? 0 : 1;
  QByteArray decoded;
  while (p < end) {
    const char* e = FindLineEnd(p, end);
    const QByteArray line = TrimmedLine(p, static_cast<std::size_t>(e - p));
    p = SkipLineEnd(e, end);
    if (Aborted()) {
      const QString current = fLines.OutputName();
      fLines.CloseOutput(false);
      if (!current.isEmpty()) QFile::remove(fDestination + current);
      return CODE_DONE;
    }
    const auto length = static_cast<std::size_t>(line.size());
    bool again = true;
    while (again) {
      again = false;
      switch (stage) {
        case 0:  // inner header of a message/partial piece
          if (fMime.part != 1) {
            if (!line.isEmpty()) {
              stage = 3;
              again = true;
            }
          } else if (line.isEmpty()) {
          } else if (StartsWithNoCase(line.constData(), length, "content-transfer-encoding:")) {
            if (ParseHeaderValue(QByteArrayView(line).sliced(26)).value != "base64") return CODE_STOP;
          } else if (StartsWithNoCase(line.constData(), length, "content-disposition:")) {
            const QByteArray lower = line.toLower();
            const qsizetype attachment = lower.indexOf("attachment");
            const qsizetype filename = attachment >= 0 ? lower.indexOf("filename=", attachment) : -1;
            if (filename < 0) return CODE_STOP;
            const QString name = ParseHeaderValue(QByteArrayView("x;" + line.mid(filename))).Param("filename");
            if (name.isEmpty()) return CODE_STOP;
            fMime.name = name;
            stage = 1;
          }
          break;
        case 1:  // the name is known: choose the file at the first data line
          if (!line.isEmpty()) {
            fMime.name = UniqueFileName(fDestination, CleanFileName(fMime.name), OverwriteFiles);
            if (PathEntryExists(fDestination + fMime.name)) QFile::remove(fDestination + fMime.name);
            stage = 3;
            again = true;
          }
          break;
        case 3: {  // open: part 1 creates the file, later parts append to it
          const bool append = fMime.part != 1;
          if (fMime.name.isEmpty() || (append && !PathEntryExists(fDestination + fMime.name))) return CODE_STOP;
          if (!fLines.OpenOutput(fMime.name, append)) return CODE_STOP;
          stage = 2;
          again = true;
          break;
        }
        case 2:  // base64 data
          if (line.isEmpty()) {
            // The data ends at an empty line (a signature may follow): the
            // file ends here as it would at the end of the article.
            fLines.CloseOutput(fMime.part == fMime.total);
            return CODE_DONE;
          }
          decoded.clear();
          mime::AppendBase64(line, decoded);
          fLines.WriteData(decoded.constData(), static_cast<std::size_t>(decoded.size()));
          break;
      }
    }
  }
  fLines.CloseOutput(fMime.part == fMime.total);
  return CODE_DONE;
}

int TNewsDecoder::DecodeMultipart(const QString& path) {
  const QString work = MimeWorkingDirectory();
  if (work.isEmpty()) {
    LogError("Cannot create the working directory of the MIME decoder");
    return CODE_STOP;
  }
  TMime mime;
  mime.SetWorkingDirectory(work);
  mime.SetAttachmentDirectory(fDestination);
  mime.SetNamedPartsOnly(true);
  mime.SetOverwriteFiles(OverwriteFiles);
  mime.SetAbortFlag(fAbortFlag);
  if (!mime.Decode(path)) return CODE_STOP;
  for (const TDecodedFile& file : mime.AttachmentFiles()) fLines.AddExternal(file);
  return CODE_DONE;
}
