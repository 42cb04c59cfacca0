#include "shell/TabForm.h"

#include "app/AppPaths.h"
#include "app/ApplicationCore.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"
#include "headers/ui/HeadersManagerForm.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>

TfrmTabForm::TfrmTabForm(QWidget* parent) : QMainWindow(parent), fTabs(new QTabWidget(this)) {
  setObjectName(QStringLiteral("frmTabForm"));
  fTabs->setObjectName(QStringLiteral("PageControl"));
  fTabs->setDocumentMode(true);
  setCentralWidget(fTabs);
  CreateMenus();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    resize(area.width() * 2 / 3, area.width() / 2);
  }
}

TfrmTabForm::~TfrmTabForm() {
  // The window's end writes the settings, so a crash later loses nothing.
  TApplicationCore::Instance().WriteSettingsOnExit();
}

void TfrmTabForm::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  QAction* quit = file->addAction(QStringLiteral("Quit..."), this, &QWidget::close);
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setObjectName(QStringLiteral("actQuit"));
  QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
  QAction* change =
      settings->addAction(QStringLiteral("Change user data directory..."), this, &TfrmTabForm::ChangeUserDataDirectory);
  change->setObjectName(QStringLiteral("actChangeUserDataDirectory"));
}

bool TfrmTabForm::SetupForm() {
  setAcceptDrops(true);
  return true;
}

int TfrmTabForm::AddTab(TTabPage* page) { return fTabs->addTab(page, page->Caption()); }

bool TfrmTabForm::CreateNewsgroupsBrowserTab() {
  LOG_METHOD("CreateNewsgroupsBrowserTab");
  fNewsgroupsBrowser = new TfrmNewsgroupsBrowser;
  return AddTab(fNewsgroupsBrowser) >= 0;
}

bool TfrmTabForm::CreateHeadersManagerTab() {
  LOG_METHOD("CreateHeadersManagerTab");
  fHeadersManager = new TfrmHeadersManager;
  return AddTab(fHeadersManager) >= 0;
}

void TfrmTabForm::SetCurrentTab(int index) { fTabs->setCurrentIndex(index); }

void TfrmTabForm::keyPressEvent(QKeyEvent* event) {
  // Shift+Escape ends the program at once, without any question.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::ShiftModifier) {
    QApplication::quit();
    return;
  }
  QMainWindow::keyPressEvent(event);
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
