#pragma once

#include <QDialog>

class QLineEdit;

// First start without settings: the user picks the user data directory, which
// is checked, remembered in "Korvel.ini" and given default settings.
class TfrmFirstRun : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFirstRun(QWidget* parent = nullptr);

  QString Directory() const;
  void SetDirectory(const QString& dir);

  // Checks the chosen directory and writes the settings; false (with the
  // reason already shown) when the directory cannot be used.
  bool Apply();

  // Shows the dialog; true when a directory was set up.
  static bool Run(QWidget* parent = nullptr);

 public slots:
  void accept() override;

 private slots:
  void Browse();

 private:
  QLineEdit* fDirectory;
};
