#pragma once

#include "nntp/MyNntpCli.h"

#include <QByteArray>

struct TDownloadConnection;

// The NNTP client of one download connection: the program's client plus a
// link back to its connection and the newsgroup it has entered.
class TNewsCli : public TMyNntpCli {
  Q_OBJECT

 public:
  explicit TNewsCli(TDownloadConnection* connection, QObject* parent = nullptr)
      : TMyNntpCli(parent), fConnection(connection) {}

  TDownloadConnection* Connection() const { return fConnection; }
  // The newsgroup entered on this connection; empty when none.
  QByteArray newsgroup;

 private:
  TDownloadConnection* fConnection;
};
