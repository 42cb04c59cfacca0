#pragma once

#include "app/Settings.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QTextBrowser;

// The "Help message" window: one HTML page with its title as heading, a
// choice of whether to show it again, and "Close".
class TfrmHelpMessage : public QDialog {
  Q_OBJECT
 public:
  enum TChoice { CHOICE_ALWAYS_SHOW, CHOICE_DONT_SHOW_AGAIN, CHOICE_STOP_ALL };

  TfrmHelpMessage(THelpMessage index, const QString& page, const QString& baseDirectory, QWidget* parent = nullptr);

  THelpMessage Index() const { return fIndex; }
  QString Heading() const;
  TChoice Choice() const;
  void SetChoice(TChoice choice);
  // Closes the window as its "Close" button does.
  void CloseWithButton();

  // What closing with "Close" does with a changed choice (settings, messages).
  static void ApplyChoice(THelpMessage index, TChoice choice);

 private:
  THelpMessage fIndex;
  QLabel* fHeading;
  QTextBrowser* fPage;
  QComboBox* fChoice;
};
