#include "nntp/ConfigureNntpClient.h"

#include "app/Logger.h"
#include "nntp/MyNntpCli.h"
#include "nntp/NewsServerEntry.h"

using namespace Qt::StringLiterals;

void ConfigureNntpClient(TMyNntpCli& client, const TNewsServerEntry& server) {
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
    case SECURITY_PLAIN:
      client.SetTlsMode(NNTP_TLS_NONE);
      break;
  }
  if (!client.SetAcceptedCertificate(server.acceptedFingerprint))
    LogWarning(u"Ignoring a malformed accepted certificate fingerprint of "_s + server.Name());
}
