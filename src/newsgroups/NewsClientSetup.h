#pragma once

#include "nntp/NewsServerEntry.h"

class TMyNntpCli;

// Points a client at a server definition: host, port, login and how the
// connection is secured (with the certificate the user accepted, if any).
void ConfigureNewsClient(TMyNntpCli& client, const TNewsServerEntry& server);
