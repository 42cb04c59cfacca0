#pragma once

#include "newsgroups/NewsgroupEntry.h"
#include "nntp/NewsServerEntry.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <cstdint>

// One result of a message-count retrieval: which of the caller's entries, on
// which server, and what GROUP answered.
struct TGroupCountResult {
  int entry = -1;  // index into the caller's list of groups
  TNewsgroupEntry group;
};

// The work of a message-count retrieval, shared between the connections and
// the dialog: one item per (server, group), each asked on its own server
// only. Everything goes through one lock.
class TGroupCountPool {
 public:
  TGroupCountPool(const QList<TNewsServerEntry>& servers, const QList<QByteArray>& groups);

  const QList<TNewsServerEntry>& Servers() const { return fServers; }
  int ItemCount() const { return static_cast<int>(fItems.size()); }

  // Marks the next item of server that is neither taken nor done as taken;
  // -1 when there is none.
  int Take(int server);
  // An item whose request failed goes back for any connection of its server.
  void PutBack(int item);
  // Stores GROUP's answer (estimated -9: not on the server) and queues the
  // result. True when the caller must tell the dialog that results wait
  // (none were waiting before).
  bool Complete(int item, std::int64_t first, std::int64_t last, std::int64_t estimated);
  QByteArray Group(int item) const;
  int ServerOf(int item) const;

  // Items not yet counted, and all of them done.
  int Remaining() const;
  std::int64_t Counted() const;
  bool AllDone() const;
  // The results queued since the last call.
  QList<TGroupCountResult> TakeResults();

  // What each connection is doing, for the dialog's rows.
  struct TConnectionStatus {
    QString status;
    QString server;
  };
  void SetConnectionCount(int n);
  void SetStatus(int connection, const QString& status, const QString& server);
  QList<TConnectionStatus> Statuses() const;

 private:
  struct TItem {
    int server;
    int entry;
    std::int64_t first = -1, last = -1, estimated = -1;
    bool taken = false;
    bool done = false;
  };

  const QList<TNewsServerEntry> fServers;
  const QList<QByteArray> fGroups;
  mutable QMutex fLock;
  QList<TItem> fItems;
  // Where each server's search for a free item starts: items before it are all taken or done.
  QList<int> fNextFree;
  int fDone = 0;
  QList<TGroupCountResult> fResults;
  bool fResultsSignalled = false;
  QList<TConnectionStatus> fStatuses;
};
