#pragma once

#include "app/ReturnCodes.h"
#include "shell/TabEntryList.h"
#include "shell/TabHistory.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;
class TAutomation;
class TTabPage;
class TfrmHeadersManager;
class TfrmNewsgroupsBrowser;

// The main window: one row of tabs, each holding a form. It creates and
// closes tabs, merges the current tab's menus into the main menu, remembers
// the order of visits, talks to the tab forms through messages (ShellMessage.h)
// and hosts the global commands of the main menu.
class TfrmTabForm : public QMainWindow {
  Q_OBJECT
 public:
  // Main-menu commands whose windows other parts of the program provide.
  // Each stays disabled until its handler is set.
  enum TCommand {
    CMD_DELETE_DOWNLOAD_LISTS,
    CMD_EDIT_IDENTITIES,
    CMD_EDIT_SIGNATURES,
    CMD_EDIT_NNTP_SERVERS,
    CMD_EDIT_SMTP_SERVERS,
    CMD_EDIT_DOWNLOAD_LIST_SEQUENCE,
    CMD_EDIT_DEFAULT_DECODE_CONNECTIONS,
    CMD_EDIT_NAVIGATION_SETTINGS,
    CMD_CLEANUP_DATA,
    CMD_GETTING_STARTED,
    CMD_CHECK_FOR_UPDATE,
    CMD_COUNT
  };
  // Runs the command's window; true when the user confirmed a change that the
  // tabs must hear of (servers, identities, signatures, settings).
  using TCommandHandler = std::function<bool(QWidget* owner)>;
  // Opens a download list (its ".cue" file) in a decoder tab.
  using TDownloadListOpener = std::function<bool(const QString& cuePath)>;
  // Imports one or more NZB files.
  using TNzbImporter = std::function<void(const QStringList& paths)>;

  // File menu items that only a current decoder tab uses; hidden otherwise.
  enum TDecoderItem {
    DECODER_SAVE,
    DECODER_SAVE_AS,
    DECODER_LIST_STATISTICS,
    DECODER_ANY_LIST_STATISTICS,
    DECODER_ITEM_COUNT
  };

  enum TSizePreset {
    SIZE_FULLSCREEN,
    SIZE_1280X1024,
    SIZE_1024X768,
    SIZE_800X600,
    SIZE_640X480,
    SIZE_950X640,
    SIZE_PRESET_COUNT
  };

  static constexpr int kMaxDroppedPathLength = 4096;
  static constexpr int kQuickLoadItems = 25;

  explicit TfrmTabForm(QWidget* parent = nullptr);
  ~TfrmTabForm() override;

  // Accepts dropped files; true on success.
  bool SetupForm();
  bool CreateNewsgroupsBrowserTab();
  bool CreateHeadersManagerTab();

  // ---- Tabs ----
  RETURN_CODES CreateNewTab(TTabEntry*& entry);
  RETURN_CODES EncloseFormIntoTab(TTabPage* form, TTabKind kind, const QString& caption, TTabEntry** created = nullptr);
  // The same, then shows the form and makes its tab current.
  RETURN_CODES EncloseActivateFormIntoTab(TTabPage* form, TTabKind kind, const QString& caption,
                                          TTabEntry** created = nullptr);
  RETURN_CODES SetCurrentTab(TTabEntry* entry);
  RETURN_CODES SetCurrentTabByPageIndex(int index);
  RETURN_CODES SetCurrentTabByTabSheet(QWidget* sheet);
  RETURN_CODES SetCurrentMenu(const QList<QMenu*>& menu);
  TTabEntry* GetCurrentTabEntry() const;
  bool IsCurrentTab(const TTabEntry* entry) const;
  TTabEntry* EntryOfForm(const QWidget* form) const { return fEntries.FindByForm(form); }
  void SetTabCaption(TTabEntry* entry, const QString& caption);
  // Asks the tab's form and closes the tab when it agrees.
  RETURN_CODES CloseTab(QWidget* sheet);
  // Queues the close of a tab: runs after the current event, and only if
  // that very tab still exists and is not already closing.
  void PostCloseTab(const TTabEntry* entry);

  // ---- Messages to the tab forms ----
  // Sends the message to every tab form in creation order.
  void Broadcast(int offset, qintptr param = 0, void* pointer = nullptr);
  void PostToAll(int offset, qintptr param = 0);
  // Sends the message to each form in order; the first that answers -1 ends
  // the query with true (having written its answer through pointer).
  bool SendBoolMessageQuery(int offset, void* pointer);
  // True when every tab answers the idle query with the agreement value.
  bool AllTabsIdle();

  const TTabEntryList& Entries() const { return fEntries; }
  const TTabHistory& History() const { return fHistory; }
  QTabWidget* Tabs() const { return fTabs; }
  TfrmNewsgroupsBrowser* NewsgroupsBrowser() const;
  TfrmHeadersManager* HeadersManager() const;

  // ---- Documents from outside ----
  // Commands of a file-association request ("[Open("path")]").
  void HandleOpenCommands(const QStringList& commands);
  // Replaces the waiting files and queues their import.
  void QueueFilesForImport(const QStringList& paths);
  const QStringList& WaitingFiles() const { return fWaitingFiles; }
  // Keeps the ".nzb" files of the waiting list and imports them.
  void ImportWaitingFiles();

  // ---- Hooks for the windows of other parts ----
  void SetCommandHandler(TCommand command, TCommandHandler handler);
  void SetDownloadListOpener(TDownloadListOpener opener);
  void SetNzbImporter(TNzbImporter importer);
  QAction* CommandAction(TCommand command) const { return fCommandActions[command]; }
  QAction* DecoderFileItem(TDecoderItem item) const { return fDecoderItems[item]; }
  // The download lists offered by "Quick load", newest first (".cue" paths).
  static QStringList RecentDownloadLists(const QString& directory, int count = kQuickLoadItems);
  // How "Quick load" shows a list name: first letter upper case, the rest lower.
  static QString QuickLoadCaption(const QString& name);

  // ---- Window ----
  void ApplySizePreset(TSizePreset preset);
  bool IsHiddenInTray() const { return fHiddenInTray; }
  TAutomation* Automation() const { return fAutomation; }
  // Ends the program at once: the tabs stop their work, no question is asked.
  void ForceShutdown();

 public slots:
  void ChangeUserDataDirectory();
  void EditGlobalSettings();
  void EditDefaultDownloadDirectory();
  void ReenableHelpMessages();
  void ResetConfirmationRequesters();
  void LoadDownloadList();
  void ImportNzbFiles();
  void LoadLastDownloadedHeaders();
  void CloseCurrentTab();
  void RestoreFromTray();
  void ShowAbout();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void customEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void CreateTray();
  QAction* AddAction(QMenu* menu, const QString& caption, const char* name, const QKeySequence& shortcut = {});
  void RunCommand(TCommand command);
  void PageControlChange(int index);
  void ResetDecoderItems();
  void UpdateCommandStates();
  void UpdateFileMenu();
  void FillQuickLoadMenu();
  void OpenQuickLoadItem(const QString& cuePath);
  void ImportNzb(const QStringList& paths);
  void SendMail(const QString& subject);
  void RefreshCaptions();
  void StartupComplete();
  void BringToFront();
  static QString DisplayCaption(const QString& caption);

  QTabWidget* fTabs;
  TTabEntryList fEntries;
  TTabHistory fHistory;
  QList<QMenu*> fMergedMenu;
  bool fChangingTabs = false;

  QMenu* fFileMenu = nullptr;
  QMenu* fSettingsMenu = nullptr;
  QMenu* fQuickLoadMenu = nullptr;
  QAction* fActLoadDownloadList = nullptr;
  QAction* fActImportNzb = nullptr;
  QAction* fActLoadLastHeaders = nullptr;
  QAction* fActCloseCurrentTab = nullptr;
  QAction* fDecoderSeparator = nullptr;
  std::array<QAction*, CMD_COUNT> fCommandActions{};
  std::array<TCommandHandler, CMD_COUNT> fCommandHandlers{};
  std::array<QAction*, DECODER_ITEM_COUNT> fDecoderItems{};
  TDownloadListOpener fDownloadListOpener;
  TNzbImporter fNzbImporter;

  QStringList fWaitingFiles;

  QSystemTrayIcon* fTray = nullptr;
  QAction* fActRestoreFromTray = nullptr;
  QAction* fActHideWhenMinimized = nullptr;
  bool fHiddenInTray = false;
  bool fWasMaximized = true;

  TAutomation* fAutomation;
  bool fForceClose = false;
};
