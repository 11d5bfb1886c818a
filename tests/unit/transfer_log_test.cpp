#include "trox/TransferLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "TempDir.h"

namespace {

std::string Stamp(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// A zone far from UTC, so a stamp in UTC cannot pass for local time.
class TransferLog : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    m_savedTz = tz ? tz : "";
    m_hadTz = tz != nullptr;
    setenv("TZ", "TROX-13", 1);
    tzset();
    m_dir = MakeTempDir();
  }
  void TearDown() override {
    if (m_hadTz) {
      setenv("TZ", m_savedTz.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::string m_dir;
  std::string m_savedTz;
  bool m_hadTz = false;
};

TEST_F(TransferLog, LineIsLocalTimeTextAndCrLf) {
  std::string log = m_dir + "/run.log";
  std::time_t before = std::time(nullptr);
  WriteLogLine("Connecting to host ...", 1, log);
  std::time_t after = std::time(nullptr);

  std::string written = ReadFileBytes(log);
  std::smatch m;
  ASSERT_TRUE(
      std::regex_match(written, m, std::regex(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d): (.*)\r\n)")))
      << written;
  EXPECT_GE(m[1].str(), Stamp(before));
  EXPECT_LE(m[1].str(), Stamp(after));
  EXPECT_EQ(m[2].str(), "Connecting to host ...");
}

TEST_F(TransferLog, AppendsAndAClearFlagContinuesTheLine) {
  std::string log = m_dir + "/run.log";
  WriteFileBytes(log, "earlier run\r\n");
  WriteLogLine("Sending a.txt in ASCII mode ...", 0, log);
  WriteLogLine("done", 1, log);
  WriteLogLine("", 1, log);
  std::regex expected(R"(earlier run\r\n)"
                      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: Sending a\.txt in ASCII mode \.\.\.)"
                      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: done\r\n)"
                      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: \r\n)");
  std::string written = ReadFileBytes(log);
  EXPECT_TRUE(std::regex_match(written, expected)) << written;
}

TEST_F(TransferLog, TextIsWrittenUnchangedWithDiskLineEnds) {
  std::string log = m_dir + "/run.log";
  WriteLogLine("100% of %s %d %n done", 1, log);
  WriteLogLine("230-Welcome\n230 Logged in\r\n", 0, log);
  std::string written = ReadFileBytes(log);
  EXPECT_NE(written.find(": 100% of %s %d %n done\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find(": 230-Welcome\r\n230 Logged in\r\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("\r\r"), std::string::npos);
}

TEST_F(TransferLog, ALogThatCannotBeOpenedIsSkipped) {
  WriteLogLine("lost", 1, m_dir + "/missing/run.log");
  EXPECT_FALSE(PathExists(m_dir + "/missing"));
  WriteLogLine("lost", 1, m_dir);  // a folder
  WriteLogLine("lost", 1, "");     // no log
  WriteLogLine(nullptr, 1, m_dir + "/null.log");
  EXPECT_TRUE(std::regex_match(ReadFileBytes(m_dir + "/null.log"),
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: \r\n)")));
}

}  // namespace
