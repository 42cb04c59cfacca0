#pragma once

#include "app/UserPrompt.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QToolButton;

// The program's task dialog: caption, bold title, HTML text, an extra text
// behind an expand button, a button set or custom buttons, an icon and an
// optional drop-down. Each button closes the dialog with its result.
class TTaskDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TTaskDialog(const TUserPrompt::TTask& task, QWidget* parent = nullptr);

  // The result of the button pressed (the cancel result when closed otherwise).
  int Result() const { return fResult; }
  int DropDownIndex() const;
  bool IsExtraTextShown() const;

  // Shows the dialog modally; returns its result and stores the drop-down's
  // choice in task.dropDownIndex.
  static int Execute(TUserPrompt::TTask& task, QWidget* parent = nullptr);

 public slots:
  void reject() override;

 private:
  void AddButton(const TUserPrompt::TTaskButton& button, class QHBoxLayout* row);
  void Finish(int result);

  int fResult;
  int fCancelResult;
  QComboBox* fDropDown = nullptr;
  QLabel* fExtra = nullptr;
  QToolButton* fExpand = nullptr;
};
