#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

// Where downloads go by default, and whether an imported NZB file gets its
// own subdirectory there; written to the settings file at once.
class TfrmDownloadDirectory : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDownloadDirectory(QWidget* parent = nullptr);

 public slots:
  void accept() override;

 private:
  void Browse();

  QLineEdit* fDirectory;
  QCheckBox* fCreateSubdir;
};
