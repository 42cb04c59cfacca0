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
  fNameBuffer.clear();
  fDataBuffer = TGroupList::Header();
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
  fNameBuffer.append(static_cast<char>(name.size() + 2));
  const qsizetype at = fNameBuffer.size();
  fNameBuffer.append(name.data(), name.size());
  for (qsizetype i = at; i < fNameBuffer.size(); ++i) {
    const char c = fNameBuffer[i];
    if (c >= 'A' && c <= 'Z') fNameBuffer[i] = static_cast<char>(c + 32);
  }
  fNameBuffer.append('\0');
  char record[TGroupList::kRecordSize];
  le::Put32(record, static_cast<std::uint32_t>(newCount));
  le::Put32(record + 4, static_cast<std::uint32_t>(total));
  fDataBuffer.append(record, TGroupList::kRecordSize);
  ++fCount;
  if (fNameBuffer.size() >= kFlushAt || fDataBuffer.size() >= kFlushAt) return Flush();
  return true;
}

bool TGroupListWriter::Flush() {
  if (fNames.write(fNameBuffer) != fNameBuffer.size()) fFailed = true;
  if (fData.write(fDataBuffer) != fDataBuffer.size()) fFailed = true;
  fNameBuffer.clear();
  fDataBuffer.clear();
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
  return !fFailed;
}

void TGroupListWriter::Discard() {
  fNames.close();
  fData.close();
  fNames.remove();
  fData.remove();
  fOpen = false;
}
