// TROX Wizard: guides the user through one transfer job and saves it as a transfer file.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "Artwork.h"
#include "Screenshots.h"
#include "TROXWizardDlg.h"
#include "trox/UpgradeCheck.h"

int main(int argc, char** argv) {
  SetUpgradeCheckVersion(TROX_WIZARD_VERSION);
  const char* screenshots = std::getenv("TROX_WIZARD_SCREENSHOTS");
  std::unique_ptr<QTemporaryDir> scratch;
  if (screenshots && screenshots[0]) {
    // The pictures come from sample settings; the user's own stay untouched.
    scratch = std::make_unique<QTemporaryDir>();
    setenv("XDG_CONFIG_HOME", qPrintable(scratch->filePath(QStringLiteral("config"))), 1);
    setenv("XDG_DATA_HOME", qPrintable(scratch->filePath(QStringLiteral("data"))), 1);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("TROX Wizard"));
  QApplication::setOrganizationName(QStringLiteral("Varnook"));
  QApplication::setWindowIcon(AppIcon());
  // The hidden main window ends the program itself, after whatever window closed last.
  QApplication::setQuitOnLastWindowClosed(false);

  if (screenshots && screenshots[0]) return RenderScreenshots(QString::fromLocal8Bit(screenshots));

  CTROXWizardDlg mainWindow(std::vector<std::string>(argv + 1, argv + argc));
  QObject::connect(
      &mainWindow, &CTROXWizardDlg::Ended, &app, [](int exitCode) { QApplication::exit(exitCode); },
      Qt::QueuedConnection);
  mainWindow.OnInitDialog();
  return app.exec();
}
