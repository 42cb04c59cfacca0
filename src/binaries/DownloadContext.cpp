#include "binaries/DownloadContext.h"

#include "app/Crc32.h"
#include "binaries/DownloadEvents.h"
#include "binaries/FileNameRules.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

TDownloadContext::TDownloadContext(TDownloadList& list, const TDownloadOptions& options,
                                   const std::atomic<int>* abort, QObject* receiver)
    : list(list),
      options(options),
      abortFlag(abort),
      streams([] { return std::make_unique<TMemStream>(); }, 10),
      primaryBits([] { return std::make_unique<TMyBits>(); }, 10),
      fillBits([] { return std::make_unique<TMyBits>(); }, 10),
      fReceiver(receiver) {}

void TDownloadContext::Post(QEvent* event) const {
  // QPointer is read on other threads here, but the owner outlives the session.
  QObject* receiver = fReceiver.data();
  if (receiver)
    QCoreApplication::postEvent(receiver, event);
  else
    delete event;
}

void TDownloadContext::PostMessageStatus(int subCode, int entry, qint64 value) const {
  auto* event = new TDownloadEvent(WM_DM_MESSAGE_STATUS, TDownloadSubCode(subCode));
  event->entry = entry;
  event->value = value;
  Post(event);
}

void TDownloadContext::SetOutcome(TNewsMessage* message, TNewsMessage::TOutcome outcome) {
  {
    std::lock_guard lock(fOutcomeMutex);
    message->outcome.store(outcome, std::memory_order_release);
  }
  fOutcomeChanged.notify_all();
}

void TDownloadContext::SetPostStatus(int entry, std::uint8_t status, bool forced) {
  const auto [begin, end] = list.PostRange(list.PostOf(entry));
  for (int i = begin; i < end; ++i) {
    TDownloadEntry& e = list.Entry(i);
    if (forced || e.Status() != DOWNLOAD_STATUS_SKIPPED) e.SetStatus(status);
  }
}

QString TDownloadContext::MessageFilePath(const TDownloadEntry& entry) const {
  return options.decodeDir + MessageFileName(entry.messageId);
}

QString MessageFileName(QByteArrayView messageId) {
  const QString cleaned = CleanFileName(QString::fromUtf8(messageId));
  const QString name = u"Msg_"_s + cleaned + u".txt"_s;
  if (name.toUtf8().size() <= kMaxFileNameBytes) return name;
  const QString tag = u'_' + QString::number(Crc32(messageId), 16).rightJustified(8, u'0') + u".txt"_s;
  return FitFileName(u"Msg_"_s + cleaned, kMaxFileNameBytes - static_cast<int>(tag.size())) + tag;
}
