// Makes the README's picture of the main window, offscreen, from a fresh
// user data directory, and writes the program icon for the desktop entry.
// Usage: korvel_screenshot <window.png> [<icon.png>]   (see scripts/screenshot.sh)

#include "app/Settings.h"
#include "shell/AppIcon.h"
#include "shell/Startup.h"
#include "shell/TabForm.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void Write(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(data);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc < 2) {
    std::fprintf(stderr, "usage: korvel_screenshot <window.png> [<icon.png>]\n");
    return 2;
  }
  const QString picture = QFileInfo(QFile::decodeName(argv[1])).absoluteFilePath();
  const QString icon = argc > 2 ? QFileInfo(QFile::decodeName(argv[2])).absoluteFilePath() : QString();
  TTestEnvironment environment;
  // The program would take the picture names for documents to open.
  int programArgc = 1;
  QApplication app(programArgc, argv);

  const QString home = TTestEnvironment::Home();
  const QString data = home + u"/KorvelData/"_s;
  Write(home + u"/Documents/Korvel.ini"_s, "[Setup]\nUserDataPath=" + QFile::encodeName(data) + "\n");
  Write(data + QLatin1String(kSettingsFileName),
        "[Application]\nName=Korvel\n[Confirmation]\nAskTerminate=0\n[HelpMessages]\nGlobal.Enabled=0\n");

  bool saved = false;
  TStartup::TOptions options;
  options.singleInstance = false;
  options.onReady = [&](TfrmTabForm& window) {
    window.showNormal();
    window.resize(960, 600);
    QTimer::singleShot(300, &window, [&] {
      QDir().mkpath(QFileInfo(picture).path());
      saved = window.grab().save(picture);
      if (!icon.isEmpty()) saved = AppIcon().pixmap(128, 128).save(icon) && saved;
      window.close();
    });
  };
  const int rc = TStartup::Run(app, options);
  if (!saved) {
    std::fprintf(stderr, "korvel_screenshot: could not write the pictures\n");
    return 1;
  }
  std::printf("Wrote %s\n", qPrintable(picture));
  return rc;
}
