#include <gtest/gtest.h>

#include <cstdlib>

#include "LocalHttpServer.h"
#include "TransferJob.h"
#include "UpgradeCheck.h"
#include "ftp/Internet.h"

namespace {

const char kRequestLine[] = "GET /upgrade.asp?product=trox&version=3.00 HTTP/1.";

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
    SetUpgradeCheckVersion("3.00");
  }
  void Check(const std::string& server) {
    setenv("TROX_UPGRADE_SERVER", server.c_str(), 1);
    m_job.CheckUpgrade();
  }

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
  EXPECT_EQ(server.RequestLines()[0].rfind(kRequestLine, 0), 0u) << server.RequestLines()[0];
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
  EXPECT_EQ(server.RequestLines()[0].rfind("GET /upgrade.asp?product=trox&version=3.02 HTTP/1.", 0),
            0u);
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

TEST(UpgradeServer, EnvironmentOverridesTheBuiltInServer) {
  unsetenv("TROX_UPGRADE_SERVER");
  std::string builtIn = UpgradeServer();
  EXPECT_EQ(builtIn.rfind("http://", 0), 0u) << builtIn;
  EXPECT_NE(builtIn.back(), '/');
  setenv("TROX_UPGRADE_SERVER", "http://127.0.0.1:8080//", 1);
  EXPECT_EQ(UpgradeCheckAddress(), "http://127.0.0.1:8080/upgrade.asp?product=trox&version=3.00");
  unsetenv("TROX_UPGRADE_SERVER");
}

}  // namespace
