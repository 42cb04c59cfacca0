#include "shell/TabForm.h"

#include "app/AppPaths.h"
#include "app/ApplicationCore.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "app/ui/OptionsForm.h"
#include "headers/ui/HeadersManagerForm.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"
#include "shell/AppIcon.h"
#include "shell/Automation.h"
#include "shell/DownloadDirectoryDialog.h"
#include "shell/HelpMessageManager.h"
#include "shell/OpenRequest.h"
#include "shell/ShellMessage.h"
#include "shell/TabPage.h"
#include "shell/TabSheet.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace shellmsg;

namespace {

// Where "Report a bug", "Send a suggestion" and "Contact support" write to.
const QString kSupportAddress = u"support@korvel.example"_s;

struct TCommandInfo {
  const char16_t* caption;
  const char* name;
  QKeyCombination shortcut;
  int messageAfter;  // told to every tab when the handler reports a change; 0 = none
};

const TCommandInfo kCommands[TfrmTabForm::CMD_COUNT] = {
    {u"Delete download lists...", "actDeleteDownloadLists", Qt::CTRL | Qt::SHIFT | Qt::Key_Delete, 0},
    {u"Edit identities...", "actEditIdentities", Qt::ALT | Qt::Key_I, TM_IDENTITIES_CHANGED},
    {u"Edit signatures...", "actEditSignatures", Qt::ALT | Qt::Key_S, TM_SIGNATURES_CHANGED},
    {u"Edit NNTP servers...", "actEditNntpServers", Qt::ALT | Qt::Key_N, TM_NEWS_SERVERS_CHANGED},
    {u"Edit SMTP servers...", "actEditSmtpServers", Qt::ALT | Qt::Key_M, TM_MAIL_SERVERS_CHANGED},
    {u"Edit download list sequence...", "actEditDownloadListSequence", Qt::ALT | Qt::Key_E, 0},
    {u"Edit default decode connections...", "actEditDefaultDecodeConnections", Qt::ALT | Qt::Key_D, 0},
    {u"Edit navigation settings...", "actEditNavigationSettings", Qt::ALT | Qt::Key_B, TM_SETTINGS_CHANGED},
    {u"Cleanup data...", "actCleanupData", QKeyCombination(), 0},
    {u"Getting started...", "actGettingStarted", QKeyCombination(), 0},
    {u"Check for update...", "actCheckForUpdate", QKeyCombination(), 0},
};

const struct {
  const char16_t* caption;
  const char* name;
} kDecoderItems[TfrmTabForm::DECODER_ITEM_COUNT] = {
    {u"Save (decode)", "actDecoderSave"},
    {u"Save as... (decode)", "actDecoderSaveAs"},
    {u"Show statistics for this list... (decode)", "actDecoderListStatistics"},
    {u"Show statistics for a download list... (decode)", "actDecoderAnyListStatistics"},
};

const struct {
  const char16_t* caption;
  const char* name;
  int width, height;
  Qt::Key key;
} kSizePresets[TfrmTabForm::SIZE_PRESET_COUNT] = {
    {u"Fullscreen", "actSizeFullscreen", 0, 0, Qt::Key_F1},  {u"1280x1024", "actSize1280x1024", 1280, 1024, Qt::Key_F2},
    {u"1024x768", "actSize1024x768", 1024, 768, Qt::Key_F3}, {u"800x600", "actSize800x600", 800, 600, Qt::Key_F4},
    {u"640x480", "actSize640x480", 640, 480, Qt::Key_F5},    {u"950x640", "actSize950x640", 950, 640, Qt::Key_F6},
};

const QString kAskBeforeClosing = u"Ask before closing Korvel"_s;
const QString kCloseWithoutAsking = u"Close Korvel without asking"_s;

}  // namespace

TfrmTabForm::TfrmTabForm(QWidget* parent)
    : QMainWindow(parent), fTabs(new QTabWidget(this)), fAutomation(new TAutomation(this, this)) {
  setObjectName(u"frmTabForm"_s);
  setWindowIcon(AppIcon());
  fTabs->setObjectName(u"PageControl"_s);
  fTabs->setDocumentMode(true);
  fTabs->setMovable(false);
  fTabs->tabBar()->installEventFilter(this);
  connect(fTabs, &QTabWidget::currentChanged, this, &TfrmTabForm::PageControlChange);
  setCentralWidget(fTabs);
  CreateMenus();
  CreateTray();

  // Shift+Escape ends the program at once, wherever the focus is.
  auto* forced = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Escape), this);
  forced->setContext(Qt::WindowShortcut);
  connect(forced, &QShortcut::activated, this, &TfrmTabForm::ForceShutdown);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    resize(area.width() * 2 / 3, area.width() / 2);
  }
}

TfrmTabForm::~TfrmTabForm() {
  // The window's end writes the settings, so a crash later loses nothing.
  TApplicationCore::Instance().WriteSettingsOnExit();
}

// ---------------------------------------------------------------- menus

QAction* TfrmTabForm::AddAction(QMenu* menu, const QString& caption, const char* name, const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  return action;
}

void TfrmTabForm::CreateMenus() {
  QMenuBar* bar = menuBar();

  fFileMenu = bar->addMenu(u"&File"_s);
  fFileMenu->setObjectName(u"mnuFile"_s);
  fActLoadDownloadList =
      AddAction(fFileMenu, u"Load download list..."_s, "actLoadDownloadList", QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(fActLoadDownloadList, &QAction::triggered, this, &TfrmTabForm::LoadDownloadList);
  fQuickLoadMenu = fFileMenu->addMenu(u"Quick load"_s);
  fQuickLoadMenu->setObjectName(u"mnuQuickLoad"_s);
  connect(fQuickLoadMenu, &QMenu::aboutToShow, this, &TfrmTabForm::FillQuickLoadMenu);
  fCommandActions[CMD_DELETE_DOWNLOAD_LISTS] = fFileMenu->addAction(QString());
  fFileMenu->addSeparator();
  fActImportNzb =
      AddAction(fFileMenu, u"Import NZB file..."_s, "actImportNzb", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  connect(fActImportNzb, &QAction::triggered, this, &TfrmTabForm::ImportNzbFiles);
  fActLoadLastHeaders = AddAction(fFileMenu, u"Load last downloaded headers file..."_s, "actLoadLastHeaders",
                                  QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(fActLoadLastHeaders, &QAction::triggered, this, &TfrmTabForm::LoadLastDownloadedHeaders);
  fDecoderSeparator = fFileMenu->addSeparator();
  for (int i = 0; i < DECODER_ITEM_COUNT; ++i)
    fDecoderItems[i] = AddAction(fFileMenu, QString::fromUtf16(kDecoderItems[i].caption), kDecoderItems[i].name);
  fFileMenu->addSeparator();
  fActCloseCurrentTab =
      AddAction(fFileMenu, u"Close current tab"_s, "actCloseCurrentTab", QKeySequence(Qt::CTRL | Qt::Key_F4));
  connect(fActCloseCurrentTab, &QAction::triggered, this, &TfrmTabForm::CloseCurrentTab);
  QAction* quit = AddAction(fFileMenu, u"Quit..."_s, "actQuit", QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, &QWidget::close);
  connect(fFileMenu, &QMenu::aboutToShow, this, &TfrmTabForm::UpdateFileMenu);
  // The menu shows whether last headers are there; the shortcut asks itself.
  connect(fFileMenu, &QMenu::aboutToHide, this, [this] { fActLoadLastHeaders->setEnabled(true); });

  fSettingsMenu = bar->addMenu(u"Se&ttings"_s);
  fSettingsMenu->setObjectName(u"mnuSettings"_s);
  for (TCommand c : {CMD_EDIT_IDENTITIES, CMD_EDIT_SIGNATURES, CMD_EDIT_NNTP_SERVERS, CMD_EDIT_SMTP_SERVERS})
    fCommandActions[c] = fSettingsMenu->addAction(QString());
  fSettingsMenu->addSeparator();
  for (TCommand c : {CMD_EDIT_DOWNLOAD_LIST_SEQUENCE, CMD_EDIT_DEFAULT_DECODE_CONNECTIONS})
    fCommandActions[c] = fSettingsMenu->addAction(QString());
  QAction* downloadDir =
      AddAction(fSettingsMenu, u"Edit default download directory settings..."_s, "actEditDefaultDownloadDirectory");
  connect(downloadDir, &QAction::triggered, this, &TfrmTabForm::EditDefaultDownloadDirectory);
  fCommandActions[CMD_EDIT_NAVIGATION_SETTINGS] = fSettingsMenu->addAction(QString());
  fSettingsMenu->addSeparator();
  fCommandActions[CMD_CLEANUP_DATA] = fSettingsMenu->addAction(QString());
  QAction* change = AddAction(fSettingsMenu, u"Change user data directory..."_s, "actChangeUserDataDirectory");
  connect(change, &QAction::triggered, this, &TfrmTabForm::ChangeUserDataDirectory);
  fSettingsMenu->addSeparator();
  QAction* options = AddAction(fSettingsMenu, u"Edit global settings..."_s, "actEditGlobalSettings",
                               QKeySequence(Qt::ALT | Qt::Key_O));
  connect(options, &QAction::triggered, this, &TfrmTabForm::EditGlobalSettings);
  QAction* reset = AddAction(fSettingsMenu, u"Reset all confirmation requesters"_s, "actResetConfirmations");
  connect(reset, &QAction::triggered, this, &TfrmTabForm::ResetConfirmationRequesters);

  QMenu* window = bar->addMenu(u"&Window"_s);
  window->setObjectName(u"mnuWindow"_s);
  for (int i = 0; i < SIZE_PRESET_COUNT; ++i) {
    QAction* a = AddAction(window, QString::fromUtf16(kSizePresets[i].caption), kSizePresets[i].name,
                           QKeySequence(Qt::CTRL | Qt::ALT | kSizePresets[i].key));
    connect(a, &QAction::triggered, this, [this, i] { ApplySizePreset(static_cast<TSizePreset>(i)); });
  }

  QMenu* help = bar->addMenu(u"&Help"_s);
  help->setObjectName(u"mnuHelp"_s);
  fCommandActions[CMD_GETTING_STARTED] = help->addAction(QString());
  help->addSeparator();
  const QString version = TApplicationCore::Instance().Version().Text();
  QAction* bug = AddAction(help, u"Report a bug by email..."_s, "actReportBug");
  connect(bug, &QAction::triggered, this, [this, version] { SendMail(u"Korvel Newsreader bug report "_s + version); });
  QAction* idea = AddAction(help, u"Send a suggestion by email..."_s, "actSendSuggestion");
  connect(idea, &QAction::triggered, this, [this, version] { SendMail(u"Korvel Newsreader suggestion "_s + version); });
  QAction* support = AddAction(help, u"Contact support..."_s, "actContactSupport");
  connect(support, &QAction::triggered, this,
          [this, version] { SendMail(u"Korvel Newsreader support request "_s + version); });
  fCommandActions[CMD_CHECK_FOR_UPDATE] = help->addAction(QString());
  help->addSeparator();
  QAction* reenable = AddAction(help, u"Re-enable all help messages"_s, "actReenableHelpMessages");
  connect(reenable, &QAction::triggered, this, &TfrmTabForm::ReenableHelpMessages);
  help->addSeparator();
  QAction* about = AddAction(help, u"About Korvel..."_s, "actAbout");
  connect(about, &QAction::triggered, this, &TfrmTabForm::ShowAbout);

  for (int c = 0; c < CMD_COUNT; ++c) {
    QAction* a = fCommandActions[c];
    a->setText(QString::fromUtf16(kCommands[c].caption));
    a->setObjectName(QLatin1String(kCommands[c].name));
    if (kCommands[c].shortcut != QKeyCombination()) a->setShortcut(QKeySequence(kCommands[c].shortcut));
    connect(a, &QAction::triggered, this, [this, c] { RunCommand(static_cast<TCommand>(c)); });
  }
  ResetDecoderItems();
  UpdateCommandStates();
}

void TfrmTabForm::UpdateCommandStates() {
  for (int c = 0; c < CMD_COUNT; ++c) fCommandActions[c]->setEnabled(static_cast<bool>(fCommandHandlers[c]));
  fActLoadDownloadList->setEnabled(static_cast<bool>(fDownloadListOpener));
  fQuickLoadMenu->menuAction()->setEnabled(static_cast<bool>(fDownloadListOpener));
  fActImportNzb->setEnabled(static_cast<bool>(fNzbImporter));
  const TTabEntry* current = GetCurrentTabEntry();
  fActCloseCurrentTab->setEnabled(current && IsClosableTabKind(current->kind));
}

void TfrmTabForm::SetCommandHandler(TCommand command, TCommandHandler handler) {
  fCommandHandlers[command] = std::move(handler);
  UpdateCommandStates();
}

void TfrmTabForm::SetDownloadListOpener(TDownloadListOpener opener) {
  fDownloadListOpener = std::move(opener);
  UpdateCommandStates();
}

void TfrmTabForm::SetNzbImporter(TNzbImporter importer) {
  fNzbImporter = std::move(importer);
  UpdateCommandStates();
}

void TfrmTabForm::RunCommand(TCommand command) {
  if (!fCommandHandlers[command]) return;
  // A copy: the handler may replace itself.
  const TCommandHandler handler = fCommandHandlers[command];
  if (handler(this) && kCommands[command].messageAfter != 0) Broadcast(kCommands[command].messageAfter);
}

void TfrmTabForm::ResetDecoderItems() {
  for (QAction* a : fDecoderItems) {
    QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);  // the previous decoder tab's commands
    a->setEnabled(false);
    a->setVisible(false);
  }
  fDecoderSeparator->setVisible(false);
}

void TfrmTabForm::UpdateFileMenu() {
  bool available = false;
  fActLoadLastHeaders->setEnabled(SendBoolMessageQuery(TM_QUERY_LAST_HEADERS, &available) && available);
  bool anyDecoderItem = false;
  for (QAction* a : fDecoderItems) anyDecoderItem = anyDecoderItem || a->isVisible();
  fDecoderSeparator->setVisible(anyDecoderItem);
}

// ---------------------------------------------------------------- tabs

TfrmNewsgroupsBrowser* TfrmTabForm::NewsgroupsBrowser() const {
  return fEntries.newsgroupsBrowser ? qobject_cast<TfrmNewsgroupsBrowser*>(fEntries.newsgroupsBrowser->form) : nullptr;
}

TfrmHeadersManager* TfrmTabForm::HeadersManager() const {
  return fEntries.headersManager ? qobject_cast<TfrmHeadersManager*>(fEntries.headersManager->form) : nullptr;
}

bool TfrmTabForm::SetupForm() {
  LOG_METHOD("SetupForm");
  setAcceptDrops(true);
  return true;
}

bool TfrmTabForm::CreateNewsgroupsBrowserTab() {
  LOG_METHOD("CreateNewsgroupsBrowserTab");
  TTabEntry* entry = nullptr;
  if (EncloseFormIntoTab(new TfrmNewsgroupsBrowser, TAB_KIND_NEWSGROUPS_BROWSER, u"Newsgroups Browser"_s, &entry) !=
      RC_SUCCESS)
    return false;
  fEntries.newsgroupsBrowser = entry;
  return true;
}

bool TfrmTabForm::CreateHeadersManagerTab() {
  LOG_METHOD("CreateHeadersManagerTab");
  TTabEntry* entry = nullptr;
  if (EncloseFormIntoTab(new TfrmHeadersManager, TAB_KIND_HEADERS_MANAGER, u"Headers Manager"_s, &entry) != RC_SUCCESS)
    return false;
  fEntries.headersManager = entry;
  return true;
}

QString TfrmTabForm::DisplayCaption(const QString& caption) {
  // The blanks that open closable captions make room for the close button,
  // which here is a widget of its own.
  qsizetype i = 0;
  while (i < caption.size() && caption.at(i) == u' ') ++i;
  return caption.mid(i);
}

RETURN_CODES TfrmTabForm::CreateNewTab(TTabEntry*& entry) {
  LOG_METHOD("CreateNewTab");
  entry = fEntries.Add();
  if (!entry) {
    LogError("Error creating a new tab entry");
    return RC_FAILED_CREATE;
  }
  auto* sheet = new TTabSheet(entry);
  sheet->setObjectName(u"tabSheet"_s + QString::number(entry->id));
  entry->sheet = sheet;
  QScopedValueRollback guard(fChangingTabs, true);
  const int index = fTabs->addTab(sheet, QString());
  if (index < 0) {
    LogError("Error creating a new tab sheet");
    fEntries.Remove(entry);
    delete sheet;
    entry = nullptr;
    return RC_FAILED_CREATE;
  }
  auto* button = new QToolButton;
  button->setObjectName(u"btnCloseTab"_s);
  button->setAutoRaise(true);
  button->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  button->setIconSize(QSize(12, 12));
  button->setFixedSize(18, 18);
  button->setToolTip(u"Close this tab"_s);
  button->setFocusPolicy(Qt::NoFocus);
  const quint64 id = entry->id;
  connect(button, &QToolButton::clicked, this, [this, id] { PostCloseTab(fEntries.FindById(id)); });
  fTabs->tabBar()->setTabButton(index, QTabBar::RightSide, button);
  entry->closeButton = button;
  return RC_SUCCESS;
}

RETURN_CODES TfrmTabForm::EncloseFormIntoTab(TTabPage* form, TTabKind kind, const QString& caption,
                                             TTabEntry** created) {
  LOG_METHOD("EncloseFormIntoTab");
  if (created) *created = nullptr;
  if (!form) {
    LogError("Invalid param");
    return RC_INVALID_PARAMS;
  }
  TTabEntry* entry = nullptr;
  const RETURN_CODES rc = CreateNewTab(entry);
  if (rc != RC_SUCCESS) return rc;
  entry->kind = kind;
  entry->form = form;
  entry->menu = form->TabMenus();
  form->setParent(entry->sheet);
  entry->sheet->layout()->addWidget(form);
  form->show();
  const int index = fTabs->indexOf(entry->sheet);
  if (!IsClosableTabKind(kind)) {
    fTabs->tabBar()->setTabButton(index, QTabBar::RightSide, nullptr);
    delete entry->closeButton;
    entry->closeButton = nullptr;
  }
  SetTabCaption(entry, caption);
  if (created) *created = entry;
  UpdateCommandStates();
  return RC_SUCCESS;
}

RETURN_CODES TfrmTabForm::EncloseActivateFormIntoTab(TTabPage* form, TTabKind kind, const QString& caption,
                                                     TTabEntry** created) {
  TTabEntry* entry = nullptr;
  const RETURN_CODES rc = EncloseFormIntoTab(form, kind, caption, &entry);
  if (created) *created = entry;
  if (rc != RC_SUCCESS) return rc;
  form->show();
  return SetCurrentTab(entry);
}

void TfrmTabForm::SetTabCaption(TTabEntry* entry, const QString& caption) {
  if (!entry) return;
  entry->caption = caption;
  const int index = fTabs->indexOf(entry->sheet);
  if (index >= 0) fTabs->setTabText(index, DisplayCaption(caption));
}

void TfrmTabForm::RefreshCaptions() {
  for (int i = 0; i < fEntries.Count(); ++i) SetTabCaption(fEntries.At(i), fEntries.At(i)->caption);
}

RETURN_CODES TfrmTabForm::SetCurrentTab(TTabEntry* entry) {
  LOG_METHOD("SetCurrentTab");
  if (!entry || !entry->sheet) {
    LogError("Tab entry is null");
    return RC_FIELD_NOT_INITIALIZED;
  }
  {
    QScopedValueRollback guard(fChangingTabs, true);
    fTabs->setCurrentWidget(entry->sheet);
  }
  if (fTabs->currentWidget() != entry->sheet) {
    LogError("Failed to set the active page");
    return RC_OPERATION_FAILED;
  }
  SetCurrentMenu(entry->menu);
  ResetDecoderItems();
  TShellMessage::Post(entry->form, TM_TAB_ACTIVATED);
  TShellMessage::Post(this, MM_REPOSITION_CLOSE_BUTTONS);
  fHistory.Visit(entry->id);
  UpdateCommandStates();
  return RC_SUCCESS;
}

RETURN_CODES TfrmTabForm::SetCurrentTabByPageIndex(int index) {
  if (index < 0 || index >= fTabs->count()) {
    LogError("Invalid page index passed");
    return RC_INVALID_PARAMS;
  }
  return SetCurrentTabByTabSheet(fTabs->widget(index));
}

RETURN_CODES TfrmTabForm::SetCurrentTabByTabSheet(QWidget* sheet) {
  auto* tabSheet = qobject_cast<TTabSheet*>(sheet);
  if (!tabSheet) {
    LogError("Tabsheet failed to typecast as a MyTabSheet");
    return RC_INVALID_TYPECAST;
  }
  return SetCurrentTab(tabSheet->Entry());
}

void TfrmTabForm::PageControlChange(int index) {
  // Changes made by the window itself are followed up where they are made.
  if (fChangingTabs || index < 0) return;
  SetCurrentTabByPageIndex(index);
}

RETURN_CODES TfrmTabForm::SetCurrentMenu(const QList<QMenu*>& menu) {
  QMenuBar* bar = menuBar();
  QAction* before = fSettingsMenu->menuAction();
  for (QMenu* m : menu) {
    if (!m) {
      LogError("Menu parameter is null");
      continue;
    }
    if (!fMergedMenu.contains(m)) bar->insertAction(before, m->menuAction());
  }
  if (fMergedMenu != menu) {
    for (QMenu* m : std::as_const(fMergedMenu))
      if (m && !menu.contains(m)) bar->removeAction(m->menuAction());
  }
  fMergedMenu = menu;
  return RC_SUCCESS;
}

TTabEntry* TfrmTabForm::GetCurrentTabEntry() const { return fEntries.FindBySheet(fTabs->currentWidget()); }

bool TfrmTabForm::IsCurrentTab(const TTabEntry* entry) const { return entry && entry == GetCurrentTabEntry(); }

void TfrmTabForm::PostCloseTab(const TTabEntry* entry) {
  if (entry) TShellMessage::Post(this, MM_CLOSE_TAB, static_cast<qintptr>(entry->id));
}

void TfrmTabForm::CloseCurrentTab() {
  const TTabEntry* entry = GetCurrentTabEntry();
  if (entry && IsClosableTabKind(entry->kind)) PostCloseTab(entry);
}

RETURN_CODES TfrmTabForm::CloseTab(QWidget* sheet) {
  LOG_METHOD("CloseTab");
  auto* tabSheet = qobject_cast<TTabSheet*>(sheet);
  if (!tabSheet) {
    LogError("Tabsheet failed to typecast as a MyTabSheet");
    return RC_INVALID_TYPECAST;
  }
  TTabEntry* entry = tabSheet->Entry();
  if (!entry) {
    LogError("Tab entry is null");
    return RC_FIELD_NOT_INITIALIZED;
  }
  if (entry->closing) return RC_BAD_STATE;
  const quint64 id = entry->id;
  entry->closing = true;
  const qintptr answer = TShellMessage::Send(entry->form, TM_CLOSE_REQUEST);
  // The form may have asked a question, and events ran meanwhile.
  entry = fEntries.FindById(id);
  if (!entry) return RC_ABORTED;
  if (answer != kAgree) {
    entry->closing = false;
    return RC_ABORTED;
  }

  quint64 nextId = 0;
  if (IsCurrentTab(entry)) {
    nextId = fHistory.TakePrevious(id, [this](quint64 other) {
      const TTabEntry* e = fEntries.FindById(other);
      return e && !e->closing;
    });
    if (nextId == 0) {
      const int index = fTabs->indexOf(sheet);
      const int neighbour = index + 1 < fTabs->count() ? index + 1 : index - 1;
      if (const TTabEntry* e = neighbour >= 0 ? fEntries.FindBySheet(fTabs->widget(neighbour)) : nullptr)
        nextId = e->id;
    }
  }
  fHistory.Remove(id);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (nextId) SetCurrentTab(fEntries.FindById(nextId));
  sheet->hide();
  if (entry->closeButton) entry->closeButton->hide();
  {
    QScopedValueRollback guard(fChangingTabs, true);
    fTabs->removeTab(fTabs->indexOf(sheet));  // the tab bar frees the close button
  }
  if (!entry->menu.isEmpty() && fMergedMenu == entry->menu) SetCurrentMenu({});
  tabSheet->Detach();
  // Deleted once control is back in the event loop, in case the form is still
  // on the call stack.
  sheet->deleteLater();
  fEntries.Remove(entry);
  if (nextId) SetCurrentTab(fEntries.FindById(nextId));
  QApplication::restoreOverrideCursor();
  UpdateCommandStates();
  return RC_SUCCESS;
}

// ---------------------------------------------------------------- messages

void TfrmTabForm::Broadcast(int offset, qintptr param, void* pointer) {
  // Collected first: a form may open or close tabs while it handles the message.
  QList<QPointer<TTabPage>> forms;
  for (int i = 0; i < fEntries.Count(); ++i) forms.append(fEntries.At(i)->form);
  for (const QPointer<TTabPage>& form : forms)
    if (form) TShellMessage::Send(form, offset, param, pointer);
}

void TfrmTabForm::PostToAll(int offset, qintptr param) {
  for (int i = 0; i < fEntries.Count(); ++i) TShellMessage::Post(fEntries.At(i)->form, offset, param);
}

bool TfrmTabForm::SendBoolMessageQuery(int offset, void* pointer) {
  for (int i = 0; i < fEntries.Count(); ++i)
    if (TShellMessage::Send(fEntries.At(i)->form, offset, 0, pointer) == -1) return true;
  return false;
}

bool TfrmTabForm::AllTabsIdle() {
  for (int i = 0; i < fEntries.Count(); ++i)
    if (TShellMessage::Send(fEntries.At(i)->form, TM_IDLE_QUERY) != kAgree) return false;
  return true;
}

void TfrmTabForm::customEvent(QEvent* event) {
  auto* message = dynamic_cast<TShellMessage*>(event);
  if (!message) {
    QMainWindow::customEvent(event);
    return;
  }
  switch (message->Offset()) {
    case MM_CLOSE_TAB: {
      // Only the tab that asked: a tab closed meanwhile, or one already
      // closing, is left alone.
      TTabEntry* entry = fEntries.FindById(static_cast<quint64>(message->param));
      if (entry && !entry->closing) CloseTab(entry->sheet);
      break;
    }
    case MM_LOAD_DOWNLOAD_LIST:
      LoadDownloadList();
      break;
    case MM_EDIT_GLOBAL_SETTINGS:
      EditGlobalSettings();
      break;
    case MM_EDIT_SMTP_SERVERS:
      RunCommand(CMD_EDIT_SMTP_SERVERS);
      break;
    case MM_EDIT_NNTP_SERVERS:
      RunCommand(CMD_EDIT_NNTP_SERVERS);
      break;
    case MM_EDIT_IDENTITIES:
      RunCommand(CMD_EDIT_IDENTITIES);
      break;
    case MM_SHOW_NEWSGROUPS_BROWSER:
      SetCurrentTab(fEntries.newsgroupsBrowser);
      break;
    case MM_SHOW_HEADERS_MANAGER:
      SetCurrentTab(fEntries.headersManager);
      break;
    case MM_REPOSITION_CLOSE_BUTTONS:
      // The tab bar places its buttons itself; a repaint is all that is left.
      fTabs->tabBar()->update();
      break;
    case MM_STARTUP_COMPLETE:
      StartupComplete();
      break;
    case MM_IMPORT_WAITING_FILES:
      ImportWaitingFiles();
      break;
    case MM_AUTOMATION_KEEPALIVE:
      fAutomation->SetKeepAliveEnabled(message->param != 0);
      break;
    default:
      break;
  }
}

void TfrmTabForm::StartupComplete() {
  LOG_METHOD("StartupComplete");
  fTabs->tabBar()->update();
  RefreshCaptions();
  PostToAll(TM_STARTUP_COMPLETE);
}

// ---------------------------------------------------------------- closing

void TfrmTabForm::closeEvent(QCloseEvent* event) {
  LOG_METHOD("FormCloseQuery");
  if (fForceClose) {
    event->accept();
    return;
  }
  TSettings& s = Settings();
  const bool idle = AllTabsIdle();
  if (idle && !s.AskTerminate) {
    event->accept();
    return;
  }
  TUserPrompt::TTask task;
  task.text = idle ? u"Close "_s + QApplication::applicationDisplayName() + u" now?"_s
                   : u"Some tabs are still performing operations. Would you like to forcefully close the application "
                     u"and risk loosing data?"_s;
  task.buttons = TUserPrompt::BUTTONS_YESNO;
  task.image = idle ? TUserPrompt::IMAGE_EXIT : TUserPrompt::IMAGE_STOP;
  task.dropDown = {kAskBeforeClosing, kCloseWithoutAsking};
  task.dropDownIndex = s.AskTerminate ? 0 : 1;
  if (TUserPrompt::Task(task) != TUserPrompt::RESULT_YES) {
    event->ignore();
    return;
  }
  s.AskTerminate = task.dropDownIndex == 0;
  if (!idle) Broadcast(TM_FORCED_SHUTDOWN);
  event->accept();
}

void TfrmTabForm::ForceShutdown() {
  LOG_METHOD("ForceShutdown");
  fForceClose = true;
  Broadcast(TM_FORCED_SHUTDOWN);
  close();
  // Also when the window is hidden in the tray and closing it ends nothing.
  QCoreApplication::exit(0);
}

// ---------------------------------------------------------------- window

void TfrmTabForm::ApplySizePreset(TSizePreset preset) {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s || preset < 0 || preset >= SIZE_PRESET_COUNT) return;
  const QRect area = s->availableGeometry();
  showNormal();
  QSize size(kSizePresets[preset].width, kSizePresets[preset].height);
  if (preset == SIZE_FULLSCREEN) size = area.size();
  // Frame and title bar count into the size the user picked.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize client = (size - frame).expandedTo(minimumSizeHint());
  resize(client);
  const QRect outer(QPoint(0, 0), client + frame);
  move(area.center() - outer.center());
}

void TfrmTabForm::CreateTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  fTray = new QSystemTrayIcon(AppIcon(), this);
  fTray->setToolTip(QApplication::applicationDisplayName());
  auto* menu = new QMenu(this);
  fActRestoreFromTray = menu->addAction(u"Restore from tray"_s, this, &TfrmTabForm::RestoreFromTray);
  fActRestoreFromTray->setVisible(false);
  fActHideWhenMinimized = menu->addAction(u"Hide when minimized"_s);
  fActHideWhenMinimized->setCheckable(true);
  fActHideWhenMinimized->setChecked(Settings().MinimizeToTray);
  connect(fActHideWhenMinimized, &QAction::toggled, this, [](bool on) {
    Settings().MinimizeToTray = on;
    WriteConfigs(Paths().userDataDir);
  });
  connect(menu, &QMenu::aboutToShow, this, [this] { fActHideWhenMinimized->setChecked(Settings().MinimizeToTray); });
  menu->addSeparator();
  menu->addAction(u"Exit"_s, this, &QWidget::close);
  fTray->setContextMenu(menu);
  connect(fTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
  });
  fTray->show();
}

void TfrmTabForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (!isMinimized()) {
    fWasMaximized = isMaximized();
    return;
  }
  if (fTray && Settings().MinimizeToTray && !fHiddenInTray) {
    fHiddenInTray = true;
    if (fActRestoreFromTray) fActRestoreFromTray->setVisible(true);
    QTimer::singleShot(0, this, &QWidget::hide);
  }
}

void TfrmTabForm::RestoreFromTray() {
  fHiddenInTray = false;
  if (fActRestoreFromTray) fActRestoreFromTray->setVisible(false);
  BringToFront();
}

void TfrmTabForm::BringToFront() {
  if (isMinimized() || !isVisible()) {
    if (fWasMaximized)
      showMaximized();
    else
      showNormal();
  }
  raise();
  activateWindow();
}

// ---------------------------------------------------------------- documents

void TfrmTabForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmTabForm::dropEvent(QDropEvent* event) {
  LOG_METHOD("DropFiles");
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    // A cut path would name another file; such a path is passed over.
    if (path.isEmpty() || path.size() > kMaxDroppedPathLength) continue;
    paths.append(path);
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  QueueFilesForImport(paths);
}

void TfrmTabForm::QueueFilesForImport(const QStringList& paths) {
  fWaitingFiles = paths;
  TShellMessage::Post(this, MM_IMPORT_WAITING_FILES);
}

void TfrmTabForm::HandleOpenCommands(const QStringList& commands) {
  LOG_METHOD("HandleOpenCommands");
  // Any request, even one without files, brings the window forward.
  if (fHiddenInTray)
    RestoreFromTray();
  else if (isVisible())
    BringToFront();
  const QStringList paths = PathsOfOpenCommands(commands);
  if (!paths.isEmpty()) QueueFilesForImport(paths);
}

void TfrmTabForm::ImportWaitingFiles() {
  LOG_METHOD("ImportWaitingFiles");
  const QStringList received = std::exchange(fWaitingFiles, {});
  if (received.isEmpty()) return;
  QStringList nzb;
  for (const QString& path : received)
    if (path.endsWith(u".nzb"_s, Qt::CaseInsensitive)) nzb.append(path);
  if (nzb.isEmpty()) {
    TUserPrompt::Error(u"The "_s + (received.size() == 1 ? u"file"_s : u"files"_s) + u" cannot be imported."_s);
    return;
  }
  if (nzb.size() > 1 &&
      !TUserPrompt::Confirm(QString::asprintf("Would you like to import %d NZB files?", static_cast<int>(nzb.size()))))
    return;
  ImportNzb(nzb);
}

void TfrmTabForm::ImportNzb(const QStringList& paths) {
  if (!fNzbImporter) {
    LogWarning(u"No NZB import available for "_s + paths.join(u", "_s));
    return;
  }
  const TNzbImporter importer = fNzbImporter;
  importer(paths);
}

void TfrmTabForm::ImportNzbFiles() {
  LOG_METHOD("ImportNzbFiles");
  if (!fNzbImporter) return;
  THelpMessageManager::Instance().ShowHelpMessage(this, IMPORT_NZB);
  TSettings& s = Settings();
  const QStringList files =
      QFileDialog::getOpenFileNames(this, u"Import NZB file"_s, s.gOpenNZBPath, u"NZB files (*.nzb *.NZB)"_s);
  if (files.isEmpty()) return;
  s.gOpenNZBPath = WithTrailingSlash(QFileInfo(files.first()).absolutePath());
  ImportNzb(files);
}

void TfrmTabForm::LoadDownloadList() {
  LOG_METHOD("LoadDownloadList");
  if (!fDownloadListOpener) return;
  const QString path = QFileDialog::getOpenFileName(this, u"Load download list"_s, Paths().downloadListsDir,
                                                    u"Download lists (*.cue *.CUE)"_s);
  if (path.isEmpty()) return;
  const TDownloadListOpener opener = fDownloadListOpener;
  opener(path);
}

QString TfrmTabForm::QuickLoadCaption(const QString& name) {
  if (name.isEmpty()) return name;
  return name.left(1).toUpper() + name.mid(1).toLower();
}

QStringList TfrmTabForm::RecentDownloadLists(const QString& directory, int count) {
  QDir dir(directory);
  QFileInfoList infos = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
  infos.erase(std::remove_if(infos.begin(), infos.end(),
                             [](const QFileInfo& f) { return f.suffix().compare(u"cui"_s, Qt::CaseInsensitive) != 0; }),
              infos.end());
  // Creation time where the file system keeps it (its clock may be coarse),
  // then the last change.
  auto created = [](const QFileInfo& f) {
    const QDateTime birth = f.birthTime();
    return std::make_pair(birth.isValid() ? birth : f.lastModified(), f.lastModified());
  };
  std::stable_sort(infos.begin(), infos.end(),
                   [&](const QFileInfo& a, const QFileInfo& b) { return created(a) > created(b); });
  QStringList lists;
  for (const QFileInfo& f : std::as_const(infos)) {
    if (lists.size() >= count) break;
    lists.append(FindFileNoCase(WithTrailingSlash(f.absolutePath()), f.completeBaseName() + u".cue"_s));
  }
  return lists;
}

void TfrmTabForm::FillQuickLoadMenu() {
  fQuickLoadMenu->clear();
  const QStringList lists = RecentDownloadLists(Paths().downloadListsDir);
  if (lists.isEmpty()) {
    fQuickLoadMenu->addAction(u"No item available"_s)->setEnabled(false);
    return;
  }
  for (const QString& cue : lists) {
    QAction* a = fQuickLoadMenu->addAction(QuickLoadCaption(QFileInfo(cue).completeBaseName()));
    connect(a, &QAction::triggered, this, [this, cue] { OpenQuickLoadItem(cue); });
  }
}

void TfrmTabForm::OpenQuickLoadItem(const QString& cuePath) {
  if (!QFileInfo::exists(cuePath)) {
    TUserPrompt::Error(u"The selected download list cannot be loaded."_s);
    return;
  }
  if (fDownloadListOpener) {
    const TDownloadListOpener opener = fDownloadListOpener;
    opener(cuePath);
  }
}

void TfrmTabForm::LoadLastDownloadedHeaders() {
  bool available = false;
  if (SendBoolMessageQuery(TM_QUERY_LAST_HEADERS, &available) && available) PostToAll(TM_LOAD_LAST_HEADERS);
}

// ---------------------------------------------------------------- settings commands

void TfrmTabForm::EditGlobalSettings() {
  LOG_METHOD("EditGlobalSettings");
  TfrmOptions options(this);
  options.exec();
  if (options.WasApplied()) Broadcast(TM_SETTINGS_CHANGED);
}

void TfrmTabForm::EditDefaultDownloadDirectory() {
  LOG_METHOD("EditDefaultDownloadDirectory");
  TfrmDownloadDirectory dialog(this);
  dialog.exec();
}

void TfrmTabForm::ReenableHelpMessages() { THelpMessageManager::EnableAll(); }

void TfrmTabForm::ResetConfirmationRequesters() {
  LOG_METHOD("ResetConfirmationRequesters");
  if (!TUserPrompt::Confirm(u"All confirmation requesters will be enabled again. Continue?"_s)) return;
  ResetConfirmations(Paths().userDataDir);
  TUserPrompt::Information(u"All confirmation requesters have been enabled."_s);
}

void TfrmTabForm::SendMail(const QString& subject) {
  QUrl url(u"mailto:"_s + kSupportAddress);
  QUrlQuery query;
  query.addQueryItem(u"subject"_s, subject.trimmed());
  url.setQuery(query);
  if (!QDesktopServices::openUrl(url)) LogError(u"Cannot start the mail program for "_s + url.toString());
}

void TfrmTabForm::ShowAbout() {
  const TVersionInfo& v = TApplicationCore::Instance().Version();
  QMessageBox::about(this, u"About Korvel Newsreader"_s,
                     u"<b>Korvel Newsreader</b><br>Version "_s + v.Text() +
                         u"<br><br>A Usenet client for text and binary newsgroups."_s);
}

void TfrmTabForm::ChangeUserDataDirectory() {
  LOG_METHOD("ChangeUserDataDirectory");
  if (!TUserPrompt::Confirm(QStringLiteral(
          "WARNING! While none of your current data will be erased, selecting a new user data directory will not "
          "transfer any of them and you will be required to reconfigure everything using the setup wizard (unless "
          "the new directory contains a valid installation).\r\n\r\nProceed?")))
    return;
  const QString picked = QFileDialog::getExistingDirectory(
      this, QStringLiteral("Select directory for user data subdirectory"), Paths().userDataDir);
  if (picked.isEmpty()) return;
  if (!QFileInfo(picked).isDir()) {
    TUserPrompt::Error(QStringLiteral("The selected location cannot be used."));
    return;
  }
  const QString dir = WithoutTrailingSlash(picked);
  if (!IsDirectoryWritable(dir)) {
    TUserPrompt::Error(QStringLiteral("The selected location cannot be used to store data."));
    return;
  }
  if (!TUserPrompt::Confirm(QStringLiteral("Your new user data directory will now be set. Continue?"))) return;
  if (StoreUserDataDirectory(dir))
    TUserPrompt::Information(
        QStringLiteral("The directory was set. Close and restart the application to use the new directory."));
}

// ---------------------------------------------------------------- events

bool TfrmTabForm::eventFilter(QObject* watched, QEvent* event) {
  // A middle click on a tab, without modifier keys, closes it.
  if (watched == fTabs->tabBar() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::MiddleButton && mouse->modifiers() == Qt::NoModifier) {
      const int index = fTabs->tabBar()->tabAt(mouse->position().toPoint());
      if (index >= 0) PostCloseTab(fEntries.FindBySheet(fTabs->widget(index)));
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
