#pragma once

#include "binaries/DownloadList.h"
#include "binaries/DownloadStats.h"
#include "binaries/DownloadWork.h"
#include "binaries/EventList.h"
#include "binaries/FileGroupList.h"
#include "binaries/MemStream.h"
#include "binaries/MyBits.h"
#include "binaries/ObjectPool.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class QEvent;

// How a session works; given by the owner before it starts.
struct TDownloadOptions {
  QString listPath;   // P.cue
  QString decodeDir;  // where articles are stored and files decoded; ends with "/"
  bool keepMessages = false;
  bool checkMessages = false;
  bool saveToNewsgroupName = false;
  bool killDupes = false;
  int authenticationErrorAction = 1;  // 1 reconnect, 2 disable the connection
  int freeSpaceThresholdMB = 75;
  int decodePriority = 2;  // 0 idle .. 3 normal .. 6 time critical
  bool alwaysEnterGroup = true;
  QString badStringsDir;  // the decoder's "_BadStrings"; empty: the program's
  int clientTimeout = 30;  // seconds
  // Reconnects of one connection in a row without an article before it is given up.
  int maxFailures = 6;
};

// What the manager thread and its check, complete and decode threads share
// during one session. The list's entries are not added or removed while a
// session runs; their status bytes are atomic.
struct TDownloadContext {
  TDownloadContext(TDownloadList& list, const TDownloadOptions& options, const std::atomic<int>* abort,
                   QObject* receiver);

  TDownloadList& list;
  const TDownloadOptions options;
  const std::atomic<int>* abortFlag;

  TEventList<TNewsMessage*> checkQueue;
  TEventList<TNewsMessage*> checkedQueue;
  TEventList<TNewsMessage*> completeQueue;
  TEventList<TNewsMessage*> decodeQueue;
  // Work in hand of each worker thread (taken from its queue, not yet passed on).
  std::atomic<int> checkBusy{0};
  std::atomic<int> completeBusy{0};
  std::atomic<int> decodeBusy{0};

  TObjectPool<TMemStream> streams;
  TObjectPool<TMyBits> primaryBits;
  TObjectPool<TMyBits> fillBits;

  TDownloadStats stats;
  TFileGroupList fileGroups;
  QSet<std::uint32_t> knownKeys;  // the decode thread's alone during a session

  bool Aborted() const { return abortFlag && abortFlag->load(std::memory_order_relaxed) != 0; }
  // Posts to the owner (dropped once the owner is gone).
  void Post(QEvent* event) const;
  void PostMessageStatus(int subCode, int entry, qint64 value = 0) const;

  // Records what became of an article and wakes the decode thread.
  void SetOutcome(TNewsMessage* message, TNewsMessage::TOutcome outcome);
  // Waits until the article's outcome is known, stop() is true or the time is up.
  template <typename Stop>
  TNewsMessage::TOutcome WaitForOutcome(const TNewsMessage* message, Stop stop) {
    std::unique_lock lock(fOutcomeMutex);
    for (;;) {
      const auto outcome = TNewsMessage::TOutcome(message->outcome.load(std::memory_order_acquire));
      if (outcome != TNewsMessage::OUTCOME_PENDING || stop()) return outcome;
      fOutcomeChanged.wait_for(lock, std::chrono::milliseconds(50));
    }
  }

  // Sets the status of every entry of the post of entry: an entry skipped
  // for this session (17) keeps it unless forced.
  void SetPostStatus(int entry, std::uint8_t status, bool forced);
  // decodeDir + the article's stored file name.
  QString MessageFilePath(const TDownloadEntry& entry) const;

 private:
  QPointer<QObject> fReceiver;
  std::mutex fOutcomeMutex;
  std::condition_variable fOutcomeChanged;
};

// "Msg_" + the cleaned message-id + ".txt"; a name that would exceed 255
// bytes is cut and made unique with the identifier's CRC-32.
QString MessageFileName(QByteArrayView messageId);
