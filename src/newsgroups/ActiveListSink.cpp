#include "newsgroups/ActiveListSink.h"

#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListWriter.h"

#include <cstring>

TActiveListSink::TActiveListSink(TGroupListWriter& writer, TCountRule rule, QObject* parent)
    : QIODevice(parent), fWriter(writer), fRule(rule) {}

bool TActiveListSink::Start() {
  if (isOpen()) close();
  fCarry.clear();
  fLastName.clear();
  fLines = 0;
  return open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TActiveListSink::readData(char*, qint64) { return -1; }

qint64 TActiveListSink::writeData(const char* data, qint64 size) {
  const char* p = data;
  const char* const end = data + size;
  fLastNamePtr = nullptr;
  if (!fCarry.isEmpty()) {
    // The rest of a line an earlier piece left open.
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* upto = lf ? lf + 1 : end;
    fCarry.append(p, upto - p);
    p = upto;
    if (lf) {
      HandleLine(fCarry.constData(), fCarry.size());
      if (fLastNamePtr) fLastName = QByteArray(fLastNamePtr, fLastNameLength);
      fLastNamePtr = nullptr;
      fCarry.clear();
    }
  }
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!lf) {
      fCarry.append(p, end - p);
      break;
    }
    HandleLine(p, lf + 1 - p);
    p = lf + 1;
  }
  // One copy of a name per piece, for the progress display.
  if (fLastNamePtr) fLastName = QByteArray(fLastNamePtr, fLastNameLength);
  fLastNamePtr = nullptr;
  if (fChunkHandler) fChunkHandler();
  // A failed file write fails the stream, so the request cannot end as a success.
  return fWriter.Failed() ? -1 : size;
}

void TActiveListSink::FinishLines() {
  if (fCarry.isEmpty()) return;
  HandleLine(fCarry.constData(), fCarry.size());
  if (fLastNamePtr) fLastName = QByteArray(fLastNamePtr, fLastNameLength);
  fLastNamePtr = nullptr;
  fCarry.clear();
}

void TActiveListSink::HandleLine(const char* line, qsizetype length) {
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  QByteArrayView name;
  std::int64_t last = 0, first = 0;
  if (!TGroupList::ParseActiveLine(QByteArrayView(line, length), name, last, first)) return;
  ++fLines;
  const std::int32_t count = fRule == COUNT_LIST ? TGroupList::CountFromList(last, first)
                                                 : TGroupList::CountFromNewGroups(last, first);
  if (fWriter.Append(name, count, count)) {
    fLastNamePtr = name.data();
    fLastNameLength = name.size();
  }
}
