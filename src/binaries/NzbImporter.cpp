#include "binaries/NzbImporter.h"

#include "app/Logger.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kMaxMessageIdBytes = 500;

bool Named(QStringView name, QStringView wanted) { return name.compare(wanted, Qt::CaseInsensitive) == 0; }

QStringView Attribute(const QXmlStreamAttributes& attributes, QStringView name) {
  for (const QXmlStreamAttribute& a : attributes)
    if (Named(a.name(), name)) return a.value();
  return {};
}

// A whole number of the text, or nothing for anything else (overflow included).
std::optional<qint64> WholeNumber(QStringView text) {
  bool ok = false;
  const qint64 v = text.trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return v;
}

// The identifier as requested on the wire: without surrounding blanks and
// angle brackets; empty when it could not be sent safely.
QByteArray CleanMessageId(const QString& text) {
  QByteArray id = text.trimmed().toUtf8();
  if (id.startsWith('<') && id.endsWith('>') && id.size() >= 2) id = id.sliced(1, id.size() - 2);
  if (id.isEmpty() || id.size() > kMaxMessageIdBytes) return {};
  for (char c : id) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7f || c == '<' || c == '>') return {};
  }
  return id;
}

struct TFileState {
  QByteArray subject;
  double date = 0;
  QByteArray group;
  bool hasGroup = false;
  int segmentsSeen = 0;
};
}  // namespace

bool GunzipBytes(const QByteArray& packed, qint64 maxSize, QByteArray& out) {
  out.clear();
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  zs.avail_in = static_cast<uInt>(packed.size());
  constexpr qsizetype kChunk = 256 * 1024;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    const qsizetype used = out.size();
    if (used + kChunk > maxSize + kChunk) break;
    out.resize(used + kChunk);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = static_cast<uInt>(kChunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    out.resize(used + kChunk - static_cast<qsizetype>(zs.avail_out));
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) break;  // input ended early
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || out.size() > maxSize) {
    out.clear();
    return false;
  }
  return true;
}

RETURN_CODES TNZBImporter::Execute() {
  LOG_METHOD("TNZBImporter.Execute");
  fError.clear();
  fSegments.clear();
  fFiles = 0;
  fSkipped = 0;
  if (!OnSegment) return RC_NOT_READY;
  QFile file(fFileName);
  if (!QFileInfo::exists(fFileName)) {
    fError = u"The file does not exist"_s;
    return RC_FILE_NOT_FOUND;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    fError = u"The file cannot be read: "_s + file.errorString();
    return RC_LOAD_FAILED;
  }
  if (file.size() > kMaxSize) {
    fError = u"The file is too large"_s;
    return RC_LOAD_FAILED;
  }
  QByteArray data = file.readAll();
  if (data.isEmpty()) {
    fError = u"The file is empty"_s;
    return RC_EMPTY;
  }
  // The content decides, not the name: a ".gz" that holds plain XML is read as it is.
  if (data.startsWith("\x1f\x8b")) {
    QByteArray unpacked;
    if (!GunzipBytes(data, kMaxSize, unpacked)) {
      fError = u"The file is not a readable gzip stream"_s;
      return RC_LOAD_FAILED;
    }
    data = std::move(unpacked);
  }

  RETURN_CODES rc = Parse(data, false);
  if (rc == RC_BAD_INPUT_DATA) {
    // NZB files in the wild often declare UTF-8 and hold Latin-1 subjects.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(data);  // the decoder works only when its result is taken
    const QString firstError = fError;
    if (utf8.hasError()) {
      if (Parse(data, true) == RC_SUCCESS) {
        LogWarning(u"NZB file "_s + fFileName + u" is not valid UTF-8; read as Latin-1"_s);
        rc = RC_SUCCESS;
      } else {
        fError = firstError;
      }
    }
  }
  if (rc != RC_SUCCESS) {
    fSegments.clear();
    LogError(u"NZB file "_s + fFileName + u": "_s + fError);
    return rc;
  }
  for (const TPlaced& p : fSegments) OnSegment(this, p.segment, fTextLength, std::min(p.position, fTextLength));
  return RC_SUCCESS;
}

RETURN_CODES TNZBImporter::Parse(const QByteArray& data, bool asLatin1) {
  fSegments.clear();
  fFiles = 0;
  fSkipped = 0;
  QXmlStreamReader xml;
  fTextLength = data.size();
  if (asLatin1) {
    // The reader follows the declaration, so the declaration is what changes.
    QByteArray latin1 = data;
    const qsizetype end = latin1.startsWith("<?xml") ? latin1.indexOf("?>") : -1;
    latin1.replace(0, end < 0 ? 0 : end + 2, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    xml.addData(latin1);
  } else {
    xml.addData(data);
  }
  const auto bad = [this, &xml](const QString& text) {
    fError = u"line "_s + QString::number(xml.lineNumber()) + u": "_s + text;
    fSegments.clear();
    return RC_BAD_INPUT_DATA;
  };

  bool sawRoot = false;
  bool inFile = false;
  TFileState file;
  std::size_t fileFirst = 0;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QStringView name = xml.name();
      if (!sawRoot) {
        if (!Named(name, u"nzb")) return bad(u"not an NZB file (the document is <"_s + name.toString() + u">)"_s);
        sawRoot = true;
        continue;
      }
      if (Named(name, u"file")) {
        if (inFile) return bad(u"a file element inside another"_s);
        inFile = true;
        ++fFiles;
        file = TFileState{};
        fileFirst = fSegments.size();
        const QXmlStreamAttributes attributes = xml.attributes();
        file.subject = Attribute(attributes, u"subject").toString().trimmed().toUtf8();
        // Seconds since 1970; the day count keeps whatever is given and the
        // short date clamps it to its own range.
        const std::optional<qint64> seconds = WholeNumber(Attribute(attributes, u"date"));
        file.date = static_cast<double>(seconds.value_or(0)) / 86400.0 + 25569.0;
      } else if (inFile && Named(name, u"group")) {
        const QString group = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        if (!file.hasGroup) {
          file.hasGroup = true;
          file.group = group.toUtf8();
        }
      } else if (inFile && Named(name, u"segment")) {
        const QXmlStreamAttributes attributes = xml.attributes();
        const std::optional<qint64> bytes = WholeNumber(Attribute(attributes, u"bytes"));
        const std::optional<qint64> number = WholeNumber(Attribute(attributes, u"number"));
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (xml.hasError()) break;
        ++file.segmentsSeen;
        TPlaced placed;
        placed.position = xml.characterOffset();
        TNzbSegment& s = placed.segment;
        s.messageId = CleanMessageId(text);
        if (s.messageId.isEmpty()) {
          ++fSkipped;
          LogWarning(u"NZB segment without a usable message-id skipped: \""_s + text.left(80) + u'"');
          continue;
        }
        s.bytes = static_cast<std::uint32_t>(std::clamp<qint64>(bytes.value_or(0), 0, 0xFFFFFFFFLL));
        const qint64 n = number.value_or(file.segmentsSeen);
        s.number = static_cast<std::uint16_t>(std::clamp<qint64>(n < 0 ? file.segmentsSeen : n, 0, 0xFFFF));
        fSegments.push_back(std::move(placed));
      }
    } else if (token == QXmlStreamReader::EndElement && inFile && Named(xml.name(), u"file")) {
      inFile = false;
      const QString which = u"file "_s + QString::number(fFiles);
      if (file.subject.isEmpty()) return bad(which + u" has no subject"_s);
      if (file.group.isEmpty()) return bad(which + u" has no newsgroup"_s);
      if (fSegments.size() == fileFirst) return bad(which + u" has no segments"_s);
      int maxNumber = 0;
      for (std::size_t i = fileFirst; i < fSegments.size(); ++i)
        maxNumber = std::max<int>(maxNumber, fSegments[i].segment.number);
      const int count = static_cast<int>(fSegments.size() - fileFirst);
      for (std::size_t i = fileFirst; i < fSegments.size(); ++i) {
        TNzbSegment& s = fSegments[i].segment;
        s.subject = file.subject;
        s.date = file.date;
        s.newsgroup = file.group;
        s.fileSegments = count;
        s.fileMaxNumber = maxNumber;
      }
    }
  }
  if (xml.hasError()) return bad(xml.errorString());
  if (!sawRoot) return bad(u"no NZB content"_s);
  if (fSegments.empty()) {
    fError = u"The NZB file lists no articles"_s;
    return RC_EMPTY;
  }
  return RC_SUCCESS;
}
