#include "headers/HeadersNewsCli.h"

#include "nntp/ConfigureNntpClient.h"

void THeadersNewsCli::Configure(const TNewsServerEntry& server) {
  ConfigureNntpClient(*this, server);
  SetAutoAuthenticate(true);
}
