#pragma once

#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListWriter.h"
#include "nntp/NewsServerEntry.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>

#include <gtest/gtest.h>

#include <functional>

// A group as a list file holds it.
struct TGroupRow {
  QByteArray name;
  std::int32_t newCount, total;
  bool operator==(const TGroupRow&) const = default;
};

inline void PrintTo(const TGroupRow& r, std::ostream* os) {
  *os << r.name.constData() << " (" << r.newCount << ", " << r.total << ")";
}

// A server definition aimed at 127.0.0.1:port.
inline TNewsServerEntry LocalServer(quint16 port, const QByteArray& name = "Local") {
  TNewsServerEntry server = TNewsServerEntry::Init();
  server.name = name;
  server.host = "127.0.0.1";
  server.port = port;
  return server;
}

// Writes a list pair base + ".gnam"/".gdat" in dir; returns the names path.
inline QString WriteGroupList(const QString& dir, const QString& base, const QList<TGroupRow>& rows) {
  TGroupListWriter w;
  EXPECT_TRUE(w.Open(dir + base));
  for (const TGroupRow& r : rows) w.Append(r.name, r.newCount, r.total);
  EXPECT_TRUE(w.Finish());
  return dir + base + QStringLiteral(".gnam");
}

inline QList<TGroupRow> ReadGroupList(const QString& path) {
  TGroupList list;
  if (!list.Load(path)) return {};
  QList<TGroupRow> rows;
  rows.reserve(list.Count());
  for (qsizetype i = 0; i < list.Count(); ++i)
    rows.append({list.Name(i).toByteArray(), list.entries[i].newCount, list.entries[i].total});
  return rows;
}

// Runs the event loop until done() holds; false on time-out.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  return done();
}
