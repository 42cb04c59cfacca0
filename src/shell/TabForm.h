#pragma once

#include <QMainWindow>

class QTabWidget;
class TTabPage;
class TfrmNewsgroupsBrowser;
class TfrmHeadersManager;

// The main window: one row of tabs, each holding a page.
class TfrmTabForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmTabForm(QWidget* parent = nullptr);
  ~TfrmTabForm() override;

  // Accepts dropped files; true on success.
  bool SetupForm();
  bool CreateNewsgroupsBrowserTab();
  bool CreateHeadersManagerTab();
  void SetCurrentTab(int index);

  QTabWidget* Tabs() const { return fTabs; }
  TfrmNewsgroupsBrowser* NewsgroupsBrowser() const { return fNewsgroupsBrowser; }
  TfrmHeadersManager* HeadersManager() const { return fHeadersManager; }

 public slots:
  void ChangeUserDataDirectory();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int AddTab(TTabPage* page);
  void CreateMenus();

  QTabWidget* fTabs;
  TfrmNewsgroupsBrowser* fNewsgroupsBrowser = nullptr;
  TfrmHeadersManager* fHeadersManager = nullptr;
};
