#pragma once

#include <QString>

#include <functional>

class QWidget;

// Runs a file operation (a sort, a merge) on a thread of its own while the
// user-interface thread keeps painting; a small modal window shows text in
// the meantime (at once when text is given, else only if the work lasts).
class TBusyTask {
 public:
  static bool Run(QWidget* parent, const QString& text, const std::function<bool()>& work);
};
