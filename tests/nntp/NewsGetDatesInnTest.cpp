// The date query against the private INN server of the test run.
#include "DateQueryProbe.h"

#include "app/DayCount.h"
#include "nntp/ArticleDate.h"
#include "support/InnServer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int kReady = TNewsGetDates::EVENT_READY;
constexpr int kFinished = TNewsGetDates::EVENT_FINISHED;

// Articles 1..n of a new group, each with the given Date header.
QByteArray GroupWithDates(const QList<QByteArray>& dates) {
  const QByteArray group = TInnServer::UniqueGroup("dates");
  QString error;
  EXPECT_TRUE(TInnServer::CreateGroups({group}, &error)) << error.toStdString();
  for (const QByteArray& date : dates) {
    QByteArray article = TInnServer::MakeArticle(group, "dated", "body\r\n", TInnServer::UniqueMessageId());
    const qsizetype at = article.indexOf("Date: ");
    article.replace(at, article.indexOf("\r\n", at) - at, "Date: " + date);
    EXPECT_TRUE(TInnServer::Post(article, &error)) << error.toStdString();
  }
  return group;
}

void Connect(TNewsGetDates& query, const QByteArray& group, const QString& user = {}, const QString& pass = {}) {
  query.SetHost(TInnServer::Host());
  query.SetPort(QString::number(TInnServer::Port()));
  query.SetUserName(user);
  query.SetPassWord(pass);
  query.TargetGroup = group;
}

}  // namespace

class NewsGetDatesInn : public testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
  }
};

TEST_F(NewsGetDatesInn, DatesOfRealArticles) {
  const QList<QByteArray> dates = {"Mon, 5 Mar 2007 14:03:10 +0100", "21 Nov 97 09:55:06 GMT",
                                   "Sat, 02 Feb 2002 12:51:44 -0800"};
  const QByteArray group = GroupWithDates(dates);
  TNewsGetDates query;
  TDateQueryOwner owner;
  Connect(query, group, TInnServer::User(), TInnServer::Password());
  ASSERT_EQ(query.Open(&owner), 0);
  ASSERT_TRUE(owner.WaitFor(1));
  ASSERT_TRUE(owner.LastIs(kReady)) << owner.notes.back().code;

  query.ArticleNumbers = {u"3"_s, u"999"_s, u"1"_s, u"2"_s};
  query.QueryDates();
  ASSERT_TRUE(owner.WaitFor(2));
  ASSERT_TRUE(owner.LastIs(kFinished, TNewsGetDates::RESULT_OK));
  const TArticleDateClock clock = TArticleDateClock::Now();
  ASSERT_EQ(query.Dates.size(), 4);
  EXPECT_NEAR(DaysFromText(query.Dates[0]), ParseArticleDate(dates[2], clock), 1e-9);
  EXPECT_EQ(query.Dates[1], QString());  // no such article
  EXPECT_NEAR(DaysFromText(query.Dates[2]), ParseArticleDate(dates[0], clock), 1e-9);
  EXPECT_NEAR(DaysFromText(query.Dates[3]), ParseArticleDate(dates[1], clock), 1e-9);
}

TEST_F(NewsGetDatesInn, RefusedLoginAndMissingGroup) {
  const QByteArray group = GroupWithDates({"Mon, 5 Mar 2007 14:03:10 +0100"});
  {
    TNewsGetDates query;
    TDateQueryOwner owner;
    Connect(query, group, TInnServer::User(), u"not the password"_s);
    ASSERT_EQ(query.Open(&owner), 0);
    ASSERT_TRUE(owner.WaitFor(1));
    EXPECT_EQ(owner.notes.back().type, kFinished);
    const int code = owner.notes.back().code;
    EXPECT_TRUE(code == TNewsGetDates::RESULT_LOGIN_ERROR || code == TNewsGetDates::RESULT_LOGIN_REFUSED) << code;
  }
  {
    TNewsGetDates query;
    TDateQueryOwner owner;
    Connect(query, TInnServer::UniqueGroup("never.created"));
    ASSERT_EQ(query.Open(&owner), 0);
    ASSERT_TRUE(owner.WaitFor(1));
    EXPECT_TRUE(owner.LastIs(kFinished, TNewsGetDates::RESULT_GROUP_FAILED)) << owner.notes.back().code;
  }
}
