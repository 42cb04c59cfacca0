#pragma once

#include "app/Settings.h"

#include <QString>

#include <functional>

class QWidget;
class TfrmHelpMessage;

// Help messages: HTML pages shown once per run at the first visit of a
// screen, until the user turns them off one by one or all together.
class THelpMessageManager {
 public:
  static THelpMessageManager& Instance();

  // The folder of the pages (system data + "_HelpMessages/"), ending with "/".
  void SetDirectory(const QString& directory);
  const QString& Directory() const { return fDirectory; }

  // The page window for a message: false when the folder or the page file is
  // missing or unreadable; true without a window when the message or all
  // messages are switched off.
  bool GetHelpWindow(QWidget* owner, THelpMessage index, TfrmHelpMessage*& window);

  // Shows the message modally if it is switched on and not yet shown in this
  // run; true when it was shown. A page that cannot be shown stays pending.
  bool ShowHelpMessage(QWidget* owner, THelpMessage index);

  // Every message switched on and pending again; settings written.
  static void EnableAll();

  // How a page window is run (modally by default); tests answer it instead.
  using TRunner = std::function<void(TfrmHelpMessage& window)>;
  void SetRunner(TRunner runner) { fRunner = std::move(runner); }

  // The page file of a message.
  static QString PageName(THelpMessage index);

 private:
  THelpMessageManager() = default;

  QString fDirectory;
  QString fPage;  // text of the page being shown
  TRunner fRunner;
};
