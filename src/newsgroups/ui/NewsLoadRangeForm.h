#pragma once

#include "app/ReturnCodes.h"
#include "headers/JobInfo.h"

#include <QDialog>

#include <cstdint>

class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;

// "Headers load range": which headers of a completed job's header file to
// load, as 1-based positions in the file's order.
class TfrmNewsLoadRange : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmNewsLoadRange(QWidget* parent = nullptr);

  // Reads the job file: RC_FAILED_CREATE when it cannot be opened,
  // RC_OPERATION_FAILED when it holds no headers to choose from.
  RETURN_CODES Setup(const QString& jobFile);

  std::int64_t First() const { return fFirst; }
  std::int64_t Last() const { return fLast; }
  std::int64_t Total() const { return fTotal; }
  // Part i (1-based) of n consecutive parts of 1..total.
  static std::pair<std::int64_t, std::int64_t> QuickSplit(std::int64_t total, int i, int n);

  // For tests.
  QMenu* NewsgroupMenu() const { return fNewsgroupMenu; }
  QMenu* SelectionMenu() const { return fSelectionMenu; }
  QScrollBar* FirstBar() const { return fFirstBar; }
  QScrollBar* LastBar() const { return fLastBar; }
  QPushButton* ViewButton() const { return fViewButton; }
  QPushButton* AllButton() const { return fAllButton; }
  QString RangeSizeText() const;

  void Select(std::int64_t first, std::int64_t last);

 private:
  void FirstBarMoved(int value);
  void LastBarMoved(int value);
  void ShowNumbers();
  void AskFirst();
  void AskCount();
  void AskRange();

  std::int64_t fTotal = 0;
  std::int64_t fFirst = 1;
  std::int64_t fLast = 1;
  bool fUpdating = false;
  TJobStats fStats;

  QLabel* fTotalLabel;
  QLabel* fFirstLabel;
  QLabel* fLastLabel;
  QLabel* fSizeLabel;
  QScrollBar* fFirstBar;
  QScrollBar* fLastBar;
  QMenu* fNewsgroupMenu;
  QMenu* fSelectionMenu;
  QPushButton* fViewButton;
  QPushButton* fAllButton;
};
