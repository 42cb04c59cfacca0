#include "newsgroups/GroupCountWorker.h"

#include "app/Logger.h"
#include "newsgroups/GroupCountPool.h"
#include "nntp/ConfigureNntpClient.h"
#include "nntp/MyNntpCli.h"

#include <QTimer>

using namespace Qt::StringLiterals;

TGroupCountWorker::TGroupCountWorker(std::shared_ptr<TGroupCountPool> pool, int connectionsPerServer,
                                     QObject* parent)
    : QObject(parent), fPool(std::move(pool)), fPerServer(std::max(1, connectionsPerServer)) {}

TGroupCountWorker::~TGroupCountWorker() {
  for (auto& c : fConnections)
    if (c->client) c->client->Disconnect();
}

int TGroupCountWorker::ConnectionCount(int servers, int connectionsPerServer) {
  return servers * std::max(1, connectionsPerServer);
}

void TGroupCountWorker::SetStatus(const TConnection& c, const QString& text) {
  fPool->SetStatus(c.index, text, fPool->Servers()[c.server].Name());
}

void TGroupCountWorker::Start() {
  LOG_METHOD("TGroupCountWorker.Start");
  const int servers = static_cast<int>(fPool->Servers().size());
  fPool->SetConnectionCount(ConnectionCount(servers, fPerServer));
  for (int s = 0; s < servers; ++s) {
    for (int k = 0; k < fPerServer; ++k) {
      auto c = std::make_unique<TConnection>();
      c->index = static_cast<int>(fConnections.size());
      c->server = s;
      fConnections.push_back(std::move(c));
    }
  }
  for (auto& owned : fConnections) {
    TConnection& c = *owned;
    c.item = fPool->Take(c.server);
    if (c.item < 0) {
      // More connections than groups: this one is never opened.
      c.finished = true;
      SetStatus(c, QString::fromLatin1(groupcounts::kUnusedConnection));
      continue;
    }
    c.client = new TMyNntpCli(this);
    ConfigureNntpClient(*c.client, fPool->Servers()[c.server]);
    c.client->SetTimeout(fTimeout);
    c.client->SetAutoAuthenticate(true);
    connect(c.client, &TNntpCli::OnRequestDone, this,
            [this, &c](TNntpCli*, TNntpRequest kind, quint16 code) { RequestDone(c, kind, code); });
    c.retry = new QTimer(this);
    c.retry->setSingleShot(true);
    connect(c.retry, &QTimer::timeout, this, [this, &c] { Connect(c); });
    Connect(c);
  }
  CheckAllDone();
}

void TGroupCountWorker::Connect(TConnection& c) {
  if (fEnded || c.finished) return;
  if (c.tries == 0) SetStatus(c, QString::fromLatin1(groupcounts::kConnecting));
  if (!c.client->Connect()) Reconnect(c);
}

void TGroupCountWorker::RequestDone(TConnection& c, TNntpRequest kind, quint16 code) {
  if (fEnded || c.finished) return;
  switch (kind) {
    case nntpConnected:
    case nntpReadyWaiting:
      if (code == 0)
        Next(c);
      else
        Reconnect(c);
      break;
    case nntpGroup:
      if (code == 0 || code == 411) {
        const bool missing = code != 0;
        if (missing) SetStatus(c, QString::fromLatin1(groupcounts::kNotOnServer));
        const int item = c.item;
        c.item = -1;
        c.tries = 0;
        const bool signal = missing ? fPool->Complete(item, -1, -1, -9)
                                    : fPool->Complete(item, c.client->ArticleFirst(), c.client->ArticleLast(),
                                                      c.client->ArticleEstimated());
        if (signal) emit ResultsReady();
        CheckAllDone();
        if (!fEnded) Next(c);
      } else {
        // Not an answer about the group (login wanted, server busy, connection
        // lost): the item goes back and the connection starts afresh.
        LogWarning(u"GROUP "_s + QString::fromLatin1(fPool->Group(c.item)) + u" failed: "_s + NntpErrorText(code));
        Reconnect(c);
      }
      break;
    case nntpQuit:
      break;
    default:
      Reconnect(c);
      break;
  }
}

void TGroupCountWorker::Next(TConnection& c) {
  if (c.item < 0) c.item = fPool->Take(c.server);
  if (c.item < 0) {
    Close(c, groupcounts::kConnectionClosed);
    return;
  }
  const QByteArray group = fPool->Group(c.item);
  SetStatus(c, u"Selecting \""_s + QString::fromUtf8(group) + u'"');
  if (!c.client->Group(group)) Reconnect(c);
}

void TGroupCountWorker::Reconnect(TConnection& c) {
  if (c.item >= 0) fPool->PutBack(c.item);
  c.item = -1;
  ++c.tries;
  SetStatus(c, c.tries == 1 ? QString::fromLatin1(groupcounts::kReconnecting)
                            : u"Reconnecting try #"_s + QString::number(c.tries));
  c.client->Disconnect();
  // The first attempt goes at once; later ones wait, so a server that keeps
  // refusing is not hammered.
  c.retry->start(c.tries == 1 ? 0 : fRetryDelayMs);
}

void TGroupCountWorker::Close(TConnection& c, const char* status) {
  c.finished = true;
  if (c.retry) c.retry->stop();
  if (c.client) {
    if (c.client->State() == nntpReady)
      c.client->Quit();
    else
      c.client->Disconnect();
  }
  SetStatus(c, QString::fromLatin1(status));
}

void TGroupCountWorker::CheckAllDone() {
  if (!fEnded && fPool->AllDone()) End(true);
}

void TGroupCountWorker::Abort() {
  if (fEnded) return;
  LogMessage(u"Message count retrieval aborted by the user"_s);
  for (auto& c : fConnections) {
    if (c->item >= 0) fPool->PutBack(c->item);
    c->item = -1;
    if (c->client) c->client->Disconnect();
  }
  End(false);
}

void TGroupCountWorker::End(bool success) {
  fEnded = true;
  for (auto& c : fConnections) {
    if (c->retry) c->retry->stop();
    if (!c->client) continue;
    disconnect(c->client, nullptr, this, nullptr);
    if (c->client->State() == nntpReady)
      c->client->Quit();
    else
      c->client->Disconnect();
  }
  emit Finished(success);
}
