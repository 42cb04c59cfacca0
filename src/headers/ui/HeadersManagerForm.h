#pragma once

#include "shell/TabPage.h"

// The second permanent tab: headers download jobs.
class TfrmHeadersManager : public TTabPage {
  Q_OBJECT
 public:
  explicit TfrmHeadersManager(QWidget* parent = nullptr);

 protected:
  void TabMessage(TShellMessage& message) override;
};
