#pragma once

#include <QStringList>

class QTextStream;

// "korvel-cli download FILE.nzb [options]": imports the NZB into a download
// list (or resumes the list imported before) and works it off with the same
// download manager as the program, printing progress once a second.
//
// Servers: "--server NAME" picks a defined server (repeatable); "--host HOST"
// defines one on the spot, followed by its "--port", "--user", "--password",
// "--tls" or "--starttls" and "--fill" (a server that only fills in what the
// others lack); "--connections N" applies to the server named before it.
// Without either, the default connection list of the user's profile is used.
//
// Returns 0 when every post was downloaded and decoded, 1 when anything
// could not be (missing articles, decode errors, an aborted run), 2 for a
// usage error.
int RunDownloadCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
