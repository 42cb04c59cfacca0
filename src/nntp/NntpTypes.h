#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>

// The connection states of an NNTP client.
enum TNntpState : std::uint8_t {
  nntpNotConnected,
  nntpDnsLookup,
  nntpWaitingBanner,
  nntpReady,
  nntpWaitingResponse,
};

// The kind of the current or completed request. The values are logged and
// compared by callers, so the order is fixed.
enum TNntpRequest : std::uint8_t {
  nntpGroup,
  nntpList,
  nntpConnect,
  nntpPost,
  nntpHelp,
  nntpNewGroups,
  nntpNewNews,
  nntpArticleByNumber,
  nntpArticleByID,
  nntpBodyByID,
  nntpBodyByNumber,
  nntpHeadByID,
  nntpHeadByNumber,
  nntpStatByID,
  nntpStatByNumber,
  nntpNext,
  nntpLast,
  nntpQuit,
  nntpAbort,
  nntpXOver,
  nntpListOverViewFmt,
  nntpDate,
  nntpAuthenticate,
  nntpModeReader,
  nntpXHdr,
  nntpListNewsgroups,
  nntpXPAT,
  nntpListMotd,
  nntpReadyWaiting,
  nntpCustomCommand,
  nntpConnecting,
  nntpConnected,
};

// How a client protects its connection. Plain TCP is the default, so stored
// server definitions keep working as before.
enum TNntpTlsMode : std::uint8_t {
  NNTP_TLS_NONE,      // plain TCP
  NNTP_TLS_IMPLICIT,  // TLS from the first byte (usually port 563)
  NNTP_TLS_STARTTLS,  // plain connection upgraded with STARTTLS after the banner
};

// Completion codes that do not come from the server. Server status codes are
// 100-599; socket failures are NNTP_ERR_SOCKET_BASE plus the value of
// QAbstractSocket::SocketError; the client's own failures follow.
enum : quint16 {
  NNTP_ERR_SOCKET_BASE = 10000,
  NNTP_ERR_CONNECTION_REFUSED = 10000,  // QAbstractSocket::ConnectionRefusedError
  NNTP_ERR_CONNECTION_CLOSED = 10001,   // QAbstractSocket::RemoteHostClosedError
  NNTP_ERR_HOST_NOT_FOUND = 10002,      // QAbstractSocket::HostNotFoundError
  NNTP_ERR_TLS_HANDSHAKE = 10013,       // QAbstractSocket::SslHandshakeFailedError
  NNTP_ERR_UNKNOWN_SOCKET = 10099,      // QAbstractSocket::UnknownSocketError
  NNTP_ERR_LINE_TOO_LONG = 10100,       // a reply line longer than LineLimit
  NNTP_ERR_TLS_UNTRUSTED = 10101,       // the server's certificate failed verification
  NNTP_ERR_STARTTLS_REFUSED = 10102,    // the server did not agree to STARTTLS
  NNTP_ERR_INVALID_PORT = 10103,        // Port is neither a number nor a known service
  NNTP_ERR_STREAM_WRITE = 10104,        // the destination stream refused data
  NNTP_ERR_POST_SOURCE = 10105,         // the article source failed while posting
  NNTP_ERR_BAD_REPLY = 10106,           // a reply line without a status code
};

// "nntpGroup", "nntpArticleByNumber", ...; "?" for a value out of range.
const char* NntpRequestName(TNntpRequest request);
// "nntpNotConnected", ...
const char* NntpStateName(TNntpState state);
// A short English text for a completion code (server status codes get a
// generic text; callers that know the command word their own messages).
QString NntpErrorText(quint16 code);

Q_DECLARE_METATYPE(TNntpRequest)
Q_DECLARE_METATYPE(TNntpState)
