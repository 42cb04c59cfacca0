#pragma once

#include "shell/TabPage.h"

class QLabel;

// The first permanent tab: a server's newsgroups.
class TfrmNewsgroupsBrowser : public TTabPage {
  Q_OBJECT
 public:
  explicit TfrmNewsgroupsBrowser(QWidget* parent = nullptr);
  void SetStatusText(const QString& text) override;
  QString StatusText() const;

 protected:
  void TabMessage(TShellMessage& message) override;

 private:
  QLabel* fStatus;
};
