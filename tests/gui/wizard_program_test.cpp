// The built trox-wizard: every screen rendered without a display, and the user's settings left
// alone while doing so; a transfer file that starts by itself runs and the program exits.
#include <gtest/gtest.h>

#include <filesystem>

#include "FtpServers.h"
#include "LocalHttpServer.h"
#include "Processes.h"
#include "TempDir.h"
#include "WizardTestSupport.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace fs = std::filesystem;

TEST(WizardProgram, RendersEveryScreenAndExits) {
  std::string shots = MakeTempDir() + "/shots";
  std::string config = MakeTempDir();
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  fs::create_directories(server.Root() + "/pub/incoming");
  WriteFileBytes(server.Root() + "/pub/readme.txt", "read me\n");
  std::string address = "ftp://" + server.User() + ":" + server.Password() + "@" + server.Host() +
                        ":" + std::to_string(server.Port());
  ProcessResult run = RunProgram(std::string(TROX_BIN_DIR) + "/trox-wizard", {}, "",
                                 {{"TROX_WIZARD_SCREENSHOTS", shots},
                                  {"TROX_WIZARD_SCREENSHOTS_SERVER", address},
                                  {"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", config}},
                                 60);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  for (const char* name :
       {"01-welcome", "02-load", "03-server", "10-server-advanced", "11-password-prompt",
        "12-settings", "20-crypto-warning", "30-progress", "31-progress-log", "40-browse-folder",
        "41-remote-open", "13-about", "14-about-versions", "50-transfer", "51-final-incomplete",
        "52-final-completed", "53-final-failed", "54-final-cancelled"}) {
    std::string png = ReadFileBytes(shots + "/" + name + ".png");
    EXPECT_EQ(png.substr(0, 4), "\x89PNG") << name;
  }
  EXPECT_TRUE(fs::is_empty(config));
}

TEST(WizardProgram, AutoTransferFileSendsItsFolderAndExits) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string local = MakeTempDir() + "/site";
  fs::create_directories(local + "/images");
  WriteFileBytes(local + "/index.html", "<html></html>\n");
  WriteFileBytes(local + "/images/logo.png", PatternBytes(200000, 3));
  std::string log = MakeTempDir() + "/site.log";

  CTransferJob job = JobFor(server, local, "/published");
  job.SetLogFile(log);
  job.SetAutoTransfer();
  std::string trx = MakeTempDir() + "/publish site.trx";
  ASSERT_EQ(WriteTransferFile(trx, job), 0);

  // As a double click starts it: the file's path as the one argument.
  ProcessResult run = RunProgram(std::string(TROX_BIN_DIR) + "/trox-wizard", {trx}, "",
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", MakeTempDir()},
                                  {"XDG_DATA_HOME", MakeTempDir()}},
                                 60);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFileBytes(server.Root() + "/published/index.html"), "<html></html>\n");
  EXPECT_EQ(ReadFileBytes(server.Root() + "/published/images/logo.png"), PatternBytes(200000, 3));
  std::string written = ReadFileBytes(log);
  EXPECT_NE(written.find(" ***** Varnook FTP Transfer Ends *****"), std::string::npos) << written;
}

TEST(WizardProgram, AsksTheUpgradeCheckWithItsOwnVersion) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  LocalHttpServer web("none");
  CTransferJob job = JobFor(server, MakeTempDir());
  job.SetUpgrade();
  job.SetAutoTransfer();
  std::string trx = MakeTempDir() + "/check.trx";
  ASSERT_EQ(WriteTransferFile(trx, job), 0);

  ProcessResult run = RunProgram(std::string(TROX_BIN_DIR) + "/trox-wizard", {trx}, "",
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"TROX_UPGRADE_SERVER", web.Address()},
                                  {"XDG_CONFIG_HOME", MakeTempDir()},
                                  {"XDG_DATA_HOME", MakeTempDir()}},
                                 60);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  ASSERT_EQ(web.RequestLines().size(), 1u);
  EXPECT_EQ(web.RequestLines()[0].rfind(
                "GET /upgrade.asp?product=trox&version=" TROX_WIZARD_VERSION " HTTP/1.", 0),
            0u)
      << web.RequestLines()[0];
}

TEST(WizardProgram, TransferNowOptionReceivesAndExits) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  fs::create_directories(server.Root() + "/outbox/deep");
  WriteFileBytes(server.Root() + "/outbox/deep/report.bin", PatternBytes(120000, 9));
  std::string local = MakeTempDir();

  CTransferJob job = JobFor(server, local, "/outbox");
  job.SetGet();
  job.SetAutoTransfer();
  std::string trx = MakeTempDir() + "/fetch.trx";
  ASSERT_EQ(WriteTransferFile(trx, job), 0);

  // As the desktop's "Transfer Now" action starts it.
  ProcessResult run = RunProgram(std::string(TROX_BIN_DIR) + "/trox-wizard", {trx, "/t"}, "",
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", MakeTempDir()},
                                  {"XDG_DATA_HOME", MakeTempDir()}},
                                 60);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFileBytes(local + "/deep/report.bin"), PatternBytes(120000, 9));
}
