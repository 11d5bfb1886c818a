// The download walk against real servers in both progress modes (what arrives, in which type,
// the second fetch, IGNORE, scripts), and against a scripted server of our own for what no real
// server produces: hostile names in a listing and transfers that end badly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "WalkTestSupport.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"
#include "trox/Walks.h"

using namespace walktest;
namespace fs = std::filesystem;

namespace {

// Every regular file below folder, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class DownloadWalkTest : public WalkTest {
 protected:
  void SetUp() override {
    WalkTest::SetUp();
    job.SetGet();
  }

  void ServerFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(Root(path)).parent_path());
    WriteFileBytes(Root(path), bytes);
    server->ChownRoot();
  }

  size_t CountRetr(const std::string& path) const {
    const std::vector<std::string> retr = CommandsStartingWith(Commands(), "RETR " + path);
    return static_cast<size_t>(std::count(retr.begin(), retr.end(), "RETR " + path));
  }
};

}  // namespace

TEST_P(DownloadWalkTest, UploadedTreeComesBackByteIdenticalInBinary) {
  const std::string source = MakeTempDir();
  MakeFolder(source + "/docs");
  MakeFolder(source + "/docs/deep");
  MakeFolder(source + "/old");
  WriteFileBytes(source + "/a.txt", "text\r\nwith both\nline ends\n");
  WriteFileBytes(source + "/docs/b.gif", PatternBytes(30000, 5));
  WriteFileBytes(source + "/docs/deep/c.bin", PatternBytes(65536, 6));
  WriteFileBytes(source + "/docs/deep/zero", "");

  CTransferJob up;
  ConfigureJob(up);
  up.SetLocalPath(source);
  up.SetServerPath("/pub");
  up.SetTransferType(1);
  ASSERT_EQ(up.Run(), 0);
  ASSERT_TRUE(IsFolder(Root("/pub/old")));

  Lines().clear();
  job.SetServerPath("/pub");
  job.SetTransferType(1);
  ASSERT_EQ(job.Run(), 0);
  const std::vector<std::string> files = FilesBelow(source);
  EXPECT_EQ(FilesBelow(local), files);
  for (const std::string& f : files) {
    EXPECT_EQ(ReadFileBytes(local + "/" + f), ReadFileBytes(source + "/" + f)) << f;
    EXPECT_TRUE(HasLine("Receiving /pub/" + f + " in BINARY mode ...")) << f;
  }
  // Local folders are made only for files that arrive.
  EXPECT_FALSE(PathExists(local + "/old"));
  const uint64_t total = 26 + 30000 + 65536;
  EXPECT_TRUE(HasLine(std::to_string(total) + " bytes to transfer."));
  EXPECT_EQ(job.m_progress.bytesToTransfer, total);
  EXPECT_EQ(job.m_progress.bytesDone, static_cast<int64_t>(total));
  EXPECT_EQ(CountLinesStartingWith("Ooops"), 0u);
  if (BlockMode()) {
    EXPECT_GE(ProgressCalls(), 4 + 8);
  }
}

TEST_P(DownloadWalkTest, NameChoosesTheTypeAndPlainTextIsFetchedAgainInAscii) {
  ServerFile("/pub/notes.txt", "one\ntwo\n");
  ServerFile("/pub/README", "plain\ntext\n");
  ServerFile("/pub/INDEX.HTML", "<p>\n</p>\n");
  ServerFile("/pub/photo.jpg", "\xff\xd8\xff\xe0\r\n\n\x80");
  job.SetServerPath("/pub");
  job.AddTranScript("SITE chmod 644 %s");
  ASSERT_EQ(job.Run(), 0);

  EXPECT_EQ(ReadFileBytes(local + "/notes.txt"), "one\ntwo\n");
  EXPECT_EQ(ReadFileBytes(local + "/README"), "plain\ntext\n");
  EXPECT_EQ(ReadFileBytes(local + "/INDEX.HTML"), "<p>\n</p>\n");
  EXPECT_EQ(ReadFileBytes(local + "/photo.jpg"), "\xff\xd8\xff\xe0\r\n\n\x80");
  EXPECT_TRUE(HasLine("Receiving /pub/notes.txt in ASCII mode ..."));
  EXPECT_TRUE(HasLine("Receiving /pub/README in BINARY mode ..."));
  EXPECT_TRUE(HasLine("Ooops ... getting /pub/README again in ASCII mode ..."));
  EXPECT_TRUE(HasLine("Ooops ... getting /pub/INDEX.HTML again in ASCII mode ..."));
  EXPECT_EQ(CountLinesStartingWith("Ooops"), 2u);
  EXPECT_EQ(CountRetr("/pub/README"), 2u);
  EXPECT_EQ(CountRetr("/pub/notes.txt"), 1u);
  EXPECT_EQ(CountRetr("/pub/photo.jpg"), 1u);
  // The transfer script names the full remote path, once per file.
  EXPECT_EQ(CommandsStartingWith(Commands(), "SITE chmod 644 /pub/README").size(), 1u);
  EXPECT_EQ(CommandsStartingWith(Commands(), "SITE chmod 644 /pub/").size(), 4u);
  // The bytes of a second fetch are counted once.
  EXPECT_EQ(job.m_progress.bytesDone, static_cast<int64_t>(8 + 11 + 9 + 8));
}

TEST_P(DownloadWalkTest, ForcedTypeIsNeverSecondGuessed) {
  ServerFile("/README", "plain\n");
  ServerFile("/photo.jpg", "\xff\xd8");
  job.SetTransferType(1);
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(CountLinesStartingWith("Ooops"), 0u);
  EXPECT_TRUE(HasLine("Receiving /README in BINARY mode ..."));

  Lines().clear();
  job.SetTransferType(2);
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(CountLinesStartingWith("Ooops"), 0u);
  EXPECT_TRUE(HasLine("Receiving /photo.jpg in ASCII mode ..."));
}

TEST_P(DownloadWalkTest, EmptyRemoteFolderRebuildsFullPathsAndOverwrites) {
  ServerFile("/docs/a.txt", "new\n");
  ServerFile("/x.TMP", "temp");
  MakeFolder(local + "/docs");
  WriteFileBytes(local + "/docs/a.txt", "old contents, longer than the new\n");
  ASSERT_EQ(chmod((local + "/docs/a.txt").c_str(), 0640), 0);
  job.SetSelectMode(2);
  job.AddSelect("*.tmp");
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(ReadFileBytes(local + "/docs/a.txt"), "new\n");
  // The file that replaces it keeps its mode.
  struct stat st {};
  ASSERT_EQ(stat((local + "/docs/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(PathExists(local + "/x.TMP"));
  EXPECT_TRUE(HasLine("4 bytes to transfer."));
  EXPECT_EQ(CountRetr("/x.TMP"), 0u);
}

TEST_P(DownloadWalkTest, IgnoreOffStopsAtTheFirstFailureAndDisconnectScriptsRun) {
  // A local file stands where the files' folder should be made.
  ServerFile("/pub/sub/1.txt", "1\n");
  ServerFile("/pub/sub/2.txt", "2\n");
  ServerFile("/pub/sub/3.txt", "3\n");
  WriteFileBytes(local + "/sub", "in the way");
  job.SetServerPath("/pub");
  job.AddDiscScript("NOOP");
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive /pub/sub/"), 1u);
  EXPECT_FALSE(CommandsStartingWith(Commands(), "NOOP").empty());
  EXPECT_EQ(ReadFileBytes(local + "/sub"), "in the way");

  Lines().clear();
  server->MarkLog();
  job.SetIgnore();
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive /pub/sub/"), 3u);
  EXPECT_FALSE(CommandsStartingWith(Commands(), "NOOP").empty());
  EXPECT_EQ(job.m_progress.bytesDone, 0);
}

TEST_P(DownloadWalkTest, RefusedFileLeavesTheOlderLocalCopyAlone) {
  if (!IsVsftpd()) GTEST_SKIP() << "pyftpdlib runs as root here and can read every file";
  ServerFile("/locked.txt", "secret\n");
  ServerFile("/open.txt", "open\n");
  ASSERT_EQ(chown(Root("/locked.txt").c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(Root("/locked.txt").c_str(), 0), 0);
  WriteFileBytes(local + "/locked.txt", "older copy\n");
  job.SetIgnore();
  EXPECT_EQ(job.Run(), 5);
  EXPECT_TRUE(HasLine("Failed to receive /locked.txt!"));
  EXPECT_TRUE(HasLine("ERROR 12003 : Extended error"));
  EXPECT_EQ(ReadFileBytes(local + "/locked.txt"), "older copy\n");
  EXPECT_EQ(ReadFileBytes(local + "/open.txt"), "open\n");
}

TEST_P(DownloadWalkTest, SingleModeGetsOneFileWithItsListedSize) {
  ServerFile("/pub/a.zip", PatternBytes(12345, 8));
  job.SetServerPath("/pub/a.zip");
  job.SetLocalPath(local + "/a.zip");
  job.SetSingle();
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(ReadFileBytes(local + "/a.zip"), PatternBytes(12345, 8));
  EXPECT_EQ(job.m_progress.bytesToTransfer, 12345u);
  for (const std::string& line : Lines()) {
    EXPECT_EQ(line.find("bytes to transfer."), std::string::npos);
  }
  EXPECT_TRUE(CommandsStartingWith(Commands(), "CWD").empty());

  // A file that is not there: nothing to count, a failed receive.
  Lines().clear();
  job.SetIgnore();
  job.SetServerPath("/pub/missing.zip");
  job.SetLocalPath(local + "/missing.zip");
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(job.m_progress.bytesToTransfer, 0u);
  EXPECT_TRUE(HasLine("Failed to receive /pub/missing.zip!"));
  EXPECT_FALSE(PathExists(local + "/missing.zip"));
}

namespace {

int CancelAtFirstFile(const char* text, int, TransferProgress* progress, uintptr_t) {
  Lines().push_back(text);
  if (std::string(text).rfind("Receiving ", 0) == 0) progress->cancel = 1;
  return 0;
}

}  // namespace

TEST_P(DownloadWalkTest, CancelEndsTheWalkQuietly) {
  ServerFile("/a.txt", "a\n");
  ServerFile("/d/b.txt", "b\n");
  ServerFile("/d/c.txt", "c\n");
  job.SetHostOutput(CancelAtFirstFile, 0);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(CountLinesStartingWith("Receiving "), 1u);
  EXPECT_EQ(CountLinesStartingWith("Failed"), 0u);
  EXPECT_EQ(FilesBelow(local).size(), 1u);
}

namespace {

std::unique_ptr<FtpTestServer> g_dyingServer;

int StopServerAtFirstFile(const char* text, int, TransferProgress*, uintptr_t) {
  Lines().push_back(text);
  if (std::string(text).rfind("Receiving ", 0) == 0) g_dyingServer.reset();
  return 0;
}

}  // namespace

TEST_P(DownloadWalkTest, ServerThatDiesFailsEveryLaterFileAtOnce) {
  // The listing is already in hand when the server goes; each listed file then fails at once
  // over the dead main connection.
  if (IsVsftpd()) GTEST_SKIP() << "vsftpd's session processes outlive its listener";
  g_dyingServer = std::make_unique<FtpTestServer>(std::get<0>(GetParam()));
  for (int i = 0; i < 4; ++i) {
    WriteFileBytes(g_dyingServer->Root() + "/f" + std::to_string(i), "data\n");
  }
  g_dyingServer->ChownRoot();
  LogInTo(job, *g_dyingServer);
  job.SetHostOutput(StopServerAtFirstFile, 0);
  job.SetIgnore();
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(g_dyingServer, nullptr);
  EXPECT_EQ(CountLinesStartingWith("Receiving "), 4u);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 4u);
  EXPECT_TRUE(FilesBelow(local).empty());
}

TEST_P(DownloadWalkTest, LocalPathsFollowTheFolderTheServerEntered) {
  ServerFile("/src/top.bin", "top");
  ServerFile("/src/sub/f1.bin", "f1");
  ServerFile("/src/src/x.bin", "x");
  // However the remote folder is written, the files keep their places below it.
  for (const char* remote : {"/src/../src", "src", "./src", "/src/", "//src"}) {
    SCOPED_TRACE(remote);
    local = MakeTempDir();
    job.SetLocalPath(local);
    job.SetServerPath(remote);
    ASSERT_EQ(job.Run(), 0);
    EXPECT_EQ(FilesBelow(local), (std::vector<std::string>{"src/x.bin", "sub/f1.bin", "top.bin"}));
    EXPECT_EQ(ReadFileBytes(local + "/sub/f1.bin"), "f1");
  }
}

TEST_P(DownloadWalkTest, FolderThatCannotBeEnteredIsReportedAndIgnoreDecides) {
  if (!IsVsftpd()) GTEST_SKIP() << "pyftpdlib runs as root here and can enter every folder";
  ServerFile("/a-locked/x.bin", "x");
  ServerFile("/b.bin", "b");
  ServerFile("/c/d.bin", "d");
  ASSERT_EQ(chown(Root("/a-locked").c_str(), 0, 0), 0);
  struct Case {
    mode_t mode;  // 0711: vsftpd enters it and answers LIST with nothing and a 226
    bool ignore;
    std::vector<std::string> files;
  };
  for (const Case& c : {Case{0700, true, {"b.bin", "c/d.bin"}}, Case{0700, false, {}},
                        Case{0711, true, {"b.bin", "c/d.bin"}}}) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode << " " << c.ignore);
    ASSERT_EQ(chmod(Root("/a-locked").c_str(), c.mode), 0);
    Lines().clear();
    local = MakeTempDir();
    job.SetLocalPath(local);
    c.ignore ? job.SetIgnore() : job.ClearIgnore();
    EXPECT_EQ(job.Run(), 5);
    EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 1u);
    EXPECT_TRUE(HasLine("Failed to receive /a-locked!"));
    EXPECT_TRUE(HasLine("ERROR 12003 : Extended error"));
    EXPECT_EQ(FilesBelow(local), c.files);
  }
}

TEST_P(DownloadWalkTest, LinksAreWalkedOnceAndSpecialFilesPassedOver) {
  if (!IsVsftpd()) GTEST_SKIP() << "pyftpdlib lists a link as what it points to";
  ServerFile("/pub/data/r.bin", "r");
  ServerFile("/pub/top.bin", "top");
  ServerFile("/ext/e.bin", "e");
  ServerFile("/root.bin", "root");
  fs::create_symlink("data", Root("/pub/zalias"));       // a folder seen before
  fs::create_symlink("..", Root("/pub/data/up"));        // a loop
  fs::create_symlink("../ext", Root("/pub/ext"));        // a folder outside
  fs::create_symlink("../root.bin", Root("/pub/file"));  // a file
  ASSERT_EQ(mkfifo(Root("/pub/pipe").c_str(), 0644), 0);
  job.SetServerPath("/pub");
  job.SetVerbose();
  ASSERT_EQ(job.Run(), 0);
  EXPECT_EQ(FilesBelow(local),
            (std::vector<std::string>{"data/r.bin", "ext/e.bin", "file", "top.bin"}));
  EXPECT_EQ(ReadFileBytes(local + "/file"), "root");
  EXPECT_TRUE(HasLine("Skipping /pub/pipe (not a regular file)"));
  EXPECT_TRUE(HasLine("Skipping /pub/zalias (walked already as /pub/data)"));
  EXPECT_TRUE(HasLine("Skipping /pub/data/up (walked already as /pub)"));
  // A link's listed size is that of the path it holds, never counted as the file's.
  EXPECT_TRUE(HasLine("5 bytes to transfer."));
}

TEST_P(DownloadWalkTest, SizeCountsSumTheSelectionQuietlyAndEndOnStop) {
  ServerFile("/pub/a.txt", PatternBytes(1000));
  ServerFile("/pub/sub/b.bin", PatternBytes(2536, 3));
  ServerFile("/pub/sub/c.log", "left out\n");
  // Sparse: a listed size past 4 GiB without the disk space.
  fs::resize_file(Root("/pub/a.txt"), (5ULL << 30) + 1000);
  job.SetSelectMode(2);
  job.AddSelect("*.log");
  CTransferJob unreachable = job;
  unreachable.SetPort(UnusedLoopbackPort());
  const std::atomic<bool> stopped{true};
  const uint64_t tree = (5ULL << 30) + 1000 + 2536;
  struct Case {
    const CTransferJob& job;
    std::string path;  // a file when it has a dot
    const std::atomic<bool>* stop;
    SizeCount result;
    uint64_t total;
  };
  const Case cases[] = {
      {job, "/pub", nullptr, SizeCount::kComplete, tree},
      {job, "", nullptr, SizeCount::kComplete, tree},
      {job, "/pub", &stopped, SizeCount::kStopped, 0},
      {job, "/none", nullptr, SizeCount::kIncomplete, 0},
      {unreachable, "/pub", nullptr, SizeCount::kIncomplete, 0},
      {job, "/pub/sub/b.bin", nullptr, SizeCount::kComplete, 2536},
      {job, "/pub/sub/c.log", nullptr, SizeCount::kComplete, 0},
      {job, "/pub/none.bin", nullptr, SizeCount::kComplete, 0},
      {unreachable, "/pub/a.txt", nullptr, SizeCount::kIncomplete, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + (&c.job == &job ? "" : " unreachable"));
    uint64_t total = 1;
    const SizeCount result = c.path.find('.') != std::string::npos
                                 ? CountRemoteFileSize(c.job, c.path, c.stop, &total)
                                 : CountReceiveSize(c.job, c.path, c.stop, &total);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(total, c.total);
  }
  EXPECT_TRUE(Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, DownloadWalkTest,
                         ::testing::Combine(::testing::Values(ServerKind::Pyftpdlib,
                                                              ServerKind::Vsftpd),
                                            ::testing::Values(0u, 1u)),
                         WalkParamName);

TEST(DownloadSessions, SingleFileNeedsNoSessionBesidesTheMainOne) {
  FtpTestServer server(ServerKind::Vsftpd, FtpTestServerOptions{1});
  WriteFileBytes(server.Root() + "/pub/a.zip", PatternBytes(5000, 4));
  server.ChownRoot();
  const std::string local = MakeTempDir();
  CTransferJob job;
  LogInTo(job, server);
  job.SetHostOutput(CollectLine, 0);
  job.SetGet();
  job.SetSingle();
  job.SetServerPath("/pub/a.zip");
  job.SetLocalPath(local + "/a.zip");
  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(job.m_progress.bytesToTransfer, 5000u);
  EXPECT_EQ(ReadFileBytes(local + "/a.zip"), PatternBytes(5000, 4));
}

// ---- A scripted server for what real servers do not do ----

namespace {

using scripted::Ending;
using scripted::ListLine;

class ScriptedDownloadTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    Lines().clear();
    // The local folder sits two levels down in a folder of its own, so that anything written
    // beside or above it shows.
    outer = MakeTempDir();
    local = outer + "/inner/dl";
    fs::create_directories(local);
    job.SetServer("127.0.0.1");
    job.SetPort(server.Port());
    job.SetUser("u");
    job.SetPassword("p");
    job.SetPassive();
    job.SetGet();
    job.SetIgnore();
    job.SetServerPath("/pub");
    job.SetLocalPath(local);
    job.SetHostOutput(CollectLine, 0);
    job.SetProgressMode(GetParam());
  }

  std::vector<std::string> Retrieved() { return CommandsStartingWith(server.Commands(), "RETR "); }

  scripted::ScriptedFtpServer server;
  std::string outer;
  std::string local;
  CTransferJob job;
};

}  // namespace

TEST_P(ScriptedDownloadTest, HostileNamesInAListingWriteNothingOutsideTheLocalFolder) {
  server.AddFolder("/", ListLine('d', 0, "pub"));
  server.AddFolder("/pub", ListLine('d', 0, ".") + ListLine('d', 0, "..") +
                               ListLine('-', 5, "../evil") + ListLine('-', 5, "a/../../b") +
                               ListLine('-', 5, "/etc/x") + ListLine('d', 0, "../up") +
                               ListLine('-', 5, "..\\win") + ListLine('-', 5, "/pub/full.txt") +
                               ListLine('d', 0, "sub") + ListLine('-', 5, "good.txt"));
  server.AddFolder("/pub/sub", ListLine('-', 4, "s.txt"));
  for (const char* path : {"/evil", "/b", "/etc/x", "/pub/../evil", "/pub/a/../../b"}) {
    server.AddFile(path, {"EVIL\n"});
  }
  server.AddFile("/pub/full.txt", {"full\n"});
  server.AddFile("/pub/good.txt", {"good\n"});
  server.AddFile("/pub/sub/s.txt", {"sub\n"});

  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(FilesBelow(outer), (std::vector<std::string>{"inner/dl/full.txt", "inner/dl/good.txt",
                                                         "inner/dl/sub/s.txt"}));
  EXPECT_EQ(ReadFileBytes(local + "/good.txt"), "good\n");
  EXPECT_EQ(ReadFileBytes(local + "/full.txt"), "full\n");
  std::vector<std::string> retrieved = Retrieved();
  std::sort(retrieved.begin(), retrieved.end());
  EXPECT_EQ(retrieved, (std::vector<std::string>{"RETR /pub/full.txt", "RETR /pub/good.txt",
                                                 "RETR /pub/sub/s.txt"}));
  // Five refused names, reported as failed receives; "." and ".." pass silently.
  EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 5u);
  EXPECT_TRUE(HasLine("Failed to receive /pub/../evil!"));
  EXPECT_TRUE(HasLine("Failed to receive /pub/../up!"));
  // Refused names are not counted either: 5 + 5 + 4 bytes.
  EXPECT_TRUE(HasLine("14 bytes to transfer."));
  EXPECT_TRUE(CommandsStartingWith(server.Commands(), "CWD /pub/..").empty());
}

TEST_P(ScriptedDownloadTest, HostileNameStopsTheWalkWithoutIgnore) {
  server.AddFolder("/pub", ListLine('-', 5, "../evil") + ListLine('-', 5, "good.txt"));
  server.AddFile("/pub/good.txt", {"good\n"});
  job.ClearIgnore();
  job.AddDiscScript("NOOP");
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 1u);
  EXPECT_TRUE(Retrieved().empty());
  EXPECT_FALSE(CommandsStartingWith(server.Commands(), "NOOP").empty());
}

TEST_P(ScriptedDownloadTest, TransferThatEndsBadlyLeavesNoFileBehind) {
  server.AddFolder("/pub", ListLine('-', 20, "short.bin") + ListLine('-', 10, "refused.bin") +
                               ListLine('-', 5, "good.txt"));
  server.AddFile("/pub/short.bin", {PatternBytes(20, 2), Ending::Short});
  server.AddFile("/pub/refused.bin", {PatternBytes(10, 3), Ending::ErrorReply});
  server.AddFile("/pub/good.txt", {"good\n"});
  WriteFileBytes(local + "/refused.bin", "an older copy");

  EXPECT_EQ(job.Run(), 5);
  EXPECT_TRUE(HasLine("Failed to receive /pub/short.bin!"));
  EXPECT_TRUE(HasLine("Failed to receive /pub/refused.bin!"));
  // The older copy stays as it was; nothing else is left, under any name.
  EXPECT_EQ(FilesBelow(local), (std::vector<std::string>{"good.txt", "refused.bin"}));
  EXPECT_EQ(ReadFileBytes(local + "/refused.bin"), "an older copy");
  EXPECT_EQ(ReadFileBytes(local + "/good.txt"), "good\n");
  EXPECT_EQ(job.m_progress.bytesDone, 5);
}

TEST_P(ScriptedDownloadTest, BadEndingWithoutIgnore) {
  server.AddFolder("/pub", ListLine('-', 10, "refused.bin") + ListLine('-', 5, "good.txt"));
  server.AddFile("/pub/refused.bin", {PatternBytes(10, 3), Ending::ErrorReply});
  server.AddFile("/pub/good.txt", {"good\n"});
  job.ClearIgnore();
  if (GetParam() == 1) {
    // Inside a block transfer the failure is an exception for the host, as for a lost
    // connection; the partial file is gone all the same.
    EXPECT_THROW(job.Run(), CInternetException);
  } else {
    EXPECT_EQ(job.Run(), 5);
    EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 1u);
  }
  EXPECT_TRUE(FilesBelow(local).empty());
}

TEST_P(ScriptedDownloadTest, BinaryCopiesMustHoldTheListedSize) {
  // The server names no size but in its listing.
  server.OfferSize(false);
  server.AddFolder("/pub", ListLine('-', 20, "short.bin") + ListLine('-', 5, "empty.bin") +
                               ListLine('-', 3, "padded.bin") + ListLine('-', 8, "right.bin") +
                               ListLine('-', 50, "text.txt"));
  server.AddFile("/pub/short.bin", {PatternBytes(10, 2)});
  server.AddFile("/pub/empty.bin", {""});
  server.AddFile("/pub/padded.bin", {"padded"});
  server.AddFile("/pub/right.bin", {"8 bytes\x80"});
  server.AddFile("/pub/text.txt", {"line ends\r\nchange sizes\r\n"});
  WriteFileBytes(local + "/short.bin", "an older copy");

  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 3u);
  for (const char* name : {"short.bin", "empty.bin", "padded.bin"}) {
    EXPECT_TRUE(HasLine("Failed to receive /pub/" + std::string(name) + "!")) << name;
  }
  EXPECT_EQ(FilesBelow(local), (std::vector<std::string>{"right.bin", "short.bin", "text.txt"}));
  EXPECT_EQ(ReadFileBytes(local + "/short.bin"), "an older copy");
  EXPECT_EQ(ReadFileBytes(local + "/text.txt"), "line ends\nchange sizes\n");
}

TEST_P(ScriptedDownloadTest, ListedNamesWithASlashAreNeverPaths) {
  // Names relative to the log-in folder, or with a folder in them, would put files where no
  // folder was listed; a name given as the listed folder's full path is a name.
  server.AddFolder("/pub", ListLine('-', 2, "pub/x.bin") + ListLine('-', 2, "~/evil.bin") +
                               ListLine('d', 0, "d/deeper") + ListLine('-', 2, "/pub/full.bin"));
  server.AddFolder("/pub/d/deeper", ListLine('-', 2, "in.bin"));
  for (const char* path : {"/pub/pub/x.bin", "/pub/~/evil.bin", "/pub/d/deeper/in.bin"}) {
    server.AddFile(path, {"\x80\x81"});
  }
  server.AddFile("/pub/full.bin", {"\x80\x81"});

  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(FilesBelow(local), std::vector<std::string>{"full.bin"});
  for (const char* path : {"/pub/pub/x.bin", "/pub/~/evil.bin", "/pub/d/deeper"}) {
    EXPECT_TRUE(HasLine("Failed to receive " + std::string(path) + "!")) << path;
  }
  EXPECT_EQ(Retrieved(), std::vector<std::string>{"RETR /pub/full.bin"});
}

TEST_P(ScriptedDownloadTest, FolderThatFailsIsListedAndReportedOnce) {
  ScopedInternetTimeouts quick(2000, 300, 2000);
  server.AddFolder("/pub", ListLine('d', 0, "slow") + ListLine('d', 0, "refused") +
                               ListLine('-', 6, "after.txt"));
  server.AddFolder("/pub/slow", "", Ending::Stall);
  server.AddFolder("/pub/refused", "", Ending::Refused);
  server.AddFile("/pub/after.txt", {"after\n"});

  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(CountLinesStartingWith("Failed to receive "), 2u);
  EXPECT_TRUE(HasLine("Failed to receive /pub/slow!"));
  EXPECT_TRUE(HasLine("Failed to receive /pub/refused!"));
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "CWD /pub/slow"), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "CWD /pub/refused"), 1);
  // The walk goes on over a fresh connection after the one that timed out.
  EXPECT_EQ(ReadFileBytes(local + "/after.txt"), "after\n");
}

TEST_P(ScriptedDownloadTest, StartingFolderThatCannotBeListedFailsTheRun) {
  server.AddFolder("/pub", "", Ending::Refused);
  EXPECT_EQ(job.Run(), 5);
  EXPECT_TRUE(HasLine("Failed to receive /pub!"));
  EXPECT_EQ(CountLinesStartingWith("0 bytes"), 0u);
}

INSTANTIATE_TEST_SUITE_P(ProgressModes, ScriptedDownloadTest, ::testing::Values(0u, 1u),
                         [](const ::testing::TestParamInfo<uint32_t>& test) {
                           return "mode" + std::to_string(test.param);
                         });
