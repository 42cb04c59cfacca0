#include "binaries/DownloadManager.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/CheckThread.h"
#include "binaries/CompleteThread.h"
#include "binaries/DecodeThread.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/NewsCli.h"
#include "nntp/ConfigureNntpClient.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStorageInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr int kStallMs = 60000;
constexpr int kPulseMs = 100;

qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

TDownloadOptions Normalized(TDownloadOptions options) {
  options.decodeDir = WithTrailingSlash(options.decodeDir);
  return options;
}

QThread::Priority ThreadPriority(int value) {
  switch (value) {
    case 0: return QThread::IdlePriority;
    case 1: return QThread::LowestPriority;
    case 2: return QThread::LowPriority;
    case 4: return QThread::HighPriority;
    case 5: return QThread::HighestPriority;
    case 6: return QThread::TimeCriticalPriority;
    default: return QThread::NormalPriority;
  }
}

QString Text(QByteArrayView bytes) { return DisplayText(bytes); }
}  // namespace

TDownloadManager::TDownloadManager(TDownloadList& list, const TDownloadOptions& options,
                                   const std::atomic<int>* abortFlag, QObject* receiver)
    : fContext(list, Normalized(options), abortFlag, receiver) {}

TDownloadManager::~TDownloadManager() {
  if (fThread) {
    if (fThread->isRunning()) {
      LogError("The download manager is destroyed while its thread runs");
      fThread->quit();
      fThread->wait();
    }
    delete fThread;
  }
}

void TDownloadManager::AddServer(const TNewsServerEntry& server, int connections, bool allUnlimited) {
  auto s = std::make_unique<TDownloadServer>();
  s->entry = server;
  s->name = server.Name();
  s->fill = server.downloadLimit && !allUnlimited;
  s->index = static_cast<int>(fServers.size());
  for (int i = 0; i < connections; ++i) {
    auto c = std::make_unique<TDownloadConnection>();
    c->server = s.get();
    c->indexInServer = i;
    s->connections.push_back(c.get());
    fConnections.push_back(std::move(c));
  }
  fServers.push_back(std::move(s));
}

bool TDownloadManager::SetServers() {
  fPrimary.clear();
  fFill.clear();
  for (const auto& s : fServers) (s->fill ? fFill : fPrimary).push_back(s.get());
  if (fPrimary.empty()) {
    // Servers with a download limit are all there is: they serve as primary.
    for (TDownloadServer* s : fFill) s->fill = false;
    fPrimary.swap(fFill);
  }
  for (std::size_t i = 0; i < fPrimary.size(); ++i) fPrimary[i]->bitIndex = static_cast<int>(i);
  for (std::size_t i = 0; i < fFill.size(); ++i) fFill[i]->bitIndex = static_cast<int>(i);
  // Connections in view order: primary servers first.
  std::stable_sort(fConnections.begin(), fConnections.end(),
                   [](const auto& a, const auto& b) { return !a->server->fill && b->server->fill; });
  for (std::size_t i = 0; i < fConnections.size(); ++i) fConnections[i]->index = fConnections[i]->viewRow = static_cast<int>(i);
  return !fConnections.empty();
}

TNewsMessage* TDownloadManager::AddMessage(int entry) {
  try {
    auto m = std::make_unique<TNewsMessage>();
    m->entry = entry;
    m->item = &fContext.list.Entry(entry);
    m->item->work = m.get();
    fMainQueue.Add(m.get());
    fMessages.push_back(std::move(m));
    return fMessages.back().get();
  } catch (const std::exception&) {
    LogError("Exception raised creating new PNewsMessage record");
    return nullptr;
  }
}

void TDownloadManager::SetKnownKeys(const QSet<std::uint32_t>& keys) { fContext.knownKeys = keys; }

bool TDownloadManager::Resume() {
  if (fThread) return false;
  fThread = new QThread;
  fThread->setObjectName(u"DownloadManager"_s);
  moveToThread(fThread);
  connect(fThread, &QThread::started, this, &TDownloadManager::Initialize);
  fRunning = true;
  fThread->start();
  return true;
}

void TDownloadManager::Wake() { ScheduleTurn(); }

bool TDownloadManager::Wait(int timeoutMs) {
  if (!fThread) return true;
  return fThread->wait(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs));
}

bool TDownloadManager::IsRunning() const { return fRunning.load(); }

void TDownloadManager::DisableConnection(int connection) {
  QMetaObject::invokeMethod(this, [this, connection] {
    if (fEnded || connection < 0 || connection >= ConnectionCount()) return;
    TDownloadConnection* c = fConnections[static_cast<std::size_t>(connection)].get();
    if (c->disabled) return;
    c->disabled = true;
    if (!c->busy) StopConnection(c, CONNECTION_REASON_DISABLED);
  });
}

void TDownloadManager::EnableConnection(int connection) {
  QMetaObject::invokeMethod(this, [this, connection] {
    if (fEnded || connection < 0 || connection >= ConnectionCount()) return;
    TDownloadConnection* c = fConnections[static_cast<std::size_t>(connection)].get();
    if (!c->disabled || c->busy) return;
    c->disabled = false;
    c->dead = false;
    c->failures = 0;
    c->server->dead = false;
    c->busy = true;
    fStartQueue.Add(c);
    ScheduleTurn();
  });
}

// ---------------------------------------------------------------------------
// Session start and end (manager thread)

void TDownloadManager::Initialize() {
  LOG_METHOD("TDownloadManager.Initialize");
  fStopReason = DM_STOP_UNKNOWN;
  fLastWork = NowMs();
  fTotalTick = fLastWork;
  if (QFileInfo::exists(DownloadListFile(fContext.options.listPath, ".grouping")) &&
      !fContext.fileGroups.Load(fContext.options.listPath))
    LogError("Exception raised loading grouping file");
  fContext.stats.Load(DownloadListFile(fContext.options.listPath, ".stats"));

  fCheckThread = std::make_unique<TCheckThread>(fContext);
  fCompleteThread = std::make_unique<TCompleteThread>(fContext);
  fDecodeThread = std::make_unique<TDecodeThread>(fContext);
  fContext.checkedQueue.OnAdded = [this] { ScheduleTurn(); };
  fCheckThread->start();
  fCompleteThread->start();
  fDecodeThread->start(ThreadPriority(fContext.options.decodePriority));

  for (const auto& c : fConnections) {
    try {
      auto* client = new TNewsCli(c.get(), this);
      ConfigureNntpClient(*client, c->server->entry);
      client->SetAutoAuthenticate(false);
      client->SetTimeout(fContext.options.clientTimeout);
      connect(client, &TNntpCli::OnRequestDone, this, &TDownloadManager::OnRequestDone);
      connect(client, &TNntpCli::OnSessionClosed, this, &TDownloadManager::OnSessionClosed);
      client->OnData = [this](TNewsCli* sender) { OnRcvdData(sender); };
      c->client = client;
    } catch (const std::exception&) {
      LogError("Exception raised creating TNewsCli");
    }
  }

  auto* startup = new TDownloadStartupEvent;
  for (const auto& c : fConnections) startup->connections.append({c->server->name, c->server->fill});
  fContext.Post(startup);

  fPulse = new QTimer(this);
  fPulse->setInterval(kPulseMs);
  connect(fPulse, &QTimer::timeout, this, [this] {
    if (fEnded) return;
    if (NowMs() - fLastWork > kStallMs) {
      LogWarning("Download manager loop stalled");
      fLastWork = NowMs();
    }
    Turn();
  });
  fPulse->start();

  for (const auto& c : fConnections)
    if (!c->disabled && c->client) OpenConnection(c.get());
  ScheduleTurn();
}

void TDownloadManager::ScheduleTurn() {
  if (!fTurnPosted.exchange(true)) QMetaObject::invokeMethod(this, [this] { Turn(); }, Qt::QueuedConnection);
}

void TDownloadManager::Turn() {
  fTurnPosted = false;
  if (fEnded || CheckStop()) return;
  bool work = false;
  while (std::optional<TNewsMessage*> m = fFillQueue.Take()) {
    work = true;
    if (TDownloadServer* server = QueueOnFillServer(*m)) StartConnection(server);
  }
  while (std::optional<TNewsMessage*> m = fContext.checkedQueue.Take()) {
    work = true;
    const std::uint8_t status = (*m)->item->Status();
    if (status == DOWNLOAD_STATUS_VALID)
      fContext.completeQueue.Add(*m);
    else if (status == DOWNLOAD_STATUS_INVALID)
      Requeue(*m);
    // Any other status (the article could not be stored): nothing more to do.
  }
  while (std::optional<TDownloadConnection*> next = fStartQueue.Take()) {
    work = true;
    TDownloadConnection* c = *next;
    if (c->reconnectPending) continue;
    if (c->disabled || !c->client) {
      c->busy = false;
      continue;
    }
    if (c->client->State() == nntpReady)
      FetchNext(c);
    else if (c->client->State() == nntpNotConnected)
      OpenConnection(c);
    // A connection on its way up fetches when it is ready.
  }
  if (work) fLastWork = NowMs();
  CheckStop();
}

bool TDownloadManager::CheckStop() {
  if (fEnded) return true;
  TDownloadStopReason reason = DM_STOP_UNKNOWN;
  if (fContext.Aborted())
    reason = DM_STOP_ABORTED;
  else if (fFreeSpaceStop)
    reason = DM_STOP_FREE_SPACE;
  else if (QThread::currentThread()->isInterruptionRequested())
    reason = DM_STOP_TERMINATED;
  else if (SessionComplete())
    reason = DM_STOP_COMPLETED;
  if (reason == DM_STOP_UNKNOWN) return false;
  // Finish closes clients: never inside one of their own events.
  fEnded = true;
  QMetaObject::invokeMethod(this, [this, reason] { Finish(reason); }, Qt::QueuedConnection);
  return true;
}

bool TDownloadManager::SessionComplete() {
  // Records only move downstream (check, checked, complete, decode), so the
  // stages are looked at upstream first: a record passed on meanwhile is
  // seen further down instead of slipping between two looks.
  if (!fCheckThread->Idle() || !fContext.checkedQueue.IsEmpty()) return false;
  if (!fCompleteThread->Idle() || !fDecodeThread->Idle()) return false;
  if (!fFillQueue.IsEmpty() || !fStartQueue.IsEmpty()) return false;
  if (!fMainQueue.IsEmpty()) return false;
  for (const auto& c : fConnections)
    if (c->busy) return false;
  std::lock_guard lock(fFillLock);
  for (TDownloadServer* s : fFill)
    if (!s->fillList.empty()) return false;
  return true;
}

void TDownloadManager::Finish(TDownloadStopReason reason) {
  LOG_METHOD("TDownloadManager.Finish");
  fEnded = true;
  fStopReason = reason;
  LogMessage(DownloadStopText(reason));
  if (fPulse) fPulse->stop();
  // The workers end before anybody touches the entries and records again.
  for (TDownloadWorker* worker : {static_cast<TDownloadWorker*>(fCheckThread.get()),
                                  static_cast<TDownloadWorker*>(fCompleteThread.get()),
                                  static_cast<TDownloadWorker*>(fDecodeThread.get())}) {
    if (!worker) continue;
    worker->Stop();
    worker->wait();
  }
  for (const auto& c : fConnections) {
    if (!c->client) continue;
    c->client->disconnect(this);
    c->client->OnData = nullptr;
    c->client->Disconnect();
    delete c->client;
    c->client = nullptr;
    if (c->message && c->message->stream) {
      fContext.streams.Return(c->message->stream);
      c->message->stream = nullptr;
    }
    c->busy = false;
  }
  fContext.Post(new TDownloadEndEvent(reason));
  fRunning = false;
  fThread->quit();
}

// ---------------------------------------------------------------------------
// Connection events (manager thread)

void TDownloadManager::OnRequestDone(TNntpCli* sender, TNntpRequest kind, quint16 error) {
  auto* client = static_cast<TNewsCli*>(sender);
  TDownloadConnection* c = client->Connection();
  if (fEnded || c->reconnectPending) return;
  LogDebug(QString::asprintf("NewsCliRequestDone (Request: %s, Error: %d)", NntpRequestName(kind), int(error)));
  try {
    if (fContext.Aborted()) {
      LogMessage("Aborted on user request");
      CloseConnection(c);
    } else if (client->Aborted() && !client->TimedOut()) {
      LogWarning(QString::asprintf("Request has been aborted with error code %d", int(error)));
      HandleError(c, kind, 205);
    } else if (error != 0) {
      LogWarning(QString::asprintf("Error %d received", int(error)));
      HandleError(c, kind, error);
    } else if (client->TimedOut()) {
      LogWarning("Request timed-out");
      HandleError(c, kind, 0);
    } else if (client->State() == nntpReady || kind == nntpQuit || kind == nntpAbort) {
      switch (kind) {
        case nntpGroup:
          if (c->message) {
            client->newsgroup = fContext.list.Newsgroup(c->message->item->newsgroup);
            RequestArticle(c);
          }
          break;
        case nntpArticleByNumber:
        case nntpArticleByID:
          ArticleReceived(c);
          break;
        case nntpAuthenticate:
          client->newsgroup.clear();
          FetchNext(c);
          break;
        case nntpReadyWaiting:
          FetchNext(c);
          break;
        case nntpConnected:
          client->newsgroup.clear();
          if (!client->UserName().isEmpty())
            client->Authenticate();
          else
            FetchNext(c);
          break;
        default:
          LogWarning(QString::asprintf("Unknown request %d received", int(kind)));
          break;
      }
    } else {
      LogError("Unknown request error");
      HandleError(c, kind, error);
    }
  } catch (const std::exception&) {
    LogError("Exception raised handling request");
  }
  ScheduleTurn();
}

void TDownloadManager::OnSessionClosed(TNntpCli* sender, quint16 error) {
  auto* client = static_cast<TNewsCli*>(sender);
  TDownloadConnection* c = client->Connection();
  if (fEnded || c->reconnectPending || fContext.Aborted()) return;
  if (client->ClosingRequest() == nntpQuit || client->ClosingRequest() == nntpAbort) return;
  LogWarning(u"Disconnected without cause with error "_s + QString::number(error) + u" and lastresponse \""_s +
             QString::fromLatin1(client->LastResponse()) + u'"');
  HandleError(c, client->RequestType(), 205);
  ScheduleTurn();
}

void TDownloadManager::OnRcvdData(TNntpCli* sender) {
  TDownloadConnection* c = static_cast<TNewsCli*>(sender)->Connection();
  if (!c->receiving || !c->message) return;
  if (c->message->item->Status() == DOWNLOAD_STATUS_REQUESTING) {
    c->message->item->SetStatus(DOWNLOAD_STATUS_DOWNLOADING);
    fContext.PostMessageStatus(DM_DOWNLOAD_STARTED, c->message->entry);
  }
  const qint64 now = sender->RequestBytes();
  const qint64 delta = now - c->messageBytes;
  if (delta > 0) {
    c->messageBytes = now;
    c->bytes += delta;
    fTotalBytes += delta;
  }
  SampleSpeed(c);
}

void TDownloadManager::HandleError(TDownloadConnection* c, TNntpRequest kind, quint16 error) {
  LogWarning(QString::asprintf("NewsCliError (Request: %s, Error: %d)", NntpRequestName(kind), int(error)));
  TNewsCli* client = c->client;
  if (kind == nntpConnecting) {
    ReleaseMessage(c, false);
    c->reason = CONNECTION_REASON_ERROR;
    Reconnect(c);
    return;
  }
  const bool connected = client && client->State() != nntpNotConnected;
  if (error == 205 || error == 503 || !connected) {
    // Not the server's fault that the article did not come: try again elsewhere or here.
    ReleaseMessage(c, false);
    c->reason = CONNECTION_REASON_TIMEOUT;
    Reconnect(c);
    return;
  }
  switch (kind) {
    case nntpArticleByNumber:
    case nntpArticleByID:
      if (c->message) {
        ReleaseMessage(c, true);
        c->failures = 0;  // the server answers; it just lacks the article
        if (c->disabled)
          StopConnection(c, CONNECTION_REASON_DISABLED);
        else
          FetchNext(c);
      } else {
        c->busy = false;
        Report(c, DM_CONNECTED_IDLE, u"Connected and waiting for action..."_s);
      }
      break;
    case nntpAuthenticate:
    case nntpReadyWaiting:
      ReleaseMessage(c, false);
      c->reason = CONNECTION_REASON_AUTHENTICATION;
      if (fContext.options.authenticationErrorAction == 2) {
        CloseConnection(c);
        c->dead = true;
        StopConnection(c, CONNECTION_REASON_AUTHENTICATION);
      } else {
        Reconnect(c);
      }
      break;
    case nntpGroup:
      // A server without the group may still have the article by its identifier.
      LogWarning(u"Cannot enter newsgroup on "_s + c->server->name + u"; requesting by message-id"_s);
      if (c->message)
        RequestArticle(c);
      else
        FetchNext(c);
      break;
    default:
      LogError(QString::asprintf("Unknow error, request: %d, error: %d", int(kind), int(error)));
      ReleaseMessage(c, false);
      c->reason = CONNECTION_REASON_ERROR;
      Reconnect(c);
      break;
  }
}

void TDownloadManager::ReleaseMessage(TDownloadConnection* c, bool markTried) {
  TNewsMessage* m = c->message;
  c->receiving = false;
  if (!m) return;
  c->message = nullptr;
  if (m->stream) {
    fContext.streams.Return(m->stream);
    m->stream = nullptr;
  }
  if (markTried) MarkTried(m, c->server);
  Requeue(m);
}

void TDownloadManager::FetchNext(TDownloadConnection* c) {
  TDownloadServer* s = c->server;
  for (;;) {
    if (fFreeSpaceStop || fContext.Aborted()) {
      c->busy = false;
      return;
    }
    TNewsMessage* m = s->fill ? TakeFromFillList(s) : TakeFromMainQueue(s);
    if (!m) {
      if (s->fill) {
        c->busy = false;
        Report(c, DM_CONNECTED_IDLE, u"Connected and waiting for action..."_s);
      } else {
        CloseConnection(c);
        StopConnection(c, CONNECTION_REASON_TASK_COMPLETE);
      }
      return;
    }
    if (QFileInfo(fContext.MessageFilePath(*m->item)).size() > 0) {
      // Stored by an earlier session: no need to fetch it again. An empty
      // one (what a power cut can leave of a file renamed just before) is
      // fetched again and replaced.
      m->item->SetStatus(DOWNLOAD_STATUS_VALID);
      m->flags &= static_cast<std::uint8_t>(~TNewsMessage::FLAG_TAKEN);
      fContext.SetOutcome(m, TNewsMessage::OUTCOME_STORED);
      fContext.checkedQueue.Add(m);
      continue;
    }
    c->busy = true;
    c->message = m;
    m->item->SetStatus(DOWNLOAD_STATUS_REQUESTING);
    m->stream = fContext.streams.Take();
    m->stream->Reset();
    c->messageBytes = 0;
    c->lines = 0;
    c->receiving = true;
    ++c->requested;
    const QByteArray group = fContext.list.Newsgroup(m->item->newsgroup);
    if (fContext.options.alwaysEnterGroup && !group.isEmpty() && c->client->newsgroup != group) {
      Report(c, DM_ENTERING_GROUP, u"Entering newsgroup..."_s);
      if (!c->client->Group(group)) RequestArticle(c);
    } else {
      RequestArticle(c);
    }
    return;
  }
}

void TDownloadManager::RequestArticle(TDownloadConnection* c) {
  TNewsMessage* m = c->message;
  const TDownloadEntry& e = *m->item;
  Report(c, DM_REQUESTING, u"Downloading message - \""_s + Text(e.subject.left(100)) + u'"');
  fContext.PostMessageStatus(DM_DOWNLOAD_STARTED, m->entry);
  const bool byNumber = fContext.options.alwaysEnterGroup && e.articleNumber != 0 &&
                        c->client->newsgroup == fContext.list.Newsgroup(e.newsgroup);
  const bool started =
      byNumber ? c->client->ArticleByNumber(e.articleNumber, m->stream) : c->client->ArticleByID(e.messageId, m->stream);
  if (!started) {
    LogWarning(u"Cannot request the article: "_s + c->client->StartError());
    HandleError(c, byNumber ? nntpArticleByNumber : nntpArticleByID, 205);
  }
}

void TDownloadManager::ArticleReceived(TDownloadConnection* c) {
  TNewsMessage* m = c->message;
  if (!m) {
    FetchNext(c);
    return;
  }
  CheckFreeSpace();
  ++c->downloaded;
  const qint64 delta = c->client->RequestBytes() - c->messageBytes;
  if (delta > 0) {
    c->bytes += delta;
    fTotalBytes += delta;
  }
  c->message = nullptr;
  c->receiving = false;
  c->failures = 0;
  MarkTried(m, c->server);
  c->lines = m->item->lines;
  ReportCounters(c);
  fContext.PostMessageStatus(DM_ARTICLE_RECEIVED, m->entry, m->stream->size());
  m->item->SetStatus(DOWNLOAD_STATUS_WAIT_CHECK);
  fContext.checkQueue.Add(m);
  fLastWork = NowMs();
  if (c->disabled) {
    CloseConnection(c);
    StopConnection(c, CONNECTION_REASON_DISABLED);
  } else {
    FetchNext(c);
  }
}

void TDownloadManager::OpenConnection(TDownloadConnection* c) {
  c->reconnectPending = false;
  c->busy = true;
  c->client->newsgroup.clear();
  Report(c, DM_CONNECTING, u"Connecting to server..."_s);
  if (!c->client->Connect()) {
    LogError(u"Cannot connect to "_s + c->server->name + u": "_s + c->client->StartError());
    c->reason = CONNECTION_REASON_ERROR;
    Reconnect(c);
  }
}

void TDownloadManager::CloseConnection(TDownloadConnection* c) {
  if (c->client) c->client->Disconnect();
}

void TDownloadManager::Reconnect(TDownloadConnection* c) {
  ++c->reconnects;
  CloseConnection(c);
  if (c->reason != CONNECTION_REASON_NONE) ++c->failures;
  if (c->failures >= fContext.options.maxFailures) {
    GiveUp(c);
    return;
  }
  const bool fill = c->server->fill;
  bool work;
  if (fill) {
    std::lock_guard lock(fFillLock);
    work = !c->server->fillList.empty();
  } else {
    work = !fMainQueue.IsEmpty();
  }
  if (!work) {
    StopConnection(c, CONNECTION_REASON_TASK_COMPLETE);
    return;
  }
  c->client->newsgroup.clear();
  Report(c, DM_RECONNECTING, ReconnectText(c->reason, c->reconnects));
  // The first retry is at once (a dropped connection); a server that keeps
  // failing is asked again less and less often.
  const int delay = c->failures <= 1 ? 0 : std::min(250 << (c->failures - 2), 4000);
  c->reconnectPending = true;
  c->busy = true;
  QTimer::singleShot(delay, this, [this, c] {
    if (!fEnded && c->reconnectPending && c->client) OpenConnection(c);
  });
}

void TDownloadManager::StopConnection(TDownloadConnection* c, TConnectionReason reason) {
  CloseConnection(c);
  c->busy = false;
  c->disabled = true;
  c->reason = reason;
  c->reconnectPending = false;
  Report(c, DM_CONNECTION_STOPPED, StopText(reason));
  if (reason == CONNECTION_REASON_TASK_COMPLETE || reason == CONNECTION_REASON_DISABLED) return;
  // A server left without a usable connection can serve nothing more.
  TDownloadServer* s = c->server;
  for (TDownloadConnection* other : s->connections)
    if (!other->dead) return;
  ServerGone(s);
}

void TDownloadManager::GiveUp(TDownloadConnection* c) {
  LogError(u"Giving up connection "_s + QString::number(c->indexInServer + 1) + u" to "_s + c->server->name +
           u" after "_s + QString::number(c->failures) + u" failures"_s);
  ReleaseMessage(c, false);
  c->dead = true;
  StopConnection(c, CONNECTION_REASON_ERROR);
}

void TDownloadManager::ServerGone(TDownloadServer* server) {
  if (server->dead) return;
  LogError(u"No connection to "_s + server->name + u" is left; its articles go to the other servers"_s);
  server->dead = true;
  if (server->fill) {
    std::deque<TNewsMessage*> waiting;
    {
      std::lock_guard lock(fFillLock);
      waiting.swap(server->fillList);
    }
    for (TNewsMessage* m : waiting) {
      EnsureBits(m);
      m->fillBits->Set(server->bitIndex);
      fFillQueue.Add(m);
    }
  } else {
    std::vector<TNewsMessage*> toFill;
    std::vector<TDownloadServer*> toStart;
    fMainQueue.Locked([&](std::deque<TNewsMessage*>& items) {
      for (auto it = items.begin(); it != items.end();) {
        TNewsMessage* m = *it;
        EnsureBits(m);
        m->primaryBits->Set(server->bitIndex);
        if (StaysForPrimary(m, toStart)) {
          ++it;
        } else {
          toFill.push_back(m);
          it = items.erase(it);
        }
      }
    });
    for (TNewsMessage* m : toFill) fFillQueue.Add(m);
    for (TDownloadServer* s : toStart) StartConnection(s);
  }
  ScheduleTurn();
}

// ---------------------------------------------------------------------------
// Assigning articles to servers

void TDownloadManager::EnsureBits(TNewsMessage* m) {
  if (!m->primaryBits) {
    m->primaryBits = fContext.primaryBits.Take();
    m->primaryBits->SetSize(static_cast<int>(fPrimary.size()));
  }
  if (!m->fillBits) {
    m->fillBits = fContext.fillBits.Take();
    m->fillBits->SetSize(static_cast<int>(fFill.size()));
  }
}

TDownloadServer* TDownloadManager::FirstUntried(TNewsMessage* m, bool fill) {
  EnsureBits(m);
  TMyBits* bits = fill ? m->fillBits : m->primaryBits;
  const std::vector<TDownloadServer*>& servers = fill ? fFill : fPrimary;
  for (TDownloadServer* s : servers) {
    if (bits->Test(s->bitIndex)) continue;
    if (s->dead) {
      bits->Set(s->bitIndex);
      continue;
    }
    return s;
  }
  return nullptr;
}

void TDownloadManager::MarkTried(TNewsMessage* m, TDownloadServer* server) {
  EnsureBits(m);
  if (m->flags & TNewsMessage::FLAG_FILL)
    m->fillBits->Set(server->bitIndex);
  else
    m->primaryBits->Set(server->bitIndex);
}

// A queued article that some primary server has not tried yet stays in the
// main queue, and that server's connections are noted to be started; one
// every primary has tried goes to the fill servers (false).
bool TDownloadManager::StaysForPrimary(TNewsMessage* m, std::vector<TDownloadServer*>& toStart) {
  TDownloadServer* next = FirstUntried(m, false);
  if (!next) return false;
  if (std::find(toStart.begin(), toStart.end(), next) == toStart.end()) toStart.push_back(next);
  return true;
}

TNewsMessage* TDownloadManager::TakeFromMainQueue(TDownloadServer* server) {
  TNewsMessage* taken = nullptr;
  std::vector<TNewsMessage*> toFill;
  std::vector<TDownloadServer*> toStart;
  fMainQueue.Locked([&](std::deque<TNewsMessage*>& items) {
    for (auto it = items.begin(); it != items.end();) {
      TNewsMessage* m = *it;
      EnsureBits(m);
      if (!m->primaryBits->Test(server->bitIndex)) {
        taken = m;
        items.erase(it);
        return;
      }
      if (StaysForPrimary(m, toStart)) {
        ++it;
      } else {
        toFill.push_back(m);
        it = items.erase(it);
      }
    }
  });
  for (TNewsMessage* m : toFill) fFillQueue.Add(m);
  for (TDownloadServer* s : toStart) StartConnection(s);
  if (!toFill.empty()) ScheduleTurn();
  if (taken) {
    taken->server = server;
    taken->flags = static_cast<std::uint8_t>((taken->flags & ~TNewsMessage::FLAG_FILL) | TNewsMessage::FLAG_TAKEN);
  }
  return taken;
}

TNewsMessage* TDownloadManager::TakeFromFillList(TDownloadServer* server) {
  std::vector<TNewsMessage*> invalid;
  TNewsMessage* taken = nullptr;
  {
    std::lock_guard lock(fFillLock);
    auto& list = server->fillList;
    while (!list.empty() && !taken) {
      TNewsMessage* m = list.front();
      list.pop_front();
      if (m->item->Status() != DOWNLOAD_STATUS_PENDING) continue;
      EnsureBits(m);
      if (m->fillBits->Test(server->bitIndex))
        invalid.push_back(m);
      else
        taken = m;
    }
  }
  for (TNewsMessage* m : invalid) {
    fContext.SetPostStatus(m->entry, DOWNLOAD_STATUS_INVALID, true);
    fContext.SetOutcome(m, TNewsMessage::OUTCOME_FAILED);
    fContext.PostMessageStatus(DM_NOT_SERVED, m->entry);
  }
  if (taken) {
    taken->server = server;
    taken->flags |= TNewsMessage::FLAG_FILL | TNewsMessage::FLAG_TAKEN;
  }
  return taken;
}

void TDownloadManager::Requeue(TNewsMessage* m) {
  if (m->stream) {
    fContext.streams.Return(m->stream);
    m->stream = nullptr;
  }
  m->flags &= static_cast<std::uint8_t>(~TNewsMessage::FLAG_TAKEN);
  if (TDownloadServer* next = FirstUntried(m, false)) {
    m->item->SetStatus(DOWNLOAD_STATUS_PENDING);
    fMainQueue.AddFront(m);
    StartConnection(next);
  } else if (FirstUntried(m, true)) {
    m->item->SetStatus(DOWNLOAD_STATUS_PENDING);
    fFillQueue.Add(m);
    ScheduleTurn();
  } else {
    m->item->SetStatus(DOWNLOAD_STATUS_UNAVAILABLE);
    LogWarning(u"Article <"_s + Text(m->item->messageId) + u"> is not available on any server"_s);
    fContext.SetOutcome(m, TNewsMessage::OUTCOME_FAILED);
    fContext.PostMessageStatus(DM_NOT_SERVED, m->entry);
  }
}

TDownloadServer* TDownloadManager::QueueOnFillServer(TNewsMessage* m) {
  if (TDownloadServer* server = FirstUntried(m, true)) {
    std::lock_guard lock(fFillLock);
    server->fillList.push_back(m);
    return server;
  }
  m->item->SetStatus(DOWNLOAD_STATUS_UNAVAILABLE);
  LogWarning(u"Article <"_s + Text(m->item->messageId) + u"> is not available on any server"_s);
  fContext.SetOutcome(m, TNewsMessage::OUTCOME_FAILED);
  fContext.PostMessageStatus(DM_NOT_SERVED, m->entry);
  return nullptr;
}

void TDownloadManager::StartConnection(TDownloadServer* server) {
  if (server->dead) return;
  for (TDownloadConnection* c : server->connections) {
    if (!c->busy && !c->disabled) {
      c->busy = true;
      fStartQueue.Add(c);
      ScheduleTurn();
      return;
    }
  }
  for (TDownloadConnection* c : server->connections)
    if (c->busy) return;  // a busy connection takes the work when it is done
  // Every connection finished its task earlier: bring one back for the new work.
  for (TDownloadConnection* c : server->connections) {
    if (c->disabled && c->reason == CONNECTION_REASON_TASK_COMPLETE && !c->dead) {
      c->disabled = false;
      c->reason = CONNECTION_REASON_NONE;
      c->busy = true;
      fStartQueue.Add(c);
      ScheduleTurn();
      return;
    }
  }
}

void TDownloadManager::CheckFreeSpace() {
  if (fContext.options.freeSpaceThresholdMB <= 0) return;
  const QString& dir = fContext.options.decodeDir;
  if (!QFileInfo::exists(dir)) {
    if (!fSavePathMissingLogged) LogWarning(u"Savepath \""_s + dir + u"\" does not exists"_s);
    fSavePathMissingLogged = true;
    return;
  }
  const QStorageInfo storage(dir);
  if (storage.isValid() && storage.bytesAvailable() >= 0 &&
      storage.bytesAvailable() < qint64(fContext.options.freeSpaceThresholdMB) * 1024 * 1024)
    fFreeSpaceStop = true;
}

// ---------------------------------------------------------------------------
// Reports

void TDownloadManager::Report(TDownloadConnection* c, int subCode, const QString& text) {
  auto* event = new TDownloadEvent(WM_DM_CONNECTION_STATUS, TDownloadSubCode(subCode));
  event->connection = c->index;
  event->entry = c->message ? c->message->entry : -1;
  event->text = text;
  event->bytes = c->bytes;
  event->speed = c->speed;
  event->requested = c->requested;
  event->downloaded = c->downloaded;
  event->reconnects = c->reconnects;
  event->totalBytes = fTotalBytes.load();
  event->totalSpeed = fSpeed.load();
  fContext.Post(event);
}

void TDownloadManager::ReportCounters(TDownloadConnection* c) { Report(c, DM_COUNTERS); }

void TDownloadManager::SampleSpeed(TDownloadConnection* c) {
  const qint64 now = NowMs();
  if (now - c->lastTick >= 1000) {
    if (c->lastTick > 0) c->speed = 1000.0 / double(now - c->lastTick) * double(c->bytes - c->lastSnapshot);
    c->lastSnapshot = c->bytes;
    c->lastTick = now;
    ReportCounters(c);
  }
  if (now - fTotalTick >= 1000) {
    const qint64 total = fTotalBytes.load();
    fSpeed = 1000.0 / double(now - fTotalTick) * double(total - fTotalSnapshot);
    fTotalSnapshot = total;
    fTotalTick = now;
  }
}
