#pragma once

#include "nntp/NntpCli.h"

class QTimer;

// The NNTP client the program's users derive from: lines end at LF, an
// inactivity time-out aborts a request whose server has gone silent, failures
// can go to a separate OnError event, and the operations never fail loudly.
//
// Time-out: starting a request (re)starts a periodic timer of Timeout()
// seconds; any received data or posted block marks activity. A tick without
// activity since the previous one aborts the request with TimedOut() set, so
// a silent server is given up after one to two periods while a slow but
// steady transfer goes on.
class TMyNntpCli : public TNntpCli {
  Q_OBJECT

 public:
  static constexpr int DEFAULT_TIMEOUT = 30;

  explicit TMyNntpCli(QObject* parent = nullptr);
  ~TMyNntpCli() override;

  bool Connect() override;
  bool Group(QByteArrayView name) override;
  bool Quit() override;
  void Abort() override;
  // Closes at once without any event: no OnSessionClosed, OnRequestDone or
  // OnError, not even for a completion queued before.
  void Disconnect();

  // Seconds; 0 turns the time-out off.
  int Timeout() const { return fTimeout; }
  void SetTimeout(int seconds);
  // For the owner's use.
  void* TagPointer1 = nullptr;
  void* TagPointer2 = nullptr;

  bool TimedOut() const { return fTimedOut; }
  // The group named in the last Group call; cleared by Connect, Quit, Abort and Disconnect.
  QByteArray CurrentGroup() const { return fCurrentGroup; }
  QByteArray LastRequest() const { return Request(); }
  // nntpQuit or nntpAbort when the program itself closed the connection.
  TNntpRequest ClosingRequest() const { return fClosingRequest; }
  TNntpRequest LastCommand() const { return fLastCommand; }
  // Set by Abort and Disconnect, cleared when a request starts.
  bool Aborted() const { return fAborted; }

 signals:
  // Receives failed completions instead of OnRequestDone when connected.
  void OnError(TNntpCli* Sender, TNntpRequest RqType, quint16 ErrCode);

 protected:
  void RequestStarted(TNntpRequest kind) override;
  void RequestCompleted() override;
  void DeliverRequestDone(TNntpRequest kind, quint16 errCode) override;
  void DataReceived() override;
  void PostBlockSent() override;

 private:
  void Tick();

  QTimer* fTimer = nullptr;
  int fTimeout = DEFAULT_TIMEOUT;
  bool fTimedOut = false;
  bool fActivity = false;
  bool fAborted = false;
  QByteArray fCurrentGroup;
  TNntpRequest fClosingRequest = TNntpRequest(0);
  TNntpRequest fLastCommand = nntpCustomCommand;
};
