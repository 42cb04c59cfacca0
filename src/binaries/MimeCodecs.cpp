#include "binaries/MimeCodecs.h"

namespace mime {
namespace {

struct TBase64Table {
  signed char value[256];
  constexpr TBase64Table() : value() {
    for (int i = 0; i < 256; ++i) value[i] = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
  }
};
constexpr TBase64Table kBase64;

}  // namespace

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendBase64(QByteArrayView line, QByteArray& out) {
  qsizetype i = 0;
  const qsizetype n = line.size();
  while (i < n && line[i] == ' ') ++i;
  unsigned accumulator = 0;
  int count = 0;
  auto flushPartial = [&] {
    // Two characters give one byte, three give two; one alone gives nothing.
    if (count == 2) {
      out.append(static_cast<char>(accumulator >> 4));
    } else if (count == 3) {
      out.append(static_cast<char>(accumulator >> 10));
      out.append(static_cast<char>((accumulator >> 2) & 0xFF));
    }
    accumulator = 0;
    count = 0;
  };
  for (; i < n; ++i) {
    const char c = line[i];
    if (c == ' ') break;
    if (c == '=') {
      flushPartial();
      continue;
    }
    const int v = kBase64.value[static_cast<unsigned char>(c)];
    if (v < 0) continue;
    accumulator = (accumulator << 6) | static_cast<unsigned>(v);
    if (++count == 4) {
      const char bytes[3] = {static_cast<char>(accumulator >> 16), static_cast<char>((accumulator >> 8) & 0xFF),
                             static_cast<char>(accumulator & 0xFF)};
      out.append(bytes, 3);
      accumulator = 0;
      count = 0;
    }
  }
  flushPartial();
}

bool AppendQuotedPrintable(QByteArrayView line, QByteArray& out) {
  // Trailing white space is transport padding, not text.
  qsizetype n = line.size();
  while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) --n;
  for (qsizetype i = 0; i < n; ++i) {
    const char c = line[i];
    if (c != '=') {
      out.append(c);
      continue;
    }
    if (i + 1 == n) return true;  // soft line break
    if (i + 2 < n) {
      const int hi = HexValue(line[i + 1]);
      const int lo = HexValue(line[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.append(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.append(c);
  }
  return false;
}

QByteArray DecodeQWord(QByteArrayView text) {
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      out.append(' ');
    } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.append(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.append(c);
    }
  }
  return out;
}

}  // namespace mime
