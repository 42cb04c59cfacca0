#include "shell/OpenRequest.h"

using namespace Qt::StringLiterals;

namespace {

const QString kOpenPrefix = u"[Open("_s;
const QString kOpenEnd = u"\")]"_s;

qsizetype SkipBlanks(const QString& text, qsizetype pos) {
  while (pos < text.size() && text.at(pos).isSpace()) ++pos;
  return pos;
}

// The end of an Open command starting at start: the position just past the
// first quote-parenthesis-bracket that is followed only by blanks and then
// either the end or the next command. -1 when there is none.
qsizetype OpenCommandEnd(const QString& text, qsizetype start) {
  const qsizetype quote = text.indexOf(u'"', start);
  if (quote < 0) return -1;
  qsizetype search = quote + 1;
  for (;;) {
    const qsizetype end = text.indexOf(kOpenEnd, search);
    if (end < 0) return -1;
    const qsizetype after = SkipBlanks(text, end + kOpenEnd.size());
    if (after == text.size() || text.at(after) == u'[') return end + kOpenEnd.size();
    search = end + 1;
  }
}

}  // namespace

QString MakeOpenCommand(const QString& path) { return kOpenPrefix + u'"' + path + kOpenEnd; }

QStringList SplitOpenRequest(const QString& request) {
  QStringList commands;
  qsizetype pos = 0;
  while ((pos = SkipBlanks(request, pos)) < request.size()) {
    const qsizetype start = pos;
    if (QStringView(request).mid(start).startsWith(kOpenPrefix, Qt::CaseInsensitive)) {
      const qsizetype end = OpenCommandEnd(request, start);
      if (end > 0) {
        commands.append(request.mid(start, end - start).trimmed());
        pos = end;
        continue;
      }
    }
    const qsizetype next = request.indexOf(u"]["_s, start);
    if (next < 0) {
      commands.append(request.mid(start).trimmed());
      break;
    }
    commands.append(request.mid(start, next + 1 - start).trimmed());
    pos = next + 1;
  }
  commands.removeAll(QString());
  return commands;
}

QStringList PathsOfOpenCommands(const QStringList& commands) {
  QStringList paths;
  for (const QString& command : commands) {
    if (!command.startsWith(kOpenPrefix, Qt::CaseInsensitive)) continue;
    const qsizetype first = command.indexOf(u'"');
    if (first < 0) continue;
    QString path;
    if (command.endsWith(kOpenEnd) && command.size() - kOpenEnd.size() > first) {
      path = command.mid(first + 1, command.size() - kOpenEnd.size() - first - 1);
    } else {
      const qsizetype second = command.indexOf(u'"', first + 1);
      if (second < 0) continue;
      path = command.mid(first + 1, second - first - 1);
    }
    if (!path.isEmpty()) paths.append(path);
  }
  return paths;
}
