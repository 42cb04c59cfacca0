#pragma once

#include "newsgroups/NewsgroupEntry.h"

#include <QList>
#include <QThread>

#include <atomic>

// Refreshes the message counts of a list of newsgroups in the background over
// one connection: GROUP for each entry in order, changing servers as the
// entries do. Reports go to the owner as queued signals; the entries list is
// the thread's own copy.
//
// A failed connect or login ends the run. A group the server does not carry
// (411) is reported as a failure with the estimate -9; a connection lost in
// the middle is opened again once for the entry it was asking about.
class TGetMessageCountThread : public QThread {
  Q_OBJECT
 public:
  static constexpr int kTimeoutSeconds = 15;

  explicit TGetMessageCountThread(const QList<TNewsgroupEntry>& entries, QObject* parent = nullptr);
  ~TGetMessageCountThread() override;

  void SetTimeout(int seconds) { fTimeout = seconds; }
  // The owner's stop: the run ends at once, the connection is closed.
  void Stop();
  bool Stopped() const { return fStop.load(); }

 signals:
  // The number of entries, first of all.
  void EntriesCounted(int count);
  // One per entry asked: the entry with GROUP's answer, the number of entries
  // and the entry's 1-based position.
  void EntryDone(bool success, const TNewsgroupEntry& entry, int count, int position);
  // Last of all, also when nothing was asked.
  void Completed();

 protected:
  void run() override;

 private:
  friend class TMessageCountSession;
  QList<TNewsgroupEntry> fEntries;
  int fTimeout = kTimeoutSeconds;
  std::atomic<bool> fStop{false};
};
