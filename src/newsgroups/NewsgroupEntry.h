#pragma once

#include "nntp/NewsServerEntry.h"

#include <QByteArray>
#include <QMetaType>

#include <cstdint>

// One newsgroup to be counted on one server, with what GROUP answered. The
// server definition is a copy, so the record can travel between threads.
struct TNewsgroupEntry {
  TNewsServerEntry server;
  QByteArray name;
  // From the GROUP reply; -1 while unknown. An estimate of -9 means the
  // server does not carry the group (reply 411).
  std::int64_t first = -1;
  std::int64_t last = -1;
  std::int64_t estimated = -1;
};

Q_DECLARE_METATYPE(TNewsgroupEntry)
