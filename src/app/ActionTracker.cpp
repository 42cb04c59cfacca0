#include "app/ActionTracker.h"

#include "app/FileUtils.h"
#include "app/LittleEndian.h"
#include "app/Logger.h"

#include <QFile>

#include <cstring>

#include <zlib.h>

using namespace Qt::StringLiterals;

void TActionTracker::PutByte(std::uint8_t b) {
  fRing[static_cast<size_t>(fPos)] = b;
  fPos = (fPos + 1) % kSize;
  if (fCount < kSize) ++fCount;
}

void TActionTracker::Record(std::uint8_t code) {
  std::lock_guard lock(fMutex);
  PutByte(code);
}

void TActionTracker::RecordText(const QByteArray& text) {
  std::lock_guard lock(fMutex);
  const int length = static_cast<int>(qMin<qsizetype>(text.size(), 255));
  PutByte(kTextMarker);
  PutByte(static_cast<std::uint8_t>(length));
  for (int i = 0; i < length; ++i) PutByte(static_cast<std::uint8_t>(text[i]));
}

void TActionTracker::Clear() {
  std::lock_guard lock(fMutex);
  fRing.fill(0);
  fCount = 0;
  fPos = 0;
}

int TActionTracker::Count() const {
  std::lock_guard lock(fMutex);
  return fCount;
}

int TActionTracker::Position() const {
  std::lock_guard lock(fMutex);
  return fPos;
}

QByteArray TActionTracker::Contents() const {
  std::lock_guard lock(fMutex);
  QByteArray out;
  const int start = fCount < kSize ? 0 : fPos;
  for (int i = 0; i < fCount; ++i) out.append(static_cast<char>(fRing[static_cast<size_t>((start + i) % kSize)]));
  return out;
}

QByteArray TActionTracker::Serialize() const {
  std::lock_guard lock(fMutex);
  QByteArray raw(kStreamSize, '\0');
  le::Put16(raw.data(), static_cast<std::uint16_t>(fCount));
  le::Put16(raw.data() + 2, static_cast<std::uint16_t>(fPos));
  std::memcpy(raw.data() + 4, fRing.data(), kSize);
  return raw;
}

bool TActionTracker::Load(const QString& path) {
  LOG_METHOD("TActionTracker.Load");
  Clear();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  // The file is tiny; anything much larger than a compressed ring is not ours.
  const QByteArray packed = file.read(64 * 1024);
  QByteArray raw(kStreamSize + 1, '\0');
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  zs.avail_in = static_cast<uInt>(packed.size());
  zs.next_out = reinterpret_cast<Bytef*>(raw.data());
  zs.avail_out = static_cast<uInt>(raw.size());
  const int rc = inflate(&zs, Z_FINISH);
  const uLong produced = zs.total_out;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || produced != static_cast<uLong>(kStreamSize)) {
    LogWarning(u"Ignoring action trail "_s + path + u": not a trail stream"_s);
    return false;
  }
  const int count = le::Get16(raw.constData());
  const int pos = le::Get16(raw.constData() + 2);
  // A count or position outside the ring would make later writes run past it.
  if (count > kSize || pos >= kSize) {
    LogWarning(u"Ignoring action trail "_s + path + u": count or position out of range"_s);
    return false;
  }
  std::lock_guard lock(fMutex);
  fCount = count;
  fPos = pos;
  std::memcpy(fRing.data(), raw.constData() + 4, kSize);
  return true;
}

bool TActionTracker::Save(const QString& path) const {
  LOG_METHOD("TActionTracker.Save");
  const QByteArray raw = Serialize();
  if (le::Get16(raw.constData()) == 0) {
    QFile::remove(path);
    return true;
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  QByteArray packed(static_cast<qsizetype>(packedSize), '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.constData()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    QFile::remove(path);
    return false;
  }
  packed.truncate(static_cast<qsizetype>(packedSize));
  if (!WriteFileAtomic(path, packed)) {
    QFile::remove(path);
    return false;
  }
  return true;
}
