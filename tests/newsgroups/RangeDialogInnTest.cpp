// The download-range dialog with dates fetched from the private INN server.
#include "app/DayCount.h"
#include "newsgroups/HeaderDateQuery.h"
#include "newsgroups/ui/HeadersRangeForm.h"
#include "nntp/ArticleDate.h"
#include "nntp/NewsServerEntry.h"
#include "support/InnServer.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TRangeDialogInnTest : public QObject {
  Q_OBJECT

  static QAction* Action(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
      if (a->text() == text) return a;
    return nullptr;
  }

 private slots:
  void datesOfTheRangeEnds() {
    QString why;
    QVERIFY2(TInnServer::Available(&why), qPrintable(why));
    const QByteArray group = TInnServer::UniqueGroup("range");
    QVERIFY(TInnServer::CreateGroups({group}));
    const QList<QByteArray> dates = {"Mon, 5 Mar 2007 14:03:10 +0100", "Tue, 6 Mar 2007 08:00:00 GMT",
                                     "Sat, 02 Feb 2002 12:51:44 -0800"};
    for (const QByteArray& date : dates) {
      QByteArray article = TInnServer::MakeArticle(group, "dated", "body\r\n", TInnServer::UniqueMessageId());
      const qsizetype at = article.indexOf("Date: ");
      article.replace(at, article.indexOf("\r\n", at) - at, "Date: " + date);
      QVERIFY(TInnServer::Post(article));
    }

    TfrmHeadersRange::TInput in;
    in.first = 1;
    in.last = 3;
    in.estimated = 3;
    in.lastVisit = 1;
    in.newsgroup = QString::fromLatin1(group);
    in.server.host = TInnServer::Host().toUtf8();
    in.server.port = TInnServer::Port();
    in.server.userName = TInnServer::User().toUtf8();
    in.server.password = TInnServer::Password().toUtf8();
    THeaderDateQuery::SetFactory({});  // the real query
    TfrmHeadersRange dialog(in);
    dialog.show();
    QVERIFY(dialog.Query());

    // Connected, then the dates of the range it opened with (2..3): the moments
    // the articles carry, shown in local time.
    const auto shown = [&dates](int i) { return TfrmHeadersRange::FormatDate(DaysToText(ParseArticleDate(dates[i]))); };
    QCOMPARE(
        shown(1),
        QLocale().toString(
            QDateTime(QDate(2007, 3, 6), QTime(8, 0), Qt::UTC).addSecs(QDateTime::currentDateTime().offsetFromUtc()),
            u"MMM d, yyyy - HH:mm:ss"_s));
    QTRY_COMPARE_WITH_TIMEOUT(dialog.FirstDateText(), shown(1), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.LastDateText(), shown(2), 10000);
    QCOMPARE(dialog.StatusText(), QString());
    QVERIFY(dialog.DatesButton()->isEnabled());

    // "All headers" asks for the first article only: the last is already shown.
    Action(dialog.SelectionMenu(), u"All headers"_s)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.FirstDateText(), shown(0), 10000);
    QCOMPARE(dialog.LastDateText(), shown(2));

    dialog.reject();
    QVERIFY(!dialog.Query());
  }
};

int main(int argc, char** argv) {
  TTestEnvironment environment;
  QApplication app(argc, argv);
  TRangeDialogInnTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RangeDialogInnTest.moc"
