#pragma once

#include "nntp/NewsServerEntry.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

// The dates of chosen articles of one newsgroup, fetched live from its server
// for the header-range dialog. Open starts connecting and Ready follows once
// the newsgroup is selected; each QueryDates ends with Finished. Both arrive
// through the event loop, never from inside a call.
class THeaderDateQuery : public QObject {
  Q_OBJECT
 public:
  // Codes of Finished.
  enum {
    DATES_OK = 0,              // every number was tried; dates is complete
    DATES_BAD_NUMBER = 1,      // an entry of the numbers is not an integer
    DATES_CONNECT_FAILED = 2,  // name lookup, connect or a banner that is not 2xx
    DATES_LOGIN_FAILED = 3,    // an explicit login failed
    DATES_LOGIN_REFUSED = 4,   // the automatic login was refused (502)
    DATES_LOGIN_ERROR = 5,     // the automatic login failed otherwise
    DATES_GROUP_FAILED = 6     // GROUP failed
  };

  using QObject::QObject;

  // False when connecting could not even start; the owner then disposes of the query.
  virtual bool Open() = 0;
  // articleNumbers in decimal text; nothing happens for an empty list.
  virtual void QueryDates(const QStringList& articleNumbers) = 0;
  // Closes the connection without further signals.
  virtual void Disconnect() = 0;

  // The queries the dialogs create: a server connection (TNewsGetDatesQuery)
  // unless a factory is set (tests); a factory may return none.
  using TFactory =
      std::function<std::unique_ptr<THeaderDateQuery>(const TNewsServerEntry& server, const QString& newsgroup)>;
  static void SetFactory(TFactory factory);
  // A new query, or none when the factory gives none.
  static std::unique_ptr<THeaderDateQuery> Create(const TNewsServerEntry& server, const QString& newsgroup);

 signals:
  // Connected, logged in and the newsgroup selected.
  void Ready();
  // dates: one entry per requested number, in order: a date-time (days since
  // 30 December 1899, local time) as text, or empty when it is unavailable.
  void Finished(int code, const QStringList& dates);
};
