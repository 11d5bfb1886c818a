// trox's live status line: drawn on a terminal and erased before every regular line, so that
// what the terminal finally shows is exactly what a redirected run writes; never drawn when
// standard output is redirected, and never in the log.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"

namespace {

constexpr int kColumns = 50;

// What a terminal shows after the output: "\r" goes back to the line's start, "\x1b[K" clears
// from there to its end, other bytes overwrite.
std::string Screen(const std::string& output) {
  std::string screen, line;
  size_t column = 0;
  for (size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\n') {
      screen += line + "\n";
      line.clear();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else if (output.compare(i, 3, "\x1b[K") == 0) {
      line.resize(column);
      i += 2;
    } else {
      if (column < line.size())
        line[column] = c;
      else
        line += c;
      ++column;
    }
  }
  return screen + line;
}

struct ProgressCase {
  const char* name;
  bool get;
  bool quiet;  // nothing on standard output: no line either
};

class TroxProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(TroxProgress, ShownOnATerminalOnlyAndLeavesTheLinesAsRedirected) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  server.ClearRoot();
  const std::string dir = MakeTempDir();
  const std::string local = dir + "/local";
  const std::string files = GetParam().get ? server.Root() + "/out" : local;
  for (int i = 0; i < 3; ++i)
    WriteFileBytes(files + "/sub/file" + std::to_string(i) + ".bin",
                   PatternBytes(300000 + i, static_cast<unsigned>(i)));
  server.ChownRoot();
  std::vector<std::string> args{"-s", server.Host(), "-t", std::to_string(server.Port()),
                                "-u", server.User(), "-p", server.Password(),
                                "-l", local,         "-r", GetParam().get ? "/out" : "/in"};
  if (GetParam().get) args.push_back("-g");
  if (GetParam().quiet) args.push_back("--quiet");

  const auto withLog = [&](const std::string& log) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"-o", log});
    return all;
  };
  ProcessResult onTerminal = RunProgramOnTerminal(TroxPath(), withLog(dir + "/t.log"), kColumns);
  ProcessResult redirected = RunTrox(withLog(dir + "/r.log"));
  ASSERT_EQ(onTerminal.exitCode, 0) << onTerminal.output;
  ASSERT_EQ(redirected.exitCode, 0) << redirected.output;

  // A line with the share of the total, cut to the terminal's width (its last column unused).
  const std::regex line("\r([^\r\n\x1b]*)\x1b\\[K");
  size_t withShare = 0;
  for (std::sregex_iterator it(onTerminal.output.begin(), onTerminal.output.end(), line), end;
       it != end; ++it) {
    const std::string text = (*it)[1];
    EXPECT_LT(text.size(), static_cast<size_t>(kColumns)) << text;
    if (std::regex_search(text, std::regex("file[0-2]\\.bin .* [0-9]+%"))) ++withShare;
  }
  EXPECT_EQ(withShare > 0, !GetParam().quiet) << onTerminal.output;

  EXPECT_EQ(Screen(onTerminal.output), redirected.output);
  for (const std::string& text :
       {redirected.output, ReadFileBytes(dir + "/t.log"), ReadFileBytes(dir + "/r.log")}) {
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_EQ(std::regex_search(text, std::regex("\r[^\n]")), false) << text;
  }
  EXPECT_EQ(ReadFileBytes(dir + "/t.log").size(), ReadFileBytes(dir + "/r.log").size());
}

INSTANTIATE_TEST_SUITE_P(Directions, TroxProgress,
                         ::testing::Values(ProgressCase{"Send", false, false},
                                           ProgressCase{"Get", true, false},
                                           ProgressCase{"QuietSend", false, true}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
