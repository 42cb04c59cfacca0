#pragma once

#include <QByteArray>

#include <cstdint>
#include <random>

// A plain yEnc encoder for building test articles: escapes NUL, LF, CR and
// "=", plus TAB and space at line ends and "." at line starts, as posters do.
inline QByteArray YencEncode(const QByteArray& data, int lineLength = 128, const char* lineEnd = "\r\n") {
  QByteArray out;
  out.reserve(data.size() * 103 / 100 + data.size() / lineLength * 2 + 16);
  int column = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
    const bool last = i + 1 == data.size() || column + 1 >= lineLength;
    const bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                        ((c == '\t' || c == ' ') && (column == 0 || last)) || (c == '.' && column == 0);
    if (escape) {
      out.append('=');
      out.append(static_cast<char>(c + 64));
      column += 2;
    } else {
      out.append(static_cast<char>(c));
      ++column;
    }
    if (column >= lineLength && i + 1 < data.size()) {
      out.append(lineEnd);
      column = 0;
    }
  }
  return out;
}

inline QByteArray RandomBytes(std::mt19937_64& rng, qsizetype size) {
  QByteArray out(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) out[i] = static_cast<char>(rng() & 0xFF);
  return out;
}
