// Message boxes and the task dialog as the user meets them: button sets and
// custom buttons with their results, the cancel rule, the expandable extra
// text and the drop-down whose choice the caller reads back.

#include "ShellTestSupport.h"

#include "shell/Automation.h"
#include "shell/MessageBoxPrompt.h"
#include "shell/TaskDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace Qt::StringLiterals;

class TPromptTest : public QObject {
  Q_OBJECT

 private slots:
  void taskDialogResults_data();
  void taskDialogResults();
  void taskDialogReadsBackDropDown();
  void messageBoxesAnswerByButtonName_data();
  void messageBoxesAnswerByButtonName();

 private:
  // Runs action on the modal window that comes up next.
  static void WhenModal(const std::function<void(QWidget*)>& action) {
    QTimer::singleShot(0, [action] {
      QTRY_VERIFY(QApplication::activeModalWidget());
      action(QApplication::activeModalWidget());
    });
  }
};

void TPromptTest::taskDialogResults_data() {
  QTest::addColumn<int>("buttons");
  QTest::addColumn<bool>("custom");
  QTest::addColumn<QString>("press");  // a button name, or "escape"
  QTest::addColumn<int>("result");
  QTest::addColumn<QStringList>("names");

  QTest::newRow("yes") << int(TUserPrompt::BUTTONS_YESNO) << false << "btnYes" << int(TUserPrompt::RESULT_YES)
                       << QStringList{u"btnYes"_s, u"btnNo"_s};
  QTest::newRow("yes/no closed counts as no") << int(TUserPrompt::BUTTONS_YESNO) << false << "escape"
                                              << int(TUserPrompt::RESULT_NO) << QStringList{u"btnYes"_s, u"btnNo"_s};
  QTest::newRow("ok") << int(TUserPrompt::BUTTONS_OK) << false << "btnOk" << int(TUserPrompt::RESULT_OK)
                      << QStringList{u"btnOk"_s};
  QTest::newRow("no buttons, closed") << int(TUserPrompt::BUTTONS_NONE) << false << "escape"
                                      << int(TUserPrompt::RESULT_CANCEL) << QStringList{};
  QTest::newRow("custom button") << int(TUserPrompt::BUTTONS_OK) << true << "btnResult101" << 101
                                 << QStringList{u"btnResult100"_s, u"btnResult101"_s, u"btnResult102"_s};
  QTest::newRow("custom, closed: its cancel button")
      << int(TUserPrompt::BUTTONS_OK) << true << "escape" << 102
      << QStringList{u"btnResult100"_s, u"btnResult101"_s, u"btnResult102"_s};
}

void TPromptTest::taskDialogResults() {
  QFETCH(int, buttons);
  QFETCH(bool, custom);
  QFETCH(QString, press);
  QFETCH(int, result);
  QFETCH(QStringList, names);
  TUserPrompt::TTask task;
  task.title = u"Title"_s;
  task.text = u"<b>bold</b> text"_s;
  task.buttons = static_cast<TUserPrompt::TTaskButtons>(buttons);
  if (custom)
    task.customButtons = {
        {u"Save"_s, 100, true, false, true, 90}, {u"Discard"_s, 101}, {u"Cancel"_s, 102, false, true}};
  TTaskDialog dialog(task);
  QCOMPARE(dialog.windowTitle(), u"Requester"_s);
  QStringList found;
  for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
    if (b->objectName().startsWith(u"btn"_s) && b->objectName() != u"btnExpand"_s) found.append(b->objectName());
  QCOMPARE(found, names);
  dialog.show();
  if (press == u"escape"_s)
    QTest::keyClick(&dialog, Qt::Key_Escape);
  else
    dialog.findChild<QAbstractButton*>(press)->click();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.Result(), result);
  // Without anyone to ask, the program gets what closing the dialog gives.
  if (press == u"escape"_s) QCOMPARE(TUserPrompt::DefaultTaskResult(task), result);
}

void TPromptTest::taskDialogReadsBackDropDown() {
  TUserPrompt::TTask task;
  task.caption = u"Closing"_s;
  task.text = u"Close now?"_s;
  task.extraText = u"More about it"_s;
  task.buttons = TUserPrompt::BUTTONS_YESNO;
  task.image = TUserPrompt::IMAGE_QUESTION;
  task.dropDown = {u"Ask again"_s, u"Never ask"_s};
  bool extraHiddenFirst = false, extraShownAfter = false;
  WhenModal([&](QWidget* w) {
    auto* dialog = qobject_cast<TTaskDialog*>(w);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), u"Closing"_s);
    extraHiddenFirst = !dialog->IsExtraTextShown();
    dialog->findChild<QToolButton*>(u"btnExpand"_s)->click();
    extraShownAfter = dialog->IsExtraTextShown();
    dialog->findChild<QComboBox*>(u"cmbChoice"_s)->setCurrentIndex(1);
    dialog->findChild<QAbstractButton*>(u"btnYes"_s)->click();
  });
  QCOMPARE(TTaskDialog::Execute(task), int(TUserPrompt::RESULT_YES));
  QCOMPARE(task.dropDownIndex, 1);
  QVERIFY(extraHiddenFirst);
  QVERIFY(extraShownAfter);
}

void TPromptTest::messageBoxesAnswerByButtonName_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("press");
  QTest::addColumn<int>("answer");

  QTest::newRow("confirm yes") << "confirm"
                               << "btnYes" << 1;
  QTest::newRow("confirm closed is no") << "confirm"
                                        << "escape" << 0;
  QTest::newRow("question no") << "question"
                               << "btnNo" << int(TUserPrompt::ANSWER_NO);
  QTest::newRow("question cancel") << "question"
                                   << "btnCancel" << int(TUserPrompt::ANSWER_CANCEL);
  QTest::newRow("information") << "information"
                               << "btnOk" << 0;
  QTest::newRow("warning") << "warning"
                           << "btnOk" << 0;
}

void TPromptTest::messageBoxesAnswerByButtonName() {
  QFETCH(QString, kind);
  QFETCH(QString, press);
  QFETCH(int, answer);
  TMessageBoxPrompt boxes;
  WhenModal([&](QWidget* box) {
    // The automation channel finds the buttons by these names.
    if (press == u"escape"_s)
      QTest::keyClick(box, Qt::Key_Escape);
    else
      qobject_cast<QAbstractButton*>(FindComponent(press))->click();
  });
  int got = 0;
  if (kind == u"confirm"_s)
    got = boxes.Confirm(u"Sure?"_s, u"Confirmation"_s);
  else if (kind == u"question"_s)
    got = boxes.Question(u"Save?"_s, u"Question"_s);
  else if (kind == u"information"_s)
    boxes.Information(u"Done."_s, u"Information"_s);
  else
    boxes.Warning(u"Careful."_s, u"Warning"_s);
  QCOMPARE(got, answer);
}

KORVEL_QTEST_MAIN(TPromptTest)
#include "PromptTest.moc"
