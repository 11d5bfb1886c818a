// trox against real servers where a folder on either side is missing or cannot be read: the run
// names it, ends with error 5, and moves nothing to or from a place the user did not name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"

namespace {

const std::string kFailed = "Error 005 : Transfer errors occurred.\n\n";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class TroxFolders : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(GetParam());
    server->ClearRoot();
    WriteFileBytes(server->Root() + "/blocker", "a file where a folder should be");
    WriteFileBytes(server->Root() + "/top.txt", "top\n");
    server->ChownRoot();
    server->MarkLog();
    local = MakeTempDir();
    for (const char* folder : {"/bad", "/good"}) ::mkdir((local + folder).c_str(), 0755);
    WriteFileBytes(local + "/bad/hidden.txt", "hidden\n");
    WriteFileBytes(local + "/good/g.txt", "g\n");
    WriteFileBytes(local + "/f.txt", "f\n");
  }

  // trox as a user bound by permission bits: root drops the capabilities that pass over them.
  ProcessResult Run(std::vector<std::string> args) const {
    std::vector<std::string> account = {"-s", server->Host(), "-t", std::to_string(server->Port()),
                                        "-u", server->User(), "-p", server->Password()};
    args.insert(args.begin(), account.begin(), account.end());
    if (::geteuid() != 0) return RunTrox(args);
    args.insert(args.begin(), {"--bounding-set=-dac_override,-dac_read_search", TroxPath()});
    return RunProgram("/usr/bin/setpriv", args);
  }

  FtpTestServer* server = nullptr;
  std::string local;
};

TEST_P(TroxFolders, FolderThatCannotBeUsedEndsWithError5) {
  if (::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
  ASSERT_EQ(::chmod((local + "/bad").c_str(), 0), 0);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;    // shown in this order
    std::vector<std::string> arrived;  // paths below the server's root
  };
  const Case cases[] = {
      {{"-l", local, "-r", "/in", "-i"},
       {"Permission denied", "Failed to send " + local + "/bad!\n"},
       {"/in/f.txt", "/in/good/g.txt"}},
      {{"-l", local + "/missing", "-r", "/in"},
       {"No such file or directory", "Failed to send " + local + "/missing!\n"},
       {}},
      {{"-l", local, "-r", "/blocker/in"}, {"INIT: Failed to create folder /blocker/in\n"}, {}},
      {{"-g", "-l", local, "-r", "/missing"},
       {"INIT: Failed to set /missing as the current folder\n"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[3]);
    ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 5) << r.output;
    EXPECT_TRUE(EndsWith(r.output, kFailed)) << r.output;
    size_t at = 0;
    for (const std::string& line : c.lines) {
      at = r.output.find(line, at);
      EXPECT_NE(at, std::string::npos) << line << r.output;
    }
    for (const std::string& path : c.arrived) {
      EXPECT_EQ(ReadFileBytes(server->Root() + path), ReadFileBytes(local + path.substr(3)));
    }
    EXPECT_FALSE(PathExists(server->Root() + "/missing"));
    EXPECT_FALSE(PathExists(server->Root() + "/f.txt"));
    EXPECT_FALSE(PathExists(local + "/top.txt"));
  }
  ::chmod((local + "/bad").c_str(), 0755);
}

TEST_P(TroxFolders, MissingParentsOfTheRemoteFolderAreMade) {
  ProcessResult r = Run({"-l", local + "/good", "-r", "/a/b/c"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ReadFileBytes(server->Root() + "/a/b/c/g.txt"), "g\n");
}

INSTANTIATE_TEST_SUITE_P(Servers, TroxFolders,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

}  // namespace
