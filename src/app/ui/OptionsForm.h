#pragma once

#include "app/Settings.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTabWidget;

// The options dialog, "Global Settings". Every change enables "Apply";
// "Apply" copies the controls into the settings record and writes the
// settings file, "OK" does the same when something changed and closes,
// "Cancel" and Escape close without copying anything.
class TfrmOptions : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmOptions(QWidget* parent = nullptr);

  // True once "Apply" (or "OK" with changes) has written the settings.
  bool WasApplied() const { return fApplied; }
  bool IsModified() const;

  // The duration a slider position stands for, and its label.
  static int DurationOfStep(int step) { return step * 500; }
  static int StepOfDuration(int duration);
  static QString DurationLabel(int step);

 public slots:
  void accept() override;
  bool Apply();

 private:
  struct TBoolOption {
    const char16_t* caption;
    const char* key;
    bool TSettings::*field;
    bool negated;
  };
  static const TBoolOption kBoolOptions[];

  QWidget* CreateGeneralPage();
  QWidget* CreateNewsgroupsPage();
  QWidget* CreateDownloadsPage();
  QWidget* CreatePostingPage();
  QWidget* CreateConfirmationsPage();
  QWidget* CreateNotificationsPage();
  QWidget* CreateErrorLogPage();
  QCheckBox* AddBoolOption(QWidget* page, const char* key);
  void LoadControls();
  void LoadAnonymousList();
  bool SaveAnonymousList();
  void SelectNotification(int row);
  void Changed();

  QTabWidget* fPages;
  QPushButton* fApply;
  QCheckBox* fSpaceSeparator = nullptr;
  QCheckBox* fNewOrganizer = nullptr;
  QComboBox* fDecodePriority = nullptr;
  QPlainTextEdit* fAnonymousList = nullptr;
  QButtonGroup* fLogLevel = nullptr;
  QListWidget* fNotificationList = nullptr;
  QLabel* fNotificationDescription = nullptr;
  QCheckBox* fNotificationEnabled = nullptr;
  QSlider* fNotificationDuration = nullptr;
  QLabel* fNotificationDurationLabel = nullptr;
  std::array<QCheckBox*, 32> fBoolBoxes{};
  std::array<TNotificationInfo, NOTIFICATION_COUNT> fNotifications;
  bool fLoading = false;
  bool fApplied = false;
};
