#include "newsgroups/GroupListWriter.h"

#include "app/LittleEndian.h"
#include "newsgroups/GroupList.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kFlushAt = 256 * 1024;
}

TGroupListWriter::~TGroupListWriter() {
  if (fOpen) Discard();
}

bool TGroupListWriter::Open(const QString& base) {
  fNames.setFileName(base + u".gnam"_s);
  fData.setFileName(base + u".gdat"_s);
  fCount = fSkipped = 0;
  fFailed = false;
  // Buffers keep their room between flushes: growing them again for every
  // piece costs more than parsing the lines that fill them.
  fNameBuffer.reserve(kFlushAt + 512);
  fDataBuffer.reserve(kFlushAt + 512);
  fNameBuffer.resize(0);
  fDataBuffer.resize(0);
  fDataBuffer.append(TGroupList::Header());
  if (!fNames.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      !fData.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    fOpen = true;
    Discard();
    return false;
  }
  fOpen = true;
  return Flush();
}

bool TGroupListWriter::Append(QByteArrayView name, std::int32_t newCount, std::int32_t total) {
  if (name.isEmpty() || name.size() > TGroupList::kMaxNameLength) {
    ++fSkipped;
    return false;
  }
  // Written in place: one resize per buffer and no per-byte appends.
  const qsizetype at = fNameBuffer.size();
  fNameBuffer.resize(at + name.size() + 2);
  char* out = fNameBuffer.data() + at;
  *out++ = static_cast<char>(name.size() + 2);
  for (const char c : name) *out++ = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  *out = '\0';
  const qsizetype dataAt = fDataBuffer.size();
  fDataBuffer.resize(dataAt + TGroupList::kRecordSize);
  char* record = fDataBuffer.data() + dataAt;
  le::Put32(record, static_cast<std::uint32_t>(newCount));
  le::Put32(record + 4, static_cast<std::uint32_t>(total));
  ++fCount;
  if (fNameBuffer.size() >= kFlushAt || fDataBuffer.size() >= kFlushAt) return Flush();
  return true;
}

bool TGroupListWriter::Flush() {
  if (fNames.write(fNameBuffer) != fNameBuffer.size()) fFailed = true;
  if (fData.write(fDataBuffer) != fDataBuffer.size()) fFailed = true;
  fNameBuffer.resize(0);
  fDataBuffer.resize(0);
  return !fFailed;
}

bool TGroupListWriter::Finish() {
  if (!fOpen) return false;
  Flush();
  if (!fNames.flush() || !fData.flush()) fFailed = true;
  // A full disk shows up here at the latest, before anything is replaced.
  if (::fsync(fNames.handle()) != 0 || ::fsync(fData.handle()) != 0) fFailed = true;
  fNames.close();
  fData.close();
  fOpen = false;
  fNameBuffer = QByteArray();
  fDataBuffer = QByteArray();
  return !fFailed;
}

void TGroupListWriter::Discard() {
  fNames.close();
  fData.close();
  fNames.remove();
  fData.remove();
  fOpen = false;
  fNameBuffer = QByteArray();
  fDataBuffer = QByteArray();
}
