#include "periphery/ui/FirstRunDialog.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmFirstRun::TfrmFirstRun(QWidget* parent) : QDialog(parent), fDirectory(new QLineEdit(this)) {
  setObjectName(QStringLiteral("frmFirstRun"));
  setWindowTitle(QStringLiteral("Korvel Newsreader Setup"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Welcome to Korvel Newsreader.\n\nChoose the folder where Korvel keeps your settings, "
                     "server definitions, headers and download lists. A new, empty folder is best."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* row = new QHBoxLayout;
  fDirectory->setObjectName(QStringLiteral("edtUserDataDirectory"));
  fDirectory->setText(GetMyDocumentsDirectory() + QLatin1String(kDefaultUserDataName));
  fDirectory->setMinimumWidth(420);
  row->addWidget(fDirectory, 1);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  browse->setObjectName(QStringLiteral("btnBrowse"));
  connect(browse, &QPushButton::clicked, this, &TfrmFirstRun::Browse);
  row->addWidget(browse);
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmFirstRun::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmFirstRun::reject);
  layout->addWidget(buttons);
}

QString TfrmFirstRun::Directory() const { return fDirectory->text().trimmed(); }
void TfrmFirstRun::SetDirectory(const QString& dir) { fDirectory->setText(dir); }

void TfrmFirstRun::Browse() {
  const QString dir =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Select directory for user data subdirectory"), Directory());
  if (!dir.isEmpty()) fDirectory->setText(dir);
}

bool TfrmFirstRun::Apply() {
  LOG_METHOD("TfrmFirstRun.Apply");
  const QString dir = WithoutTrailingSlash(QDir::cleanPath(QFileInfo(Directory()).absoluteFilePath()));
  if (Directory().isEmpty() || !QDir().mkpath(dir) || !IsDirectoryWritable(dir)) {
    TUserPrompt::Error(QStringLiteral("The selected location cannot be used to store data."));
    return false;
  }
  const QString settingsFile = FindFileNoCase(WithTrailingSlash(dir), QLatin1String(kSettingsFileName));
  if (IsValidUserDataDirectory(settingsFile)) {
    if (!TUserPrompt::Confirm(
            QStringLiteral("Setup has found a valid user data directory in the location you selected. Would you like "
                           "to bypass the rest of setup and use that directory?")))
      return false;
    return StoreUserDataDirectory(dir);
  }
  if (!IsDirectoryEmpty(dir)) {
    // Other people's files are never deleted here; an empty or new folder is asked for instead.
    TUserPrompt::Warning(QStringLiteral("The selected directory is not empty. Please choose an empty or a new directory."));
    return false;
  }
  Settings() = TSettings();
  ReadConfigs(QString(), true);
  if (!WriteConfigs(dir)) return false;
  return StoreUserDataDirectory(dir);
}

void TfrmFirstRun::accept() {
  if (Apply()) QDialog::accept();
}

bool TfrmFirstRun::Run(QWidget* parent) {
  TfrmFirstRun dialog(parent);
  return dialog.exec() == QDialog::Accepted;
}
