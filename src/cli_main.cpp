#include "app/ReturnCodes.h"
#include "headers/LoadCommand.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

// korvel-cli: engine commands without a window (tools, benchmarks, scripts).
int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  const QStringList args = app.arguments();
  if (args.size() < 2 || args[1] == u"help"_s || args[1] == u"--help"_s) {
    out << "usage: korvel-cli <command> [arguments]\n"
           "commands:\n"
           "  help    this text\n"
           "  load    load a headers job's header files and count posts and articles\n";
    return args.size() < 2 ? 2 : 0;
  }
  if (args[1] == u"load"_s) {
    QTextStream err(stderr);
    return RunLoadCommand(args.mid(2), out, err);
  }
  QTextStream(stderr) << "korvel-cli: unknown command " << args[1] << '\n';
  return 2;
}
