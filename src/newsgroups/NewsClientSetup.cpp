#include "newsgroups/NewsClientSetup.h"

#include "nntp/MyNntpCli.h"

void ConfigureNewsClient(TMyNntpCli& client, const TNewsServerEntry& server) {
  client.SetHost(server.HostName());
  client.SetPort(QString::number(server.port));
  client.SetUserName(DisplayText(server.userName));
  client.SetPassWord(DisplayText(server.password));
  switch (server.Security()) {
    case SECURITY_TLS:
      client.SetTlsMode(NNTP_TLS_IMPLICIT);
      break;
    case SECURITY_STARTTLS:
      client.SetTlsMode(NNTP_TLS_STARTTLS);
      break;
    default:
      client.SetTlsMode(NNTP_TLS_NONE);
      break;
  }
  client.SetAcceptedCertificate(server.acceptedFingerprint);
}
