#pragma once

#include "nntp/ConnectionListModel.h"
#include "nntp/NewsServerEntry.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QCheckBox;
class QListWidget;
class QMenu;
class QPushButton;

// "Connection list": which connections a download uses. The servers'
// connections (each server repeated by its maximum connection count) are
// either available or selected, in the order shown; the caller saves the
// selection. Opened from the main menu for the default list, and by the
// decoder tab for one download list with its unlimited switch.
class TfrmConnectionList : public QDialog {
  Q_OBJECT
 public:
  // Opens the news server editor; true once it has closed.
  using TServerEditor = std::function<bool(QWidget* parent)>;

  explicit TfrmConnectionList(QWidget* parent = nullptr);

  // Fills the lists from the loaded server list and selects the connections
  // the file names (a missing file selects nothing).
  void LoadFile(const QString& path);
  // Shows "Use as unlimited connections" with its current value (download lists only).
  void SetUnlimited(bool on);
  bool Unlimited() const;
  // "Set as default connections": its state and whether the user may change it.
  void SetDefaultBox(bool checked, bool enabled);
  bool SetAsDefault() const;

  QStringList SelectedNames() const { return fModel.SelectedNames(); }
  const TConnectionListModel& Model() const { return fModel; }

  // Main menu "Edit default decode connections...": edits and saves the default list.
  static bool EditDefaultConnections(QWidget* parent);
  // The decoder tab's command for one download list (its ".cue" path): on
  // Accept unlimited gets the switch, the ".srv" file is saved and, when
  // asked, the default list too. True when the user accepted.
  static bool EditDownloadListConnections(QWidget* parent, const QString& downloadListPath, bool& unlimited);
  // "Revert to using default connections for this list": after confirming,
  // deletes the download list's ".srv" file. True when it is gone.
  static bool RevertToDefaultConnections(const QString& downloadListPath);

  // Replaces the news server editor (tests); an empty function restores it.
  static void SetServerEditor(TServerEditor editor);

 public slots:
  void AddSelected();
  void RemoveSelected();
  void AddAllIdentical();
  void RemoveAll();
  void MoveUp();
  void MoveDown();
  void EditServers();
  void accept() override;

 private:
  void CreateControls();
  void Refill(int availableRow, int selectedRow);
  static QList<int> SelectedRows(const QListWidget* list);
  void UpdateButtons();

  TConnectionListModel fModel;
  QListWidget* fAvailable = nullptr;
  QListWidget* fSelected = nullptr;
  QPushButton* fAdd = nullptr;
  QPushButton* fRemove = nullptr;
  QPushButton* fRemoveAll = nullptr;
  QPushButton* fMoveUp = nullptr;
  QPushButton* fMoveDown = nullptr;
  QPushButton* fEditServers = nullptr;
  QAction* fAddIdentical = nullptr;
  QMenu* fAvailableMenu = nullptr;
  QCheckBox* fUnlimited = nullptr;
  QCheckBox* fSetAsDefault = nullptr;
};
