#pragma once

#include "support/TempDir.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <ostream>

// Readable failure messages for text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

// Stored articles for the decoder tests.

// A raw NNTP reply (status line, dot-stuffing, "." terminator) as the
// download manager stores it: the article text alone. A BODY reply gets a
// minimal header so the body follows an empty line.
inline QByteArray StoredArticle(const QByteArray& reply) {
  QByteArray out;
  qsizetype p = reply.indexOf('\n');
  const QByteArray status = reply.left(p);
  const bool bodyOnly = status.startsWith("222");
  if (bodyOnly) out = "Subject: test\r\n\r\n";
  ++p;
  while (p < reply.size()) {
    qsizetype e = reply.indexOf('\n', p);
    if (e < 0) e = reply.size() - 1;
    QByteArray line = reply.mid(p, e - p + 1);
    p = e + 1;
    if (line == ".\r\n" || line == ".\n" || line == ".") break;
    if (line.startsWith("..")) line.remove(0, 1);
    out += line;
  }
  return out;
}

inline QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A whole article around a body.
inline QByteArray Article(const QByteArray& body, const QByteArray& extraHeaders = {}) {
  return "From: poster@example.com\r\nSubject: test\r\nMessage-ID: <x@example.com>\r\n" + extraHeaders + "\r\n" + body;
}
