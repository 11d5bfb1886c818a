// Test main of the wizard's tests: settings and data folders in temporary places before anything
// reads them (QSettings remembers its folder at first use), and one QApplication for the widgets.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <QApplication>
#include <QWidget>

#include "TempDir.h"

int main(int argc, char** argv) {
  setenv("XDG_CONFIG_HOME", (MakeTempDir() + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (MakeTempDir() + "/data").c_str(), 1);
  setenv("XDG_DATA_DIRS", (MakeTempDir() + "/system-data").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  // Every dialog a test opened must be closed again.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible()) {
      fprintf(stderr, "Window left open: %s \"%s\"\n", window->metaObject()->className(),
              qPrintable(window->windowTitle()));
      result = 1;
    }
  }
  return result;
}
