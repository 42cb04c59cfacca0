#pragma once

#include "app/UserPrompt.h"

// Shows the engine's messages and questions as message boxes.
class TMessageBoxPrompt : public TUserPrompt::THandler {
 public:
  void Information(const QString& text, const QString& caption) override;
  void Warning(const QString& text, const QString& caption) override;
  void Error(const QString& text, const QString& caption) override;
  bool Confirm(const QString& text, const QString& caption) override;
  TUserPrompt::TAnswer Question(const QString& text, const QString& caption) override;
};
