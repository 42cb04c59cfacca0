#include "newsgroups/NewsGetDatesQuery.h"

#include "nntp/ConfigureNntpClient.h"
#include "nntp/NewsGetDates.h"

TNewsGetDatesQuery::TNewsGetDatesQuery(const TNewsServerEntry& server, const QString& newsgroup, QObject* parent)
    : THeaderDateQuery(parent), fClient(new TNewsGetDates(this)) {
  ConfigureNntpClient(*fClient, server);
  fClient->TargetGroup = newsgroup.toUtf8();
}

TNewsGetDatesQuery::~TNewsGetDatesQuery() { fClient->Disconnect(); }

bool TNewsGetDatesQuery::Open() { return fClient->Open(this) == 0; }

void TNewsGetDatesQuery::QueryDates(const QStringList& articleNumbers) {
  fClient->ArticleNumbers = articleNumbers;
  fClient->QueryDates();
}

void TNewsGetDatesQuery::Disconnect() { fClient->Disconnect(); }

void TNewsGetDatesQuery::customEvent(QEvent* event) {
  if (event->type() == TNewsGetDates::EVENT_READY) {
    emit Ready();
  } else if (event->type() == TNewsGetDates::EVENT_FINISHED) {
    emit Finished(static_cast<TNewsGetDates::TEvent*>(event)->Code(), fClient->Dates);
  }
}
