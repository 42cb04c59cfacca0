#include "app/ReturnCodes.h"
#include "binaries/DecodeCommand.h"
#include "binaries/DownloadCommand.h"
#include "headers/HeadersCommand.h"
#include "headers/LoadCommand.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

// korvel-cli: engine commands without a window (tools, benchmarks, scripts).
int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  const QStringList args = app.arguments();
  if (args.size() < 2 || args[1] == u"help"_s || args[1] == u"--help"_s) {
    out << "usage: korvel-cli <command> [arguments]\n"
           "commands:\n"
           "  help    this text\n"
           "  decode  ARTICLE_FILE... [--dir DIR] [--overwrite]\n"
           "          decode the stored articles of one post, in order, into DIR\n"
           "  download FILE.nzb [--dir DIR] [--server NAME | --host HOST [--port N] ...] [--connections N]\n"
           "          download and decode the files of an NZB (resumes a list made from it before)\n"
           "  headers GROUP... [--host HOST[:PORT] | --server NAME] [--connections N] [options]\n"
           "          download the headers of newsgroups into header files (--help for all)\n"
           "  load    JOB_FILE [FIRST [LAST]]\n"
           "          load a headers job's header files and count posts and articles\n";
    return args.size() < 2 ? 2 : 0;
  }
  if (args[1] == u"decode"_s) return RunDecodeCommand(args.mid(2), out, err);
  if (args[1] == u"download"_s) return RunDownloadCommand(args.mid(2), out, err);
  if (args[1] == u"load"_s) return RunLoadCommand(args.mid(2), out, err);
  if (args[1] == u"headers"_s) return RunHeadersCommand(args.mid(2), out, err);
  err << "korvel-cli: unknown command " << args[1] << '\n';
  return 2;
}
