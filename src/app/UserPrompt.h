#pragma once

#include <QString>

// Message boxes of the program, reachable from engine code that must not know
// the widget toolkit. The shell installs a handler that shows real dialogs;
// without one, texts are logged and questions answered No / Cancel.
class TUserPrompt {
 public:
  enum TAnswer { ANSWER_YES, ANSWER_NO, ANSWER_CANCEL };

  class THandler {
   public:
    virtual ~THandler() = default;
    virtual void Information(const QString& text, const QString& caption) = 0;
    virtual void Warning(const QString& text, const QString& caption) = 0;
    virtual void Error(const QString& text, const QString& caption) = 0;
    // Yes/no; closing the box counts as No.
    virtual bool Confirm(const QString& text, const QString& caption) = 0;
    // Yes/no/cancel.
    virtual TAnswer Question(const QString& text, const QString& caption) = 0;
  };

  // The handler is not owned; pass nullptr to go back to logging only.
  static void SetHandler(THandler* handler);
  static THandler* Handler();

  static void Information(const QString& text, const QString& caption = QStringLiteral("Information"));
  static void Warning(const QString& text, const QString& caption = QStringLiteral("Warning"));
  static void Error(const QString& text, const QString& caption = QStringLiteral("Error"));
  static bool Confirm(const QString& text, const QString& caption = QStringLiteral("Confirmation"));
  static TAnswer Question(const QString& text, const QString& caption = QStringLiteral("Question"));
};
