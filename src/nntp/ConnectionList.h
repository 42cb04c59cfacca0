#pragma once

#include "nntp/NewsServerEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// One server of a download's connections: its definition, how many
// connections to open, and whether its download limit is ignored.
struct TConnectionServer {
  TNewsServerEntry server;
  int connections = 0;
  bool unlimited = false;
};

// A connection list names news servers, one line per connection to open:
// ".srv" beside a download list, or "_DefaultDecodeConnectionList.txt".
class TConnectionList {
 public:
  static constexpr char kDefaultFileName[] = "_DefaultDecodeConnectionList.txt";

  // Lines as the editor reads them: trimmed, without empty and comment
  // (";" or "//") lines. A missing file gives none.
  static QStringList ReadLines(const QString& path);
  // Exactly the names, one per line; an empty list deletes the file.
  static bool Write(const QString& path, const QStringList& names);
  // count lines naming one server.
  static bool WriteDefault(const QString& userDataDir, int count, const QString& serverName);
  static QString DefaultPath(const QString& userDataDir);
  // The download list's path with its extension replaced by ".srv".
  static QString ListPathFor(const QString& downloadListPath);

  // Turns the list of a download list (or the default list) into servers and
  // connection counts. servers is the loaded server list. On failure the
  // message to show is in errorText and false is returned; a list that
  // cannot be read fails with no message and is left as it is.
  static bool Load(const QString& downloadListPath, const QString& userDataDir,
                   const QList<TNewsServerEntry>& servers, bool unlimited, QList<TConnectionServer>& out,
                   QString& errorText);
};
