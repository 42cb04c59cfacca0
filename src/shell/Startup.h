#pragma once

#include <QStringList>

#include <functional>

class QApplication;
class TfrmTabForm;

// Brings the program up and down in its fixed order around the event loop.
class TStartup {
 public:
  struct TOptions {
    // Replaces the first-run dialog (tests); returns true when it set things up.
    std::function<bool()> runSetup;
    // Called once the main window is up, before the event loop (tests close it here).
    std::function<void(TfrmTabForm&)> onReady;
  };

  // Runs start-up, the event loop and shutdown; returns the process exit code.
  static int Run(QApplication& app, const TOptions& options);
  static int Run(QApplication& app) { return Run(app, TOptions{}); }
};
