#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Binaries posted as a poster would post them, for tests and benchmarks:
// yEnc parts of a fixed size, each a whole article, and the NZB that lists them.

// A file posted as yEnc articles: parts of partSize bytes, each a whole
// article (headers, empty line, body; CR LF, not dot-stuffed).
struct TPostedFile {
  QString name;
  QByteArray data;
  QList<QByteArray> messageIds;  // without angle brackets
  QList<QByteArray> articles;
};

// Reproducible pseudo-random bytes (all 256 values occur, so every yEnc escape is used).
QByteArray RandomBytes(qsizetype size, quint32 seed);
TPostedFile MakeYencPost(const QString& name, const QByteArray& data, QByteArrayView group, qsizetype partSize);
// The lines of an article, for the scripted server's multi-line replies.
QList<QByteArray> ArticleLines(const QByteArray& article);
// An NZB for the files: one file element per file, one segment per article.
QByteArray MakeNzb(const QList<TPostedFile>& files, QByteArrayView group);
