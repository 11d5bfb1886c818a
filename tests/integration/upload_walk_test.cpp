// The upload walk against real servers, in both progress modes: what arrives, in which type, in
// which order of commands, and how failures, IGNORE, the archive rule and cancel shape a run.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "TempDir.h"
#include "WalkTestSupport.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"

using namespace walktest;

namespace {

// Root reads every folder whatever its mode; without these two capabilities this thread (and
// only this thread: the servers keep theirs) is held to the permission bits like anyone else.
class ScopedPermissionChecks {
 public:
  ScopedPermissionChecks() {
    if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_active = syscall(SYS_capset, &m_header, reduced) == 0;
  }
  ~ScopedPermissionChecks() {
    if (m_active) syscall(SYS_capset, &m_header, m_saved);
  }
  ScopedPermissionChecks(const ScopedPermissionChecks&) = delete;
  ScopedPermissionChecks& operator=(const ScopedPermissionChecks&) = delete;

 private:
  __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct m_saved[2] = {};
  bool m_active = false;
};

bool CanOpenFolder(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir != nullptr) closedir(dir);
  return dir != nullptr;
}

// The names of a folder in the order the file system lists them, which is the walk's order.
std::vector<std::string> ListedNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dir != nullptr) {
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") {
      names.push_back(entry->d_name);
    }
  }
  if (dir != nullptr) closedir(dir);
  return names;
}

class UploadWalkTest : public WalkTest {
 protected:
  // The tree of the examples: a page, an image one folder down, an empty folder, and a larger
  // file two folders down that spans many blocks.
  void MakeTree() {
    MakeFolder(local + "/img");
    MakeFolder(local + "/img/deep");
    MakeFolder(local + "/old");
    WriteFileBytes(local + "/index.html", "<html>\n<body>hello</body>\n</html>\n");
    WriteFileBytes(local + "/img/logo.gif", PatternBytes(20000, 3));
    WriteFileBytes(local + "/img/deep/big.bin", PatternBytes(100007, 4));
    WriteFileBytes(local + "/img/deep/empty.dat", "");
  }

  std::vector<std::string> TreeFiles() const {
    return {"index.html", "img/logo.gif", "img/deep/big.bin", "img/deep/empty.dat"};
  }

  uint64_t TreeBytes() const {
    uint64_t sum = 0;
    for (const std::string& f : TreeFiles()) sum += ReadFileBytes(local + "/" + f).size();
    return sum;
  }

  // A file of the server's root standing where the walk needs a folder: every send into it is
  // refused by the server.
  void BlockFolder(const std::string& name, int files) {
    MakeFolder(local + "/" + name);
    for (int i = 1; i <= files; ++i) {
      WriteFileBytes(local + "/" + name + "/" + std::to_string(i) + ".txt", "text\n");
    }
    WriteFileBytes(Root("/" + name), "I am a file");
    server->ChownRoot();
  }

  size_t CountStor() const { return CommandsStartingWith(Commands(), "STOR ").size(); }

  static size_t CountLinesContaining(const std::string& part) {
    size_t n = 0;
    for (const std::string& line : Lines()) n += line.find(part) != std::string::npos ? 1 : 0;
    return n;
  }
};

}  // namespace

TEST_P(UploadWalkTest, TreeArrivesIdenticalInBinaryWithEveryFolderFirst) {
  MakeTree();
  job.SetServerPath("/site");
  job.SetTransferType(1);
  ASSERT_EQ(job.Run(), 0);

  for (const std::string& f : TreeFiles()) {
    EXPECT_EQ(ReadFileBytes(Root("/site/" + f)), ReadFileBytes(local + "/" + f)) << f;
    EXPECT_TRUE(HasLine("Sending " + local + "/" + f + " in BINARY mode ...")) << f;
  }
  EXPECT_TRUE(IsFolder(Root("/site/old")));
  EXPECT_TRUE(HasLine(std::to_string(TreeBytes()) + " bytes to transfer."));
  EXPECT_EQ(job.m_progress.bytesToTransfer, TreeBytes());
  EXPECT_EQ(job.m_progress.bytesDone, static_cast<int64_t>(TreeBytes()));
  EXPECT_EQ(CountLinesStartingWith("Failed"), 0u);
  if (BlockMode()) {
    // One report per block: the big file alone is 13 blocks.
    EXPECT_GE(ProgressCalls(), 13 + 3 + 1);
  }

  // Every folder is made before the first file goes, with names relative to the remote folder.
  const std::vector<std::string> commands = Commands();
  const auto firstStor = std::find_if(commands.begin(), commands.end(), [](const std::string& c) {
    return c.rfind("STOR ", 0) == 0;
  });
  ASSERT_NE(firstStor, commands.end());
  std::vector<std::string> mkdBefore;
  for (auto it = commands.begin(); it != firstStor; ++it) {
    if (it->rfind("MKD ", 0) == 0) mkdBefore.push_back(*it);
  }
  std::sort(mkdBefore.begin(), mkdBefore.end());
  EXPECT_EQ(mkdBefore,
            (std::vector<std::string>{"MKD /site", "MKD img", "MKD img/deep", "MKD old"}));
  EXPECT_TRUE(std::none_of(firstStor, commands.end(),
                           [](const std::string& c) { return c.rfind("MKD ", 0) == 0; }));
}

TEST_P(UploadWalkTest, ContentChoosesTheTypeAndTextArrivesWithNewlines) {
  WriteFileBytes(local + "/notes", "one\ntwo\nthree\n");
  WriteFileBytes(local + "/photo.jpg", "JFIF\xff\xd8\r\n\x80\n");
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(ReadFileBytes(Root("/notes")), "one\ntwo\nthree\n");
  EXPECT_EQ(ReadFileBytes(Root("/photo.jpg")), "JFIF\xff\xd8\r\n\x80\n");
  EXPECT_TRUE(HasLine("Sending " + local + "/notes in ASCII mode ..."));
  EXPECT_TRUE(HasLine("Sending " + local + "/photo.jpg in BINARY mode ..."));
  const std::vector<std::string> commands = Commands();
  EXPECT_FALSE(CommandsStartingWith(commands, "TYPE A").empty());
  EXPECT_FALSE(CommandsStartingWith(commands, "TYPE I").empty());
}

TEST_P(UploadWalkTest, SelectionPicksFilesButEveryFolderIsMade) {
  MakeTree();
  job.SetSelectMode(1);
  job.AddSelect("*.html");
  ASSERT_EQ(job.Run(), 0);
  EXPECT_TRUE(PathExists(Root("/index.html")));
  EXPECT_FALSE(PathExists(Root("/img/logo.gif")));
  EXPECT_TRUE(IsFolder(Root("/img/deep")));
  EXPECT_TRUE(IsFolder(Root("/old")));
  const size_t htmlSize = ReadFileBytes(local + "/index.html").size();
  EXPECT_TRUE(HasLine(std::to_string(htmlSize) + " bytes to transfer."));

  server->ClearRoot();
  CTransferJob exclude;
  ConfigureJob(exclude);
  exclude.SetSelectMode(2);
  exclude.AddSelect("*.GIF");
  ASSERT_EQ(exclude.Run(), 0);
  EXPECT_FALSE(PathExists(Root("/img/logo.gif")));
  EXPECT_TRUE(PathExists(Root("/img/deep/big.bin")));
}

TEST_P(UploadWalkTest, ArchiveRuleSendsAFileAgainOnlyAfterItChanged) {
  if (setxattr(local.c_str(), "user.trox.probe", "1", 1, 0) != 0 && errno == ENOTSUP) {
    GTEST_SKIP() << "no user extended attributes on " << local;
  }
  WriteFileBytes(local + "/a.txt", "first\n");
  WriteFileBytes(local + "/b.bin", PatternBytes(5000, 9));
  job.SetArchive();
  struct stat before {};
  ASSERT_EQ(stat((local + "/a.txt").c_str(), &before), 0);

  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(CountStor(), 2u);
  struct stat after {};
  ASSERT_EQ(stat((local + "/a.txt").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  server->MarkLog();
  Lines().clear();
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(CountStor(), 0u);
  EXPECT_TRUE(HasLine("0 bytes to transfer."));

  WriteFileBytes(local + "/a.txt", "second\n");
  struct timespec times[2] = {{0, UTIME_OMIT}, {before.st_mtim.tv_sec + 10, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (local + "/a.txt").c_str(), times, 0), 0);
  server->MarkLog();
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(CommandsStartingWith(Commands(), "STOR "), std::vector<std::string>{"STOR a.txt"});
  EXPECT_EQ(ReadFileBytes(Root("/a.txt")), "second\n");
}

TEST_P(UploadWalkTest, PermissionRulesSendSiteChmodPerMatchInListOrder) {
  MakeFolder(local + "/cgi-bin");
  WriteFileBytes(local + "/index.html", "<p>\n");
  WriteFileBytes(local + "/cgi-bin/RUN.CGI", "#!/bin/sh\n");
  WriteFileBytes(local + "/plain.txt", "no rule\n");
  job.AddChmod("*.html", "644");
  job.AddChmod("*.HTML", "600");
  job.AddChmod("*.cgi", "755");
  ASSERT_EQ(job.Run(), 0);

  const std::vector<std::string> site = CommandsStartingWith(Commands(), "SITE ");
  const auto html644 = std::find(site.begin(), site.end(), "SITE chmod 644 index.html");
  const auto html600 = std::find(site.begin(), site.end(), "SITE chmod 600 index.html");
  ASSERT_NE(html644, site.end());
  ASSERT_NE(html600, site.end());
  EXPECT_EQ(html644 + 1, html600);
  EXPECT_NE(std::find(site.begin(), site.end(), "SITE chmod 755 cgi-bin/RUN.CGI"), site.end());
  EXPECT_EQ(site.size(), 3u);
  EXPECT_TRUE(HasLine("SITE chmod 755 cgi-bin/RUN.CGI"));

  struct stat st {};
  ASSERT_EQ(stat(Root("/cgi-bin/RUN.CGI").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  ASSERT_EQ(stat(Root("/index.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_P(UploadWalkTest, ScriptsRunAroundTheFilesInOrder) {
  MakeFolder(local + "/sub");
  WriteFileBytes(local + "/a.txt", "a\n");
  WriteFileBytes(local + "/sub/b.txt", "b\n");
  job.AddConnScript("SYST");
  job.AddTranScript("SITE chmod 640 %s");
  job.AddTranScript("NOOP");
  job.AddDiscScript("STAT");
  ASSERT_EQ(job.Run(), 0);

  std::vector<std::string> sent;
  for (const std::string& line : Lines()) {
    const std::string prefix = "Sending " + local + "/";
    if (line.rfind(prefix, 0) == 0) {
      sent.push_back(line.substr(prefix.size(), line.find(" in ", prefix.size()) - prefix.size()));
    }
  }
  ASSERT_EQ(sent.size(), 2u);
  std::vector<std::string> expected = {"SYST", "MKD sub"};
  for (const std::string& name : sent) {
    expected.push_back("STOR " + name);
    expected.push_back("SITE chmod 640 " + name);
    expected.push_back("NOOP");
  }
  expected.push_back("STAT");
  std::vector<std::string> seen;
  for (const std::string& c : Commands()) {
    for (const char* p : {"SYST", "MKD sub", "STOR ", "SITE ", "NOOP", "STAT"}) {
      if (c.rfind(p, 0) == 0) {
        seen.push_back(c);
        break;
      }
    }
  }
  EXPECT_EQ(seen, expected);
  // The command and then the server's reply are reported.
  const auto syst = std::find(Lines().begin(), Lines().end(), "SYST");
  ASSERT_NE(syst, Lines().end());
  ASSERT_NE(syst + 1, Lines().end());
  EXPECT_EQ((syst + 1)->substr(0, 3), "215");
}

TEST_P(UploadWalkTest, IgnoreOffStopsAtTheFirstRefusedFile) {
  BlockFolder("blocked", 3);
  job.AddDiscScript("NOOP");
  if (BlockMode()) {
    // Inside a block transfer the refusal is the host's to report, as for a lost connection.
    EXPECT_THROW(job.Run(), CInternetException);
    EXPECT_EQ(CountStor(), 1u);
    return;
  }
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to send " + local + "/blocked/"), 1u);
  EXPECT_EQ(CountLinesStartingWith("ERROR 12003 : Extended error"), 1u);
  EXPECT_EQ(CountStor(), 1u);
  const std::vector<std::string> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_FALSE(CommandsStartingWith(commands, "NOOP").empty());
  EXPECT_EQ(job.m_progress.lastError, ERROR_INTERNET_EXTENDED_ERROR);
}

TEST_P(UploadWalkTest, IgnoreOnTriesEveryFileAndTheRunFails) {
  BlockFolder("blocked", 3);
  WriteFileBytes(local + "/fine.txt", "fine\n");
  job.SetIgnore();
  job.AddDiscScript("NOOP");
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to send " + local + "/blocked/"), 3u);
  EXPECT_EQ(CountLinesStartingWith("EXTENDED ERROR "), 3u);
  EXPECT_EQ(CountStor(), 4u);
  EXPECT_EQ(ReadFileBytes(Root("/fine.txt")), "fine\n");
  EXPECT_EQ(job.m_progress.bytesDone, 5);  // failed files add nothing
  EXPECT_FALSE(CommandsStartingWith(Commands(), "NOOP").empty());
}

TEST_P(UploadWalkTest, RefusedTransferScriptFailsTheRun) {
  WriteFileBytes(local + "/a.cgi", "x\n");
  WriteFileBytes(local + "/b.cgi", "y\n");
  job.AddTranScript("SITE NOSUCHCOMMAND %s");
  job.AddTranScript("NOOP");
  // IGNORE off: the first refusal ends the walk, the file itself counts as sent.
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountStor(), 1u);
  EXPECT_EQ(CountLinesStartingWith("ERROR 12003 : Extended error"), 1u);
  EXPECT_EQ(CountLinesStartingWith("Failed"), 0u);
  EXPECT_TRUE(CommandsStartingWith(Commands(), "NOOP").empty());

  // IGNORE on: every file shows the refusal and the walk goes on.
  server->ClearRoot();
  server->MarkLog();
  Lines().clear();
  job.SetIgnore();
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountStor(), 2u);
  EXPECT_EQ(CountLinesStartingWith("ERROR 12003 : Extended error"), 2u);
  EXPECT_TRUE(PathExists(Root("/a.cgi")));
  EXPECT_TRUE(PathExists(Root("/b.cgi")));
}

TEST_P(UploadWalkTest, SingleModeStoresTheFileUnderTheServerPath) {
  WriteFileBytes(local + "/index.html", "<html>single</html>\n");
  MakeFolder(Root("/pub"));
  server->ChownRoot();
  job.SetLocalPath(local + "/index.html");
  job.SetServerPath("/pub/home.html");
  job.SetSingle();
  job.AddChmod("*.html", "644");
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(ReadFileBytes(Root("/pub/home.html")), "<html>single</html>\n");
  EXPECT_EQ(CountLinesStartingWith("Sending " + local + "/index.html in ASCII mode"), 1u);
  for (const std::string& line : Lines()) {
    EXPECT_EQ(line.find("bytes to transfer."), std::string::npos);
  }
  EXPECT_EQ(job.m_progress.bytesToTransfer, 20u);
  const std::vector<std::string> commands = Commands();
  EXPECT_TRUE(CommandsStartingWith(commands, "CWD").empty());
  EXPECT_TRUE(CommandsStartingWith(commands, "MKD").empty());
  EXPECT_EQ(CommandsStartingWith(commands, "SITE "),
            std::vector<std::string>{"SITE chmod 644 /pub/home.html"});
}

namespace {

int CancelAtFirstFile(const char* text, int, TransferProgress* progress, uintptr_t) {
  Lines().push_back(text);
  if (std::string(text).rfind("Sending ", 0) == 0) progress->cancel = 1;
  return 0;
}

}  // namespace

TEST_P(UploadWalkTest, CancelLetsTheCurrentFileFinishAndStartsNoOther) {
  WriteFileBytes(local + "/a.txt", "a\n");
  WriteFileBytes(local + "/b.txt", "b\n");
  WriteFileBytes(local + "/c.txt", "c\n");
  job.SetHostOutput(CancelAtFirstFile, 0);
  job.AddDiscScript("NOOP");
  EXPECT_EQ(job.Run(), 0);  // a cancelled run is not a failed one
  EXPECT_EQ(CountLinesStartingWith("Sending "), 1u);
  EXPECT_EQ(CountLinesStartingWith("Failed"), 0u);
  EXPECT_EQ(CountStor(), 1u);
  EXPECT_FALSE(CommandsStartingWith(Commands(), "NOOP").empty());
}

TEST_P(UploadWalkTest, CommandWithResponseShowsItsDataAsOneMessage) {
  WriteFileBytes(Root("/listed-one.txt"), "1");
  WriteFileBytes(Root("/listed-two.txt"), "2");
  server->ChownRoot();
  job.AddConnScript("NLST,Y");
  job.SetVerbose();
  MakeFolder(local + "/made");
  ASSERT_EQ(job.Run(), 0);
  const std::vector<std::string>& lines = Lines();
  const auto nlst = std::find(lines.begin(), lines.end(), "NLST");
  ASSERT_NE(nlst, lines.end());
  ASSERT_GE(lines.end() - nlst, 3);
  EXPECT_EQ((nlst + 1)->substr(0, 1), "1");  // 150 or 125
  const std::string& names = *(nlst + 2);
  EXPECT_NE(names.find("listed-one.txt"), std::string::npos);
  EXPECT_NE(names.find("listed-two.txt"), std::string::npos);
  // Verbose: each remote folder is announced; a refusal (the folder exists) is not reported.
  EXPECT_TRUE(HasLine("Creating folder made ..."));
  server->MarkLog();
  Lines().clear();
  ASSERT_EQ(job.Run(), 0);
  EXPECT_TRUE(HasLine("Creating folder made ..."));
  EXPECT_EQ(CountLinesStartingWith("Failed to create folder"), 0u);
}

namespace {

std::unique_ptr<FtpTestServer> g_dyingServer;

int StopServerAtFirstFile(const char* text, int, TransferProgress*, uintptr_t) {
  Lines().push_back(text);
  if (std::string(text).rfind("Sending ", 0) == 0) g_dyingServer.reset();
  return 0;
}

}  // namespace

TEST_P(UploadWalkTest, ServerThatDiesFailsEveryLaterFileAtOnce) {
  // A server of its own, stopped while the walk runs: the connection is dead, and every file
  // after that must fail straight away (no reconnect, no waiting out a time-out per file).
  if (IsVsftpd()) GTEST_SKIP() << "vsftpd's session processes outlive its listener";
  g_dyingServer = std::make_unique<FtpTestServer>(std::get<0>(GetParam()));
  LogInTo(job, *g_dyingServer);
  for (int i = 0; i < 4; ++i) WriteFileBytes(local + "/f" + std::to_string(i), "data\n");
  job.SetHostOutput(StopServerAtFirstFile, 0);
  job.SetIgnore();
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(g_dyingServer, nullptr);
  EXPECT_EQ(CountLinesStartingWith("Sending "), 4u);
  EXPECT_EQ(CountLinesStartingWith("Failed to send "), 4u);
}

TEST_P(UploadWalkTest, UnreadableFolderFailsOnceAndIgnoreDecidesWhetherTheRestGoes) {
  // Files beside four folders; the folder listed first is made unreadable, so that siblings come
  // after it whatever order the file system keeps.
  for (const char* name : {"d1", "d2", "d3", "d4"}) {
    MakeFolder(local + "/" + name);
    WriteFileBytes(local + "/" + name + "/in.txt", std::string(name) + "\n");
  }
  for (const char* name : {"f1.txt", "f2.txt", "f3.txt"}) WriteFileBytes(local + "/" + name, "f\n");
  const std::vector<std::string> order = ListedNames(local);
  const auto bad =
      std::find_if(order.begin(), order.end(), [](const std::string& n) { return n[0] == 'd'; });
  ASSERT_NE(bad, order.end());
  const std::string badFolder = local + "/" + *bad;
  ASSERT_EQ(chmod(badFolder.c_str(), 0), 0);
  if (ScopedPermissionChecks asUser; CanOpenFolder(badFolder)) {
    GTEST_SKIP() << "permission bits do not bind this process";
  }

  for (const bool ignore : {false, true}) {
    SCOPED_TRACE(ignore ? "IGNORE on" : "IGNORE off");
    server->ClearRoot();
    server->MarkLog();
    Lines().clear();
    ignore ? job.SetIgnore() : job.ClearIgnore();
    // Without IGNORE the walk goes exactly as far as the files listed before the bad folder.
    std::vector<std::string> expected;
    uint64_t bytes = 0;
    for (auto it = order.begin(); it != order.end(); ++it) {
      if (it == bad || (!ignore && it > bad)) continue;
      const std::string file = (*it)[0] == 'd' ? *it + "/in.txt" : *it;
      expected.push_back(file);
      bytes += ReadFileBytes(local + "/" + file).size();
    }

    {
      ScopedPermissionChecks asUser;
      EXPECT_EQ(job.Run(), 5);
    }
    EXPECT_EQ(CountLinesStartingWith("Failed to send " + badFolder + "!"), 1u);
    EXPECT_EQ(CountLinesContaining("Permission denied"), 1u);
    EXPECT_EQ(CountLinesStartingWith("Failed"), 1u);
    EXPECT_TRUE(HasLine(std::to_string(bytes) + " bytes to transfer."));
    for (const std::string& file : expected) {
      EXPECT_EQ(ReadFileBytes(Root("/" + file)), ReadFileBytes(local + "/" + file)) << file;
    }
    EXPECT_EQ(CountStor(), expected.size());
  }
  chmod(badFolder.c_str(), 0755);
}

TEST_P(UploadWalkTest, LocalSourceThatCannotBeReadFailsBeforeAnything) {
  WriteFileBytes(local + "/file.txt", "a file\n");
  MakeFolder(local + "/folder");
  struct Case {
    bool single;
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {false, local + "/missing", "No such file or directory"},
      {false, local + "/file.txt", "Not a directory"},
      {true, local + "/missing.txt", "No such file or directory"},
      {true, local + "/folder", "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    server->MarkLog();
    Lines().clear();
    c.single ? job.SetSingle() : job.ClearSingle();
    job.SetLocalPath(c.path);
    job.SetServerPath(c.single ? "/sent.txt" : "/");
    EXPECT_EQ(job.Run(), 5);
    EXPECT_TRUE(HasLine("Failed to send " + c.path + "!"));
    EXPECT_EQ(CountLinesContaining(c.reason), 1u);
    EXPECT_EQ(CountLinesContaining("bytes to transfer."), 0u);
    EXPECT_EQ(CountLinesStartingWith("Sending "), 0u);
    EXPECT_EQ(CountStor(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, UploadWalkTest,
                         ::testing::Combine(::testing::Values(ServerKind::Pyftpdlib,
                                                              ServerKind::Vsftpd),
                                            ::testing::Values(0u, 1u)),
                         WalkParamName);
