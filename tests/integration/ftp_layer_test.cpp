// The FTP layer against real servers: pyftpdlib (MLSD, EPSV) and vsftpd (LIST only, converting
// ASCII both ways), each in passive and in active mode. Effects are checked on the server's disk
// and in its command log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "FtpServers.h"
#include "TempDir.h"
#include "trox/Internet.h"

namespace {

std::string LastResponseText(uint32_t* code = nullptr) {
  uint32_t error = 0, length = 0;
  InternetGetLastResponseInfo(&error, nullptr, &length);
  std::string text(length + 1, '\0');
  uint32_t capacity = length + 1;
  if (!InternetGetLastResponseInfo(&error, text.data(), &capacity)) return "";
  text.resize(capacity);
  if (code) *code = error;
  return text;
}

class FtpLayerTest : public ::testing::TestWithParam<std::tuple<ServerKind, bool>> {
 protected:
  void SetUp() override {
    server_ = &SharedFtpServer(Kind());
    server_->ClearRoot();
    server_->MarkLog();
    session_ = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);
  }

  ServerKind Kind() const { return std::get<0>(GetParam()); }
  bool Passive() const { return std::get<1>(GetParam()); }

  std::unique_ptr<CFtpConnection> Connect() {
    return session_->GetFtpConnection(server_->Host(), server_->User(), server_->Password(),
                                      server_->Port(), Passive());
  }
  std::string OnServer(const std::string& name) const { return server_->Root() + "/" + name; }
  void PutOnServer(const std::string& name, const std::string& bytes) {
    WriteFileBytes(OnServer(name), bytes);
    server_->ChownRoot();
  }

  FtpTestServer* server_ = nullptr;
  std::unique_ptr<CInternetSession> session_;
};

TEST_P(FtpLayerTest, LogInKeepsTheLogInReplyAsLastResponse) {
  auto c = Connect();
  uint32_t code = 0;
  std::string text = LastResponseText(&code);
  EXPECT_EQ(code, 230u);
  EXPECT_EQ(text.substr(0, 3), "230");
  EXPECT_EQ(text.find("\r\n", text.size() - 2), std::string::npos);  // no line end at the end
  // FEAT is asked once after log-in.
  EXPECT_NE(server_->CommandLog().find("FEAT"), std::string::npos);
}

TEST_P(FtpLayerTest, RefusedLogInThrows12014WithTheReply) {
  SetLastError(0);
  try {
    session_->GetFtpConnection(server_->Host(), server_->User(), "wrong-password", server_->Port(),
                               Passive());
    FAIL() << "log-in with a wrong password succeeded";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, ERROR_INTERNET_INCORRECT_PASSWORD);
  }
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
  uint32_t code = 0;
  std::string text = LastResponseText(&code);
  EXPECT_EQ(code, 530u);
  EXPECT_EQ(text.substr(0, 3), "530");
}

TEST_P(FtpLayerTest, FoldersGetSetCreate) {
  auto c = Connect();
  std::string folder;
  ASSERT_TRUE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(folder, "/");
  ASSERT_TRUE(c->CreateDirectory("new dir"));
  EXPECT_TRUE(PathExists(OnServer("new dir")));
  ASSERT_TRUE(c->SetCurrentDirectory("new dir"));
  ASSERT_TRUE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(folder, "/new dir");
  // Non-ASCII names pass unchanged (UTF8 announced by both servers).
  ASSERT_TRUE(c->CreateDirectory("\xc3\xa4\xc3\xb6"));
  EXPECT_TRUE(PathExists(OnServer("new dir/\xc3\xa4\xc3\xb6")));

  EXPECT_FALSE(c->SetCurrentDirectory("/no/such/folder"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  uint32_t code = 0;
  std::string text = LastResponseText(&code);
  EXPECT_EQ(code, 550u);
  EXPECT_EQ(text.substr(0, 3), "550");
  // The connection is still usable after a refusal.
  EXPECT_TRUE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(folder, "/new dir");
}

TEST_P(FtpLayerTest, WholeFileBinaryIsByteExact) {
  auto c = Connect();
  std::string local = MakeTempDir();
  std::string bytes = PatternBytes(3 * 1024 * 1024 + 17, 7);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);  // every value, "\r\n" too
  bytes += "\r\n\n\r";
  WriteFileBytes(local + "/up.bin", bytes);
  ASSERT_TRUE(c->PutFile(local + "/up.bin", "up.bin", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(ReadFileBytes(OnServer("up.bin")), bytes);
  ASSERT_TRUE(c->GetFile("up.bin", local + "/down.bin", false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(ReadFileBytes(local + "/down.bin"), bytes);
  // The last response is the transfer's final reply.
  uint32_t code = 0;
  LastResponseText(&code);
  EXPECT_EQ(code / 100, 2u);
  ASSERT_TRUE(c->GetFile("up.bin", local + "/again.bin", false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(ReadFileBytes(local + "/again.bin"), bytes);
  // TYPE I went once for all transfers. SIZE goes before every get, unless the server's 150
  // reply tells the size (vsftpd does): then only before the first.
  std::string log = server_->CommandLog();
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t p = log.find(what); p != std::string::npos; p = log.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("TYPE I"), 1u);
  EXPECT_EQ(count("SIZE up.bin"), Kind() == ServerKind::Vsftpd ? 1u : 2u);
}

// Binary uploads offer their first block before the server has answered STOR; sizes around
// that block must still arrive whole, and a refused STOR must neither hang nor spoil the
// connection, however much data was already offered.
TEST_P(FtpLayerTest, UploadsAroundTheFirstBlockAndRefusedUploads) {
  auto c = Connect();
  std::string local = MakeTempDir();
  for (size_t size : {size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{131072}}) {
    std::string name = "b" + std::to_string(size) + ".bin";
    std::string bytes = PatternBytes(size, static_cast<int>(size % 251));
    WriteFileBytes(local + "/" + name, bytes);
    ASSERT_TRUE(c->PutFile(local + "/" + name, name, FTP_TRANSFER_TYPE_BINARY)) << size;
    EXPECT_EQ(ReadFileBytes(OnServer(name)), bytes) << size;
  }
  for (size_t size : {size_t{2048}, size_t{4 * 1024 * 1024}}) {
    WriteFileBytes(local + "/r.bin", PatternBytes(size, 5));
    EXPECT_FALSE(c->PutFile(local + "/r.bin", "no/such/folder/r.bin", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR) << size;
    uint32_t code = 0;
    LastResponseText(&code);
    EXPECT_EQ(code / 100, 5u) << size;
    ASSERT_TRUE(c->PutFile(local + "/r.bin", "r.bin", FTP_TRANSFER_TYPE_BINARY)) << size;
    EXPECT_EQ(ReadFileBytes(OnServer("r.bin")), PatternBytes(size, 5)) << size;
  }
}

TEST_P(FtpLayerTest, WholeFileAsciiConvertsLineEnds) {
  auto c = Connect();
  std::string local = MakeTempDir();
  // Both servers store the network's "\r\n" as "\n"; a "\r\n" in the local file stays one.
  WriteFileBytes(local + "/up.txt", "one\ntwo\r\nthree\n");
  ASSERT_TRUE(c->PutFile(local + "/up.txt", "up.txt", FTP_TRANSFER_TYPE_ASCII));
  EXPECT_EQ(ReadFileBytes(OnServer("up.txt")), "one\ntwo\nthree\n");
  // Several blocks, with a "\r\n" split by the end of the first one (64 KiB).
  std::string many;
  while (many.size() < 65535) many += "text line\n";
  many.resize(65535);
  many += "\r\nlast\n";
  std::string stored = many;
  stored.replace(65535, 2, "\n");
  WriteFileBytes(local + "/many.txt", many);
  ASSERT_TRUE(c->PutFile(local + "/many.txt", "many.txt", FTP_TRANSFER_TYPE_ASCII));
  EXPECT_EQ(ReadFileBytes(OnServer("many.txt")), stored);

  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  PutOnServer("down.txt", text);
  ASSERT_TRUE(c->GetFile("down.txt", local + "/down.txt", false, FTP_TRANSFER_TYPE_ASCII));
  EXPECT_EQ(ReadFileBytes(local + "/down.txt"), text);
}

TEST_P(FtpLayerTest, EmptyFileBothWays) {
  auto c = Connect();
  std::string local = MakeTempDir();
  WriteFileBytes(local + "/empty", "");
  ASSERT_TRUE(c->PutFile(local + "/empty", "empty", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_TRUE(PathExists(OnServer("empty")));
  EXPECT_EQ(ReadFileBytes(OnServer("empty")), "");
  ASSERT_TRUE(c->GetFile("empty", local + "/empty2", false, FTP_TRANSFER_TYPE_ASCII));
  EXPECT_EQ(ReadFileBytes(local + "/empty2"), "");

  auto r = c->OpenFile("empty", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
  char buffer[8192];
  EXPECT_EQ(r->Read(buffer, sizeof buffer), 0u);
  r->Close();
}

TEST_P(FtpLayerTest, BlockWiseReadGivesFullBlocksUntilTheEnd) {
  auto c = Connect();
  std::string bytes = PatternBytes(8192 * 5 + 100, 3);
  {
    auto w = c->OpenFile("blocks.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY);
    // A second operation while the file is open is refused, not mixed into the transfer.
    std::string folder;
    EXPECT_FALSE(c->GetCurrentDirectory(folder));
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    for (size_t i = 0; i < bytes.size(); i += 8192)
      w->Write(bytes.data() + i, static_cast<uint32_t>(std::min<size_t>(8192, bytes.size() - i)));
    w->Close();
  }
  EXPECT_EQ(ReadFileBytes(OnServer("blocks.bin")), bytes);

  auto r = c->OpenFile("blocks.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
  std::string got;
  std::vector<uint32_t> counts;
  char buffer[8192];
  for (;;) {
    uint32_t n = r->Read(buffer, sizeof buffer);
    counts.push_back(n);
    got.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  r->Close();
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(counts, (std::vector<uint32_t>{8192, 8192, 8192, 8192, 8192, 100}));

  // ASCII block-wise: written with "\n", stored with "\n", read back with "\n".
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "text line " + std::to_string(i) + "\n";
  {
    auto w = c->OpenFile("blocks.txt", GENERIC_WRITE, FTP_TRANSFER_TYPE_ASCII);
    for (size_t i = 0; i < text.size(); i += 1000)
      w->Write(text.data() + i, static_cast<uint32_t>(std::min<size_t>(1000, text.size() - i)));
    w->Close();
  }
  EXPECT_EQ(ReadFileBytes(OnServer("blocks.txt")), text);
  auto rt = c->OpenFile("blocks.txt", GENERIC_READ, FTP_TRANSFER_TYPE_ASCII);
  got.clear();
  for (;;) {
    uint32_t n = rt->Read(buffer, sizeof buffer);
    got.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  rt->Close();
  EXPECT_EQ(got, text);
}

TEST_P(FtpLayerTest, ListingGivesNamesFoldersSizesAndRoot) {
  PutOnServer("a.txt", "12345");
  PutOnServer("name with spaces.bin", std::string(70000, 'x'));
  PutOnServer("sub/inner.txt", "1");
  PutOnServer(".hidden", "hh");
  auto c = Connect();
  ASSERT_TRUE(c->SetCurrentDirectory("/"));
  CFtpFileFind find(c.get());
  ASSERT_TRUE(find.FindFile("*"));
  EXPECT_EQ(find.GetRoot(), "/");
  std::map<std::string, std::pair<bool, uint64_t>> seen;
  while (find.FindNextFile()) {
    if (find.IsDots()) continue;
    seen[find.GetFileName()] = {find.IsDirectory(), find.GetLength()};
  }
  find.Close();
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen["a.txt"], std::make_pair(false, uint64_t{5}));
  EXPECT_EQ(seen["name with spaces.bin"], std::make_pair(false, uint64_t{70000}));
  EXPECT_TRUE(seen["sub"].first);
  EXPECT_EQ(seen[".hidden"], std::make_pair(false, uint64_t{2}));
  std::string log = server_->CommandLog();
  if (Kind() == ServerKind::Pyftpdlib)
    EXPECT_NE(log.find("MLSD"), std::string::npos);
  else
    EXPECT_NE(log.find("LIST"), std::string::npos);

  ASSERT_TRUE(c->SetCurrentDirectory("sub"));
  ASSERT_TRUE(find.FindFile("*"));
  EXPECT_EQ(find.GetRoot(), "/sub");
  // A file named as the mask gives its own entry.
  ASSERT_TRUE(find.FindFile("/a.txt"));
  ASSERT_TRUE(find.FindNextFile());
  EXPECT_EQ(find.GetLength(), 5u);
  EXPECT_FALSE(find.IsDirectory());

  ASSERT_TRUE(c->CreateDirectory("/empty"));
  ASSERT_TRUE(c->SetCurrentDirectory("/empty"));
  bool any = find.FindFile("*");
  while (any && find.FindNextFile()) EXPECT_TRUE(find.IsDots()) << find.GetFileName();
}

TEST_P(FtpLayerTest, RawCommandsWithAndWithoutData) {
  PutOnServer("x1", "1");
  PutOnServer("x2", "2");
  auto c = Connect();
  ASSERT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  uint32_t code = 0;
  LastResponseText(&code);
  EXPECT_EQ(code, 200u);

  std::unique_ptr<CInternetFile> data;
  ASSERT_TRUE(c->Command("NLST", true, FTP_TRANSFER_TYPE_ASCII, &data));
  ASSERT_TRUE(data);
  std::string names;
  char buffer[255];
  for (;;) {
    uint32_t n = data->Read(buffer, sizeof buffer);
    if (n == 0) break;
    names.append(buffer, n);
  }
  data->Close();
  data.reset();
  EXPECT_NE(names.find("x1\n"), std::string::npos) << names;
  EXPECT_NE(names.find("x2\n"), std::string::npos) << names;
  EXPECT_EQ(names.find('\r'), std::string::npos) << names;
  LastResponseText(&code);
  EXPECT_EQ(code / 100, 2u);

  // A command that the server refuses: 12003 and its reply.
  EXPECT_FALSE(c->Command("SITE NO-SUCH-THING", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  LastResponseText(&code);
  EXPECT_EQ(code / 100, 5u);
  // Refused before any data: no stream.
  data.reset();
  EXPECT_FALSE(c->Command("RETR no-such-file", true, FTP_TRANSFER_TYPE_ASCII, &data));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_FALSE(data);
  EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
}

TEST_P(FtpLayerTest, RefusedGetLeavesNoLocalFile) {
  auto c = Connect();
  std::string local = MakeTempDir();
  EXPECT_FALSE(c->GetFile("missing.bin", local + "/missing.bin", false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  uint32_t code = 0;
  std::string text = LastResponseText(&code);
  EXPECT_EQ(code, 550u);
  EXPECT_FALSE(PathExists(local + "/missing.bin"));

  // A local file that cannot be read: the system's number, nothing sent.
  EXPECT_FALSE(c->PutFile(local + "/none", "none", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_FALSE(PathExists(OnServer("none")));

  // A local file that fails at its first read (this one has no readable first page): the
  // system's number, and the connection fit for the next command.
  EXPECT_FALSE(c->PutFile("/proc/self/mem", "mem", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO));
  WriteFileBytes(local + "/after.bin", "after");
  ASSERT_TRUE(c->PutFile(local + "/after.bin", "after.bin", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(ReadFileBytes(OnServer("after.bin")), "after");

  // One that fails in the middle, after its first block went out: a FIFO whose writer stays
  // open without writing more. The upload is given up and the connection stays usable.
  std::string fifo = local + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  std::string block = PatternBytes(65536, 9);
  ASSERT_EQ(::write(writer, block.data(), block.size()), static_cast<ssize_t>(block.size()));
  EXPECT_FALSE(c->PutFile(fifo, "fifo.bin", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EAGAIN));
  ::close(writer);
  ASSERT_TRUE(c->PutFile(local + "/after.bin", "after2.bin", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(ReadFileBytes(OnServer("after2.bin")), "after");

  // failIfExists keeps an existing local file.
  PutOnServer("there.txt", "new");
  WriteFileBytes(local + "/there.txt", "old");
  EXPECT_FALSE(c->GetFile("there.txt", local + "/there.txt", true, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EEXIST));
  EXPECT_EQ(ReadFileBytes(local + "/there.txt"), "old");
}

TEST_P(FtpLayerTest, LastResponseIsKeptPerThread) {
  std::string textA, textB;
  uint32_t codeA = 0, codeB = 0;
  std::thread a([&] {
    auto c = Connect();
    EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
    textA = LastResponseText(&codeA);
  });
  std::thread b([&] {
    auto c = Connect();
    EXPECT_FALSE(c->SetCurrentDirectory("/not-there"));
    textB = LastResponseText(&codeB);
  });
  a.join();
  b.join();
  EXPECT_EQ(codeA, 200u);
  EXPECT_EQ(codeB, 550u);
  EXPECT_EQ(textA.substr(0, 3), "200");
  EXPECT_EQ(textB.substr(0, 3), "550");
}

TEST_P(FtpLayerTest, ClosedConnectionRefusesFurtherCalls) {
  auto c = Connect();
  c->Close();
  std::string folder;
  EXPECT_FALSE(c->GetCurrentDirectory(folder));
  EXPECT_NE(GetLastError(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpLayerTest,
                         ::testing::Combine(::testing::Values(ServerKind::Pyftpdlib,
                                                              ServerKind::Vsftpd),
                                            ::testing::Values(true, false)),
                         [](const ::testing::TestParamInfo<std::tuple<ServerKind, bool>>& test) {
                           return std::string(ServerKindName(std::get<0>(test.param))) +
                                  (std::get<1>(test.param) ? "_passive" : "_active");
                         });

}  // namespace
