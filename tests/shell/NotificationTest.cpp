// Desktop notifications: queued in order, one window at a time, each for its
// own duration; switches that silence them; queueing from other threads.

#include "ShellTestSupport.h"

#include "app/Settings.h"
#include "shell/NotificationManager.h"
#include "shell/NotificationWindow.h"

#include <QScreen>
#include <QThread>

using namespace Qt::StringLiterals;

class TNotificationTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void shownInOrderWithTheirDurations();
  void switchesSilenceNotifications();
  void queuedFromAnotherThread();

 private:
  TNotificationManager& Manager() { return TNotificationManager::Instance(); }
  QStringList fShown;
  QList<int> fDurations;
};

void TNotificationTest::init() {
  Settings() = TSettings();
  fShown.clear();
  fDurations.clear();
  Manager().Clear();
  // A short clock: the window is up in one step.
  Manager().SetTimings({1, 1000});
  Manager().SetShownObserver([this](const TNotification& n) {
    fShown.append(n.text);
    fDurations.append(n.duration);
  });
}

void TNotificationTest::cleanup() {
  Manager().Clear();
  Manager().SetShownObserver(nullptr);
  Manager().SetTimings({});
}

void TNotificationTest::shownInOrderWithTheirDurations() {
  TSettings& s = Settings();
  s.notifications[NOTIFICATION_HEADERS_DOWNLOAD_STARTED].duration = 40;
  s.notifications[NOTIFICATION_HEADERS_DOWNLOAD_COMPLETED].duration = 80;
  s.notifications[NOTIFICATION_HEADERS_LOADED].duration = 0;  // until closed
  Manager().ShowNotification(NOTIFICATION_HEADERS_DOWNLOAD_STARTED);
  Manager().ShowNotification(NOTIFICATION_HEADERS_DOWNLOAD_COMPLETED);
  Manager().ShowNotification(NOTIFICATION_HEADERS_LOADED);

  // One window; the others wait their turn.
  QCOMPARE(fShown, QStringList{u"A download task has started."_s});
  QCOMPARE(Manager().Count(), 2);
  TNotificationWindow* window = Manager().Window();
  QVERIFY(window && window->isVisible());
  QVERIFY(!window->testAttribute(Qt::WA_WState_Hidden) && window->testAttribute(Qt::WA_ShowWithoutActivating));

  QTRY_COMPARE(fShown.size(), 3);
  QCOMPARE(fShown,
           (QStringList{u"A download task has started."_s, u"Headers have been downloaded and saved successfully."_s,
                        u"Headers have been successfully loaded."_s}));
  QCOMPARE(fDurations, (QList<int>{40, 80, 0}));
  QCOMPARE(Manager().Window(), window);  // the same window showed them all

  // Risen to its place at the right edge, and there it stays without a duration.
  QTRY_VERIFY(!window->IsSliding());
  const QRect area = window->screen()->availableGeometry();
  QCOMPARE(window->geometry().right(), area.right() - 1);
  QVERIFY(window->geometry().bottom() <= area.bottom() + 48);
  QTest::qWait(150);
  QVERIFY(window->isVisible());
  QVERIFY(!window->IsHolding());
  QTest::mouseClick(window, Qt::LeftButton);
  QVERIFY(!window->isVisible());
  QCOMPARE(Manager().Count(), 0);
  QTRY_VERIFY(!Manager().Window());  // freed once nothing waits
}

void TNotificationTest::switchesSilenceNotifications() {
  TSettings& s = Settings();
  s.gShowNotificationWindows = false;
  Manager().ShowNotification(NOTIFICATION_HEADERS_DOWNLOAD_FAILED);
  QVERIFY(fShown.isEmpty());
  QCOMPARE(Manager().Count(), 0);
  QVERIFY(!Manager().Window());

  s.gShowNotificationWindows = true;
  s.notifications[NOTIFICATION_HEADERS_DOWNLOAD_FAILED].enabled = false;
  s.notifications[NOTIFICATION_HEADERS_DECODE_COMPLETE].duration = 0;
  Manager().ShowNotification(NOTIFICATION_HEADERS_DOWNLOAD_FAILED);
  Manager().ShowNotification(NOTIFICATION_HEADERS_DECODE_COMPLETE);
  QCOMPARE(fShown, QStringList{u"Decoding of binary posts has completed successfully."_s});
  QCOMPARE(Manager().Count(), 0);
}

void TNotificationTest::queuedFromAnotherThread() {
  Settings().notifications[NOTIFICATION_HEADERS_DOWNLOAD_STARTED].duration = 0;
  std::unique_ptr<QThread> worker(QThread::create([this] {
    for (int i = 0; i < 3; ++i) Manager().AddNotification({u"n"_s + QString::number(i), 0});
    Manager().ShowNotification(NOTIFICATION_HEADERS_DOWNLOAD_STARTED);
  }));
  worker->start();
  QVERIFY(worker->wait(5000));
  QTRY_COMPARE(fShown, QStringList{u"n0"_s});
  for (const QString& next : {u"n1"_s, u"n2"_s, u"A download task has started."_s}) {
    Manager().Window()->Finish();
    QCOMPARE(fShown.last(), next);
  }
}

KORVEL_QTEST_MAIN(TNotificationTest)
#include "NotificationTest.moc"
