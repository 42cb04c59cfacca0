#pragma once

#include <QStringList>

class QTextStream;

// "korvel-cli decode ARTICLE_FILE... [--dir DIR] [--overwrite]": decodes the
// stored articles of one post, in the order given, into DIR (default: the
// current directory) and prints every produced file with its size and
// check. Returns the exit status: 0 when files were produced and none failed
// its check, 1 when nothing was produced, a check failed or the run failed,
// 2 for a usage error. Ctrl+C stops the run (its files are deleted).
int RunDecodeCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
