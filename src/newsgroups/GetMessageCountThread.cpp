#include "newsgroups/GetMessageCountThread.h"

#include "app/Logger.h"
#include "nntp/ConfigureNntpClient.h"
#include "nntp/MyNntpCli.h"

using namespace Qt::StringLiterals;

// The session of one run, made on the thread so that its client belongs there.
class TMessageCountSession : public QObject {
 public:
  explicit TMessageCountSession(TGetMessageCountThread& owner) : fOwner(owner) {
    fClient = new TMyNntpCli(this);
    fClient->SetTimeout(owner.fTimeout);
    fClient->SetAutoAuthenticate(true);
    connect(fClient, &TNntpCli::OnRequestDone, this,
            [this](TNntpCli*, TNntpRequest kind, quint16 code) { RequestDone(kind, code); });
  }
  ~TMessageCountSession() override { fClient->Disconnect(); }

  void Start() {
    fIndex = 0;
    ConnectTo(0);
  }

  void End() {
    if (fClient->State() == nntpReady) fClient->Quit();
    fOwner.quit();
  }

 private:
  void ConnectTo(int index) {
    fServerName = fOwner.fEntries[index].server.Name();
    ConfigureNntpClient(*fClient, fOwner.fEntries[index].server);
    fConnecting = true;
    if (!fClient->Connect()) End();
  }

  void AskNext() {
    if (fOwner.fStop.load() || fIndex >= fOwner.fEntries.size()) {
      End();
      return;
    }
    const TNewsgroupEntry& entry = fOwner.fEntries[fIndex];
    if (!entry.server.NameEquals(fServerName)) {
      if (fClient->State() == nntpReady) fClient->Quit();
      fClient->Disconnect();
      ConnectTo(fIndex);
      return;
    }
    if (!fClient->Group(entry.name)) Lost();
  }

  void Lost() {
    // Once per entry the connection is opened again; a second loss ends the run.
    if (fReopened == fIndex) {
      End();
      return;
    }
    fReopened = fIndex;
    fClient->Disconnect();
    ConnectTo(fIndex);
  }

  void RequestDone(TNntpRequest kind, quint16 code) {
    if (fOwner.fStop.load()) {
      End();
      return;
    }
    if (fConnecting) {
      fConnecting = false;
      if (code != 0 || (kind != nntpConnected && kind != nntpReadyWaiting)) {
        LogWarning(u"Message counts: connecting to "_s + fServerName + u" failed: "_s + NntpErrorText(code));
        End();
        return;
      }
      AskNext();
      return;
    }
    if (kind != nntpGroup) {
      if (kind != nntpQuit) Lost();
      return;
    }
    if (code != 0 && code != 411 && (code < 100 || code > 599)) {
      Lost();
      return;
    }
    TNewsgroupEntry& entry = fOwner.fEntries[fIndex];
    if (code == 0) {
      entry.first = fClient->ArticleFirst();
      entry.last = fClient->ArticleLast();
      entry.estimated = fClient->ArticleEstimated();
    } else {
      entry.first = entry.last = -1;
      entry.estimated = code == 411 ? -9 : -1;
    }
    ++fIndex;
    emit fOwner.EntryDone(code == 0, entry, static_cast<int>(fOwner.fEntries.size()), fIndex);
    AskNext();
  }

  TGetMessageCountThread& fOwner;
  TMyNntpCli* fClient;
  QString fServerName;
  int fIndex = 0;
  int fReopened = -1;
  bool fConnecting = false;
};

TGetMessageCountThread::TGetMessageCountThread(const QList<TNewsgroupEntry>& entries, QObject* parent)
    : QThread(parent), fEntries(entries) {}

TGetMessageCountThread::~TGetMessageCountThread() {
  Stop();
  wait();
}

void TGetMessageCountThread::Stop() {
  fStop.store(true);
  quit();
}

void TGetMessageCountThread::run() {
  LOG_METHOD("TGetMessageCountThread.Execute");
  emit EntriesCounted(static_cast<int>(fEntries.size()));
  // Nothing to ask: no connection is opened at all.
  if (!fEntries.isEmpty() && !fStop.load()) {
    TMessageCountSession session(*this);
    session.Start();
    if (!fStop.load()) exec();
    session.End();
  }
  emit Completed();
}
