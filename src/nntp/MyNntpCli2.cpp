#include "nntp/MyNntpCli2.h"

#include "app/Logger.h"

#include <QMetaMethod>

#include <cstring>

TMyNntpCli2::TMyNntpCli2(QObject* parent) : TMyNntpCli(parent), fData(std::make_unique<char[]>(DATA_BUFFER_SIZE)) {}

TMyNntpCli2::~TMyNntpCli2() = default;

bool TMyNntpCli2::NextPostBlock(QByteArrayView& block, bool& finished) {
  if (!isSignalConnected(QMetaMethod::fromSignal(&TMyNntpCli2::OnGetData)))
    return TMyNntpCli::NextPostBlock(block, finished);
  char* const data = fData.get();
  std::memset(data, 0, DATA_BUFFER_SIZE);
  bool more = false;
  try {
    emit OnGetData(this, data, DATA_CAPACITY, more);
  } catch (...) {
    LogError("Exception raised by the data handler while posting");
    return false;
  }
  // Whatever the handler did, only the capacity counts.
  data[DATA_CAPACITY] = '\0';
  qsizetype length = static_cast<qsizetype>(strnlen(data, DATA_CAPACITY));
  NotePostData(QByteArrayView(data, length));
  finished = !more;
  if (finished) length += PutPostTerminator(data + length);
  block = QByteArrayView(data, length);
  return true;
}
