#include "shell/DownloadDirectoryDialog.h"

#include "app/AppPaths.h"
#include "app/Settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfrmDownloadDirectory::TfrmDownloadDirectory(QWidget* parent)
    : QDialog(parent), fDirectory(new QLineEdit(this)), fCreateSubdir(new QCheckBox(this)) {
  setObjectName(u"frmDownloadDirectory"_s);
  setWindowTitle(u"Default download directory"_s);
  const TSettings& s = Settings();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(u"Default download directory:"_s, this));
  auto* row = new QHBoxLayout;
  fDirectory->setObjectName(u"edtDownloadDirectory"_s);
  fDirectory->setText(s.DefaultDownloadDirectory);
  fDirectory->setMinimumWidth(380);
  row->addWidget(fDirectory, 1);
  auto* browse = new QPushButton(u"Browse..."_s, this);
  browse->setObjectName(u"btnBrowse"_s);
  connect(browse, &QPushButton::clicked, this, &TfrmDownloadDirectory::Browse);
  row->addWidget(browse);
  layout->addLayout(row);
  fCreateSubdir->setObjectName(u"chkCreateSubdir"_s);
  fCreateSubdir->setText(u"Create subdirectory in default download directory with NZB filename"_s);
  fCreateSubdir->setChecked(s.gCreateSubdirWhenImportingNZB);
  layout->addWidget(fCreateSubdir);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(u"btnOk"_s);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(u"btnCancel"_s);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmDownloadDirectory::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmDownloadDirectory::reject);
  layout->addWidget(buttons);
}

void TfrmDownloadDirectory::Browse() {
  const QString dir = QFileDialog::getExistingDirectory(this, u"Default download directory"_s, fDirectory->text());
  if (!dir.isEmpty()) fDirectory->setText(dir);
}

void TfrmDownloadDirectory::accept() {
  TSettings& s = Settings();
  s.DefaultDownloadDirectory = fDirectory->text().trimmed();
  s.gCreateSubdirWhenImportingNZB = fCreateSubdir->isChecked();
  WriteConfigs(Paths().userDataDir);
  QDialog::accept();
}
