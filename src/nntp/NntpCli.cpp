#include "nntp/NntpCli.h"

#include "app/Logger.h"

#include <QHostInfo>
#include <QIODevice>
#include <QMetaMethod>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr char kGoodbye[] = "205 Closing connection - goodbye";
constexpr char kPostingFailed[] = "441 posting failed";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The leading decimal integer after blanks, with an optional sign; parsing
// stops at the first non-digit. Values beyond int are clamped.
int ParseStatus(QByteArrayView line) {
  qsizetype i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
  qint64 value = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    value = value * 10 + (line[i++] - '0');
    if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
  }
  return static_cast<int>(negative ? -value : value);
}

// Reads the next blank-separated word of line from pos.
QByteArrayView NextWord(QByteArrayView line, qsizetype& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  const qsizetype start = pos;
  while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
  return line.sliced(start, pos - start);
}

// A non-negative 64-bit number made only of digits, else -1.
qint64 ParseNumber(QByteArrayView word) {
  if (word.isEmpty() || word.size() > 18) return -1;
  qint64 value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

QByteArrayView Trimmed(QByteArrayView text) {
  qsizetype b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.sliced(b, e - b);
}

// A port number or a TCP service name; 0 when neither.
quint16 ResolvePort(const QString& port) {
  bool ok = false;
  const int number = port.trimmed().toInt(&ok);
  if (ok) return number > 0 && number <= 65535 ? static_cast<quint16>(number) : 0;
  const QByteArray name = port.trimmed().toLatin1();
  if (name.isEmpty()) return 0;
  servent entry{};
  servent* found = nullptr;
  char scratch[1024];
  if (getservbyname_r(name.constData(), "tcp", &entry, scratch, sizeof scratch, &found) == 0 && found)
    return ntohs(static_cast<quint16>(found->s_port));
  // /etc/services may be missing in a minimal system.
  if (name == "nntp") return 119;
  if (name == "nntps" || name == "snews") return 563;
  return 0;
}

// A reply that fails: its status code, or NNTP_ERR_BAD_REPLY when the line
// carries none (a code of 0 would read as success).
quint16 ReplyError(int status) {
  return status >= 100 && status <= 599 ? static_cast<quint16>(status) : quint16(NNTP_ERR_BAD_REPLY);
}

bool IsMultiLineStatus(int status) {
  switch (status) {
    case 100:
    case 215:
    case 220:
    case 221:
    case 222:
    case 223:
    case 224:
    case 230:
    case 231:
      return true;
    default:
      return false;
  }
}

QByteArray NntpDateText(const QDateTime& when, bool gmt) {
  QDateTime at = when.isValid() ? when : QDateTime::currentDateTime();
  at = gmt ? at.toUTC() : at.toLocalTime();
  return at.toString(u"yyMMdd HHmmss"_s).toLatin1();
}

}  // namespace

TNntpCli::TNntpCli(QObject* parent) : QObject(parent) {
  EnsureSocket(false);
  SetLineLimit(DEFAULT_LINE_LIMIT);
  fPostBlock = std::make_unique<char[]>(POST_BLOCK_SIZE + 8);
  fLinePtr = fLastResponse;
}

TNntpCli::~TNntpCli() {
  fSocket->disconnect(this);
  if (fLookupId != -1) QHostInfo::abortHostLookup(fLookupId);
  fSocket->abort();
}

// Plain connections use a QTcpSocket, whose received data can be taken over
// without a copy; TLS needs a QSslSocket.
void TNntpCli::EnsureSocket(bool tls) {
  if (fSocket && (qobject_cast<QSslSocket*>(fSocket) != nullptr) == tls) return;
  if (fSocket) {
    fSocket->disconnect(this);
    fSocket->abort();
    fSocket->deleteLater();
  }
  QSslSocket* ssl = tls ? new QSslSocket(this) : nullptr;
  fSocket = ssl ? ssl : new QTcpSocket(this);
  connect(fSocket, &QIODevice::readyRead, this, &TNntpCli::ReadSocket);
  connect(fSocket, &QAbstractSocket::connected, this, &TNntpCli::SocketConnected);
  connect(fSocket, &QAbstractSocket::errorOccurred, this, &TNntpCli::SocketError);
  connect(fSocket, &QAbstractSocket::disconnected, this, &TNntpCli::SocketDisconnected);
  connect(fSocket, &QIODevice::bytesWritten, this, &TNntpCli::SocketBytesWritten);
  if (ssl) {
    connect(ssl, &QSslSocket::encrypted, this, &TNntpCli::SocketEncrypted);
    connect(ssl, &QSslSocket::sslErrors, this, &TNntpCli::SocketSslErrors);
  }
}

bool TNntpCli::IsEncrypted() const {
  const auto* ssl = qobject_cast<const QSslSocket*>(fSocket);
  return ssl && ssl->isEncrypted();
}

void TNntpCli::SetLineLimit(int limit) {
  if (fInRead) return;  // the buffer is in use
  fLineLimit = std::clamp(limit, 512, 64 * 1024 * 1024);
  // A partial line, with its line end and one byte more to tell it is too long.
  const qsizetype size = fLineLimit + 3;
  if (size == fBufferSize) return;
  auto buffer = std::make_unique<char[]>(size);
  if (fBufferLength > 0) std::memcpy(buffer.get(), fBuffer.get(), std::min(fBufferLength, size));
  fBufferLength = std::min(fBufferLength, size);
  fBuffer = std::move(buffer);
  fBufferSize = size;
}

bool TNntpCli::SetAcceptedCertificate(QByteArrayView sha256) {
  fAcceptedCertificate.clear();
  if (sha256.isEmpty()) return true;
  if (sha256.size() == 32) {
    fAcceptedCertificate = sha256.toByteArray();
    return true;
  }
  QByteArray hex;
  for (char c : sha256)
    if (c != ':' && c != ' ') hex += c;
  const QByteArray raw = QByteArray::fromHex(hex);
  if (raw.size() != 32 || raw.toHex().compare(hex, Qt::CaseInsensitive) != 0) return false;
  fAcceptedCertificate = raw;
  return true;
}

// ---------------------------------------------------------------------------
// Signals that fire per line are skipped when nobody listens.

// Qt may call these with an internal lock held, so they only mark the flags
// for an update before the next data are handled.
void TNntpCli::connectNotify(const QMetaMethod&) { fSignalFlagsStale.store(true, std::memory_order_relaxed); }
void TNntpCli::disconnectNotify(const QMetaMethod&) { fSignalFlagsStale.store(true, std::memory_order_relaxed); }

void TNntpCli::UpdateSignalFlags() {
  fSignalFlagsStale.store(false, std::memory_order_relaxed);
  fHearsDisplay = isSignalConnected(QMetaMethod::fromSignal(&TNntpCli::OnDisplay));
  fHearsRcvdData = isSignalConnected(QMetaMethod::fromSignal(&TNntpCli::OnRcvdData));
  fHearsMessageLine = isSignalConnected(QMetaMethod::fromSignal(&TNntpCli::OnMessageLine));
  fHearsXHdrLine = isSignalConnected(QMetaMethod::fromSignal(&TNntpCli::OnXHdrLine));
}

// ---------------------------------------------------------------------------
// Hooks

void TNntpCli::RequestStarted(TNntpRequest) {}
void TNntpCli::RequestCompleted() {}
void TNntpCli::DataReceived() {}
void TNntpCli::PostBlockSent() {}

void TNntpCli::DeliverRequestDone(TNntpRequest kind, quint16 errCode) {
  try {
    emit OnRequestDone(this, kind, errCode);
  } catch (...) {
    LogError(u"Exception raised by the completion handler of "_s + QString::fromLatin1(NntpRequestName(kind)));
    Abort();
  }
}

// ---------------------------------------------------------------------------
// State, completion and sending

void TNntpCli::SetState(TNntpState state) {
  if (fState == state) return;
  fState = state;
  emit OnStateChange(this);
}

bool TNntpCli::IsSocketConnected() const {
  return fSocket->state() == QAbstractSocket::ConnectedState && !fCloseAfterEvent;
}

bool TNntpCli::CheckReady(const char* command) {
  if (fState == nntpReady) return true;
  fStartError = u"Not ready for "_s + QString::fromLatin1(command);
  LogWarning(fStartError + u" (state "_s + QString::fromLatin1(NntpStateName(fState)) + u')');
  return false;
}

void TNntpCli::TriggerRequestDone(TNntpRequest kind, quint16 errCode) {
  if (fRequestDone) return;
  fRequestDone = true;
  fNext = nullptr;
  fPosting = false;
  fStream = nullptr;
  SetState(IsSocketConnected() ? nntpReady : nntpNotConnected);
  RequestCompleted();
  const quint32 serial = fDeliverySerial;
  QMetaObject::invokeMethod(
      this,
      [this, kind, errCode, serial] {
        if (serial == fDeliverySerial && !fEventsDetached) DeliverRequestDone(kind, errCode);
      },
      Qt::QueuedConnection);
}

bool TNntpCli::StartRequest(TNntpRequest kind, TNextStep next, QByteArrayView line, QIODevice* stream) {
  fRequestType = kind;
  fRequestDone = false;
  fNext = next;
  fStream = stream;
  fStreamFailed = false;
  fRunStart = fRunEnd = nullptr;
  RequestStarted(kind);
  SetState(nntpWaitingResponse);
  if (!SendCommand(line)) {
    LogWarning(u"Could not send the command "_s + QString::fromLatin1(fRequest));
    TriggerRequestDone(kind, static_cast<quint16>(NNTP_ERR_SOCKET_BASE + std::max(0, int(fSocket->error()))));
  }
  return true;
}

bool TNntpCli::SendCommand(QByteArrayView line) {
  // The password never reaches Request(), the log or anything shown.
  static constexpr QByteArrayView passCommand = "AUTHINFO PASS ";
  if (line.startsWith(passCommand))
    fRequest = passCommand.toByteArray() + "****";
  else
    fRequest = line.toByteArray();
  if (TLogger::Instance().IsEnabled(TLogger::LEVEL_DEBUG)) LogDebug(u"NNTP > "_s + QString::fromLatin1(fRequest));
  fSendBuffer.resize(0);
  fSendBuffer.append(line.data(), line.size());
  fSendBuffer.append("\r\n", 2);
  const qint64 written = fSocket->write(fSendBuffer);
  // Out at once rather than on the next pass of the event loop: a command
  // waits for nothing else, and its reply is what the caller waits for.
  if (written > 0) fSocket->flush();
  fBytesSent += static_cast<quint64>(fSendBuffer.size());
  emit OnSendData(this);
  return written == fSendBuffer.size();
}

void TNntpCli::SetLastResponse(QByteArrayView text) {
  const qsizetype n = std::min<qsizetype>(text.size(), LAST_RESPONSE_TAKEN);
  if (text.data() != fLastResponse) std::memmove(fLastResponse, text.data(), n);
  fLastResponse[n] = '\0';
  fLinePtr = fLastResponse;
  fLineLen = n;
  fLineRawEnd = nullptr;
}

int TNntpCli::ParseCurrentStatus() {
  fStatusCode = ParseStatus(Line());
  return fStatusCode;
}

// ---------------------------------------------------------------------------
// Operations

bool TNntpCli::Connect() {
  LOG_METHOD("Connect");
  if (fState != nntpNotConnected) {
    fStartError = u"Already connected"_s;
    LogWarning(fStartError);
    return false;
  }
  fRequestType = nntpConnecting;
  fRequestDone = false;
  fNext = nullptr;
  fStream = nullptr;
  fPosting = false;
  fArticleNumber = fArticleFirst = fArticleLast = fArticleEstimated = -1;
  fArticleID.clear();
  fPostingPermited = false;
  fBufferLength = 0;
  fCloseHandled = false;
  fCloseAfterEvent = false;
  fStartTlsSent = false;
  fBannerStatus = 0;
  fTlsUntrusted = false;
  fTlsErrorText.clear();
  fPeerFingerprint.clear();
  fPeerCertificate = QSslCertificate();
  fSocketError = QAbstractSocket::UnknownSocketError;
  ++fSessionSerial;
  EnsureSocket(fTlsMode != NNTP_TLS_NONE);
  RequestStarted(nntpConnecting);
  SetState(nntpDnsLookup);
  fPortNumber = ResolvePort(fPort);
  if (fPortNumber == 0) {
    LogWarning(u"Invalid port \""_s + fPort + u'"');
    fCloseHandled = true;
    SetState(nntpNotConnected);
    TriggerRequestDone(nntpConnecting, NNTP_ERR_INVALID_PORT);
    return true;
  }
  LogMessage(u"Connecting to "_s + fHost + u':' + QString::number(fPortNumber));
  fLookupId = QHostInfo::lookupHost(fHost, this, &TNntpCli::HostLookedUp);
  return true;
}

bool TNntpCli::Group(QByteArrayView name) {
  if (!CheckReady("GROUP")) return false;
  QByteArray line = "GROUP ";
  const QByteArrayView trimmed = Trimmed(name);
  line.append(trimmed.data(), trimmed.size());
  return StartRequest(nntpGroup, &TNntpCli::GroupReply, line);
}

bool TNntpCli::ArticleCommand(TNntpRequest kind, qint64 number, QByteArrayView id, QIODevice* stream) {
  const char* word = nullptr;
  bool byId = false;
  switch (kind) {
    case nntpArticleByNumber:
    case nntpArticleByID:
      word = "ARTICLE";
      byId = kind == nntpArticleByID;
      break;
    case nntpBodyByNumber:
    case nntpBodyByID:
      word = "BODY";
      byId = kind == nntpBodyByID;
      break;
    case nntpHeadByNumber:
    case nntpHeadByID:
      word = "HEAD";
      byId = kind == nntpHeadByID;
      break;
    case nntpStatByNumber:
    case nntpStatByID:
      word = "STAT";
      byId = kind == nntpStatByID;
      break;
    default:
      fStartError = u"Internal error: Invalid Request Type"_s;
      LogError(fStartError);
      return false;
  }
  if (!CheckReady(word)) return false;
  QByteArray line = word;
  if (byId) {
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.sliced(1, id.size() - 2);
    line += " <";
    line.append(id.data(), id.size());
    line += '>';
  } else if (number >= 1) {
    line += ' ';
    line += QByteArray::number(number);
  }
  fRequestBytes = 0;
  return StartRequest(kind, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::ArticleByNumber(qint64 number, QIODevice* stream) {
  return ArticleCommand(nntpArticleByNumber, number, {}, stream);
}
bool TNntpCli::BodyByNumber(qint64 number, QIODevice* stream) {
  return ArticleCommand(nntpBodyByNumber, number, {}, stream);
}
bool TNntpCli::HeadByNumber(qint64 number, QIODevice* stream) {
  return ArticleCommand(nntpHeadByNumber, number, {}, stream);
}
bool TNntpCli::StatByNumber(qint64 number) { return ArticleCommand(nntpStatByNumber, number, {}, nullptr); }
bool TNntpCli::ArticleByID(QByteArrayView id, QIODevice* stream) {
  return ArticleCommand(nntpArticleByID, 0, id, stream);
}
bool TNntpCli::BodyByID(QByteArrayView id, QIODevice* stream) { return ArticleCommand(nntpBodyByID, 0, id, stream); }
bool TNntpCli::HeadByID(QByteArrayView id, QIODevice* stream) { return ArticleCommand(nntpHeadByID, 0, id, stream); }
bool TNntpCli::StatByID(QByteArrayView id) { return ArticleCommand(nntpStatByID, 0, id, nullptr); }

bool TNntpCli::Next() {
  if (!CheckReady("NEXT")) return false;
  return StartRequest(nntpNext, &TNntpCli::MultiLineFirst, "NEXT");
}

bool TNntpCli::Last() {
  if (!CheckReady("LAST")) return false;
  return StartRequest(nntpLast, &TNntpCli::MultiLineFirst, "LAST");
}

bool TNntpCli::List(QIODevice* stream) {
  if (!CheckReady("LIST")) return false;
  return StartRequest(nntpList, &TNntpCli::MultiLineFirst, "LIST", stream);
}

bool TNntpCli::Help(QIODevice* stream) {
  if (!CheckReady("HELP")) return false;
  return StartRequest(nntpHelp, &TNntpCli::MultiLineFirst, "HELP", stream);
}

bool TNntpCli::Post(QIODevice* stream) {
  if (!CheckReady("POST")) return false;
  fPostStream = stream;
  fPosting = false;
  fPostFinished = false;
  fPostEndsWithLineEnd = false;
  fPostTail = 0;
  return StartRequest(nntpPost, &TNntpCli::PostFirstReply, "POST");
}

bool TNntpCli::NewGroups(const QDateTime& when, bool gmt, QByteArrayView distributions, QIODevice* stream) {
  if (!CheckReady("NEWGROUPS")) return false;
  QByteArray line = "NEWGROUPS " + NntpDateText(when, gmt);
  if (gmt) line += " GMT";
  if (!distributions.isEmpty()) {
    line += " <";
    line.append(distributions.data(), distributions.size());
    line += '>';
  }
  return StartRequest(nntpNewGroups, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::NewNews(QByteArrayView groups, const QDateTime& when, bool gmt, QByteArrayView distributions,
                       QIODevice* stream) {
  if (!CheckReady("NEWNEWS")) return false;
  QByteArray line = "NEWNEWS ";
  if (groups.isEmpty())
    line += '*';
  else
    line.append(groups.data(), groups.size());
  line += ' ';
  line += NntpDateText(when, gmt);
  if (gmt) line += " GMT";
  if (!distributions.isEmpty()) {
    line += " <";
    line.append(distributions.data(), distributions.size());
    line += '>';
  }
  return StartRequest(nntpNewNews, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::XOver(QByteArrayView range, QIODevice* stream) {
  if (!CheckReady("XOVER")) return false;
  QByteArray line = "XOVER";
  if (!range.isEmpty()) {
    line += ' ';
    line.append(range.data(), range.size());
  }
  return StartRequest(nntpXOver, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::XHdr(QIODevice* stream, QByteArrayView header, QByteArrayView range) {
  if (!CheckReady("XHDR")) return false;
  QByteArray line = "XHDR ";
  line.append(header.data(), header.size());
  if (!range.isEmpty()) {
    line += ' ';
    line.append(range.data(), range.size());
  }
  return StartRequest(nntpXHdr, &TNntpCli::XHdrFirst, line, stream);
}

bool TNntpCli::XPat(QIODevice* stream, QByteArrayView header, QByteArrayView range, QByteArrayView pattern) {
  if (!CheckReady("XPAT")) return false;
  QByteArray line = "XPAT ";
  line.append(header.data(), header.size());
  line += ' ';
  line.append(range.data(), range.size());
  line += ' ';
  line.append(pattern.data(), pattern.size());
  return StartRequest(nntpXPAT, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::ListOverViewFmt(QIODevice* stream) {
  if (!CheckReady("LIST OVERVIEW.FMT")) return false;
  return StartRequest(nntpListOverViewFmt, &TNntpCli::MultiLineFirst, "LIST OVERVIEW.FMT", stream);
}

bool TNntpCli::ListMotd(QIODevice* stream) {
  if (!CheckReady("LIST MOTD")) return false;
  return StartRequest(nntpListMotd, &TNntpCli::MultiLineFirst, "LIST MOTD", stream);
}

bool TNntpCli::ListNewsgroups(QIODevice* stream, QByteArrayView wildmat) {
  if (!CheckReady("LIST NEWSGROUPS")) return false;
  QByteArray line = "LIST NEWSGROUPS";
  if (!wildmat.isEmpty()) {
    line += ' ';
    line.append(wildmat.data(), wildmat.size());
  }
  return StartRequest(nntpListNewsgroups, &TNntpCli::MultiLineFirst, line, stream);
}

bool TNntpCli::Date() {
  if (!CheckReady("DATE")) return false;
  fServerDate = QDateTime();
  return StartRequest(nntpDate, &TNntpCli::DateReply, "DATE");
}

bool TNntpCli::ModeReader() {
  if (!CheckReady("ModeReader")) return false;
  return StartRequest(nntpModeReader, &TNntpCli::ModeReaderReply, "MODE READER");
}

bool TNntpCli::Authenticate() {
  if (!CheckReady("Authenticate")) return false;
  const QByteArray line = "AUTHINFO USER " + fUserName.toUtf8();
  return StartRequest(fAutoAuthenticate ? nntpReadyWaiting : nntpAuthenticate, &TNntpCli::AuthUserReply, line);
}

bool TNntpCli::Quit() {
  if (!CheckReady("QUIT")) return false;
  return StartRequest(nntpQuit, &TNntpCli::QuitReply, "QUIT");
}

void TNntpCli::Abort() {
  LOG_METHOD("Abort");
  if (fLookupId != -1) {
    QHostInfo::abortHostLookup(fLookupId);
    fLookupId = -1;
  }
  fRequestType = nntpAbort;
  fRequestDone = false;
  fNext = nullptr;
  fPosting = false;
  fStream = nullptr;
  fCloseAfterEvent = false;
  fSocket->abort();
  fCloseHandled = true;
  SetLastResponse(kGoodbye);
  fStatusCode = 205;
  TriggerRequestDone(nntpAbort, 0);
}

void TNntpCli::CloseSilently() {
  fEventsDetached = true;
  ++fDeliverySerial;
  fRequestDone = true;
  fNext = nullptr;
  fPosting = false;
  fStream = nullptr;
  if (fLookupId != -1) {
    QHostInfo::abortHostLookup(fLookupId);
    fLookupId = -1;
  }
  fSocket->abort();
  fCloseHandled = true;
  fCloseAfterEvent = false;
  SetLastResponse(kGoodbye);
  fStatusCode = 205;
  SetState(nntpNotConnected);
  fEventsDetached = false;
}

// ---------------------------------------------------------------------------
// Connecting

void TNntpCli::HostLookedUp(const QHostInfo& info) {
  fLookupId = -1;
  if (fState != nntpDnsLookup) return;
  QList<QHostAddress> addresses = info.addresses();
  // IPv4 first: servers listening on one address family are mostly IPv4 only.
  std::stable_partition(addresses.begin(), addresses.end(),
                        [](const QHostAddress& a) { return a.protocol() == QAbstractSocket::IPv4Protocol; });
  if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
    LogWarning(u"Name lookup of "_s + fHost + u" failed: "_s + info.errorString());
    fCloseHandled = true;
    SetState(nntpNotConnected);
    TriggerRequestDone(nntpConnecting, NNTP_ERR_HOST_NOT_FOUND);
    return;
  }
  fAddresses = addresses;
  fAddressIndex = 0;
  SetState(nntpWaitingBanner);
  ConnectToAddress();
}

void TNntpCli::ConnectToAddress() {
  const QHostAddress& address = fAddresses.at(fAddressIndex);
  fCloseHandled = false;
  fSocketError = QAbstractSocket::UnknownSocketError;
  if (auto* ssl = qobject_cast<QSslSocket*>(fSocket)) {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    ssl->setSslConfiguration(config);
    ssl->setPeerVerifyName(fHost);
    if (fTlsMode == NNTP_TLS_IMPLICIT) {
      ssl->connectToHostEncrypted(address.toString(), fPortNumber, fHost);
      return;
    }
  }
  fSocket->connectToHost(address, fPortNumber);
}

void TNntpCli::SocketConnected() { fSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1); }

void TNntpCli::SocketEncrypted() {
  fPeerCertificate = static_cast<QSslSocket*>(fSocket)->peerCertificate();
  fPeerFingerprint = fPeerCertificate.digest(QCryptographicHash::Sha256);
  if (fStartTlsSent && fState == nntpWaitingBanner) AfterBanner();
}

void TNntpCli::SocketSslErrors(const QList<QSslError>& errors) {
  auto* ssl = static_cast<QSslSocket*>(fSocket);
  QSslCertificate certificate = ssl->peerCertificate();
  if (certificate.isNull() && !errors.isEmpty()) certificate = errors.first().certificate();
  fPeerCertificate = certificate;
  fPeerFingerprint = certificate.digest(QCryptographicHash::Sha256);
  if (!fAcceptedCertificate.isEmpty() && fPeerFingerprint == fAcceptedCertificate) {
    // The user accepted exactly this certificate for this server.
    ssl->ignoreSslErrors();
    return;
  }
  fTlsUntrusted = true;
  QStringList texts;
  for (const QSslError& error : errors) texts += error.errorString();
  fTlsErrorText = texts.join(u"; "_s);
  LogWarning(u"Certificate of "_s + fHost + u" refused (SHA-256 "_s + QString::fromLatin1(fPeerFingerprint.toHex(':')) +
             u"): "_s + fTlsErrorText);
}

void TNntpCli::SocketError(QAbstractSocket::SocketError error) {
  fSocketError = error;
  // A failed connect ends here without a disconnected signal.
  if (fSocket->state() == QAbstractSocket::UnconnectedState)
    SocketClosed(static_cast<quint16>(NNTP_ERR_SOCKET_BASE + std::max(0, int(error))));
}

void TNntpCli::SocketDisconnected() {
  const bool failure =
      fSocketError != QAbstractSocket::UnknownSocketError && fSocketError != QAbstractSocket::RemoteHostClosedError;
  SocketClosed(failure ? static_cast<quint16>(NNTP_ERR_SOCKET_BASE + std::max(0, int(fSocketError)))
                       : quint16(NNTP_ERR_CONNECTION_CLOSED));
}

void TNntpCli::SocketClosed(quint16 code) {
  if (fCloseHandled) return;
  // Data still buffered belongs to the request that is ending.
  if (fSocket->bytesAvailable() > 0 && !fInRead) ReadSocket();
  if (fCloseHandled) return;
  fCloseHandled = true;
  const bool connecting = fState == nntpDnsLookup || fState == nntpWaitingBanner;
  const bool unreachable = fSocketError == QAbstractSocket::ConnectionRefusedError ||
                           fSocketError == QAbstractSocket::NetworkError ||
                           fSocketError == QAbstractSocket::SocketTimeoutError;
  if (connecting && unreachable && fAddressIndex + 1 < fAddresses.size()) {
    // Not reached at this address: try the next one, from the event loop as
    // the socket may not be ready for a new attempt inside its error signal.
    ++fAddressIndex;
    const quint32 session = fSessionSerial;
    QMetaObject::invokeMethod(
        this,
        [this, session] {
          if (session == fSessionSerial && fState == nntpWaitingBanner) ConnectToAddress();
        },
        Qt::QueuedConnection);
    return;
  }
  if (fTlsUntrusted) code = NNTP_ERR_TLS_UNTRUSTED;
  LogMessage(u"Connection to "_s + fHost + u" closed ("_s + NntpErrorText(code) + u')');
  if (fRequestType != nntpAbort) {
    // The server may hang up instead of answering QUIT.
    const quint16 result = fRequestType == nntpQuit ? quint16(0) : code;
    SetState(nntpNotConnected);
    TriggerRequestDone(connecting ? nntpConnecting : fRequestType, result);
  }
  if (!fEventsDetached) emit OnSessionClosed(this, code == NNTP_ERR_CONNECTION_CLOSED ? quint16(0) : code);
  SetState(nntpNotConnected);
}

// ---------------------------------------------------------------------------
// Receiving

void TNntpCli::ReadSocket() {
  if (fInRead) return;
  fInRead = true;
  if (fSignalFlagsStale.load(std::memory_order_relaxed)) UpdateSignalFlags();
  while (fSocket->bytesAvailable() > 0) {
    // All that is there at once: a plain socket hands over its own buffer
    // without copying it, and the lines are split right in it.
    const QByteArray chunk = fSocket->read(fSocket->bytesAvailable());
    if (chunk.isEmpty()) break;
    fBytesReceived += static_cast<quint64>(chunk.size());
    fRequestBytes += chunk.size();
    DataReceived();
    if (!ProcessChunk(chunk.constData(), chunk.constData() + chunk.size())) break;
    if (fCloseAfterEvent || fSocket->state() != QAbstractSocket::ConnectedState) break;
  }
  fInRead = false;
  if (fCloseAfterEvent) {
    // Closed now that the lines of this event are handled.
    fCloseAfterEvent = false;
    fSocket->abort();
    SetState(nntpNotConnected);
  }
}

const char* TNntpCli::FindLineEnd(const char* p, const char* end, bool afterCr) const {
  auto next = [end](const char* from) {
    return static_cast<const char*>(std::memchr(from, '\n', static_cast<size_t>(end - from)));
  };
  const char* lf = p < end ? next(p) : nullptr;
  if (fSplitAtLf) return lf;
  // Only CR LF ends a line here; a lone LF stays inside it.
  while (lf && !(lf == p ? afterCr : lf[-1] == '\r')) lf = lf + 1 < end ? next(lf + 1) : nullptr;
  return lf;
}

bool TNntpCli::ProcessChunk(const char* p, const char* end) {
  if (fBufferLength > 0) {
    // First the line the previous data left open: it is completed aside.
    const char* lf = FindLineEnd(p, end, fBuffer[fBufferLength - 1] == '\r');
    const char* upto = lf ? lf + 1 : end;
    const qsizetype add = upto - p;
    if (fBufferLength + add > fBufferSize || (!lf && fBufferLength + add > fLineLimit + 1)) {
      const qsizetype length = fBufferLength + add;
      fBufferLength = 0;
      HandleLineTooLong(fBuffer.get(), length);
      return false;
    }
    std::memcpy(fBuffer.get() + fBufferLength, p, static_cast<size_t>(add));
    fBufferLength += add;
    p = upto;
    if (!lf) return true;
    const char* const rest = ProcessLines(fBuffer.get(), fBuffer.get() + fBufferLength);
    fBufferLength = 0;
    if (!rest) return false;
  }
  const char* const rest = ProcessLines(p, end);
  if (!rest) return false;
  const qsizetype left = end - rest;
  if (left > fLineLimit + 1) {
    HandleLineTooLong(rest, left);
    return false;
  }
  std::memcpy(fBuffer.get(), rest, static_cast<size_t>(left));
  fBufferLength = left;
  return true;
}

const char* TNntpCli::ProcessLines(const char* base, const char* end) {
  fChunkBegin = base;
  fChunkEnd = end;
  const char* pos = base;
  const quint32 session = fSessionSerial;
  while (pos < end && !fCloseAfterEvent) {
    if (fNext == &TNntpCli::MultiLineData && !fHearsRcvdData && !fHearsDisplay && !fHearsMessageLine &&
        fState == nntpWaitingResponse) {
      const char* const after = PlainDataLines(pos, end);
      if (after != pos) {
        pos = after;
        continue;
      }
    }
    const char* const lf = FindLineEnd(pos, end, false);
    if (!lf) break;
    qsizetype length = lf - pos;
    if (length > 0 && (pos[length - 1] == '\r' || pos[length - 1] == '\n')) --length;
    const char* const line = pos;
    pos = lf + 1;
    if (length > fLineLimit) {
      FlushRun();
      HandleLineTooLong(line, length);
      break;
    }
    HandleLine(line, length, pos);
    // A line handler may have closed the client, or even started a new connection.
    if (session != fSessionSerial) {
      KeepLastResponse();
      return nullptr;
    }
    if (fState == nntpNotConnected) break;
  }
  FlushRun();
  KeepLastResponse();
  if (fCloseAfterEvent || fState == nntpNotConnected) return nullptr;
  return pos;
}

// The bulk of an article or overview: lines that end in CR LF and do not start
// with a dot need nothing but to reach the stream, so while nobody listens line
// by line they are only looked through here. Stops before any other line (a
// dot line, the end of the reply, a lone LF, an over-long line), which the
// general path handles.
const char* TNntpCli::PlainDataLines(const char* pos, const char* end) {
  const char* p = pos;
  const char* last = nullptr;
  const char* lastEnd = nullptr;
  while (p < end && *p != '.') {
    const char* const lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!lf || lf == p || lf[-1] != '\r' || lf - 1 - p > fLineLimit) break;
    last = p;
    lastEnd = lf - 1;
    p = lf + 1;
  }
  if (!last) return pos;
  fLinePtr = last;
  fLineLen = lastEnd - last;
  fLineRawEnd = p;
  fLastResponseLength = fLineLen;
  if (fStream) {
    if (fRunEnd != pos) {
      FlushRun();
      fRunStart = pos;
    }
    fRunEnd = p;
  }
  return p;
}

void TNntpCli::KeepLastResponse() {
  // The line still points into data that is about to go away.
  if (fLinePtr >= fChunkBegin && fLinePtr < fChunkEnd) SetLastResponse(LastResponse());
  fChunkBegin = fChunkEnd = nullptr;
}

void TNntpCli::HandleLineTooLong(const char* line, qsizetype length) {
  LogWarning(u"The server sent a line of "_s + QString::number(length) + u" bytes or more (limit "_s +
             QString::number(fLineLimit) + u"); the connection is closed"_s);
  SetLastResponse(QByteArrayView(line, std::min<qsizetype>(length, LAST_RESPONSE_TAKEN)));
  if (fRequestType != nntpAbort && !fRequestDone) {
    const TNntpRequest kind = fState == nntpWaitingBanner || fState == nntpDnsLookup ? nntpConnecting : fRequestType;
    fCloseAfterEvent = true;
    TriggerRequestDone(kind, NNTP_ERR_LINE_TOO_LONG);
  }
  fCloseAfterEvent = true;
}

void TNntpCli::HandleLine(const char* line, qsizetype length, const char* rawEnd) {
  fLinePtr = line;
  fLineLen = length;
  fLineRawEnd = rawEnd;
  if (fHearsRcvdData) emit OnRcvdData(this);
  if (fRequestType == nntpAbort) return;
  if (fHearsDisplay) emit OnDisplay(this, QByteArrayView(line, length));
  switch (fState) {
    case nntpWaitingResponse:
      if (fNext)
        (this->*fNext)();
      else
        SetState(nntpReady);
      break;
    case nntpWaitingBanner:
      HandleBanner();
      break;
    default:
      emit OnDataAvailable(this, 0);
      break;
  }
}

void TNntpCli::HandleBanner() {
  const int status = ParseCurrentStatus();
  if (TLogger::Instance().IsEnabled(TLogger::LEVEL_VERBOSE))
    LogMessage(u"NNTP < "_s + QString::fromLatin1(LastResponse()));
  if (fStartTlsSent) {
    // The reply to STARTTLS.
    if (status == 382) {
      static_cast<QSslSocket*>(fSocket)->startClientEncryption();
      return;
    }
    LogWarning(u"STARTTLS refused by "_s + fHost + u": "_s + QString::fromLatin1(LastResponse()));
    SetState(nntpNotConnected);
    fCloseAfterEvent = true;
    TriggerRequestDone(nntpConnecting, NNTP_ERR_STARTTLS_REFUSED);
    return;
  }
  if (status < 200 || status > 299) {
    SetState(nntpNotConnected);
    fCloseAfterEvent = true;
    TriggerRequestDone(nntpConnecting, 502);
    return;
  }
  fBannerStatus = status;
  if (fTlsMode == NNTP_TLS_STARTTLS) {
    fStartTlsSent = true;
    if (!SendCommand("STARTTLS")) {
      SetState(nntpNotConnected);
      fCloseAfterEvent = true;
      TriggerRequestDone(nntpConnecting, NNTP_ERR_STARTTLS_REFUSED);
    }
    return;
  }
  AfterBanner();
}

void TNntpCli::AfterBanner() {
  SetState(nntpReady);
  fPostingPermited = fBannerStatus == 200;
  fBannerStatus = 0;
  emit OnSessionConnected(this, 0);
  if (fState != nntpReady) return;  // a handler closed or restarted the client
  if (!fAutoAuthenticate)
    TriggerRequestDone(nntpConnected, 0);
  else if (!fUserName.isEmpty())
    Authenticate();
  else
    TriggerRequestDone(nntpReadyWaiting, 0);
}

// ---------------------------------------------------------------------------
// Single-line replies

void TNntpCli::GroupReply() {
  const int status = ParseCurrentStatus();
  if (status != 211) {
    fArticleEstimated = fArticleFirst = fArticleLast = -1;
    TriggerRequestDone(nntpGroup, ReplyError(status));
    return;
  }
  const QByteArrayView line = Line();
  qsizetype pos = 0;
  NextWord(line, pos);  // the status
  fArticleEstimated = ParseNumber(NextWord(line, pos));
  fArticleFirst = ParseNumber(NextWord(line, pos));
  fArticleLast = ParseNumber(NextWord(line, pos));
  fGroupName = NextWord(line, pos).toByteArray();
  TriggerRequestDone(nntpGroup, 0);
}

void TNntpCli::DateReply() {
  const int status = ParseCurrentStatus();
  if (status != 111) {
    TriggerRequestDone(nntpDate, ReplyError(status));
    return;
  }
  const QByteArrayView line = Line();
  qsizetype pos = 0;
  NextWord(line, pos);
  const QByteArrayView rest = Trimmed(line.sliced(pos));
  if (rest.size() == 14 && ParseNumber(rest) >= 0) {
    auto field = [&rest](qsizetype at, qsizetype n) { return static_cast<int>(ParseNumber(rest.sliced(at, n))); };
    const QDate date(field(0, 4), field(4, 2), field(6, 2));
    const QTime time(field(8, 2), field(10, 2), field(12, 2));
    if (date.isValid() && time.isValid()) fServerDate = QDateTime(date, time, Qt::UTC);
  }
  TriggerRequestDone(nntpDate, 0);
}

void TNntpCli::ModeReaderReply() {
  const int status = ParseCurrentStatus();
  TriggerRequestDone(nntpModeReader, status == 200 || status == 201 ? 0 : ReplyError(status));
}

void TNntpCli::QuitReply() {
  ParseCurrentStatus();
  TriggerRequestDone(nntpQuit, 0);
}

void TNntpCli::AuthUserReply() {
  const int status = ParseCurrentStatus();
  if (status == 381) {
    fNext = &TNntpCli::AuthPassReply;
    if (!SendCommand("AUTHINFO PASS " + fPassWord.toUtf8()))
      TriggerRequestDone(fRequestType, static_cast<quint16>(NNTP_ERR_SOCKET_BASE + std::max(0, int(fSocket->error()))));
    return;
  }
  TriggerRequestDone(fRequestType, status == 281 ? 0 : ReplyError(status));
}

void TNntpCli::AuthPassReply() {
  const int status = ParseCurrentStatus();
  if (status != 281) LogWarning(u"Login refused: "_s + QString::fromLatin1(LastResponse()));
  TriggerRequestDone(fRequestType, status == 281 ? 0 : ReplyError(status));
}

// ---------------------------------------------------------------------------
// Multi-line replies

void TNntpCli::MultiLineFirst() {
  const int status = ParseCurrentStatus();
  if (TLogger::Instance().IsEnabled(TLogger::LEVEL_DEBUG)) LogDebug(u"NNTP < "_s + QString::fromLatin1(LastResponse()));
  const QByteArrayView line = Line();
  qsizetype pos = 0;
  NextWord(line, pos);
  fArticleNumber = ParseNumber(NextWord(line, pos));
  fArticleID.clear();
  const qsizetype open = line.indexOf('<');
  if (open >= 0) {
    const qsizetype close = line.indexOf('>', open + 1);
    if (close > open) fArticleID = line.sliced(open + 1, close - open - 1).toByteArray();
  }
  if (!IsMultiLineStatus(status)) {
    TriggerRequestDone(fRequestType, ReplyError(status));
    return;
  }
  if (status == 223) {
    TriggerRequestDone(fRequestType, 0);
    return;
  }
  fStatusLineLength = std::min<qsizetype>(line.size(), LAST_RESPONSE_TAKEN);
  std::memcpy(fStatusLine, line.data(), fStatusLineLength);
  fStatusLine[fStatusLineLength] = '\0';
  fNext = &TNntpCli::MultiLineData;
  emit OnMessageBegin(this);
}

void TNntpCli::WriteStream(const char* data, qsizetype length) {
  if (!fStream || length <= 0 || fStreamFailed) return;
  if (fStream->write(data, length) != length) {
    fStreamFailed = true;
    LogError(u"Could not write the reply to its stream: "_s + fStream->errorString());
  }
}

void TNntpCli::FlushRun() {
  if (fRunEnd > fRunStart) WriteStream(fRunStart, fRunEnd - fRunStart);
  fRunStart = fRunEnd = nullptr;
}

void TNntpCli::MultiLineData() {
  const char* line = fLinePtr;
  qsizetype length = fLineLen;
  if (length == 1 && line[0] == '.') {
    FlushRun();
    SetLastResponse(QByteArrayView(fStatusLine, fStatusLineLength));
    emit OnMessageEnd(this);
    TriggerRequestDone(fRequestType, fStreamFailed ? quint16(NNTP_ERR_STREAM_WRITE) : quint16(0));
    return;
  }
  if (length >= 2 && line[0] == '.' && line[1] == '.') {
    ++line;
    --length;
    fLinePtr = line;
    fLineLen = length;
  }
  fLastResponseLength = length;
  if (fStream) StreamLine(line, length, fHearsMessageLine);
  if (fHearsMessageLine) emit OnMessageLine(this);
}

// Lines that end in CR LF and follow each other unchanged go out as one
// piece; flushNow empties the run at once for a listener that reads the
// stream line by line.
void TNntpCli::StreamLine(const char* line, qsizetype length, bool flushNow) {
  const bool plainEnd = fLineRawEnd == line + length + 2 && line[length] == '\r';
  if (plainEnd && line == fRunEnd) {
    fRunEnd = fLineRawEnd;
  } else {
    FlushRun();
    if (plainEnd) {
      fRunStart = line;
      fRunEnd = fLineRawEnd;
    } else {
      WriteStream(line, length);
      WriteStream("\r\n", 2);
    }
  }
  if (flushNow) FlushRun();
}

void TNntpCli::XHdrFirst() {
  const int status = ParseCurrentStatus();
  if (status != 221) {
    TriggerRequestDone(nntpXHdr, ReplyError(status));
    return;
  }
  fStatusLineLength = std::min<qsizetype>(fLineLen, LAST_RESPONSE_TAKEN);
  std::memcpy(fStatusLine, fLinePtr, fStatusLineLength);
  fStatusLine[fStatusLineLength] = '\0';
  fNext = &TNntpCli::XHdrData;
  emit OnXHdrBegin(this);
}

void TNntpCli::XHdrData() {
  const char* line = fLinePtr;
  const qsizetype length = fLineLen;
  if (length == 1 && line[0] == '.') {
    FlushRun();
    SetLastResponse(QByteArrayView(fStatusLine, fStatusLineLength));
    emit OnXHdrEnd(this);
    TriggerRequestDone(nntpXHdr, fStreamFailed ? quint16(NNTP_ERR_STREAM_WRITE) : quint16(0));
    return;
  }
  fLastResponseLength = length;
  if (fStream) StreamLine(line, length, fHearsXHdrLine);
  if (fHearsXHdrLine) emit OnXHdrLine(this);
}

// ---------------------------------------------------------------------------
// Posting

void TNntpCli::PostFirstReply() {
  const int status = ParseCurrentStatus();
  if (status != 340) {
    TriggerRequestDone(nntpPost, ReplyError(status));
    return;
  }
  fNext = &TNntpCli::PostFinalReply;
  fPosting = true;
  fPostFinished = false;
  SendNextPostBlock();
}

void TNntpCli::PostFinalReply() {
  const int status = ParseCurrentStatus();
  fPosting = false;
  TriggerRequestDone(nntpPost, status == 240 ? 0 : ReplyError(status));
}

void TNntpCli::NotePostData(QByteArrayView data) {
  if (data.isEmpty()) return;
  const char last = data.back();
  const char before = data.size() >= 2 ? data[data.size() - 2] : fPostTail;
  fPostEndsWithLineEnd = last == '\n' && before == '\r';
  fPostTail = last;
}

qsizetype TNntpCli::PutPostTerminator(char* dst) const {
  // An article that already ends with a line end gets no extra empty line.
  if (fPostEndsWithLineEnd) {
    std::memcpy(dst, ".\r\n", 3);
    return 3;
  }
  std::memcpy(dst, "\r\n.\r\n", 5);
  return 5;
}

bool TNntpCli::NextPostBlock(QByteArrayView& block, bool& finished) {
  finished = false;
  char* const buffer = fPostBlock.get();
  const qint64 n = fPostStream ? fPostStream->read(buffer, POST_BLOCK_SIZE) : 0;
  if (n < 0) {
    LogError(u"Could not read the article to post: "_s + fPostStream->errorString());
    return false;
  }
  if (n == 0) {
    block = QByteArrayView(buffer, PutPostTerminator(buffer));
    finished = true;
    return true;
  }
  block = QByteArrayView(buffer, n);
  NotePostData(block);
  return true;
}

void TNntpCli::SocketBytesWritten() {
  if (fPosting && !fPostFinished && fSocket->bytesToWrite() == 0) SendNextPostBlock();
}

void TNntpCli::SendNextPostBlock() {
  if (!fPosting || fPostFinished || fRequestDone) return;
  if (fSocket->state() != QAbstractSocket::ConnectedState) return;
  QByteArrayView block;
  bool finished = false;
  if (!NextPostBlock(block, finished)) {
    // The article is incomplete: hang up rather than let the server take it.
    LogError("Posting stopped: the article source failed");
    fPosting = false;
    fCloseAfterEvent = true;
    TriggerRequestDone(nntpPost, NNTP_ERR_POST_SOURCE);
    if (!fInRead) {
      fCloseAfterEvent = false;
      fSocket->abort();
    }
    return;
  }
  fPostFinished = finished;
  if (block.isEmpty()) {
    if (!finished) {
      // Nothing this time but more to come; bytesWritten will not fire.
      QMetaObject::invokeMethod(this, &TNntpCli::SendNextPostBlock, Qt::QueuedConnection);
    }
    return;
  }
  const qint64 written = fSocket->write(block.data(), block.size());
  if (written != block.size()) {
    LogWarning("Posting failed: the connection refused the data");
    SetLastResponse(kPostingFailed);
    PostFinalReply();
    return;
  }
  fBytesSent += static_cast<quint64>(written);
  emit OnPostBlock(this, block);
  emit OnSendData(this);
  PostBlockSent();
}
