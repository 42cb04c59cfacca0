#pragma once

#include <QString>

#include <functional>

class QWidget;

// One line of text asked from the user by the range dialogs. Tests replace
// the asker; the default is an input dialog.
class TTextPrompt {
 public:
  // False when the user cancelled; text holds the default on entry.
  using TAsker = std::function<bool(QWidget* parent, const QString& title, const QString& label, QString& text)>;

  static bool Ask(QWidget* parent, const QString& title, const QString& label, QString& text);
  // An empty asker restores the input dialog.
  static void SetAsker(TAsker asker);
};
