#pragma once

#include <QStringList>
#include <QTextStream>

// korvel-cli headers GROUP... [options]: runs one headers job, through the
// job manager and download thread the program uses, for the newsgroups on a
// server of the user data directory or on one given by options, shows a
// one-line progress display on a terminal and prints where the header files
// went. Returns the process exit code: 0 completed, 1 the job did not
// complete, 2 wrong arguments or no server.
int RunHeadersCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
