#pragma once

#include "nntp/NewsServerEntry.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class THeaderDateQuery;

// "Headers download range": the first and last article number to fetch from
// one newsgroup, with the dates of the two ends fetched live from the server.
class TfrmHeadersRange : public QDialog {
  Q_OBJECT
 public:
  struct TInput {
    std::int64_t first = 0;  // from GROUP
    std::int64_t last = 0;
    std::int64_t estimated = 0;
    QString newsgroup;
    std::int64_t lastVisit = 0;  // from TLastVisit::GetLastVisit
    TNewsServerEntry server = TNewsServerEntry::Init();
  };

  explicit TfrmHeadersRange(const TInput& input, QWidget* parent = nullptr);
  ~TfrmHeadersRange() override;

  // The accepted range.
  std::int64_t First() const { return fFirst; }
  std::int64_t Last() const { return fLast; }

  // "Define a headers match string..." runs this (the browser's dialog); disabled without one.
  void SetMatchStringHandler(std::function<void(QWidget*)> handler);

  // A date entry as the dialog shows it: "mmm d, yyyy - hh:nn:ss", or "(unavailable)" when empty.
  static QString FormatDate(const QString& entry);

  // For tests and the shell.
  QLineEdit* FirstEdit() const { return fFirstEdit; }
  QLineEdit* LastEdit() const { return fLastEdit; }
  QScrollBar* FirstBar() const { return fFirstBar; }
  QScrollBar* LastBar() const { return fLastBar; }
  QPushButton* DatesButton() const { return fDatesButton; }
  QPushButton* AcceptButton() const { return fAcceptButton; }
  QString StatusText() const;
  QString FirstDateText() const;
  QString LastDateText() const;
  QString CountText() const;
  QMenu* SelectionMenu() const { return fSelectionMenu; }
  QMenu* OptionsMenu() const { return fOptionsMenu; }
  THeaderDateQuery* Query() const { return fQuery.get(); }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::int64_t FromBar(int value) const;
  int ToBar(std::int64_t number) const;
  void SetRange(std::int64_t first, std::int64_t last);
  void ShowCount();
  void FirstBarMoved(int value);
  void LastBarMoved(int value);
  void CommitEdits();
  void SelectLast(std::int64_t count);
  void SelectCustom();
  void SetPageStep(int step);
  void ToggleAlwaysGetDates(bool on);
  void Accept();

  void StartQuery();
  void RequestDates();
  void DatesReady();
  void DatesFinished(int code, const QStringList& dates);
  void CloseQuery();

  TInput fInput;
  std::int64_t fScale = 1;  // article numbers per scroll-bar step
  std::int64_t fFirst = 0;
  std::int64_t fLast = 0;
  bool fUpdating = false;

  QLabel* fStatus;
  QLabel* fCount;
  QLabel* fFirstDate;
  QLabel* fLastDate;
  QLineEdit* fFirstEdit;
  QLineEdit* fLastEdit;
  QScrollBar* fFirstBar;
  QScrollBar* fLastBar;
  QPushButton* fDatesButton;
  QPushButton* fAcceptButton;
  QMenu* fSelectionMenu;
  QMenu* fOptionsMenu;
  QAction* fMatchStringAction;
  std::function<void(QWidget*)> fMatchStringHandler;

  std::unique_ptr<THeaderDateQuery> fQuery;
  bool fQueryStarted = false;
  bool fQueryReady = false;
  bool fQueryBusy = false;
  bool fQueryPending = false;  // a request came while one was running
  QString fCheckedFirst;       // edit values whose dates are shown
  QString fCheckedLast;
  QString fAskedFirst;  // ends of the running request; empty when not asked
  QString fAskedLast;
};
