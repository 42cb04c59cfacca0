#pragma once

#include "nntp/MyNntpCli.h"

#include <QByteArray>

#include <functional>

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
  // Called for each block read from the socket. The manager counts bytes
  // here rather than through OnRcvdData, which fires for every line and
  // keeps the client off its fast path for article bodies.
  std::function<void(TNewsCli*)> OnData;

 protected:
  void DataReceived() override {
    TMyNntpCli::DataReceived();
    if (OnData) OnData(this);
  }

 private:
  TDownloadConnection* fConnection;
};
