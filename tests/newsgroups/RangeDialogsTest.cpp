#include "app/DayCount.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "headers/JobFile.h"
#include "newsgroups/HeaderDateQuery.h"
#include "newsgroups/ui/EnterMultipleNewsgroupsForm.h"
#include "newsgroups/ui/HeadersRangeForm.h"
#include "newsgroups/ui/NewsLoadRangeForm.h"
#include "newsgroups/ui/TextPrompt.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <deque>

using namespace Qt::StringLiterals;

namespace {

// Messages the dialogs show, kept instead of shown.
class TRecordingPrompt : public TUserPrompt::THandler {
 public:
  QStringList shown;
  void Information(const QString& text, const QString&) override { shown << text; }
  void Warning(const QString& text, const QString&) override { shown << text; }
  void Error(const QString& text, const QString&) override { shown << text; }
  bool Confirm(const QString& text, const QString&) override {
    shown << text;
    return false;
  }
  TUserPrompt::TAnswer Question(const QString& text, const QString&) override {
    shown << text;
    return TUserPrompt::ANSWER_CANCEL;
  }
};

// Answers the text prompts from a queue; an empty queue cancels.
struct TScriptedAnswers {
  std::deque<QString> answers;
  QStringList asked;  // "title|label"
  void Install() {
    TTextPrompt::SetAsker([this](QWidget*, const QString& title, const QString& label, QString& text) {
      asked << title + u'|' + label;
      if (answers.empty()) return false;
      text = answers.front();
      answers.pop_front();
      return true;
    });
  }
};

// A date query driven by the test.
class TFakeDateQuery : public THeaderDateQuery {
 public:
  static inline TFakeDateQuery* last = nullptr;
  static inline bool failOpen = false;
  bool opened = false;
  bool disconnected = false;
  QList<QStringList> queries;

  TFakeDateQuery() { last = this; }
  ~TFakeDateQuery() override {
    if (last == this) last = nullptr;
  }
  bool Open() override {
    opened = true;
    return !failOpen;
  }
  void QueryDates(const QStringList& numbers) override { queries << numbers; }
  void Disconnect() override { disconnected = true; }
};

QAction* Action(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->text() == text) return a;
    if (a->menu())
      if (QAction* inner = Action(a->menu(), text)) return inner;
  }
  return nullptr;
}

QString DaysText(int year, int month, int day, int h, int m, int s) {
  return DaysToText(DateTimeToDays(QDateTime(QDate(year, month, day), QTime(h, m, s))));
}

TfrmHeadersRange::TInput Input(std::int64_t first, std::int64_t last, std::int64_t estimated, std::int64_t lastVisit) {
  TfrmHeadersRange::TInput in;
  in.first = first;
  in.last = last;
  in.estimated = estimated;
  in.lastVisit = lastVisit;
  in.newsgroup = u"alt.test"_s;
  return in;
}

void Type(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  emit edit->editingFinished();
}

}  // namespace

class TRangeDialogsTest : public QObject {
  Q_OBJECT

  TRecordingPrompt fPrompt;
  TScriptedAnswers fAnswers;

 private slots:
  void init() {
    TUserPrompt::SetHandler(&fPrompt);
    fPrompt.shown.clear();
    fAnswers = {};
    fAnswers.Install();
    TFakeDateQuery::failOpen = false;
    THeaderDateQuery::SetFactory(
        [](const TNewsServerEntry&, const QString&) { return std::make_unique<TFakeDateQuery>(); });
  }
  void cleanup() {
    TUserPrompt::SetHandler(nullptr);
    TTextPrompt::SetAsker({});
    THeaderDateQuery::SetFactory({});
  }

  // ---- "Download Headers" ----

  void downloadHeadersEnabling() {
    struct TCase {
      bool multiple;
      std::int64_t lastMessage;
      bool sample;
      bool newOn, rangeOn, sampleOn;
    };
    const TCase cases[] = {
        {false, 0, true, false, true, true}, {false, 12, true, true, true, true}, {true, 0, false, true, false, false}};
    for (const TCase& c : cases) {
      TfrmEnterMultipleNewsgroups dialog(c.multiple, c.lastMessage, c.sample);
      QCOMPARE(dialog.NewButton()->isEnabled(), c.newOn);
      QCOMPARE(dialog.RangeButton()->isEnabled(), c.rangeOn);
      QCOMPARE(dialog.SampleButton()->isEnabled(), c.sampleOn);
    }
  }

  void downloadHeadersChoices() {
    struct TCase {
      const char* button;  // button clicked, or menu of this button
      const char* item;    // menu item, or nullptr
      const char* answer;  // typed into "Custom...", or nullptr
      int choice;          // -1: the dialog stays open
      int number;
    };
    const TCase cases[] = {
        {"all", nullptr, nullptr, TfrmEnterMultipleNewsgroups::CHOICE_ALL, 0},
        {"new", nullptr, nullptr, TfrmEnterMultipleNewsgroups::CHOICE_NEW, 0},
        {"range", nullptr, nullptr, TfrmEnterMultipleNewsgroups::CHOICE_RANGE, 0},
        {"cancel", nullptr, nullptr, TfrmEnterMultipleNewsgroups::CHOICE_CANCEL, 0},
        {"percent", "15%", nullptr, TfrmEnterMultipleNewsgroups::CHOICE_PERCENT, 15},
        {"percent", "Custom...", "42", TfrmEnterMultipleNewsgroups::CHOICE_PERCENT, 42},
        {"percent", "Custom...", "100", TfrmEnterMultipleNewsgroups::CHOICE_ALL, 0},
        {"percent", "Custom...", "0", -1, 0},
        {"percent", "Custom...", "101", -1, 0},
        {"percent", "Custom...", "many", -1, 0},
        {"sample", "Last 500 headers", nullptr, TfrmEnterMultipleNewsgroups::CHOICE_SAMPLE, 500},
        {"sample", "Custom...", "250000", TfrmEnterMultipleNewsgroups::CHOICE_SAMPLE, 250000},
        {"sample", "Custom...", "0", -1, 0},
    };
    for (const TCase& c : cases) {
      TfrmEnterMultipleNewsgroups dialog(false, 10);
      dialog.show();
      if (c.answer) fAnswers.answers = {QLatin1String(c.answer)};
      auto* button = dialog.findChild<QCommandLinkButton*>(QLatin1String(c.button));
      QVERIFY(button);
      if (c.item) {
        QAction* a = Action(button->menu(), QLatin1String(c.item));
        QVERIFY2(a, c.item);
        a->trigger();
      } else {
        button->click();
      }
      const QByteArray what = QByteArray(c.button) + ' ' + (c.item ? c.item : "") + ' ' + (c.answer ? c.answer : "");
      if (c.choice < 0) {
        QVERIFY2(dialog.isVisible() && dialog.result() == 0, what.constData());
        continue;
      }
      QVERIFY2(!dialog.isVisible(), what.constData());
      QCOMPARE(static_cast<int>(dialog.Choice()), c.choice);
      QCOMPARE(dialog.Number(), c.number);
    }
    QVERIFY(fAnswers.asked.contains(u"Percentage of headers|Enter the percentage of headers to download"_s));
    QVERIFY(fAnswers.asked.contains(u"Sampling of headers|Enter the number of headers to download"_s));
  }

  // ---- "Headers download range" ----

  void rangeOpensAtTheFirstNewArticle() {
    struct TCase {
      std::int64_t first, last, lastVisit, expectedFirst;
    };
    const TCase cases[] = {
        {1, 5000, 0, 1}, {1000, 5000, 2999, 3000}, {1000, 5000, 999, 1000}, {1000, 5000, 7000, 5000}};
    for (const TCase& c : cases) {
      TfrmHeadersRange dialog(Input(c.first, c.last, c.last - c.first + 1, c.lastVisit));
      QCOMPARE(dialog.FirstEdit()->text(), QString::number(c.expectedFirst));
      QCOMPARE(dialog.LastEdit()->text(), QString::number(c.last));
      QCOMPARE(dialog.FirstBar()->value(), static_cast<int>(c.expectedFirst - c.first));
    }
  }

  void rangeEditsAndBarsStayInside() {
    TfrmHeadersRange dialog(Input(1000, 5000, 2001, 0));  // about one article every second number
    Type(dialog.LastEdit(), u"9999"_s);
    QCOMPARE(dialog.LastEdit()->text(), u"5000"_s);
    Type(dialog.FirstEdit(), u"10"_s);
    QCOMPARE(dialog.FirstEdit()->text(), u"1000"_s);
    Type(dialog.FirstEdit(), u"not a number"_s);
    QCOMPARE(dialog.FirstEdit()->text(), u"1000"_s);
    Type(dialog.FirstEdit(), u"4001"_s);
    QCOMPARE(dialog.FirstBar()->value(), 3001);
    QCOMPARE(dialog.CountText(), u"500"_s);  // 1000 numbers at one article in two
    Type(dialog.LastEdit(), u"3000"_s);      // below the first: the first follows
    QCOMPARE(dialog.FirstEdit()->text(), u"3000"_s);
    QCOMPARE(dialog.CountText(), u"1"_s);  // never shown as 0

    // The bars never cross.
    Type(dialog.FirstEdit(), u"1000"_s);
    Type(dialog.LastEdit(), u"5000"_s);
    QCOMPARE(dialog.LastBar()->value(), 4000);
    dialog.LastBar()->setValue(1000);
    dialog.FirstBar()->setValue(4000);
    QCOMPARE(dialog.FirstBar()->value(), 1000);
    QCOMPARE(dialog.FirstEdit()->text(), u"2000"_s);
    dialog.LastBar()->setValue(10);
    QCOMPARE(dialog.LastBar()->value(), 1000);
    QCOMPARE(dialog.LastEdit()->text(), u"2000"_s);
  }

  void rangeSelectionMenu() {
    TfrmHeadersRange dialog(Input(1, 50, 50, 20));
    dialog.LastBar()->setValue(30);
    Action(dialog.SelectionMenu(), u"Last 100 headers"_s)->trigger();
    QCOMPARE(dialog.FirstEdit()->text(), u"1"_s);
    QCOMPARE(dialog.LastEdit()->text(), u"50"_s);
    Action(dialog.SelectionMenu(), u"New headers"_s)->trigger();
    QCOMPARE(dialog.FirstEdit()->text(), u"21"_s);

    fAnswers.answers = {u"10"_s, u"ten"_s, u"0"_s};
    QAction* custom = Action(dialog.SelectionMenu(), u"Custom..."_s);
    custom->trigger();
    QCOMPARE(dialog.FirstEdit()->text(), u"41"_s);
    custom->trigger();
    custom->trigger();
    QCOMPARE(fPrompt.shown, QStringList({u"Invalid number"_s, u"Invalid number"_s}));
    QCOMPARE(fAnswers.asked.first(), u"Headers|Enter the amount of headers you would like to retrieve"_s);
    Action(dialog.SelectionMenu(), u"All headers"_s)->trigger();
    QCOMPARE(dialog.FirstEdit()->text(), u"1"_s);

    QVERIFY(Action(dialog.OptionsMenu(), u"Huge (5000)"_s));
    Action(dialog.OptionsMenu(), u"Small (10)"_s)->trigger();
    QCOMPARE(dialog.FirstBar()->pageStep(), 10);
  }

  void rangeAccept() {
    TfrmHeadersRange dialog(Input(100, 900, 801, 0));
    dialog.show();
    dialog.FirstEdit()->setText(u"0"_s);
    dialog.AcceptButton()->click();
    QVERIFY(dialog.isVisible());
    QCOMPARE(fPrompt.shown, QStringList{u"You must enter a valid range of headers to download."_s});
    dialog.FirstEdit()->setText(u"300"_s);
    dialog.LastEdit()->setText(u"400"_s);
    dialog.AcceptButton()->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.First(), 300);
    QCOMPARE(dialog.Last(), 400);
    // Closing let go of the query.
    QVERIFY(!dialog.Query());
  }

  // Article numbers beyond the range of a scroll bar still map onto it.
  void rangeOfBillionsOfNumbers() {
    TfrmHeadersRange dialog(Input(1000000000LL, 9000000000LL, 500000000LL, 0));
    QCOMPARE(dialog.LastEdit()->text(), u"9000000000"_s);
    QVERIFY(dialog.LastBar()->maximum() > 0);
    dialog.LastBar()->setValue(dialog.LastBar()->maximum() / 2);
    const std::int64_t middle = dialog.LastEdit()->text().toLongLong();
    QVERIFY(middle > 4900000000LL && middle < 5100000000LL);
    dialog.LastBar()->setValue(dialog.LastBar()->maximum());
    QCOMPARE(dialog.LastEdit()->text(), u"9000000000"_s);
    Action(dialog.SelectionMenu(), u"Last 1000 headers"_s)->trigger();
    QCOMPARE(dialog.FirstEdit()->text(), u"8999999001"_s);
  }

  void rangeDates() {
    Settings().gAlwaysGetDatesInRangeScreen = true;
    TfrmHeadersRange dialog(Input(1, 1000, 1000, 599));
    dialog.show();
    TFakeDateQuery* query = TFakeDateQuery::last;
    QVERIFY(query && query->opened);
    QCOMPARE(dialog.StatusText(), u"Connecting..."_s);
    QVERIFY(!dialog.DatesButton()->isEnabled());

    emit query->Ready();
    QCOMPARE(query->queries, QList<QStringList>{QStringList({u"600"_s, u"1000"_s})});
    QVERIFY(dialog.FirstDateText().startsWith(u"(checking) "_s));
    QCOMPARE(dialog.StatusText(), u"Retrieving dates..."_s);
    QVERIFY(!dialog.DatesButton()->isEnabled());

    const QString first = DaysText(2024, 3, 5, 14, 3, 10);
    emit query->Finished(THeaderDateQuery::DATES_OK, {first, QString()});
    QCOMPARE(dialog.FirstDateText(),
             QLocale().toString(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 10)), u"MMM d, yyyy - HH:mm:ss"_s));
    QCOMPARE(dialog.LastDateText(), u"(unavailable)"_s);
    QCOMPARE(dialog.StatusText(), QString());
    QVERIFY(dialog.DatesButton()->isEnabled());

    // Only the end that changed is asked for.
    dialog.FirstBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QTRY_COMPARE(query->queries.size(), 2);
    QCOMPARE(query->queries.last(), QStringList{u"700"_s});
    // A request while one runs waits for it.
    dialog.LastBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QTest::qWait(10);
    QCOMPARE(query->queries.size(), 2);
    emit query->Finished(THeaderDateQuery::DATES_OK, {first});
    QCOMPARE(query->queries.size(), 3);
    QCOMPARE(query->queries.last(), QStringList{u"999"_s});

    emit query->Finished(THeaderDateQuery::DATES_GROUP_FAILED, {});
    QCOMPARE(dialog.StatusText(), u"There was an error retrieving the dates (6)."_s);
    QVERIFY(!dialog.LastDateText().startsWith(u"(checking)"_s));

    // Dragging the thumb asks nothing; nothing is asked with the option off.
    dialog.FirstBar()->triggerAction(QAbstractSlider::SliderMove);
    Settings().gAlwaysGetDatesInRangeScreen = false;
    dialog.FirstBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QTest::qWait(10);
    QCOMPARE(query->queries.size(), 3);
    // The button always asks.
    dialog.DatesButton()->click();
    QCOMPARE(query->queries.size(), 4);

    dialog.reject();
    QVERIFY(query->disconnected);
    QVERIFY(!dialog.Query());
  }

  void rangeWithoutAServerConnection() {
    TFakeDateQuery::failOpen = true;
    TfrmHeadersRange dialog(Input(1, 100, 100, 0));
    dialog.show();
    QCOMPARE(dialog.StatusText(), u"There was an error retrieving the dates (2)."_s);
    QVERIFY(!dialog.DatesButton()->isEnabled());
    QVERIFY(!dialog.Query());

    THeaderDateQuery::SetFactory([](const TNewsServerEntry&, const QString&) { return nullptr; });
    TfrmHeadersRange noQuery(Input(1, 100, 100, 0));
    noQuery.show();
    QVERIFY(!noQuery.DatesButton()->isEnabled());
    Action(noQuery.SelectionMenu(), u"All headers"_s)->trigger();  // no query, nothing asked
  }

  // ---- "Headers load range" ----

  void loadRange() {
    TTempDir dir;
    TJobStats stats;
    stats.headersDownloaded = 500;
    stats.downloaded = {{u"a.first"_s, 300}, {u"a.empty"_s, 0}, {u"a.second"_s, 200}};
    TIniFile ini(dir.File(u"job.kvj"_s));
    TJobFile::WriteJobStats(ini, stats);
    QVERIFY(ini.UpdateFile());

    TfrmNewsLoadRange dialog;
    QCOMPARE(dialog.Setup(dir.File(u"job.kvj"_s)), RC_SUCCESS);
    QCOMPARE(dialog.First(), 1);
    QCOMPARE(dialog.Last(), 500);
    QCOMPARE(dialog.NewsgroupMenu()->actions().size(), 2);  // the empty newsgroup has no item
    QVERIFY(dialog.NewsgroupMenu()->isEnabled());
    Action(dialog.NewsgroupMenu(), u"a.second (200)"_s)->trigger();
    QCOMPARE(dialog.First(), 301);
    QCOMPARE(dialog.Last(), 500);
    QCOMPARE(dialog.RangeSizeText(), u"200"_s);
    QCOMPARE(Action(dialog.NewsgroupMenu(), u"a.second (200)"_s)->shortcut(), QKeySequence(u"Ctrl+C"_s));

    struct TCase {
      const char* item;
      const char* answer;
      std::int64_t first, last;
      const char* message;
    };
    const TCase cases[] = {
        {"Select a range...", "10, 5", 10, 14, nullptr},
        {"Select a range...", "10", 10, 14, "Invalid range."},
        {"Select a range...", "0, 5", 10, 14, "Invalid range."},
        {"Select a range...", "496, 6", 10, 14, "Invalid range."},
        {"Select a range...", "496, 5", 496, 500, nullptr},
        {"Set first header number...", "0", 496, 500, "Invalid number."},
        {"Set first header number...", "501", 496, 500, "Invalid number."},
        {"Set first header number...", "-4", 1, 500, nullptr},
        {"Set first header number...", "100", 100, 500, nullptr},
        {"Set number of selected headers...", "0", 100, 500, "Invalid number."},
        {"Set number of selected headers...", "50", 100, 149, nullptr},
        {"Set number of selected headers...", "5000", 100, 500, nullptr},
        {"Part 2 of 3", nullptr, 167, 333, nullptr},
        {"Select all", nullptr, 1, 500, nullptr},
    };
    for (const TCase& c : cases) {
      fPrompt.shown.clear();
      if (c.answer) fAnswers.answers = {QLatin1String(c.answer)};
      Action(dialog.SelectionMenu(), QLatin1String(c.item))->trigger();
      const QByteArray what = QByteArray(c.item) + " " + (c.answer ? c.answer : "");
      QVERIFY2(dialog.First() == c.first && dialog.Last() == c.last, what.constData());
      QCOMPARE(fPrompt.shown, c.message ? QStringList{QLatin1String(c.message)} : QStringList());
    }
    QVERIFY(fAnswers.asked.contains(u"Select a range|Enter the range to select in the form \"first, count\""_s));
    QVERIFY(fAnswers.asked.contains(u"Enter first header for selection|Enter a number in the range 1 to 500"_s));

    // Moving the first bar past the last pulls the last along.
    dialog.Select(10, 20);
    dialog.FirstBar()->setValue(30);
    QCOMPARE(dialog.Last(), 30);
    dialog.show();
    dialog.AllButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.First(), 1);
    QCOMPARE(dialog.Last(), 500);
  }

  void loadRangeQuickSplitCoversEverything() {
    for (std::int64_t total : {1, 2, 3, 4, 7, 500, 12345}) {
      for (int n = 2; n <= 5; ++n) {
        std::int64_t expectedFirst = 1;
        for (int i = 1; i <= n; ++i) {
          const auto [first, last] = TfrmNewsLoadRange::QuickSplit(total, i, n);
          QVERIFY(first >= 1 && last <= total && first <= last);
          QVERIFY(first <= expectedFirst);  // no gap after the previous part
          expectedFirst = last + 1;
        }
        QCOMPARE(expectedFirst, total + 1);
      }
    }
  }

  void loadRangeErrors() {
    TTempDir dir;
    TfrmNewsLoadRange dialog;
    QCOMPARE(dialog.Setup(dir.File(u"missing.kvj"_s)), RC_FAILED_CREATE);
    QCOMPARE(dialog.Setup(dir.Write(u"empty.kvj"_s, "[Stats]\nHeadersDownloaded=0\n")), RC_OPERATION_FAILED);
    QCOMPARE(dialog.Setup(dir.Write(u"one.kvj"_s,
                                    "[Stats]\nHeadersDownloaded=3\n[DownloadedNewsgroupsNames]\n"
                                    "Count=1\n0=a.b\n[DownloadedNewsgroupsHeaders]\nCount=1\n0=3\n")),
             RC_SUCCESS);
    QVERIFY(!dialog.NewsgroupMenu()->isEnabled());  // a single newsgroup offers no choice
  }
};

int main(int argc, char** argv) {
  TTestEnvironment environment;
  QApplication app(argc, argv);
  TRangeDialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RangeDialogsTest.moc"
