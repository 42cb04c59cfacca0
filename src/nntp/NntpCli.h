#pragma once

#include "nntp/NntpTypes.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <atomic>
#include <memory>

class QHostInfo;
class QIODevice;
class QSslError;
class QSslSocket;
class QTcpSocket;

// An event-driven NNTP client: one command at a time over one TCP (or TLS)
// connection. Every operation returns at once; its completion arrives once,
// through OnRequestDone, queued to the client's own thread after the socket
// event that finished it. The client lives on the thread that created it and
// needs that thread's event loop.
//
// Replies are read in large chunks and split into lines in place: a line is
// handed to the destination stream and to the line events without being
// copied. LastResponse() gives at most 4096 bytes of the current line; the
// whole line (up to LineLimit bytes) is Line() during the line events and
// always reaches the destination stream. A line longer than LineLimit ends
// the request with NNTP_ERR_LINE_TOO_LONG and closes the connection: it is
// never cut or dropped silently.
//
// Completion codes: 0 for success, the server's status code (100-599) for a
// refusal, NNTP_ERR_* (NntpTypes.h) for everything else. A connection that
// ends in the middle of a request reports NNTP_ERR_CONNECTION_CLOSED, never 0,
// so a cut-off article cannot pass for a whole one (QUIT excepted).
//
// Where an operation cannot start (wrong state) it returns false and
// StartError() tells why ("Not ready for GROUP", "Already connected").
// A destination stream must live until the request has completed.
class TNntpCli : public QObject {
  Q_OBJECT

 public:
  static constexpr qsizetype LAST_RESPONSE_SIZE = 4160;
  static constexpr qsizetype LAST_RESPONSE_TAKEN = 4096;
  static constexpr qsizetype POST_BLOCK_SIZE = 65536;
  static constexpr int DEFAULT_LINE_LIMIT = 65536;
  static constexpr int INITIAL_STATUS_CODE = 503;

  explicit TNntpCli(QObject* parent = nullptr);
  ~TNntpCli() override;
  TNntpCli(const TNntpCli&) = delete;
  TNntpCli& operator=(const TNntpCli&) = delete;

  // Operations. Each returns false (with StartError()) when it cannot start.
  virtual bool Connect();
  virtual bool Group(QByteArrayView name);
  virtual bool ArticleByNumber(qint64 number, QIODevice* stream);
  virtual bool BodyByNumber(qint64 number, QIODevice* stream);
  virtual bool HeadByNumber(qint64 number, QIODevice* stream);
  virtual bool StatByNumber(qint64 number);
  // Message-ids are given without angle brackets (a surrounding pair is tolerated).
  virtual bool ArticleByID(QByteArrayView id, QIODevice* stream);
  virtual bool BodyByID(QByteArrayView id, QIODevice* stream);
  virtual bool HeadByID(QByteArrayView id, QIODevice* stream);
  virtual bool StatByID(QByteArrayView id);
  virtual bool Next();
  virtual bool Last();
  virtual bool List(QIODevice* stream);
  virtual bool Help(QIODevice* stream);
  // Posts the stream's bytes unchanged: the caller supplies dot-stuffed text.
  virtual bool Post(QIODevice* stream);
  // An invalid `when` means now. With gmt the time is sent in UTC and marked "GMT".
  virtual bool NewGroups(const QDateTime& when, bool gmt, QByteArrayView distributions, QIODevice* stream);
  virtual bool NewNews(QByteArrayView groups, const QDateTime& when, bool gmt, QByteArrayView distributions,
                       QIODevice* stream);
  virtual bool XOver(QByteArrayView range, QIODevice* stream);
  virtual bool XHdr(QIODevice* stream, QByteArrayView header, QByteArrayView range = {});
  virtual bool XPat(QIODevice* stream, QByteArrayView header, QByteArrayView range, QByteArrayView pattern);
  virtual bool ListOverViewFmt(QIODevice* stream);
  virtual bool ListMotd(QIODevice* stream);
  virtual bool ListNewsgroups(QIODevice* stream, QByteArrayView wildmat = {});
  virtual bool Date();
  virtual bool ModeReader();
  virtual bool Authenticate();
  virtual bool Quit();
  // Closes at once and reports nntpAbort with 0; allowed in any state.
  virtual void Abort();

  // Why the last operation could not start.
  QString StartError() const { return fStartError; }

  // Properties.
  // A QTcpSocket, or a QSslSocket when the connection uses TLS.
  QTcpSocket* WSocket() const { return fSocket; }
  bool IsEncrypted() const;
  TNntpState State() const { return fState; }
  QString Host() const { return fHost; }
  void SetHost(const QString& host) { fHost = host; }
  // Free for the owner; the client never fills it.
  QString ErrorMessage() const { return fErrorMessage; }
  void SetErrorMessage(const QString& text) { fErrorMessage = text; }
  int StatusCode() const { return fStatusCode; }
  bool PostingPermited() const { return fPostingPermited; }
  qint64 ArticleEstimated() const { return fArticleEstimated; }
  qint64 ArticleFirst() const { return fArticleFirst; }
  qint64 ArticleLast() const { return fArticleLast; }
  qint64 ArticleNumber() const { return fArticleNumber; }
  QByteArray ArticleID() const { return fArticleID; }
  // From the last DATE reply (UTC); invalid when not set.
  QDateTime ServerDate() const { return fServerDate; }
  QString UserName() const { return fUserName; }
  void SetUserName(const QString& name) { fUserName = name; }
  QString PassWord() const { return fPassWord; }
  void SetPassWord(const QString& password) { fPassWord = password; }
  // A service name ("nntp", "nntps") or a number.
  QString Port() const { return fPort; }
  void SetPort(const QString& port) { fPort = port; }
  int LineLimit() const { return fLineLimit; }
  void SetLineLimit(int limit);
  QByteArray GroupName() const { return fGroupName; }
  bool AutoAuthenticate() const { return fAutoAuthenticate; }
  void SetAutoAuthenticate(bool on) { fAutoAuthenticate = on; }
  // The last command line sent, without its line end (a password shows as "****").
  QByteArray Request() const { return fRequest; }
  qsizetype LastResponseLength() const { return fLastResponseLength; }

  // TLS. The server's certificate is verified against the system store; a
  // failure completes the connect with NNTP_ERR_TLS_UNTRUSTED, and then
  // PeerCertificateFingerprint() and TlsErrorText() tell what was presented
  // and why it was refused. A certificate the user accepted is passed back
  // (SHA-256, raw or hex) with SetAcceptedCertificate.
  TNntpTlsMode TlsMode() const { return fTlsMode; }
  void SetTlsMode(TNntpTlsMode mode) { fTlsMode = mode; }
  QByteArray AcceptedCertificate() const { return fAcceptedCertificate; }
  // False (and nothing accepted) when the text is not a SHA-256 digest.
  bool SetAcceptedCertificate(QByteArrayView sha256);
  QByteArray PeerCertificateFingerprint() const { return fPeerFingerprint; }
  // The certificate the server presented (null before TLS), for showing it.
  QSslCertificate PeerCertificate() const { return fPeerCertificate; }
  QString TlsErrorText() const { return fTlsErrorText; }

  // The last received line: at most LAST_RESPONSE_TAKEN bytes. During line
  // events it points into the receive buffer; afterwards it is a zero-terminated
  // copy. LastResponseLength() and Line() give the whole line's length.
  QByteArrayView LastResponse() const {
    return QByteArrayView(fLinePtr, fLineLen < LAST_RESPONSE_TAKEN ? fLineLen : LAST_RESPONSE_TAKEN);
  }
  // The whole current line (dot-unstuffed in multi-line replies); valid
  // during the line events only.
  QByteArrayView Line() const { return QByteArrayView(fLinePtr, fLineLen); }
  quint64 BytesSent() const { return fBytesSent; }
  quint64 BytesReceived() const { return fBytesReceived; }
  // Bytes received since the last ARTICLE, BODY, HEAD or STAT started.
  qint64 RequestBytes() const { return fRequestBytes; }
  // The kind of the current (or last) request and whether it has been reported.
  TNntpRequest RequestType() const { return fRequestType; }
  bool RequestDone() const { return fRequestDone; }

 signals:
  void OnSessionConnected(TNntpCli* Sender, quint16 ErrCode);
  void OnSessionClosed(TNntpCli* Sender, quint16 ErrCode);
  void OnDataAvailable(TNntpCli* Sender, quint16 ErrCode);
  // The one completion event; ErrCode 0 is success.
  void OnRequestDone(TNntpCli* Sender, TNntpRequest RqType, quint16 ErrCode);
  // Every received line. The view is valid during the call only.
  void OnDisplay(TNntpCli* Sender, QByteArrayView Msg);
  void OnMessageBegin(TNntpCli* Sender);
  void OnMessageLine(TNntpCli* Sender);
  void OnMessageEnd(TNntpCli* Sender);
  void OnXHdrBegin(TNntpCli* Sender);
  void OnXHdrLine(TNntpCli* Sender);
  void OnXHdrEnd(TNntpCli* Sender);
  void OnStateChange(TNntpCli* Sender);
  void OnSendData(TNntpCli* Sender);
  void OnRcvdData(TNntpCli* Sender);
  // Each block written while posting; valid during the call only.
  void OnPostBlock(TNntpCli* Sender, QByteArrayView Block);

 protected:
  using TNextStep = void (TNntpCli::*)();

  // Hooks for subclasses.
  // A request has started (after its state check passed).
  virtual void RequestStarted(TNntpRequest kind);
  // A request's completion has just been queued.
  virtual void RequestCompleted();
  // The queued completion is being delivered.
  virtual void DeliverRequestDone(TNntpRequest kind, quint16 errCode);
  // Bytes have arrived / a post block has been written.
  virtual void DataReceived();
  virtual void PostBlockSent();
  // Produces the next block of the article being posted. Sets finished when
  // the block holds the final terminator. False when the source failed.
  virtual bool NextPostBlock(QByteArrayView& block, bool& finished);

  // The shared ARTICLE/BODY/HEAD/STAT command.
  bool ArticleCommand(TNntpRequest kind, qint64 number, QByteArrayView id, QIODevice* stream);
  // The terminator that ends a posted article after the bytes sent so far,
  // written to dst (room for 5 bytes); returns its length.
  qsizetype PutPostTerminator(char* dst) const;
  // Remembers the last bytes of the article, for the terminator.
  void NotePostData(QByteArrayView data);
  // Closes at once without any event and drops completions not yet delivered.
  void CloseSilently();
  void SetLastResponse(QByteArrayView text);
  void SetState(TNntpState state);
  bool CheckReady(const char* command);
  void TriggerRequestDone(TNntpRequest kind, quint16 errCode);
  bool IsSocketConnected() const;

  // Line ends: the base splits at CR LF, subclasses may split at LF alone.
  bool fSplitAtLf = false;
  bool fEventsDetached = false;

 private:
  struct TSignalFlags;

  void connectNotify(const QMetaMethod& signal) override;
  void disconnectNotify(const QMetaMethod& signal) override;
  void UpdateSignalFlags();

  bool StartRequest(TNntpRequest kind, TNextStep next, QByteArrayView line, QIODevice* stream = nullptr);
  bool SendCommand(QByteArrayView line);
  void ReadSocket();
  bool ProcessChunk(const char* p, const char* end);
  const char* FindLineEnd(const char* p, const char* end, bool afterCr) const;
  const char* ProcessLines(const char* base, const char* end);
  const char* PlainDataLines(const char* pos, const char* end);
  void HandleLine(const char* line, qsizetype length, const char* rawEnd);
  void HandleBanner();
  void AfterBanner();
  void HandleLineTooLong(const char* line, qsizetype length);
  void KeepLastResponse();
  void FlushRun();
  void StreamLine(const char* line, qsizetype length, bool flushNow);
  void WriteStream(const char* data, qsizetype length);

  void EnsureSocket(bool tls);
  void HostLookedUp(const QHostInfo& info);
  void ConnectToAddress();
  void SocketConnected();
  void SocketEncrypted();
  void SocketError(QAbstractSocket::SocketError error);
  void SocketDisconnected();
  void SocketClosed(quint16 code);
  void SocketBytesWritten();
  void SocketSslErrors(const QList<QSslError>& errors);

  void SendNextPostBlock();

  // Next-step handlers.
  void GroupReply();
  void MultiLineFirst();
  void MultiLineData();
  void XHdrFirst();
  void XHdrData();
  void DateReply();
  void ModeReaderReply();
  void QuitReply();
  void AuthUserReply();
  void AuthPassReply();
  void PostFirstReply();
  void PostFinalReply();

  int ParseCurrentStatus();

  QTcpSocket* fSocket = nullptr;
  TNntpState fState = nntpNotConnected;
  QString fHost;
  QString fErrorMessage;
  int fStatusCode = INITIAL_STATUS_CODE;
  bool fPostingPermited = false;
  qint64 fArticleEstimated = -1;
  qint64 fArticleFirst = -1;
  qint64 fArticleLast = -1;
  qint64 fArticleNumber = -1;
  QByteArray fArticleID;
  QDateTime fServerDate;
  QString fUserName;
  QString fPassWord;
  QString fPort = QStringLiteral("nntp");
  int fLineLimit = DEFAULT_LINE_LIMIT;
  QByteArray fGroupName;
  bool fAutoAuthenticate = false;
  QByteArray fRequest;
  qsizetype fLastResponseLength = 0;
  QString fStartError;

  TNntpTlsMode fTlsMode = NNTP_TLS_NONE;
  QByteArray fAcceptedCertificate;
  QByteArray fPeerFingerprint;
  QSslCertificate fPeerCertificate;
  QString fTlsErrorText;
  bool fTlsUntrusted = false;
  bool fStartTlsSent = false;
  int fBannerStatus = 0;

  quint64 fBytesSent = 0;
  quint64 fBytesReceived = 0;
  qint64 fRequestBytes = 0;

  TNntpRequest fRequestType = nntpConnecting;
  bool fRequestDone = true;
  TNextStep fNext = nullptr;
  QIODevice* fStream = nullptr;
  bool fStreamFailed = false;
  quint32 fDeliverySerial = 0;
  // Counts connections, so work queued for an old one is dropped.
  quint32 fSessionSerial = 0;

  // Name lookup and the addresses tried in turn.
  int fLookupId = -1;
  QList<QHostAddress> fAddresses;
  qsizetype fAddressIndex = 0;
  quint16 fPortNumber = 0;
  QAbstractSocket::SocketError fSocketError = QAbstractSocket::UnknownSocketError;
  bool fCloseHandled = true;
  bool fCloseAfterEvent = false;

  // Received data are split in place; only a line that a read left open waits
  // here for its rest.
  std::unique_ptr<char[]> fBuffer;
  qsizetype fBufferSize = 0;
  qsizetype fBufferLength = 0;
  bool fInRead = false;
  // The current line and a copy that outlives the buffer.
  const char* fLinePtr = nullptr;
  qsizetype fLineLen = 0;
  const char* fLineRawEnd = nullptr;
  // The data being split, which the current line may point into.
  const char* fChunkBegin = nullptr;
  const char* fChunkEnd = nullptr;
  char fLastResponse[LAST_RESPONSE_SIZE] = {};
  // The status line of a multi-line reply, put back when it ends.
  char fStatusLine[LAST_RESPONSE_SIZE] = {};
  qsizetype fStatusLineLength = 0;
  // Data lines that lie one after the other in the buffer are written to the
  // stream in one piece.
  const char* fRunStart = nullptr;
  const char* fRunEnd = nullptr;

  // Posting.
  QIODevice* fPostStream = nullptr;
  bool fPosting = false;
  bool fPostFinished = false;
  bool fPostScheduled = false;
  bool fPostEndsWithLineEnd = false;
  char fPostTail = 0;
  std::unique_ptr<char[]> fPostBlock;

  QByteArray fSendBuffer;

  // Which line events have receivers, so lines skip the ones nobody hears.
  std::atomic<bool> fSignalFlagsStale{false};
  bool fHearsDisplay = false;
  bool fHearsRcvdData = false;
  bool fHearsMessageLine = false;
  bool fHearsXHdrLine = false;
};
