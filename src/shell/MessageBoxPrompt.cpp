#include "shell/MessageBoxPrompt.h"

#include "shell/TaskDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace {

QWidget* Owner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// A box whose buttons carry names, so the automation channel can press them.
QMessageBox::StandardButton Show(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, caption, text, buttons, Owner());
  box.setObjectName(u"frmMessageBox"_s);
  box.setDefaultButton(defaultButton);
  const struct {
    QMessageBox::StandardButton button;
    const char16_t* name;
  } kNames[] = {{QMessageBox::Ok, u"btnOk"},
                {QMessageBox::Yes, u"btnYes"},
                {QMessageBox::No, u"btnNo"},
                {QMessageBox::Cancel, u"btnCancel"}};
  for (const auto& n : kNames)
    if (QAbstractButton* b = box.button(n.button)) b->setObjectName(QString::fromUtf16(n.name));
  const int result = box.exec();
  // Closing a box without a cancel button gives its escape button; treat
  // anything unexpected as that.
  return static_cast<QMessageBox::StandardButton>(result);
}

}  // namespace

void TMessageBoxPrompt::Information(const QString& text, const QString& caption) {
  Show(QMessageBox::Information, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void TMessageBoxPrompt::Warning(const QString& text, const QString& caption) {
  Show(QMessageBox::Warning, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void TMessageBoxPrompt::Error(const QString& text, const QString& caption) {
  Show(QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool TMessageBoxPrompt::Confirm(const QString& text, const QString& caption) {
  // Closing the box counts as No.
  return Show(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

TUserPrompt::TAnswer TMessageBoxPrompt::Question(const QString& text, const QString& caption) {
  switch (Show(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
               QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return TUserPrompt::ANSWER_YES;
    case QMessageBox::No:
      return TUserPrompt::ANSWER_NO;
    default:
      return TUserPrompt::ANSWER_CANCEL;
  }
}

int TMessageBoxPrompt::Task(TUserPrompt::TTask& task) { return TTaskDialog::Execute(task, Owner()); }
