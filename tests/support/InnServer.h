#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The private INN news server of the test run. The CTest fixture "inn"
// (tests/servers/inn-server.sh) starts one per ctest run on 127.0.0.1 and
// writes its port and login to a state file; tests that use it are registered
// with `FIXTURES_REQUIRED inn` and the label "inn". Benchmarks start their
// own and point KORVEL_INN_STATE at its state file.
//
// Several test processes share the server at once: give each its own groups
// (UniqueGroup) and message-ids (UniqueMessageId).
class TInnServer {
 public:
  // False, with the reason, when the state file is missing or unreadable.
  static bool Available(QString* why = nullptr);
  static QString StateFile();
  static QString Host();
  static quint16 Port();
  // The AUTHINFO user; anonymous readers may read and post as well.
  static QString User();
  static QString Password();

  // "korvel.test." + base + "." + a token unique to this process.
  static QByteArray UniqueGroup(QByteArrayView base);
  // A message-id (without angle brackets) never used before.
  static QByteArray UniqueMessageId();
  // Creates groups; existing ones are fine.
  static bool CreateGroups(const QList<QByteArray>& names, QString* error = nullptr);

  // An article with the headers INN needs and body lines joined by CR LF;
  // not dot-stuffed.
  static QByteArray MakeArticle(QByteArrayView group, QByteArrayView subject, QByteArrayView body,
                                QByteArrayView messageId);
  // Posts one article (not dot-stuffed; this does it) as a reader would.
  static bool Post(QByteArrayView article, QString* error = nullptr);
  // Loads many articles quickly as a feeding peer (MODE STREAM, TAKETHIS from
  // 127.0.0.2). Each article needs Message-ID, Path, From, Newsgroups,
  // Subject and Date headers. False when one was refused.
  static bool Feed(const QList<QByteArray>& articles, QString* error = nullptr);
};
