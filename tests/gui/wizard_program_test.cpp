// The built trox-wizard: every screen rendered without a display, and the user's settings left
// alone while doing so.
#include <gtest/gtest.h>

#include <filesystem>

#include "FtpServers.h"

namespace fs = std::filesystem;

TEST(WizardProgram, RendersEveryScreenAndExits) {
  std::string shots = MakeTempDir() + "/shots";
  std::string config = MakeTempDir();
  ProcessResult run = RunProgram(std::string(TROX_BIN_DIR) + "/trox-wizard", {}, "",
                                 {{"TROX_WIZARD_SCREENSHOTS", shots},
                                  {"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", config}},
                                 60);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  for (const char* name : {"01-welcome", "02-load", "03-server", "10-server-advanced",
                           "11-password-prompt", "12-settings", "20-crypto-warning"}) {
    std::string png = ReadFileBytes(shots + "/" + name + ".png");
    EXPECT_EQ(png.substr(0, 4), "\x89PNG") << name;
  }
  EXPECT_TRUE(fs::is_empty(config));
}
