#include "headers/HeadersNewsCli.h"

#include "nntp/NewsServerEntry.h"

void THeadersNewsCli::Configure(const TNewsServerEntry& server) {
  SetHost(server.HostName());
  SetPort(QString::number(server.port));
  SetUserName(QString::fromUtf8(server.userName));
  SetPassWord(QString::fromUtf8(server.password));
  SetAutoAuthenticate(true);
  switch (server.Security()) {
    case SECURITY_TLS:
      SetTlsMode(NNTP_TLS_IMPLICIT);
      break;
    case SECURITY_STARTTLS:
      SetTlsMode(NNTP_TLS_STARTTLS);
      break;
    default:
      SetTlsMode(NNTP_TLS_NONE);
      break;
  }
  SetAcceptedCertificate(server.acceptedFingerprint);
}
