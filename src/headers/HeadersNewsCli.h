#pragma once

#include "headers/HeaderFileWriter.h"
#include "nntp/MyNntpCli.h"

#include <QString>

struct TNewsServerEntry;

// The NNTP client of one connection of a headers download: the program's
// client plus the connection's open part files (written through the header
// file writer, which also holds the seek part file of a job of one
// connection and one newsgroup).
class THeadersNewsCli : public TMyNntpCli {
  Q_OBJECT

 public:
  explicit THeadersNewsCli(int index, QObject* parent = nullptr) : TMyNntpCli(parent), fIndex(index) {}

  int Index() const { return fIndex; }

  // Host, port, login, TLS and the certificate the user accepted, from a
  // server definition; automatic login on.
  void Configure(const TNewsServerEntry& server);

  THeaderFileWriter parts;
  QString textPartName;
  QString indexPartName;

 private:
  int fIndex;
};
