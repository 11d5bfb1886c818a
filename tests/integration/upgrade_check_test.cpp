#include <gtest/gtest.h>

#include <cstdlib>

#include "FtpServers.h"
#include "LocalHttpServer.h"
#include "TempDir.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"
#include "trox/UpgradeCheck.h"

namespace {

std::string RequestLine(const std::string& version) {
  return "GET /upgrade.asp?product=trox&version=" + version + " HTTP/1.";
}

int Collect(const char* text, int endOfLine, TransferProgress*, uintptr_t userData) {
  auto* lines = reinterpret_cast<std::vector<std::string>*>(userData);
  lines->push_back(std::string(text) + (endOfLine ? "\n" : ""));
  return 1;
}

class UpgradeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    m_job.SetHostOutput(&Collect, reinterpret_cast<uintptr_t>(&m_lines));
    m_job.m_session = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);
  }
  void TearDown() override {
    unsetenv("TROX_UPGRADE_SERVER");
    SetUpgradeCheckVersion(m_buildVersion);
  }
  void Check(const std::string& server) {
    setenv("TROX_UPGRADE_SERVER", server.c_str(), 1);
    m_job.CheckUpgrade();
  }

  const std::string m_buildVersion = UpgradeCheckVersion();
  CTransferJob m_job;
  std::vector<std::string> m_lines;
};

TEST_F(UpgradeCheck, AnswerWithAvailableIsPositive) {
  LocalHttpServer server("Version 3.10 available");
  Check(server.Address() + "/");  // a trailing slash is not doubled
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);
  ASSERT_EQ(m_lines.size(), 2u);
  EXPECT_EQ(m_lines[0], "UPGRADE AVAILABLE - Visit " + server.Address() + " to download!\n");
  EXPECT_EQ(m_lines[1], "\n");
  ASSERT_EQ(server.RequestLines().size(), 1u);
  EXPECT_EQ(server.RequestLines()[0].rfind(RequestLine(TROX_VERSION), 0), 0u)
      << server.RequestLines()[0];
}

TEST_F(UpgradeCheck, AnyOtherAnswerIsNegativeAndKeepsTheFlag) {
  LocalHttpServer server("none");
  Check(server.Address());
  EXPECT_EQ(m_job.m_upgradeAvailable, 0u);
  EXPECT_EQ(m_lines, (std::vector<std::string>{"No upgrade available.\n", "\n"}));

  // Only the word counts, case and all; a flag once set stays set.
  m_job.m_upgradeAvailable = 1;
  server.SetReply("AVAILABLE");
  m_lines.clear();
  m_job.CheckUpgrade();
  EXPECT_EQ(m_lines.at(0), "No upgrade available.\n");
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);

  m_job.m_upgradeAvailable = 0;
  server.SetReply("not available");
  m_lines.clear();
  m_job.CheckUpgrade();
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);
}

TEST_F(UpgradeCheck, OnlyTheFirst1024BytesUpToAZeroByteAreLookedAt) {
  LocalHttpServer server(std::string(1024, ' ') + "available");
  Check(server.Address());
  EXPECT_EQ(m_lines.at(0), "No upgrade available.\n");

  server.SetReply(std::string("x\0available", 11));
  m_lines.clear();
  m_job.CheckUpgrade();
  EXPECT_EQ(m_lines.at(0), "No upgrade available.\n");

  server.SetReply(std::string(1015, ' ') + "available");
  m_lines.clear();
  m_job.CheckUpgrade();
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);
}

TEST_F(UpgradeCheck, AnErrorPageIsReadLikeAnyAnswer) {
  LocalHttpServer server("<html>No page available here</html>", 404);
  Check(server.Address());
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);
}

TEST_F(UpgradeCheck, AsksWithTheRunningVersion) {
  LocalHttpServer server("none");
  SetUpgradeCheckVersion("3.02");
  Check(server.Address());
  ASSERT_EQ(server.RequestLines().size(), 1u);
  EXPECT_EQ(server.RequestLines()[0].rfind(RequestLine("3.02"), 0), 0u);
}

TEST_F(UpgradeCheck, UnreachableServerThrowsAndReportsNothing) {
  RefusingPort closed;
  try {
    Check(closed.Address());
    FAIL() << "no exception";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, ERROR_INTERNET_CANNOT_CONNECT);
  }
  EXPECT_TRUE(m_lines.empty());
  EXPECT_EQ(m_job.m_upgradeAvailable, 0u);
}

TEST_F(UpgradeCheck, WorksOutsideARunWithASessionOfItsOwn) {
  LocalHttpServer server("available");
  m_job.m_session.reset();
  Check(server.Address());
  EXPECT_EQ(m_job.m_upgradeAvailable, 1u);
  EXPECT_FALSE(m_job.m_session);
}

TEST_F(UpgradeCheck, WithoutAServerToAskItSaysSoAndAsksNothing) {
  Check("");
  EXPECT_EQ(m_lines, std::vector<std::string>{"No upgrade server is configured.\n"});
  EXPECT_EQ(m_job.m_upgradeAvailable, 0u);
}

// Run's step: with an FTP server the check never stops the transfer; a check alone that cannot
// be made is the run's failure.
TEST_F(UpgradeCheck, FailedCheckStopsOnlyACheckAlone) {
  FtpTestServer& ftp = SharedFtpServer(ServerKind::Pyftpdlib);
  RefusingPort closed;
  struct Case {
    std::string upgradeServer;
    bool withFtp;
    std::string firstLine;  // empty: the run throws
    uint32_t error;
  };
  const Case cases[] = {
      {closed.Address(), true, "Upgrade check failed: Cannot connect (", 0},
      {"", true, "No upgrade server is configured.", 0},
      {closed.Address(), false, "", ERROR_INTERNET_CANNOT_CONNECT},
      {"", false, "No upgrade server is configured.", ERROR_INTERNET_INVALID_URL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.upgradeServer + (c.withFtp ? " with FTP" : " alone"));
    setenv("TROX_UPGRADE_SERVER", c.upgradeServer.c_str(), 1);
    CTransferJob job;
    std::vector<std::string> lines;
    job.SetHostOutput(&Collect, reinterpret_cast<uintptr_t>(&lines));
    job.SetUpgrade();
    if (c.withFtp) {
      job.SetServer(ftp.Host());
      job.SetPort(ftp.Port());
      job.SetUser(ftp.User());
      job.SetPassword(ftp.Password());
      job.SetLocalPath(MakeTempDir());
    }
    uint32_t error = 0;
    int result = -1;
    try {
      result = job.Run();
    } catch (const CInternetException& e) {
      error = e.m_dwError;
    }
    EXPECT_EQ(error, c.error);
    if (c.withFtp) {
      EXPECT_EQ(result, 0);
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[1], "Connecting to 127.0.0.1 ...\n");
    }
    if (c.firstLine.empty()) {
      EXPECT_TRUE(lines.empty());
    } else {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0].rfind(c.firstLine, 0), 0u) << lines[0];
      EXPECT_EQ(lines[0].find('\n'), lines[0].size() - 1) << "one line";
    }
  }
}

TEST(UpgradeServer, TheEnvironmentDecidesWhereTheQueryGoes) {
  setenv("TROX_UPGRADE_SERVER", "http://127.0.0.1:8080//", 1);
  EXPECT_EQ(UpgradeCheckAddress(),
            "http://127.0.0.1:8080/upgrade.asp?product=trox&version=" TROX_VERSION);
  // Set but empty: no server, whatever the build was configured with.
  setenv("TROX_UPGRADE_SERVER", "", 1);
  EXPECT_EQ(UpgradeServer(), "");
  unsetenv("TROX_UPGRADE_SERVER");
}

}  // namespace
