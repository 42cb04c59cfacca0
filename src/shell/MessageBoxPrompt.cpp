#include "shell/MessageBoxPrompt.h"

#include <QApplication>
#include <QMessageBox>

namespace {
QWidget* Owner() { return QApplication::activeWindow(); }
}  // namespace

void TMessageBoxPrompt::Information(const QString& text, const QString& caption) {
  QMessageBox::information(Owner(), caption, text);
}

void TMessageBoxPrompt::Warning(const QString& text, const QString& caption) {
  QMessageBox::warning(Owner(), caption, text);
}

void TMessageBoxPrompt::Error(const QString& text, const QString& caption) {
  QMessageBox::critical(Owner(), caption, text);
}

bool TMessageBoxPrompt::Confirm(const QString& text, const QString& caption) {
  // Closing the box counts as No.
  return QMessageBox::question(Owner(), caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

TUserPrompt::TAnswer TMessageBoxPrompt::Question(const QString& text, const QString& caption) {
  switch (QMessageBox::question(Owner(), caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return TUserPrompt::ANSWER_YES;
    case QMessageBox::No:
      return TUserPrompt::ANSWER_NO;
    default:
      return TUserPrompt::ANSWER_CANCEL;
  }
}
