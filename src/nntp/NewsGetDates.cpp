#include "nntp/NewsGetDates.h"

#include "app/DayCount.h"
#include "app/Logger.h"
#include "nntp/ArticleDate.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

TNewsGetDates::TNewsGetDates(QObject* parent) : TMyNntpCli(parent) {
  connect(this, &TNntpCli::OnRequestDone, this, &TNewsGetDates::RequestDone);
  connect(this, &TNntpCli::OnMessageLine, this, &TNewsGetDates::MessageLine);
}

int TNewsGetDates::Open(QObject* owner) {
  LOG_METHOD("TNewsGetDates.Open");
  OwnerWindow = owner;
  SetAutoAuthenticate(true);
  if (Connect()) return 0;
  LogError(u"Cannot start connecting to "_s + Host() + u": "_s + StartError());
  return -1;
}

void TNewsGetDates::QueryDates() {
  if (ArticleNumbers.isEmpty()) return;
  // Every entry starts unavailable: a head without a Date line, or one cut
  // short by a closed connection, must never show anything else.
  Dates = QStringList(ArticleNumbers.size(), QString());
  CurrentIndex = 0;
  RequestNextHead();
}

void TNewsGetDates::Notify(QEvent::Type type, int code) {
  if (OwnerWindow) QCoreApplication::postEvent(OwnerWindow, new TEvent(type, code));
}

void TNewsGetDates::RequestNextHead() {
  if (CurrentIndex >= ArticleNumbers.size()) {
    Notify(EVENT_FINISHED, RESULT_OK);
    return;
  }
  bool ok = false;
  const qint64 number = ArticleNumbers[CurrentIndex].trimmed().toLongLong(&ok);
  if (!ok) {
    Notify(EVENT_FINISHED, RESULT_BAD_NUMBER);
    return;
  }
  // A connection that is gone cannot send; the owner must not wait forever.
  if (!HeadByNumber(number, nullptr)) Notify(EVENT_FINISHED, RESULT_CONNECT_FAILED);
}

void TNewsGetDates::RequestDone(TNntpCli*, TNntpRequest kind, quint16 errCode) {
  switch (kind) {
    case nntpConnecting:
      if (errCode != 0) Notify(EVENT_FINISHED, RESULT_CONNECT_FAILED);
      break;
    case nntpReadyWaiting:
      if (errCode != 0)
        Notify(EVENT_FINISHED, errCode == 502 ? RESULT_LOGIN_REFUSED : RESULT_LOGIN_ERROR);
      else if (!Group(TargetGroup))
        Notify(EVENT_FINISHED, RESULT_CONNECT_FAILED);
      break;
    case nntpAuthenticate:
      if (errCode != 0) Notify(EVENT_FINISHED, RESULT_LOGIN_FAILED);
      break;
    case nntpGroup:
      // A close during GROUP completes with 0 as well: only a ready connection has the group.
      if (errCode == 0 && State() == nntpReady)
        Notify(EVENT_READY);
      else
        Notify(EVENT_FINISHED, errCode == 0 ? RESULT_CONNECT_FAILED : RESULT_GROUP_FAILED);
      break;
    case nntpHeadByNumber:
      if (errCode != 0 && CurrentIndex < Dates.size()) Dates[CurrentIndex].clear();
      ++CurrentIndex;
      RequestNextHead();
      break;
    case nntpAbort:
      // A silent server was given up: say so rather than leave the owner waiting.
      if (TimedOut()) Notify(EVENT_FINISHED, RESULT_CONNECT_FAILED);
      break;
    default:
      break;
  }
}

void TNewsGetDates::MessageLine(TNntpCli*) {
  if (LastCommand() != nntpHeadByNumber || CurrentIndex >= Dates.size()) return;
  QByteArrayView line = Line();
  while (!line.isEmpty() && static_cast<unsigned char>(line.front()) <= 32) line = line.sliced(1);
  while (!line.isEmpty() && static_cast<unsigned char>(line.back()) <= 32) line.chop(1);
  if (line.size() < 5 || qstrnicmp(line.data(), "date:", 5) != 0) return;
  const QByteArrayView text = line.sliced(5);
  // An unreadable Date stays unavailable rather than showing the current time.
  TArticleDateFields fields;
  const TArticleDateClock clock = TArticleDateClock::Now();
  if (!ParseArticleDateFields(text, clock.currentYear, fields)) return;
  Dates[CurrentIndex] = DaysToText(ParseArticleDate(text, clock));
}
