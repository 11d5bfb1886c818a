// trox with bad input from the user: transfer files of garbage, of huge size or with huge
// values, a local tree with a symbolic-link loop, and file names that are hard on a client
// (spaces, quotes, bytes that are not UTF-8, leading dashes). None of them may crash or hang the
// program, and no file may be lost on the way to the server and back.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

bool EndsInClosingMessage(const ProcessResult& r) {
  const std::string& out = r.output;
  return out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0 &&
         out.find("Error 00") != std::string::npos;
}

// Every regular file below folder (behind a link to a file too, never into a linked folder):
// its relative path and its size, and a mark where its bytes differ from expected's.
std::vector<std::string> TreeOf(const std::string& folder, const std::string& expected = "") {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = e.path().lexically_relative(folder).string();
    std::string line = rel + " " + std::to_string(e.file_size());
    if (!expected.empty() && ReadFileBytes(e.path()) != ReadFileBytes(expected + "/" + rel))
      line += " DIFFERENT";
    files.push_back(line);
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(TroxBadInput, GarbageHugeAndOverlongTransferFilesEndWithAClosingMessage) {
  const std::string dir = MakeTempDir();
  const uint16_t closed = UnusedLoopbackPort();

  // 100 MB of random bytes, with a few line breaks and brackets among them by chance.
  const std::string garbage = dir + "/garbage.trx";
  {
    std::mt19937_64 random(42);
    std::ofstream out(garbage, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (int mb = 0; mb < 100; ++mb) {
      for (size_t i = 0; i < block.size(); i += 8) {
        uint64_t v = random();
        std::memcpy(&block[i], &v, 8);
      }
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  ProcessResult r = RunTrox({"-f", garbage});
  EXPECT_NE(r.exitCode, -1);
  EXPECT_TRUE(EndsInClosingMessage(r)) << r.output.substr(0, 2000);

  // Values of 100 000 characters in every key, pointing at a port where nobody listens.
  const std::string longValue(100000, 'v');
  const std::string overlong = dir + "/overlong.trx";
  WriteFileBytes(
      overlong,
      "[TROX]\r\nSERVER=127.0.0.1\r\nPORT=" + std::to_string(closed) + "\r\nUSER=" + longValue +
          "\r\nPASS=" + longValue + "\r\nSERVERPATH=/" + longValue + "\r\nLOCALPATH=" + dir + "/" +
          longValue + "\r\nLOG=" + dir + "/" + longValue + "\r\n[SELECT]\r\nINCLUDE1=" + longValue +
          "\r\n[SCRIPT]\r\nCONN1=" + longValue + "\r\n" + std::string(100000, '[') + "\r\n");
  r = RunTrox({"-f", overlong});
  EXPECT_EQ(r.exitCode, 4) << r.output.substr(0, 2000);
  EXPECT_TRUE(EndsInClosingMessage(r)) << r.output.substr(0, 2000);

  // An overlong value on the command line as well.
  r = RunTrox({"-s", "127.0.0.1", "-t", std::to_string(closed), "-u", longValue, "-r",
               "/" + longValue, "-l", dir + "/" + longValue});
  EXPECT_EQ(r.exitCode, 4) << r.output.substr(0, 2000);
  EXPECT_TRUE(EndsInClosingMessage(r));
}

class TroxNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(ServerKind::Vsftpd);
    server->ClearRoot();
  }
  ProcessResult Trox(std::vector<std::string> args) {
    std::vector<std::string> all = {"-s", server->Host(), "-t", std::to_string(server->Port()),
                                    "-u", server->User(), "-p", server->Password(),
                                    "-x"};
    all.insert(all.end(), args.begin(), args.end());
    return RunTrox(all, "", {{"TROX_NET_TIMEOUT_MS", "5000"}});
  }
  FtpTestServer* server = nullptr;
};

TEST_F(TroxNamesTest, HardNamesAndALinkLoopGoUpAndComeBackWhole) {
  const std::string source = MakeTempDir() + "/-src dir";
  fs::create_directories(source + "/sub 'one'/deeper");
  const std::vector<std::string> names = {"with space.bin",
                                          "two  spaces .bin",
                                          "quote\"d.bin",
                                          "apos'trophe.bin",
                                          "-leading-dash",
                                          "--",
                                          "-r",
                                          "latin1-\xe9.bin",
                                          "\xff\xfe.bin",
                                          "sub 'one'/-x y.bin",
                                          "sub 'one'/deeper/\x80\x81 z.bin",
                                          "semi;colon&amp.bin",
                                          "back\\slash.bin",
                                          "star*and?.bin"};
  for (size_t i = 0; i < names.size(); ++i)
    WriteFileBytes(source + "/" + names[i], PatternBytes(100 + i * 37, static_cast<unsigned>(i)));
  // A link loop and a link to a file: the walk must not follow the loop for ever.
  fs::create_directory_symlink("..", source + "/sub 'one'/loop");
  fs::create_directory_symlink(source, source + "/sub 'one'/deeper/back to top");
  fs::create_symlink(source + "/with space.bin", source + "/link to a file.bin");

  ProcessResult up = Trox({"-l", source, "-r", "/in", "-i"});
  EXPECT_EQ(up.exitCode, 0) << up.output;
  EXPECT_EQ(TreeOf(server->Root() + "/in", source), TreeOf(source));

  const std::string back = MakeTempDir() + "/--back";
  ProcessResult down = Trox({"-g", "-l", back, "-r", "/in"});
  EXPECT_EQ(down.exitCode, 0) << down.output;
  EXPECT_EQ(TreeOf(back, source), TreeOf(source));
}

}  // namespace
