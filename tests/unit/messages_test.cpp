#include "trox/Messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "trox/Internet.h"
#include "trox/TransferJob.h"

namespace {

std::vector<std::string> g_lines;

int CollectLines(const char* text, int endOfLine, TransferProgress*, uintptr_t) {
  EXPECT_EQ(endOfLine, 1);
  g_lines.push_back(text);
  return 0;
}

// Reports on a thread of its own, which has no server reply behind it.
std::vector<std::string> ReportOnFreshThread(CTransferJob& job, uint32_t error) {
  g_lines.clear();
  job.SetHostOutput(CollectLines, 0);
  std::thread([&] { job.ReportError(error); }).join();
  return g_lines;
}

}  // namespace

TEST(LoadMessage, FillsStringsAndNumbers) {
  EXPECT_EQ(LoadMessage(4, {uint32_t{123456}}), "123456 bytes to transfer.");
  // Counts above 4 GiB must not wrap.
  EXPECT_EQ(LoadMessage(4, {uint64_t{5000000000ULL}}), "5000000000 bytes to transfer.");
  EXPECT_EQ(LoadMessage(5, {"/home/u/a b.txt", "BINARY"}),
            "Sending /home/u/a b.txt in BINARY mode ...");
  EXPECT_EQ(LoadMessage(3, {"ftp.example"}), "Connecting to ftp.example ...");
  EXPECT_EQ(LoadMessage(7, {"/pub/a.txt", "ASCII"}),
            "Ooops ... getting /pub/a.txt again in ASCII mode ...");
  EXPECT_EQ(LoadMessage(13, {"/new"}), "INIT: Failed to create folder /new");
  EXPECT_EQ(LoadMessage(12, {"/new"}), "INIT: Failed to set /new as the current folder");
  // An argument that itself holds a percent sign is inserted as it is.
  EXPECT_EQ(LoadMessage(8, {"100%s.txt"}), "Failed to send 100%s.txt!");
}

TEST(LoadMessage, UnknownNumbersGiveEmptyText) {
  EXPECT_EQ(LoadMessage(0), "");
  EXPECT_EQ(LoadMessage(2), "");
  EXPECT_EQ(LoadMessage(14), "");
  EXPECT_EQ(LoadMessage(999), "");
  EXPECT_EQ(LoadMessage(1007), "");
  EXPECT_EQ(LoadMessage(2009), "");
  EXPECT_EQ(MessageTemplate(-1), "");
}

TEST(LoadMessage, MissingArgumentsFillNothing) {
  EXPECT_EQ(LoadMessage(5), "Sending  in  mode ...");
  EXPECT_EQ(LoadMessage(5, {"only"}), "Sending only in  mode ...");
  EXPECT_EQ(LoadMessage(4), " bytes to transfer.");
}

TEST(LoadMessage, PercentRules) {
  EXPECT_EQ(FormatMessageTemplate("100%%", {}), "100%");
  EXPECT_EQ(FormatMessageTemplate("%d items", {"unused"}), "d items");
  EXPECT_EQ(FormatMessageTemplate("%lx then %s", {"arg"}), "x then arg");
  EXPECT_EQ(FormatMessageTemplate("%lu/%lu", {uint32_t{1}, uint32_t{2}}), "1/2");
  EXPECT_EQ(FormatMessageTemplate("end %", {}), "end %");
  EXPECT_EQ(FormatMessageTemplate("end %l", {}), "end l");
  EXPECT_EQ(FormatMessageTemplate("%%s", {"arg"}), "%s");
  EXPECT_EQ(FormatMessageTemplate("%", {}), "%");
  EXPECT_EQ(FormatMessageTemplate("", {"arg"}), "");
}

TEST(LoadMessage, ProgramStringsAndExtensionList) {
  EXPECT_EQ(LoadMessage(1, {"Varnook FTP", "3.00", "notice"}), "Varnook FTP version 3.00 notice\n");
  EXPECT_EQ(MessageTemplate(1000), "1001");
  EXPECT_EQ(MessageTemplate(1001), "OK");
  EXPECT_EQ(MessageTemplate(1002), "Error 001 : Failed to initalise MFC.");
  EXPECT_EQ(MessageTemplate(1003), "Error 002 : Bad command line arguments.");
  EXPECT_EQ(MessageTemplate(1004), "Error 003 : Out of memory.");
  EXPECT_EQ(MessageTemplate(1005), "Error 004 : WinInet error ");
  EXPECT_EQ(MessageTemplate(1006), "Error 005 : Transfer errors occurred.");
  EXPECT_EQ(MessageTemplate(2000), "2001");
  std::vector<std::string> extensions;
  for (int n = 2001; n <= 2008; ++n) extensions.push_back(MessageTemplate(n));
  EXPECT_EQ(extensions, (std::vector<std::string>{".htm", ".html", ".txt", ".vrml", ".css", ".wrl",
                                                  ".ram", ".js"}));
}

TEST(InternetErrorText, BufferBelowSixtyIsRefused) {
  char buffer[64];
  memset(buffer, 'x', sizeof buffer);
  uint32_t length = 59;
  EXPECT_EQ(InternetErrorText(12002, buffer, &length), 0u);
  EXPECT_EQ(length, 60u);
  EXPECT_EQ(buffer[0], 'x');

  length = 60;
  EXPECT_EQ(InternetErrorText(12002, buffer, &length), 7u);
  EXPECT_EQ(length, 7u);
  EXPECT_STREQ(buffer, "Timeout");

  length = 0;
  EXPECT_EQ(InternetErrorText(12002, buffer, &length), 0u);
  EXPECT_EQ(length, 60u);
}

TEST(InternetErrorText, TableHasSixtyFiveNumbers) {
  int known = 0;
  for (uint32_t n = 0; n < 13000; ++n) {
    if (InternetErrorText(n) != "Unknown Error") ++known;
  }
  EXPECT_EQ(known, 65);
}

TEST(InternetErrorText, GapsAndEdgesAreUnknown) {
  for (uint32_t n : {0u, 2u, 11999u, 12000u, 12035u, 12051u, 12054u, 12109u, 12113u, 12156u, 12160u,
                     12161u, 12162u, 12168u, 12172u, 0xFFFFFFFFu}) {
    EXPECT_EQ(InternetErrorText(n), "Unknown Error") << n;
  }
}

TEST(InternetErrorText, TextsKeepTheirCapitals) {
  EXPECT_EQ(InternetErrorText(12014), "Incorrect password");
  EXPECT_EQ(InternetErrorText(12022), "Bad Registry parameter");
  EXPECT_EQ(InternetErrorText(12050), "Retry Dialog");
  EXPECT_EQ(InternetErrorText(12157), "Security Channel Error");
  EXPECT_EQ(InternetErrorText(12166), "Bad auto-proxy script");
  EXPECT_EQ(InternetErrorText(12170), "Certificate Revoked");
  EXPECT_EQ(InternetErrorText(12171), "Failed due to security check");

  // The longest text fits a buffer of the least accepted size.
  char buffer[60];
  uint32_t length = sizeof buffer;
  EXPECT_EQ(InternetErrorText(12171, buffer, &length), 28u);
  EXPECT_STREQ(buffer, "Failed due to security check");
}

TEST(ReportError, SystemErrorGivesTheSystemTextOnly) {
  CTransferJob job;
  job.m_progress.lastResponse = "550 earlier";
  std::vector<std::string> lines = ReportOnFreshThread(job, ENOENT);
  EXPECT_EQ(lines, (std::vector<std::string>{"No such file or directory"}));
  EXPECT_EQ(job.m_progress.lastError, static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(job.m_progress.lastResponse, "550 earlier");
}

TEST(ReportError, SystemErrorWithoutTextReportsNothing) {
  CTransferJob job;
  std::vector<std::string> lines = ReportOnFreshThread(job, 9999);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(job.m_progress.lastError, 9999u);
}

TEST(ReportError, InternetErrorWithoutServerReplyGivesOneLine) {
  CTransferJob job;
  job.m_progress.lastResponse = "kept";
  std::vector<std::string> lines = ReportOnFreshThread(job, 12035);
  EXPECT_EQ(lines, (std::vector<std::string>{"ERROR 12035 : Unknown Error"}));
  EXPECT_EQ(job.m_progress.lastError, 12035u);
  EXPECT_EQ(job.m_progress.lastResponse, "kept");

  lines = ReportOnFreshThread(job, 12002);
  EXPECT_EQ(lines, (std::vector<std::string>{"ERROR 12002 : Timeout"}));
}

TEST(ReportError, NothingIsShownWithoutOutputButTheErrorIsKept) {
  CTransferJob job;
  std::thread([&] { job.ReportError(12029); }).join();
  EXPECT_EQ(job.m_progress.lastError, 12029u);
}
