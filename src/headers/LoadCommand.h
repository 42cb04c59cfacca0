#pragma once

#include <QStringList>
#include <QTextStream>

// korvel-cli load <job file> [first [last]]: loads a job's header files into
// a header set and prints the post and article counts, the complete and
// incomplete binary posts and the time taken. The job file may be named by
// any of the job's files (".kvj", ".hdrs", ".idx", ".seek"). Returns the
// process exit code: 0 loaded, 1 the load failed, 2 wrong arguments.
int RunLoadCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
