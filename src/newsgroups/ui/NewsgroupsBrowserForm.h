#pragma once

#include "shell/TabPage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class TGroupListModel;
class TNewsgroupLoader;

// The first permanent tab: a server's newsgroups. For now it shows a
// server's main list (or its newest groups) with a filter, and runs the full
// list, new-groups and message-count retrievals.
class TfrmNewsgroupsBrowser : public TTabPage {
  Q_OBJECT
 public:
  explicit TfrmNewsgroupsBrowser(QWidget* parent = nullptr);
  void SetStatusText(const QString& text) override;
  QString StatusText() const;

  QString CurrentServer() const;
  // Loads the server's main list, or its "New Newsgroups" folder.
  void ShowList(bool newGroups);

 protected:
  void TabMessage(TShellMessage& message) override;

 private:
  void FillServers();
  void DownloadAll();
  void DownloadNew();
  void UpdateCounts();
  void ListLoaded(bool ok);

  QComboBox* fServers;
  QComboBox* fLists;
  QLineEdit* fSearch;
  QTableView* fGrid;
  TGroupListModel* fModel;
  TNewsgroupLoader* fLoader;
  QLabel* fStatus;
};
