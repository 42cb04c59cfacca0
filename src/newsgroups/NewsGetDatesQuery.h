#pragma once

#include "newsgroups/HeaderDateQuery.h"

class TNewsGetDates;

// The date query of the range dialog over a real server connection.
class TNewsGetDatesQuery : public THeaderDateQuery {
  Q_OBJECT
 public:
  TNewsGetDatesQuery(const TNewsServerEntry& server, const QString& newsgroup, QObject* parent = nullptr);
  ~TNewsGetDatesQuery() override;

  bool Open() override;
  void QueryDates(const QStringList& articleNumbers) override;
  void Disconnect() override;

  TNewsGetDates* Client() const { return fClient; }

 protected:
  void customEvent(QEvent* event) override;

 private:
  TNewsGetDates* fClient;
};
