#include "shell/Startup.h"

#include "app/ActionTracker.h"
#include "app/ApplicationCore.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"
#include "periphery/ui/FirstRunDialog.h"
#include "shell/MessageBoxPrompt.h"
#include "shell/TabForm.h"

#include <QApplication>
#include <QProxyStyle>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = QStringLiteral("Korvel Newsreader");

// Tooltips appear after half a second and can be switched off as a whole.
class TToolTipStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return 500;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

class TToolTipFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ToolTip && !Settings().gShowToolTips) return true;
    return QObject::eventFilter(watched, event);
  }
};

// Logs why start-up stops, lets pending events run once and returns the exit code.
int GiveUp(const QString& reason) {
  LogError(u"Start-up given up: "_s + reason);
  TApplicationCore::Instance().Trail().Record(TActionTracker::TRAIL_EVENT_LOOP_LEFT);
  QCoreApplication::processEvents();
  TApplicationCore::Instance().CleanUp();
  TLogger::Instance().Separator();
  return 1;
}

}  // namespace

int TStartup::Run(QApplication& app, const TOptions& options) {
  app.setApplicationDisplayName(kTitle);
  TApplicationCore& core = TApplicationCore::Instance();
  core.StartLogging();
  LOG_METHOD("Startup");

  TMessageBoxPrompt prompt;
  TUserPrompt::SetHandler(&prompt);
  struct TResetPrompt {
    ~TResetPrompt() { TUserPrompt::SetHandler(nullptr); }
  } resetPrompt;

  TApplicationCore::HandleCommandLine(app.arguments());

  QString error;
  if (!core.CreateApplicationObjects(error)) {
    TUserPrompt::Error(error);
    return GiveUp(error);
  }
  core.LogSystemInformation();

  bool firstRun = false;
  const std::function<bool()> runSetup = options.runSetup ? options.runSetup : [] { return TfrmFirstRun::Run(); };
  if (!core.CheckSettings(firstRun, runSetup)) return GiveUp(QStringLiteral("CheckSettings failed"));

  app.setStyle(new TToolTipStyle);
  TToolTipFilter toolTipFilter;
  app.installEventFilter(&toolTipFilter);

  auto window = std::make_unique<TfrmTabForm>();
  window->setWindowTitle(kTitle);
  core.Trail().Record(TActionTracker::TRAIL_MAIN_WINDOW_CREATED);

  if (!window->SetupForm()) {
    TUserPrompt::Error(QStringLiteral(
        "There was an error setting up the tabbed window. Please check your installation and try again."));
    return GiveUp(QStringLiteral("SetupForm failed"));
  }
  core.Trail().Record(TActionTracker::TRAIL_STARTUP_TAB_STEP);
  if (!window->CreateNewsgroupsBrowserTab()) return GiveUp(QStringLiteral("CreateNewsgroupsBrowserTab failed"));
  core.Trail().Record(TActionTracker::TRAIL_STARTUP_TAB_STEP);
  if (!window->CreateHeadersManagerTab()) return GiveUp(QStringLiteral("CreateHeadersManagerTab failed"));
  core.Trail().Record(TActionTracker::TRAIL_STARTUP_TAB_STEP);
  window->SetCurrentTab(0);

  const TVersionInfo& v = core.Version();
  window->NewsgroupsBrowser()->SetStatusText(
      QString::asprintf("Welcome to Korvel Newsreader Version %d.%d.%d.%d", v.major, v.minor, v.release, v.build));
  window->showMaximized();

  core.ApplyLogLevel();
  if (options.onReady) options.onReady(*window);
  const int rc = app.exec();

  // The window's destruction writes the settings.
  window.reset();
  core.Trail().Record(TActionTracker::TRAIL_EVENT_LOOP_LEFT);
  TLogger::Instance().SetLogLevel(TLogger::LEVEL_VERBOSE);
  core.CleanUp();
  TLogger::Instance().Separator();
  return rc;
}
