#include "binaries/HeaderWords.h"

#include "binaries/MimeCodecs.h"

#include <QList>

#include <QStringDecoder>
#include <algorithm>

using namespace Qt::StringLiterals;

QString BytesToText(QByteArrayView bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), bytes.size());
}

namespace {

struct TSegment {
  bool word = false;
  QByteArray charset;  // lower case, without an RFC 2231 language
  QByteArray bytes;
};

bool IsBlank(QByteArrayView bytes) {
  for (char c : bytes)
    if (c != ' ' && c != '\t') return false;
  return true;
}

// Joins folded lines: a line end followed by white space disappears.
QByteArray Unfold(QByteArrayView text) {
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      qsizetype j = i;
      while (j < text.size() && (text[j] == '\r' || text[j] == '\n')) ++j;
      if (j < text.size() && (text[j] == ' ' || text[j] == '\t')) {
        i = j - 1;
        continue;
      }
    }
    out.append(c);
  }
  return out;
}

// Parses an encoded word starting at i ("=?"); on success fills segment and
// returns the index after its "?=", else -1.
qsizetype ParseWord(const QByteArray& text, qsizetype i, TSegment& segment) {
  const qsizetype q1 = text.indexOf('?', i + 2);
  if (q1 < 0 || q1 == i + 2 || q1 + 2 >= text.size() || text[q1 + 2] != '?') return -1;
  QByteArray charset = text.mid(i + 2, q1 - i - 2);
  for (char c : charset)
    if (c == ' ' || c == '\t' || c == '=') return -1;
  const char encoding = text[q1 + 1];
  const qsizetype end = text.indexOf("?=", q1 + 3);
  if (end < 0) return -1;
  const QByteArrayView payload = QByteArrayView(text).sliced(q1 + 3, end - q1 - 3);
  const qsizetype star = charset.indexOf('*');
  if (star >= 0) charset.truncate(star);
  segment.word = true;
  segment.charset = charset.toLower();
  if (encoding == 'q' || encoding == 'Q') {
    segment.bytes = mime::DecodeQWord(payload);
  } else if (encoding == 'b' || encoding == 'B') {
    segment.bytes.clear();
    mime::AppendBase64(payload, segment.bytes);
  } else {
    segment.bytes = payload.toByteArray();
  }
  return end + 2;
}

QString DecodeCharset(const QByteArray& charset, const QByteArray& bytes) {
  if (charset == "utf-8" || charset == "utf8" || charset == "us-ascii") return BytesToText(bytes);
  QStringDecoder decoder(charset.constData());
  if (decoder.isValid()) {
    const QString text = decoder.decode(bytes);
    if (!decoder.hasError()) return text;
  }
  // Without a decoder for the charset the bytes are shown as they are; a
  // Japanese text is at least labelled as such.
  if (charset == "iso-2022-jp") return u"[Japanese] "_s + BytesToText(bytes);
  return BytesToText(bytes);
}

}  // namespace

QString DecodeHeaderWords(QByteArrayView input) {
  const QByteArray text = Unfold(input);
  QList<TSegment> segments;
  QByteArray plain;
  for (qsizetype i = 0; i < text.size();) {
    if (text[i] == '=' && i + 1 < text.size() && text[i + 1] == '?') {
      TSegment word;
      const qsizetype next = ParseWord(text, i, word);
      if (next > 0) {
        if (!plain.isEmpty()) segments.append({false, {}, plain});
        plain.clear();
        segments.append(std::move(word));
        i = next;
        continue;
      }
    }
    plain.append(text[i++]);
  }
  if (!plain.isEmpty()) segments.append({false, {}, plain});

  QString out;
  for (qsizetype k = 0; k < segments.size(); ++k) {
    const TSegment& s = segments[k];
    if (!s.word) {
      const bool betweenWords = k > 0 && k + 1 < segments.size() && segments[k - 1].word && segments[k + 1].word;
      if (!(betweenWords && IsBlank(s.bytes))) out += BytesToText(s.bytes);
      continue;
    }
    // Gather the following words of the same charset (only blanks between).
    QByteArray bytes = s.bytes;
    while (k + 1 < segments.size()) {
      qsizetype next = k + 1;
      if (!segments[next].word && IsBlank(segments[next].bytes) && next + 1 < segments.size()) ++next;
      if (!segments[next].word || segments[next].charset != s.charset) break;
      bytes += segments[next].bytes;
      k = next;
    }
    out += DecodeCharset(s.charset, bytes);
  }
  return out;
}

QString DecodeHeaderWords(const QString& text) { return DecodeHeaderWords(QByteArrayView(text.toUtf8())); }

namespace {

QString DecodeExtendedValue(const QByteArray& raw, bool encoded, QByteArray& charset) {
  QByteArray bytes = raw;
  if (encoded) {
    // charset'language'percent-encoded, the charset only on the first piece.
    const qsizetype q1 = bytes.indexOf('\'');
    const qsizetype q2 = q1 >= 0 ? bytes.indexOf('\'', q1 + 1) : -1;
    if (q1 >= 0 && q2 > q1) {
      if (charset.isEmpty()) charset = bytes.left(q1).toLower();
      bytes = bytes.mid(q2 + 1);
    }
    QByteArray decoded;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '%' && i + 2 < bytes.size() && mime::HexValue(bytes[i + 1]) >= 0 &&
          mime::HexValue(bytes[i + 2]) >= 0) {
        decoded.append(static_cast<char>(mime::HexValue(bytes[i + 1]) * 16 + mime::HexValue(bytes[i + 2])));
        i += 2;
      } else {
        decoded.append(bytes[i]);
      }
    }
    bytes = decoded;
  }
  return QString::fromLatin1(bytes);  // carried as bytes until the pieces are joined
}

}  // namespace

THeaderValue ParseHeaderValue(QByteArrayView text) {
  THeaderValue result;
  qsizetype i = 0;
  const qsizetype n = text.size();
  // The main value ends at the first ";" (quotes are not expected there).
  while (i < n && text[i] != ';') ++i;
  result.value = text.first(i).toByteArray().trimmed().toLower();
  struct TPiece {
    int index;
    bool encoded;
    QByteArray raw;
  };
  QHash<QByteArray, QList<TPiece>> extended;
  while (i < n) {
    ++i;  // the ";"
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == ';')) ++i;
    qsizetype k = i;
    while (k < n && text[k] != '=' && text[k] != ';') ++k;
    QByteArray key = text.sliced(i, k - i).toByteArray().trimmed().toLower();
    QByteArray value;
    i = k;
    if (i < n && text[i] == '=') {
      ++i;
      while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
      if (i < n && text[i] == '"') {
        ++i;
        while (i < n && text[i] != '"') {
          if (text[i] == '\\' && i + 1 < n) ++i;
          value.append(text[i++]);
        }
        if (i < n) ++i;  // closing quote
        while (i < n && text[i] != ';') ++i;
      } else {
        const qsizetype start = i;
        while (i < n && text[i] != ';') ++i;
        value = text.sliced(start, i - start).toByteArray().trimmed();
      }
    } else {
      // A parameter without "=" ends the list as far as it makes sense.
      while (i < n && text[i] != ';') ++i;
    }
    if (key.isEmpty()) continue;
    const qsizetype star = key.indexOf('*');
    if (star > 0) {
      // key*=..., key*0=..., key*0*=...
      const QByteArray base = key.left(star);
      const QByteArray rest = key.mid(star + 1);
      const bool encoded = rest.endsWith('*') || rest.isEmpty();
      const QByteArray number = rest.endsWith('*') ? rest.chopped(1) : rest;
      bool ok = true;
      const int index = number.isEmpty() ? 0 : number.toInt(&ok);
      if (ok) extended[base].append({index, encoded, value});
      continue;
    }
    if (!result.params.contains(key)) result.params.insert(key, DecodeHeaderWords(QByteArrayView(value)));
  }
  for (auto it = extended.begin(); it != extended.end(); ++it) {
    QList<TPiece>& pieces = it.value();
    std::sort(pieces.begin(), pieces.end(), [](const TPiece& a, const TPiece& b) { return a.index < b.index; });
    QByteArray charset;
    QByteArray bytes;
    for (const TPiece& piece : pieces) bytes += DecodeExtendedValue(piece.raw, piece.encoded, charset).toLatin1();
    QString value;
    if (charset.isEmpty()) {
      value = DecodeHeaderWords(QByteArrayView(bytes));
    } else {
      QStringDecoder decoder(charset.constData());
      value = decoder.isValid() ? decoder.decode(bytes) : BytesToText(bytes);
    }
    // The extended form is the better one when both are given.
    result.params.insert(it.key(), value);
  }
  return result;
}
