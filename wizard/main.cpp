// TROX Wizard: guides the user through one transfer job and saves it as a transfer file.
#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>

#include "Artwork.h"
#include "Screenshots.h"
#include "TROXWizardDlg.h"
#include "WorkerThread.h"
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
  const int exitCode = app.exec();
  // A size count given up with its page may still be on its way out: it leaves before the
  // program's statics go, unless a server keeps it waiting.
  CWorkerBase::WaitForAll(std::chrono::seconds(5));
  return exitCode;
}
