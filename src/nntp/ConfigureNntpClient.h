#pragma once

class TMyNntpCli;
struct TNewsServerEntry;

// Points a client at the server of a definition: host, port, login, security
// mode and the certificate the user accepted for it. Every connection opened
// from a server record goes through here, so none forgets the TLS settings.
// Time-out and AutoAuthenticate stay the caller's choice.
void ConfigureNntpClient(TMyNntpCli& client, const TNewsServerEntry& server);
