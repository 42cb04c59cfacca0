#pragma once

#include "shell/TabPage.h"

// The second permanent tab: headers download jobs.
class TfrmHeadersManager : public TTabPage {
  Q_OBJECT
 public:
  explicit TfrmHeadersManager(QWidget* parent = nullptr);
  QString Caption() const override { return QStringLiteral("Headers Manager"); }
  bool IsClosable() const override { return false; }
};
