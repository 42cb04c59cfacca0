#pragma once

#include "nntp/MyNntpCli.h"

#include <QEvent>
#include <QPointer>
#include <QStringList>

// The dates of chosen articles of one newsgroup: logs in, selects the group
// and fetches the head of each requested article, one after the other,
// keeping its Date. Lives on its owner's thread and event loop; it tells the
// owner by posting events, never from inside a call.
class TNewsGetDates : public TMyNntpCli {
  Q_OBJECT
 public:
  // Event types posted to OwnerWindow (the first application message, 1024, plus 10 and 20).
  static constexpr QEvent::Type EVENT_READY = QEvent::Type(1024 + 10);     // group selected
  static constexpr QEvent::Type EVENT_FINISHED = QEvent::Type(1024 + 20);  // Code() says how

  // Codes of EVENT_FINISHED.
  enum {
    RESULT_OK = 0,              // every number tried; Dates is complete
    RESULT_BAD_NUMBER = 1,      // an entry of ArticleNumbers is not an integer
    RESULT_CONNECT_FAILED = 2,  // lookup, connect, a banner that is not 2xx, or the connection was lost
    RESULT_LOGIN_FAILED = 3,    // an explicit login failed
    RESULT_LOGIN_REFUSED = 4,   // the automatic login was refused (502)
    RESULT_LOGIN_ERROR = 5,     // the automatic login failed otherwise
    RESULT_GROUP_FAILED = 6     // GROUP failed
  };

  class TEvent : public QEvent {
   public:
    TEvent(Type type, int code) : QEvent(type), fCode(code) {}
    int Code() const { return fCode; }

   private:
    int fCode;
  };

  explicit TNewsGetDates(QObject* parent = nullptr);

  // Filled by the owner before each query: article numbers in decimal text.
  QStringList ArticleNumbers;
  // One entry per requested number, in order: the date-time (days since
  // 30 December 1899, local time) as text, or empty when the head could not
  // be fetched or holds no readable Date.
  QStringList Dates;
  int CurrentIndex = 0;
  // Receives the events; none: nothing is posted.
  QPointer<QObject> OwnerWindow;
  QByteArray TargetGroup;

  // Starts connecting with automatic login. 0, or -1 when it could not start.
  int Open(QObject* owner);
  // Fetches the dates of ArticleNumbers; nothing happens when it is empty.
  void QueryDates();

 private:
  void RequestDone(TNntpCli* sender, TNntpRequest kind, quint16 errCode);
  void MessageLine(TNntpCli* sender);
  void RequestNextHead();
  void Notify(QEvent::Type type, int code = 0);
};
