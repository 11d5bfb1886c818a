// The fixtures themselves: both servers start, accept the account and log what they receive.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FtpServers.h"

namespace {

// A bare control-connection exchange, independent of the client layer under test.
std::string Exchange(uint16_t port, const std::vector<std::string>& lines) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return "";
  std::string got;
  char buf[1024];
  auto readSome = [&] {
    pollfd p{s, POLLIN, 0};
    while (poll(&p, 1, 3000) == 1) {
      ssize_t n = read(s, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
      if (got.size() >= 2 && got.substr(got.size() - 2) == "\r\n") break;
    }
  };
  readSome();
  for (const auto& l : lines) {
    std::string line = l + "\r\n";
    if (write(s, line.data(), line.size()) < 0) break;
    readSome();
  }
  close(s);
  return got;
}

class TestServers : public ::testing::TestWithParam<ServerKind> {};

TEST_P(TestServers, AcceptTheAccountAndLogCommands) {
  FtpTestServer& server = SharedFtpServer(GetParam());
  server.MarkLog();
  std::string got = Exchange(
      server.Port(), {"USER " + server.User(), "PASS " + server.Password(), "NOOP", "QUIT"});
  EXPECT_NE(got.find("230"), std::string::npos) << got;
  // The log is written asynchronously by some servers.
  std::string log;
  for (int i = 0; i < 50 && log.find("NOOP") == std::string::npos; ++i) {
    usleep(20000);
    log = server.CommandLog();
  }
  EXPECT_NE(log.find("NOOP"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Kinds, TestServers,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

}  // namespace
