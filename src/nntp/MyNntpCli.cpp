#include "nntp/MyNntpCli.h"

#include "app/Logger.h"

#include <QMetaMethod>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

TMyNntpCli::TMyNntpCli(QObject* parent) : TNntpCli(parent) {
  fSplitAtLf = true;
  fTimer = new QTimer(this);
  fTimer->setTimerType(Qt::CoarseTimer);
  connect(fTimer, &QTimer::timeout, this, &TMyNntpCli::Tick);
}

TMyNntpCli::~TMyNntpCli() {
  // Nobody may hear from a client that is going away.
  blockSignals(true);
  Disconnect();
}

void TMyNntpCli::SetTimeout(int seconds) { fTimeout = seconds < 0 ? 0 : seconds; }

bool TMyNntpCli::Connect() {
  LOG_METHOD("TMyNntpCli.Connect");
  // A connection left open is dropped without events before the new one.
  if (State() != nntpNotConnected || WSocket()->state() != QAbstractSocket::UnconnectedState) CloseSilently();
  fCurrentGroup.clear();
  fClosingRequest = TNntpRequest(0);
  return TNntpCli::Connect();
}

bool TMyNntpCli::Group(QByteArrayView name) {
  if (!TNntpCli::Group(name)) {
    fLastCommand = nntpGroup;
    return false;
  }
  fCurrentGroup = name.trimmed().toByteArray();
  return true;
}

bool TMyNntpCli::Quit() {
  fCurrentGroup.clear();
  if (!TNntpCli::Quit()) {
    fLastCommand = nntpQuit;
    return false;
  }
  fClosingRequest = nntpQuit;
  return true;
}

void TMyNntpCli::Abort() {
  fLastCommand = nntpAbort;
  fCurrentGroup.clear();
  fAborted = true;
  fTimer->stop();
  TNntpCli::Abort();
}

void TMyNntpCli::Disconnect() {
  LOG_METHOD("Disconnect");
  fClosingRequest = nntpAbort;
  fTimer->stop();
  CloseSilently();
  fCurrentGroup.clear();
  fAborted = true;
}

void TMyNntpCli::RequestStarted(TNntpRequest kind) {
  fLastCommand = kind;
  fAborted = false;
  fTimedOut = false;
  fActivity = false;
  if (fTimeout > 0)
    fTimer->start(fTimeout * 1000);
  else
    fTimer->stop();
}

void TMyNntpCli::RequestCompleted() { fTimer->stop(); }

void TMyNntpCli::DataReceived() { fActivity = true; }

void TMyNntpCli::PostBlockSent() { fActivity = true; }

void TMyNntpCli::Tick() {
  if (fActivity) {
    fActivity = false;
    return;
  }
  fTimer->stop();
  LogWarning(u"No data from "_s + Host() + u" for "_s + QString::number(fTimeout) + u" seconds during "_s +
             QString::fromLatin1(NntpRequestName(RequestType())) + u"; aborting"_s);
  fTimedOut = true;
  Abort();
}

void TMyNntpCli::DeliverRequestDone(TNntpRequest kind, quint16 errCode) {
  const bool failed = errCode != 0 || (State() != nntpReady && kind != nntpQuit && kind != nntpAbort);
  try {
    if (failed && isSignalConnected(QMetaMethod::fromSignal(&TMyNntpCli::OnError)))
      emit OnError(this, kind, errCode);
    else
      emit OnRequestDone(this, kind, errCode);
  } catch (...) {
    LogError(u"Exception raised by the completion handler of "_s + QString::fromLatin1(NntpRequestName(kind)));
  }
}
