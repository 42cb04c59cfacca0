#pragma once

#include "shell/TabPage.h"

class QLabel;

// The first permanent tab: a server's newsgroups.
class TfrmNewsgroupsBrowser : public TTabPage {
  Q_OBJECT
 public:
  explicit TfrmNewsgroupsBrowser(QWidget* parent = nullptr);
  QString Caption() const override { return QStringLiteral("Newsgroups Browser"); }
  bool IsClosable() const override { return false; }
  void SetStatusText(const QString& text) override;
  QString StatusText() const;

 private:
  QLabel* fStatus;
};
