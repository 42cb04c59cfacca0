#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

// The stream an article is received into: memory that keeps its capacity
// from one article to the next (Reset empties it without freeing).
class TMemStream : public QIODevice {
 public:
  TMemStream() { open(QIODevice::ReadWrite); }

  void Reset() {
    fData.resize(0);
    seek(0);
  }
  const QByteArray& Data() const { return fData; }
  qint64 size() const override { return fData.size(); }
  bool isSequential() const override { return false; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const qint64 n = std::min<qint64>(maxSize, fData.size() - pos());
    if (n <= 0) return 0;
    std::memcpy(data, fData.constData() + pos(), static_cast<std::size_t>(n));
    return n;
  }
  qint64 writeData(const char* data, qint64 size) override {
    // Writes always append: the client only ever adds to the article.
    if (fData.capacity() < fData.size() + size) fData.reserve(std::max<qsizetype>(fData.size() + size, fData.capacity() * 2));
    fData.append(data, size);
    return size;
  }

 private:
  QByteArray fData;
};
