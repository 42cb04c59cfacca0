#pragma once

#include "app/FileUtils.h"
#include "nntp/NewsServerEntry.h"
#include "nntp/NewsTester.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// "Edit NNTP Servers": the news server definitions of "_Servers_NNTP.dat" in
// file order, the default server marked. One ordered list of records backs
// the display, the duplicate checks and every rewrite of the file, which
// always goes through the safe rewrite of TNewsServerList.
//
// Editing a record locks the list until Save or Cancel; closing meanwhile is
// refused. Records whose names cannot be directories (left in the file by
// other programs) are shown so they can be renamed or deleted, but no
// directory is ever touched for them.
class TfrmEditNewsServers : public QDialog {
  Q_OBJECT
 public:
  // Asks for the name of a new server; false when the user cancelled.
  using TNamePrompt = std::function<bool(QWidget* parent, QString& name)>;
  // Asks whether to accept a certificate that failed verification.
  using TCertificatePrompt =
      std::function<bool(QWidget* parent, const QString& serverName, const TServerTestReport& report)>;

  explicit TfrmEditNewsServers(QWidget* parent = nullptr);

  // Reads the records from the file; false (and an empty list) when it exists but cannot be read.
  bool LoadServers();
  // False when the file exists but could not be read: nothing may then be
  // written over it, or every server in it would be lost.
  bool CanEdit() const { return !fUnreadable; }

  // The main-menu command: the editor, modal; then the loaded list is read
  // again. True once it has closed (the tabs are to hear of the change).
  static bool EditNewsServers(QWidget* parent);
  // Tells every tab of the main window that owns from that the server list changed.
  static void NotifyServerListChanged(QWidget* from);

  // Replace the questions (tests); an empty function restores the dialog.
  static void SetNamePrompt(TNamePrompt prompt);
  static void SetCertificatePrompt(TCertificatePrompt prompt);
  // The connection test's time-out (20 seconds unless a test shortens it).
  static void SetTestTimeout(std::chrono::milliseconds timeout);

  const QList<TNewsServerEntry>& Entries() const { return fEntries; }
  int CurrentRow() const { return fRow; }
  bool IsModified() const { return fModified; }

  static QString InvalidNameMessage();
  static QString UnreadableFileMessage();

 public slots:
  void NewServer();
  bool SaveEntry();
  void CancelEdit();
  void DeleteServer();
  void MoveUp();
  void MoveDown();
  void TestConnection();
  void MakeDefault(int row);
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum TField { FIELD_NAME, FIELD_HOST, FIELD_PORT, FIELD_MAX, FIELD_COUNT, FIELD_HEADERS };

  void CreateControls();
  QLineEdit* AddLineEdit(const char* name);
  void FillList(int select);
  void MarkDefault();
  void SelectRow(int row);
  void LoadFields(int row);
  void ClearFields();
  void FieldChanged();
  void SecurityChanged(int index);
  void SetModified(bool modified);
  void UpdateButtons();
  void UpdateCertificateLabel();
  bool RefuseClosing();
  // The working copy refreshed from the fields (texts that were not edited keep their stored bytes).
  TNewsServerEntry EntryFromFields() const;
  bool Fail(const QString& message, TField field);
  // The list rewritten with entries; on success it becomes the list.
  bool Rewrite(const QList<TNewsServerEntry>& entries, TRewriteFailure* failure = nullptr);
  bool NameTaken(const QString& name, int exceptRow) const;
  static bool RemoveServerDirectory(const QString& serversDir, const QString& name);
  bool IsDefault(const TNewsServerEntry& entry) const;

  QList<TNewsServerEntry> fEntries;
  TNewsServerEntry fWorking;
  int fRow = -1;
  bool fModified = false;
  bool fLoading = false;
  bool fTesting = false;
  bool fUnreadable = false;

  QListWidget* fList = nullptr;
  QLineEdit* fName = nullptr;
  QLineEdit* fHost = nullptr;
  QLineEdit* fPort = nullptr;
  QComboBox* fSecurity = nullptr;
  QLineEdit* fUserName = nullptr;
  QLineEdit* fPassword = nullptr;
  QCheckBox* fDownloadLimit = nullptr;
  QLineEdit* fMaxConnections = nullptr;
  QLineEdit* fCountConnections = nullptr;
  QLineEdit* fHeaderConnections = nullptr;
  QLabel* fCertificate = nullptr;
  QPushButton* fNew = nullptr;
  QPushButton* fDelete = nullptr;
  QPushButton* fMoveUp = nullptr;
  QPushButton* fMoveDown = nullptr;
  QPushButton* fSave = nullptr;
  QPushButton* fCancel = nullptr;
  QPushButton* fTest = nullptr;
  QPushButton* fClose = nullptr;
  int fSecurityIndex = 0;
};
