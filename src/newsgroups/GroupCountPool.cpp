#include "newsgroups/GroupCountPool.h"

TGroupCountPool::TGroupCountPool(const QList<TNewsServerEntry>& servers, const QList<QByteArray>& groups)
    : fServers(servers), fGroups(groups) {
  fItems.reserve(qsizetype(servers.size()) * groups.size());
  for (int g = 0; g < groups.size(); ++g)
    for (int s = 0; s < servers.size(); ++s) fItems.append(TItem{s, g});
  fNextFree.fill(0, servers.size());
}

int TGroupCountPool::Take(int server) {
  QMutexLocker lock(&fLock);
  if (server < 0 || server >= fServers.size()) return -1;
  for (int i = fNextFree[server]; i < fItems.size(); ++i) {
    TItem& item = fItems[i];
    if (item.server != server || item.taken || item.done) continue;
    item.taken = true;
    fNextFree[server] = i + 1;
    return i;
  }
  fNextFree[server] = static_cast<int>(fItems.size());
  return -1;
}

void TGroupCountPool::PutBack(int item) {
  QMutexLocker lock(&fLock);
  if (item < 0 || item >= fItems.size() || fItems[item].done) return;
  fItems[item].taken = false;
  int& next = fNextFree[fItems[item].server];
  next = std::min(next, item);
}

bool TGroupCountPool::Complete(int item, std::int64_t first, std::int64_t last, std::int64_t estimated) {
  QMutexLocker lock(&fLock);
  if (item < 0 || item >= fItems.size() || fItems[item].done) return false;
  TItem& it = fItems[item];
  it.first = first;
  it.last = last;
  it.estimated = estimated;
  it.done = true;
  it.taken = false;
  ++fDone;
  TGroupCountResult result;
  result.entry = it.entry;
  result.group.server = fServers[it.server];
  result.group.name = fGroups[it.entry];
  result.group.first = first;
  result.group.last = last;
  result.group.estimated = estimated;
  fResults.append(std::move(result));
  if (fResultsSignalled) return false;
  fResultsSignalled = true;
  return true;
}

QByteArray TGroupCountPool::Group(int item) const {
  QMutexLocker lock(&fLock);
  return item >= 0 && item < fItems.size() ? fGroups[fItems[item].entry] : QByteArray();
}

int TGroupCountPool::ServerOf(int item) const {
  QMutexLocker lock(&fLock);
  return item >= 0 && item < fItems.size() ? fItems[item].server : -1;
}

int TGroupCountPool::Remaining() const {
  QMutexLocker lock(&fLock);
  return static_cast<int>(fItems.size()) - fDone;
}

std::int64_t TGroupCountPool::Counted() const {
  QMutexLocker lock(&fLock);
  return fDone;
}

bool TGroupCountPool::AllDone() const {
  QMutexLocker lock(&fLock);
  return fDone == fItems.size();
}

QList<TGroupCountResult> TGroupCountPool::TakeResults() {
  QMutexLocker lock(&fLock);
  fResultsSignalled = false;
  QList<TGroupCountResult> out;
  out.swap(fResults);
  return out;
}

void TGroupCountPool::SetConnectionCount(int n) {
  QMutexLocker lock(&fLock);
  fStatuses.resize(n);
}

void TGroupCountPool::SetStatus(int connection, const QString& status, const QString& server) {
  QMutexLocker lock(&fLock);
  if (connection < 0 || connection >= fStatuses.size()) return;
  fStatuses[connection].status = status;
  fStatuses[connection].server = server;
}

QList<TGroupCountPool::TConnectionStatus> TGroupCountPool::Statuses() const {
  QMutexLocker lock(&fLock);
  return fStatuses;
}
