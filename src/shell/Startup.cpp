#include "shell/Startup.h"

#include "app/ActionTracker.h"
#include "app/AppPaths.h"
#include "app/ApplicationCore.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "binaries/ui/NzbImportCommand.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"
#include "nntp/ui/ConnectionListForm.h"
#include "nntp/ui/EditNewsServersForm.h"
#include "periphery/ui/FirstRunDialog.h"
#include "shell/AppIcon.h"
#include "shell/Automation.h"
#include "shell/HelpMessageManager.h"
#include "shell/LocalChannel.h"
#include "shell/MessageBoxPrompt.h"
#include "shell/NotificationManager.h"
#include "shell/OpenRequest.h"
#include "shell/ShellMessage.h"
#include "shell/TabForm.h"

#include <QApplication>
#include <QFileInfo>
#include <QHelpEvent>
#include <QProxyStyle>
#include <QToolTip>
#include <QUrl>

#include <cstdio>
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

// Tooltips stay up to two minutes, long enough to read the longer ones.
class TToolTipFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip) return QObject::eventFilter(watched, event);
    if (!Settings().gShowToolTips) return true;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && !widget->toolTip().isEmpty()) {
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), widget->toolTip(), widget, {}, kToolTipTime);
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static constexpr int kToolTipTime = 120000;
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

// Message boxes unless someone (a test) already answers the questions.
class TPromptScope {
 public:
  TPromptScope() : fPrevious(TUserPrompt::Handler()) {
    if (!fPrevious) TUserPrompt::SetHandler(&fBoxes);
  }
  ~TPromptScope() { TUserPrompt::SetHandler(fPrevious); }

 private:
  TMessageBoxPrompt fBoxes;
  TUserPrompt::THandler* fPrevious;
};

}  // namespace

QStringList TStartup::OpenRequestsFromArguments(const QStringList& arguments) {
  QStringList requests;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    QString path;
    if (argument.startsWith(u"file:"_s, Qt::CaseInsensitive))
      path = QUrl(argument).toLocalFile();
    else if (!argument.startsWith(u'-'))
      path = argument;
    if (path.isEmpty()) continue;
    requests.append(MakeOpenCommand(QFileInfo(path).absoluteFilePath()));
  }
  return requests;
}

int TStartup::Run(QApplication& app, const TOptions& options) {
  app.setApplicationDisplayName(kTitle);
  app.setWindowIcon(AppIcon());

  // A running instance takes the documents; this must come before the log
  // file is replaced, since that file is the running instance's.
  const QStringList requests = OpenRequestsFromArguments(app.arguments());
  const QString channelName = options.channelName.isEmpty() ? TLocalChannel::DefaultServerName() : options.channelName;
  if (options.singleInstance) {
    switch (TLocalChannel::HandOver(channelName, requests)) {
      case TLocalChannel::HANDOVER_DELIVERED:
        return 0;
      case TLocalChannel::HANDOVER_FAILED:
        std::fprintf(stderr, "Korvel Newsreader is already running but does not answer.\n");
        return 1;
      case TLocalChannel::HANDOVER_NOT_RUNNING:
        break;
    }
  }

  TApplicationCore& core = TApplicationCore::Instance();
  core.StartLogging();
  LOG_METHOD("Startup");

  // Documents arriving before the main window exists are held by the channel.
  TLocalChannel channel;
  if (options.singleInstance && !channel.Listen(channelName))
    LogWarning("Documents opened from outside cannot reach this instance");
  for (const QString& request : requests) channel.QueueExecute(request);

  TPromptScope prompt;
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
  THelpMessageManager::Instance().SetDirectory(Paths().systemDataDir + u"_HelpMessages/"_s);

  app.setStyle(new TToolTipStyle);
  TToolTipFilter toolTipFilter;
  app.installEventFilter(&toolTipFilter);

  auto window = std::make_unique<TfrmTabForm>();
  window->setWindowTitle(kTitle);
  channel.SetExecuteHandler([w = window.get()](const QStringList& commands) { w->HandleOpenCommands(commands); });
  QObject::connect(&channel, &TLocalChannel::Request, window->Automation(), &TAutomation::HandleRequest);
  core.Trail().Record(TActionTracker::TRAIL_MAIN_WINDOW_CREATED);
  window->SetCommandHandler(TfrmTabForm::CMD_EDIT_NNTP_SERVERS, &TfrmEditNewsServers::EditNewsServers);
  // Until a decoder tab can show a new list, the user is told where it went.
  window->SetNzbImporter([w = window.get()](const QStringList& paths) {
    const QStringList created = TNzbImportCommand::ImportFiles(w, paths, nullptr);
    if (created.size() == 1)
      TUserPrompt::Information(u"The download list \""_s + QFileInfo(created.first()).completeBaseName() +
                               u"\" was created."_s);
    else if (created.size() > 1)
      TUserPrompt::Information(QString::asprintf("%d download lists were created.", static_cast<int>(created.size())));
  });
  window->SetCommandHandler(TfrmTabForm::CMD_EDIT_DEFAULT_DECODE_CONNECTIONS, [](QWidget* owner) {
    TfrmConnectionList::EditDefaultConnections(owner);
    return false;
  });

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
  window->SetCurrentTabByPageIndex(0);

  const TVersionInfo& v = core.Version();
  window->NewsgroupsBrowser()->SetStatusText(
      QString::asprintf("Welcome to Korvel Newsreader Version %d.%d.%d.%d", v.major, v.minor, v.release, v.build));
  window->showMaximized();
  TShellMessage::Send(window.get(), shellmsg::MM_STARTUP_COMPLETE);

  core.ApplyLogLevel();
  if (options.onReady) options.onReady(*window);
  const int rc = app.exec();

  channel.SetExecuteHandler(nullptr);
  QObject::disconnect(&channel, nullptr, window->Automation(), nullptr);
  channel.Close();
  TNotificationManager::Instance().Clear();
  // The window's destruction writes the settings.
  window.reset();
  core.Trail().Record(TActionTracker::TRAIL_EVENT_LOOP_LEFT);
  TLogger::Instance().SetLogLevel(TLogger::LEVEL_VERBOSE);
  core.CleanUp();
  TLogger::Instance().Separator();
  return rc;
}
