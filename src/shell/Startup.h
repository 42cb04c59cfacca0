#pragma once

#include <QString>
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
    // A second start hands its files to the running instance over the local
    // channel and ends; the first serves the channel.
    bool singleInstance = true;
    // The channel's name; empty for this user's default.
    QString channelName;
  };

  // The file-association requests for the documents named on a command line
  // (every argument but the program, options and "-forcesetup").
  static QStringList OpenRequestsFromArguments(const QStringList& arguments);

  // Runs start-up, the event loop and shutdown; returns the process exit code.
  // Questions go to message boxes unless a TUserPrompt handler is already
  // installed (tests answer them): closing the window, also by quitting the
  // application, asks whether to close when AskTerminate is set.
  static int Run(QApplication& app, const TOptions& options);
  static int Run(QApplication& app) { return Run(app, TOptions{}); }
};
