#include "nntp/NntpTypes.h"

#include <QAbstractSocket>

#include <iterator>

using namespace Qt::StringLiterals;

namespace {
const char* const kRequestNames[] = {
    "nntpGroup",
    "nntpList",
    "nntpConnect",
    "nntpPost",
    "nntpHelp",
    "nntpNewGroups",
    "nntpNewNews",
    "nntpArticleByNumber",
    "nntpArticleByID",
    "nntpBodyByID",
    "nntpBodyByNumber",
    "nntpHeadByID",
    "nntpHeadByNumber",
    "nntpStatByID",
    "nntpStatByNumber",
    "nntpNext",
    "nntpLast",
    "nntpQuit",
    "nntpAbort",
    "nntpXOver",
    "nntpListOverViewFmt",
    "nntpDate",
    "nntpAuthenticate",
    "nntpModeReader",
    "nntpXHdr",
    "nntpListNewsgroups",
    "nntpXPAT",
    "nntpListMotd",
    "nntpReadyWaiting",
    "nntpCustomCommand",
    "nntpConnecting",
    "nntpConnected",
};
static_assert(std::size(kRequestNames) == nntpConnected + 1);

const char* const kStateNames[] = {"nntpNotConnected", "nntpDnsLookup", "nntpWaitingBanner", "nntpReady",
                                   "nntpWaitingResponse"};
static_assert(std::size(kStateNames) == nntpWaitingResponse + 1);
}  // namespace

const char* NntpRequestName(TNntpRequest request) { return request <= nntpConnected ? kRequestNames[request] : "?"; }

const char* NntpStateName(TNntpState state) { return state <= nntpWaitingResponse ? kStateNames[state] : "?"; }

QString NntpErrorText(quint16 code) {
  switch (code) {
    case 0:
      return u"Success"_s;
    case NNTP_ERR_CONNECTION_REFUSED:
      return u"The server refused the connection"_s;
    case NNTP_ERR_CONNECTION_CLOSED:
      return u"The server closed the connection"_s;
    case NNTP_ERR_HOST_NOT_FOUND:
      return u"The server's address could not be found"_s;
    case NNTP_ERR_TLS_HANDSHAKE:
      return u"The secure connection could not be established"_s;
    case NNTP_ERR_LINE_TOO_LONG:
      return u"The server sent a line longer than the client accepts"_s;
    case NNTP_ERR_TLS_UNTRUSTED:
      return u"The server's certificate is not trusted"_s;
    case NNTP_ERR_STARTTLS_REFUSED:
      return u"The server does not offer a secure connection (STARTTLS)"_s;
    case NNTP_ERR_INVALID_PORT:
      return u"The port is not valid"_s;
    case NNTP_ERR_STREAM_WRITE:
      return u"The received data could not be stored"_s;
    case NNTP_ERR_POST_SOURCE:
      return u"The article to post could not be read"_s;
    case NNTP_ERR_BAD_REPLY:
      return u"The server's reply could not be understood"_s;
    default:
      break;
  }
  if (code >= 100 && code <= 599) return u"Server reply "_s + QString::number(code);
  if (code >= NNTP_ERR_SOCKET_BASE && code < NNTP_ERR_LINE_TOO_LONG)
    return u"Network error "_s + QString::number(code - NNTP_ERR_SOCKET_BASE);
  return u"Error "_s + QString::number(code);
}
