// Shared pieces of the walk tests: a job wired to a test server, its reported lines, and the
// commands the server logged, in order.
#pragma once

#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>
#include <tuple>
#include <vector>

#include "FtpServers.h"
#include "TempDir.h"
#include "trox/TransferJob.h"

namespace walktest {

inline std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

inline int CollectLine(const char* text, int, TransferProgress*, uintptr_t) {
  Lines().push_back(text);
  return 0;
}

inline int& ProgressCalls() {
  static int calls = 0;
  return calls;
}

inline int CountProgress(TransferProgress*, uintptr_t) {
  ++ProgressCalls();
  return 0;
}

inline size_t CountLinesStartingWith(const std::string& prefix) {
  size_t n = 0;
  for (const std::string& line : Lines()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

inline bool HasLine(const std::string& text) {
  for (const std::string& line : Lines()) {
    if (line == text) return true;
  }
  return false;
}

// The commands in a server log: pyftpdlib logs "... <- CMD arg", vsftpd
// '... FTP command: Client "127.0.0.1", "CMD arg"'.
inline std::vector<std::string> LoggedCommands(const std::string& log) {
  std::vector<std::string> commands;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t arrow = line.find("<- ");
    const size_t vs = line.find("FTP command: Client ");
    if (arrow != std::string::npos) {
      commands.push_back(line.substr(arrow + 3));
    } else if (vs != std::string::npos) {
      const size_t open = line.find("\", \"", vs);
      if (open != std::string::npos && line.size() >= open + 5 && line.back() == '"') {
        commands.push_back(line.substr(open + 4, line.size() - open - 5));
      }
    }
  }
  return commands;
}

inline std::vector<std::string> CommandsStartingWith(const std::vector<std::string>& commands,
                                                     const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& c : commands) {
    if (c.size() >= prefix.size() && strncasecmp(c.c_str(), prefix.c_str(), prefix.size()) == 0)
      out.push_back(c);
  }
  return out;
}

inline void MakeFolder(const std::string& path) {
  ::mkdir(path.c_str(), 0777);
}

inline bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Parameters: the server and the progress mode (0 whole-file calls, 1 blocks).
using WalkParam = std::tuple<ServerKind, uint32_t>;

// The job logs in to server's account, passive.
inline void LogInTo(CTransferJob& job, const FtpTestServer& server) {
  job.SetServer(server.Host());
  job.SetPort(server.Port());
  job.SetUser(server.User());
  job.SetPassword(server.Password());
  job.SetPassive();
}

inline std::string WalkParamName(const ::testing::TestParamInfo<WalkParam>& info) {
  return std::string(ServerKindName(std::get<0>(info.param))) + "_mode" +
         std::to_string(std::get<1>(info.param));
}

class WalkTest : public ::testing::TestWithParam<WalkParam> {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(std::get<0>(GetParam()));
    server->ClearRoot();
    server->MarkLog();
    Lines().clear();
    ProgressCalls() = 0;
    local = MakeTempDir();
    ConfigureJob(job);
  }

  void ConfigureJob(CTransferJob& j) {
    LogInTo(j, *server);
    j.SetHostOutput(CollectLine, 0);
    j.SetProgressCallback(CountProgress, 0);
    j.SetProgressMode(std::get<1>(GetParam()));
    j.SetLocalPath(local);
  }

  bool BlockMode() const { return std::get<1>(GetParam()) == 1; }
  bool IsVsftpd() const { return std::get<0>(GetParam()) == ServerKind::Vsftpd; }
  std::string Root(const std::string& path) const { return server->Root() + path; }
  std::vector<std::string> Commands() const { return LoggedCommands(server->CommandLog()); }

  FtpTestServer* server = nullptr;
  std::string local;
  CTransferJob job;
};

}  // namespace walktest
