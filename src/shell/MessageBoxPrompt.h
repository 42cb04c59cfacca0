#pragma once

#include "app/UserPrompt.h"

// Shows the program's messages and questions as message boxes and task dialogs.
class TMessageBoxPrompt : public TUserPrompt::THandler {
 public:
  void Information(const QString& text, const QString& caption) override;
  void Warning(const QString& text, const QString& caption) override;
  void Error(const QString& text, const QString& caption) override;
  bool Confirm(const QString& text, const QString& caption) override;
  TUserPrompt::TAnswer Question(const QString& text, const QString& caption) override;
  int Task(TUserPrompt::TTask& task) override;
};
