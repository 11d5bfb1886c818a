// Names that a server or a listing parser could misread (a leading or trailing blank, a leading
// "~" or "-") against the real servers, and listings in forms that cannot be read, played by a
// scripted server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "trox/Internet.h"

namespace {

const std::vector<std::string>& OddNames() {
  static const std::vector<std::string> names = {" lead.txt", "trail.txt ", "~", "-dash", "~x"};
  return names;
}

class FtpNamesTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    server_ = &SharedFtpServer(GetParam());
    server_->ClearRoot();
    session_ = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);
    connection_ = session_->GetFtpConnection(server_->Host(), server_->User(), server_->Password(),
                                             server_->Port(), true);
  }
  std::string OnServer(const std::string& name) const { return server_->Root() + "/" + name; }

  FtpTestServer* server_ = nullptr;
  std::unique_ptr<CInternetSession> session_;
  std::unique_ptr<CFtpConnection> connection_;
};

TEST_P(FtpNamesTest, ListingGivesNamesExactly) {
  std::set<std::string> expected;
  for (const std::string& name : OddNames()) {
    WriteFileBytes(OnServer(name), name);
    expected.insert(name);
  }
  WriteFileBytes(OnServer(" lead dir/f"), "f");
  expected.insert(" lead dir");
  server_->ChownRoot();

  CFtpFileFind find(connection_.get());
  ASSERT_TRUE(find.FindFile("*"));
  std::set<std::string> listed;
  while (find.FindNextFile())
    if (!find.IsDots()) listed.insert(find.GetFileName());
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(find.UnparsedLines().empty());

  // A single file listed by its name, as the size of one file is asked.
  for (const std::string& name : OddNames()) {
    CFtpFileFind one(connection_.get());
    ASSERT_TRUE(one.FindFile(name)) << "[" << name << "]";
    ASSERT_TRUE(one.FindNextFile());
    EXPECT_EQ(one.GetLength(), name.size()) << "[" << name << "]";
  }
}

// vsftpd lists links and FIFOs as such; pyftpdlib's MLSD shows a link as what it points to, and
// a FIFO as "type=file".
TEST_P(FtpNamesTest, LinksAndFifosAreToldApart) {
  WriteFileBytes(OnServer("sub/f"), "f");
  ASSERT_EQ(::symlink("sub", OnServer("to-sub").c_str()), 0);
  ASSERT_EQ(::symlink("sub/f", OnServer("to-f").c_str()), 0);
  ASSERT_EQ(::mkfifo(OnServer("pipe").c_str(), 0644), 0);
  server_->ChownRoot();
  const bool vsftpd = GetParam() == ServerKind::Vsftpd;
  const std::map<std::string, char> expected = {{"sub", 'd'},
                                                {"to-sub", vsftpd ? 'l' : 'd'},
                                                {"to-f", vsftpd ? 'l' : 'f'},
                                                {"pipe", vsftpd ? 's' : 'f'}};

  CFtpFileFind find(connection_.get());
  ASSERT_TRUE(find.FindFile("*"));
  std::map<std::string, char> listed;
  while (find.FindNextFile()) {
    const FtpListEntry& e = find.Entry();
    if (!find.IsDots())
      listed[e.name] = e.isDirectory ? 'd' : e.isLink ? 'l' : e.isSpecial ? 's' : 'f';
  }
  EXPECT_EQ(listed, expected);
}

TEST_P(FtpNamesTest, OddNamesAreGotPutAndEntered) {
  const std::string local = MakeTempDir();
  for (const std::string& name : OddNames()) {
    SCOPED_TRACE("[" + name + "]");
    WriteFileBytes(local + "/up", "up:" + name);
    ASSERT_TRUE(connection_->PutFile(local + "/up", name, FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFileBytes(OnServer(name)), "up:" + name);

    ASSERT_TRUE(connection_->GetFile(name, local + "/down", false, FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFileBytes(local + "/down"), "up:" + name);

    const std::string folder = name + "dir";
    ASSERT_TRUE(connection_->CreateDirectory(folder));
    EXPECT_TRUE(PathExists(OnServer(folder)));
    ASSERT_TRUE(connection_->SetCurrentDirectory(folder));
    std::string now;
    ASSERT_TRUE(connection_->GetCurrentDirectory(now));
    EXPECT_EQ(now, "/" + folder);
    ASSERT_TRUE(connection_->SetCurrentDirectory("/"));
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpNamesTest,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

// A listing as a server without MLSD sends it, and what the layer makes of it.
struct ListingCase {
  const char* what;
  std::string data;
  bool found;
  uint32_t error;  // when not found
  std::vector<std::string> names;
  std::vector<std::string> unparsed;
};

class ListingFormsTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingFormsTest, ReadOrFailedAsAWhole) {
  ScopedInternetTimeouts timeouts{3000, 2000, 3000};
  const ListingCase& c = GetParam();
  scripted::ScriptedFtpServer server([&c](scripted::Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("LIST", {{"PWD", "257 \"/pub\"\r\n"}, {"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 here it comes");
    p.AcceptData();
    p.SendData(c.data);
    p.CloseData();
    p.Reply("226 done");
    p.WaitForClose(3000);
  });
  CInternetSession session("Varnook FTP", 1, 0, "", "", 0);
  auto connection = session.GetFtpConnection("127.0.0.1", "u", "pw", server.Port(), true);
  CFtpFileFind find(connection.get());
  ASSERT_EQ(find.FindFile("*"), c.found);
  std::vector<std::string> names;
  if (c.found) {
    while (find.FindNextFile()) names.push_back(find.GetFileName());
  } else {
    EXPECT_EQ(GetLastError(), c.error);
    if (c.error != ENOENT) {
      EXPECT_EQ(GetLastErrorDetail(), "the server's listing could not be read (" +
                                          std::to_string(c.unparsed.size()) + " lines)");
    }
  }
  EXPECT_EQ(names, c.names);
  EXPECT_EQ(find.UnparsedLines(), c.unparsed);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ListingFormsTest,
    ::testing::Values(ListingCase{"DosIsoDatesAndGroupedSizes",
                                  "2020-01-15  15:04       <DIR>          Sub Folder\r\n"
                                  "2020-01-15  15:04             70,000 comma.bin\r\n"
                                  "15.01.2020  15:04             70.000 dot.bin\r\n"
                                  "01-15-20  03:04PM                  5 twelve.txt\r\n",
                                  true,
                                  0,
                                  {"Sub Folder", "comma.bin", "dot.bin", "twelve.txt"},
                                  {}},
                      ListingCase{"Eplf",
                                  "+i8388621.48594,m825718503,r,s280,\tdjb.html\r\n"
                                  "+i8388621.50690,m824255907,/,\t514\r\n",
                                  true,
                                  0,
                                  {"djb.html", "514"},
                                  {}},
                      ListingCase{"SomeLinesUnread",
                                  "total 2\r\n"
                                  "-rw-r--r-- 1 u g 3 Jan  1  2020 file\r\n"
                                  "?????????? ? ? ? ?            ? gone\r\n",
                                  true,
                                  0,
                                  {"file"},
                                  {"?????????? ? ? ? ?            ? gone"}},
                      ListingCase{"Vms",
                                  "Directory DISK$USER:[ANON]\r\n"
                                  "\r\n"
                                  "A.TXT;1  1/3  29-JAN-1996 03:33:12  [ANON]  (RWED,RWED,,)\r\n",
                                  false,
                                  ERROR_INTERNET_INCORRECT_FORMAT,
                                  {},
                                  {"Directory DISK$USER:[ANON]",
                                   "A.TXT;1  1/3  29-JAN-1996 03:33:12  [ANON]  (RWED,RWED,,)"}},
                      ListingCase{"NetWare",
                                  "d [R----F--] supervisor    512    Jan 16 18:53    login\r\n"
                                  "- [R----F--] rhesus     214059    Oct 20 15:27    cx.exe\r\n",
                                  false,
                                  ERROR_INTERNET_INCORRECT_FORMAT,
                                  {},
                                  {"d [R----F--] supervisor    512    Jan 16 18:53    login",
                                   "- [R----F--] rhesus     214059    Oct 20 15:27    cx.exe"}},
                      ListingCase{"OnlyTotalAndBlank", "total 0\r\n\r\n", false, ENOENT, {}, {}},
                      ListingCase{"Nothing", "", false, ENOENT, {}, {}}),
    [](const auto& test) { return std::string(test.param.what); });

}  // namespace
