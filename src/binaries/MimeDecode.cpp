#include "binaries/MimeDecode.h"

#include "binaries/FileBytes.h"
#include "binaries/HeaderWords.h"
#include "binaries/LineScan.h"
#include "binaries/MimeCodecs.h"
#include "binaries/UuDecode.h"

#include <cstring>

using linescan::StartsWithNoCase;

bool TMimeDecode::Decode(const QString& path) {
  TFileBytes file;
  if (file.Load(path) != TFileBytes::FILE_OK) return false;
  fPhase = PHASE_MESSAGE_HEADER;
  fDelimiters.clear();
  fMessage = TPartHeader();
  fPart = TPartHeader();
  fLogical.clear();
  fInPart = false;
  fPartNumber = 0;
  fPendingLineEnd = false;
  fUuActive = false;

  const char* p = file.Data();
  const char* end = p + file.Size();
  while (p < end) {
    if (fAbortFlag && fAbortFlag->load(std::memory_order_relaxed) != 0) return false;
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* e = lf ? lf : end;
    const char* next = lf ? lf + 1 : end;
    if (e > p && e[-1] == '\r') --e;
    const auto size = static_cast<std::size_t>(e - p);

    if (fPhase == PHASE_MESSAGE_HEADER || fPhase == PHASE_PART_HEADER) {
      TPartHeader& header = fPhase == PHASE_MESSAGE_HEADER ? fMessage : fPart;
      if (size > 0 && (p[0] == ' ' || p[0] == '\t') && !fLogical.isEmpty()) {
        fLogical.append(p, static_cast<qsizetype>(size));
      } else {
        if (!fLogical.isEmpty()) HeaderLine(fLogical, header);
        fLogical = QByteArray(p, static_cast<qsizetype>(size));
        if (size == 0) EndHeader(header);
      }
      p = next;
      continue;
    }
    bool closing = false;
    if (size >= 2 && p[0] == '-' && p[1] == '-' && IsDelimiter(p, size, closing)) {
      if (fPhase == PHASE_BODY) EndPart();
      fPhase = closing ? PHASE_SKIP : PHASE_PART_HEADER;
      fPart = TPartHeader();
      fLogical.clear();
    } else if (fPhase == PHASE_BODY) {
      BodyLine(p, size);
    }
    p = next;
  }
  if (fPhase == PHASE_MESSAGE_HEADER || fPhase == PHASE_PART_HEADER) {
    // A header cut short by the end of the file.
    TPartHeader& header = fPhase == PHASE_MESSAGE_HEADER ? fMessage : fPart;
    if (!fLogical.isEmpty()) HeaderLine(fLogical, header);
  }
  if (fPhase == PHASE_BODY) EndPart();
  return true;
}

void TMimeDecode::HeaderLine(const QByteArray& line, TPartHeader& header) {
  if (fPhase == PHASE_MESSAGE_HEADER && OnMessageHeader) OnMessageHeader(line);
  const auto size = static_cast<std::size_t>(line.size());
  if (StartsWithNoCase(line.constData(), size, "content-type:")) {
    const THeaderValue value = ParseHeaderValue(QByteArrayView(line).sliced(13));
    const qsizetype slash = value.value.indexOf('/');
    header.type = slash >= 0 ? value.value.left(slash).trimmed() : value.value;
    header.subtype = slash >= 0 ? value.value.mid(slash + 1).trimmed() : QByteArray();
    header.name = value.Param("name");
    header.charset = value.Param("charset").toLatin1().toLower();
    const QString boundary = value.Param("boundary");
    if (header.type == "multipart" && !boundary.isEmpty()) {
      const QByteArray delimiter = "--" + boundary.toUtf8().toLower();
      if (!fDelimiters.contains(delimiter)) fDelimiters.append(delimiter);
    }
  } else if (StartsWithNoCase(line.constData(), size, "content-transfer-encoding:")) {
    header.encoding = ParseHeaderValue(QByteArrayView(line).sliced(26)).value;
  } else if (StartsWithNoCase(line.constData(), size, "content-disposition:")) {
    const THeaderValue value = ParseHeaderValue(QByteArrayView(line).sliced(20));
    header.disposition = value.value;
    header.fileName = value.Param("filename");
  }
}

void TMimeDecode::EndHeader(TPartHeader& header) {
  fLogical.clear();
  if (header.type == "multipart") {
    // A container: its own body up to the first delimiter is a preamble.
    fPhase = PHASE_SKIP;
    return;
  }
  if (fPhase == PHASE_MESSAGE_HEADER && !fDelimiters.isEmpty()) {
    fPhase = PHASE_SKIP;
    return;
  }
  // Without a boundary the whole body is one part.
  if (fPhase == PHASE_MESSAGE_HEADER) fPart = header;
  fPhase = PHASE_BODY;
  fInPart = true;
  fPendingLineEnd = false;
  fUuActive = false;
  ++fPartNumber;
  if (OnPartBegin) OnPartBegin(header, fPartNumber);
}

bool TMimeDecode::IsDelimiter(const char* line, std::size_t size, bool& closing) const {
  // Delimiters are compared in lower case; trailing white space is padding.
  while (size > 0 && (line[size - 1] == ' ' || line[size - 1] == '\t')) --size;
  for (const QByteArray& delimiter : fDelimiters) {
    const auto n = static_cast<std::size_t>(delimiter.size());
    if (size != n && size != n + 2) continue;
    if (!StartsWithNoCase(line, size, delimiter.constData())) continue;
    if (size == n) {
      closing = false;
      return true;
    }
    if (line[n] == '-' && line[n + 1] == '-') {
      closing = true;
      return true;
    }
  }
  return false;
}

void TMimeDecode::BodyLine(const char* line, std::size_t size) {
  const QByteArray& encoding = fPart.encoding;
  if (encoding == "base64") {
    fScratch.clear();
    mime::AppendBase64(QByteArrayView(line, static_cast<qsizetype>(size)), fScratch);
    if (!fScratch.isEmpty() && OnPartData) OnPartData(fScratch.constData(), static_cast<std::size_t>(fScratch.size()));
    return;
  }
  if (encoding == "x-uuencode" || encoding == "x-uue") {
    if (!fUuActive) {
      fUuActive = StartsWithNoCase(line, size, "begin ");
      return;
    }
    if (StartsWithNoCase(line, size, "end")) {
      fUuActive = false;
      return;
    }
    char decoded[64];
    if (uu::IsDataLine(line, size)) {
      const std::size_t n = uu::DecodeLine(line, size, decoded);
      if (n > 0 && OnPartData) OnPartData(decoded, n);
    }
    return;
  }
  if (OnTextLine && OnTextLine(line, size)) return;
  if (!OnPartData) return;
  if (fPendingLineEnd) OnPartData("\r\n", 2);
  if (encoding == "quoted-printable") {
    fScratch.clear();
    const bool soft = mime::AppendQuotedPrintable(QByteArrayView(line, static_cast<qsizetype>(size)), fScratch);
    if (!fScratch.isEmpty()) OnPartData(fScratch.constData(), static_cast<std::size_t>(fScratch.size()));
    fPendingLineEnd = !soft;
  } else {
    if (size > 0) OnPartData(line, size);
    fPendingLineEnd = true;
  }
}

void TMimeDecode::EndPart() {
  if (!fInPart) return;
  fInPart = false;
  if (OnPartEnd) OnPartEnd();
}
