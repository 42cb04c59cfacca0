#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Message boxes of the program, reachable from engine code that must not know
// the widget toolkit. The shell installs a handler that shows real dialogs;
// without one, texts are logged and questions answered No / Cancel.
class TUserPrompt {
 public:
  enum TAnswer { ANSWER_YES, ANSWER_NO, ANSWER_CANCEL };

  // The richer question: a task dialog with a bold title, an HTML text, an
  // extra text behind an expand button, a button set or custom buttons, an
  // icon and an optional drop-down whose chosen entry the caller reads back.
  enum TTaskButtons { BUTTONS_NONE, BUTTONS_YESNO, BUTTONS_OK };
  enum TTaskImage { IMAGE_NONE, IMAGE_QUESTION, IMAGE_INFORMATION, IMAGE_STOP, IMAGE_EXIT, IMAGE_CLOSE_WINDOW };
  // Results of the standard buttons; custom buttons bring their own.
  enum TTaskResult { RESULT_NONE = 0, RESULT_OK = 1, RESULT_CANCEL = 2, RESULT_YES = 6, RESULT_NO = 7 };
  struct TTaskButton {
    QString text;
    int result = RESULT_NONE;
    bool isDefault = false;  // pressed by Enter
    bool isCancel = false;   // pressed by Escape and by closing the dialog
    bool hasFocus = false;
    int width = 75;
  };
  struct TTask {
    QString caption = QStringLiteral("Requester");
    QString title;
    QString text;       // HTML
    QString extraText;  // shown by the expand button; none when empty
    QString expandHint;
    TTaskButtons buttons = BUTTONS_OK;
    QList<TTaskButton> customButtons;  // replace the button set when given
    TTaskImage image = IMAGE_NONE;
    QStringList dropDown;   // none when empty
    int dropDownIndex = 0;  // in: the entry shown first; out: the entry chosen
    int width = 0;          // of the dialog; 0 lets it size itself
  };
  // What a task answers without anyone to ask: the cancel button's result,
  // No for a yes/no set, else OK.
  static int DefaultTaskResult(const TTask& task);

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
    // The task dialog; returns the result of the button pressed and leaves the
    // drop-down's choice in task.dropDownIndex.
    virtual int Task(TTask& task) { return DefaultTaskResult(task); }
  };

  // The handler is not owned; pass nullptr to go back to logging only.
  static void SetHandler(THandler* handler);
  static THandler* Handler();

  static void Information(const QString& text, const QString& caption = QStringLiteral("Information"));
  static void Warning(const QString& text, const QString& caption = QStringLiteral("Warning"));
  static void Error(const QString& text, const QString& caption = QStringLiteral("Error"));
  static bool Confirm(const QString& text, const QString& caption = QStringLiteral("Confirmation"));
  static TAnswer Question(const QString& text, const QString& caption = QStringLiteral("Question"));
  static int Task(TTask& task);
};
