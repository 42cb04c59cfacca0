#include "newsgroups/NewsGetDatesQuery.h"

#include "nntp/NewsGetDates.h"

TNewsGetDatesQuery::TNewsGetDatesQuery(const TNewsServerEntry& server, const QString& newsgroup, QObject* parent)
    : THeaderDateQuery(parent), fClient(new TNewsGetDates(this)) {
  fClient->SetHost(server.HostName());
  fClient->SetPort(QString::number(server.port));
  fClient->SetUserName(DisplayText(server.userName));
  fClient->SetPassWord(DisplayText(server.password));
  switch (server.Security()) {
    case SECURITY_TLS:
      fClient->SetTlsMode(NNTP_TLS_IMPLICIT);
      break;
    case SECURITY_STARTTLS:
      fClient->SetTlsMode(NNTP_TLS_STARTTLS);
      break;
    default:
      fClient->SetTlsMode(NNTP_TLS_NONE);
      break;
  }
  if (!server.acceptedFingerprint.isEmpty()) fClient->SetAcceptedCertificate(server.acceptedFingerprint);
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
