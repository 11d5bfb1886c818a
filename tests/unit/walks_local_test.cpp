// The walks' local and pure parts: remote path rules, transfer type choice, selection rules, the
// archive attribute, the local folder walk and the checks that keep received files inside the
// local folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "TempDir.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"
#include "trox/Walks.h"

// Armed, the next nothrow array allocation fails, as the walks' block buffers would when memory
// runs out.
static bool g_failNextNothrowArray = false;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (g_failNextNothrowArray) {
    g_failNextNothrowArray = false;
    return nullptr;
  }
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

std::string Collapsed(std::string path) {
  CollapseSlashes(path);
  return path;
}

struct Visits {
  std::vector<std::string> paths;
  size_t stopAfter = 0;  // 0: never stop
};

int Record(const std::string& path, void* context) {
  auto* visits = static_cast<Visits*>(context);
  visits->paths.push_back(path);
  return visits->stopAfter != 0 && visits->paths.size() >= visits->stopAfter ? 0 : 1;
}

bool UserXattrsWork(const std::string& dir) {
  const std::string probe = dir + "/xattr-probe";
  WriteFileBytes(probe, "x");
  const bool ok = setxattr(probe.c_str(), "user.trox.probe", "1", 1, 0) == 0;
  unlink(probe.c_str());
  return ok;
}

int64_t MtimeOf(const std::string& path) {
  int64_t mtime = 0;
  EXPECT_TRUE(LocalModificationTime(path, &mtime));
  return mtime;
}

}  // namespace

TEST(RemotePaths, CollapseSlashesJoinsRunsAndKeepsBackslashes) {
  EXPECT_EQ(Collapsed("/pub//docs///a.txt"), "/pub/docs/a.txt");
  EXPECT_EQ(Collapsed("//"), "/");
  EXPECT_EQ(Collapsed(""), "");
  EXPECT_EQ(Collapsed("a\\\\b//c"), "a\\\\b/c");
}

TEST(RemotePaths, DotDotComponentsAreFoundBetweenEitherSeparator) {
  for (const char* name : {"..", "../evil", "a/../../b", "a\\..\\b", "x/..", "..\\y"}) {
    EXPECT_TRUE(HasDotDotComponent(name)) << name;
  }
  for (const char* name : {".", "..foo", "foo..", "a/b..c/d", "...", "a/./b", ""}) {
    EXPECT_FALSE(HasDotDotComponent(name)) << name;
  }
}

TEST(TransferType, ExtensionListDecidesReceivedFilesByCaseSensitiveSuffix) {
  CTransferJob job;
  for (const char* name : {"index.htm", "page.html", "notes.txt", "style.css", "scene.wrl",
                           "world.vrml", "clip.ram", "app.js", "/pub/deep/a.txt"}) {
    EXPECT_EQ(job.TransferTypeByExtension(name), FTP_TRANSFER_TYPE_ASCII) << name;
  }
  for (const char* name : {"README.TXT", "INDEX.HTML", "data.json", "page.shtml", "photo.jpg",
                           "NOTES", "", "js", ".j"}) {
    EXPECT_EQ(job.TransferTypeByExtension(name), FTP_TRANSFER_TYPE_BINARY) << name;
  }
  // A name exactly as long as an extension is compared whole.
  EXPECT_EQ(job.TransferTypeByExtension(".js"), FTP_TRANSFER_TYPE_ASCII);

  job.SetTransferType(1);
  EXPECT_EQ(job.TransferTypeByExtension("notes.txt"), FTP_TRANSFER_TYPE_BINARY);
  job.SetTransferType(2);
  EXPECT_EQ(job.TransferTypeByExtension("photo.jpg"), FTP_TRANSFER_TYPE_ASCII);
  job.SetTransferType(7);
  EXPECT_EQ(job.TransferTypeByExtension("photo.jpg"), FTP_TRANSFER_TYPE_ASCII);
}

TEST(TransferType, ContentScanStopsAtTheFirstHighByte) {
  const std::string dir = MakeTempDir();
  CTransferJob job;
  const char text[] = "plain\r\n\t\x01\x00\x7f text";
  WriteFileBytes(dir + "/text.bin", std::string(text, sizeof text - 1));
  WriteFileBytes(dir + "/accent.txt", "caf\xe9 au lait\n");
  WriteFileBytes(dir + "/empty", "");
  // The high byte sits beyond the first read block.
  WriteFileBytes(dir + "/late", std::string(20000, 'a') + "\x80");
  EXPECT_EQ(job.ScanTransferType(dir + "/text.bin"), FTP_TRANSFER_TYPE_ASCII);
  EXPECT_EQ(job.ScanTransferType(dir + "/accent.txt"), FTP_TRANSFER_TYPE_BINARY);
  EXPECT_EQ(job.ScanTransferType(dir + "/empty"), FTP_TRANSFER_TYPE_ASCII);
  EXPECT_EQ(job.ScanTransferType(dir + "/late"), FTP_TRANSFER_TYPE_BINARY);
  EXPECT_EQ(job.ScanTransferType(dir + "/missing"), FTP_TRANSFER_TYPE_ASCII);

  job.SetTransferType(1);
  EXPECT_EQ(job.ScanTransferType(dir + "/text.bin"), FTP_TRANSFER_TYPE_BINARY);
  job.SetTransferType(2);
  EXPECT_EQ(job.ScanTransferType(dir + "/accent.txt"), FTP_TRANSFER_TYPE_ASCII);
}

TEST(Selection, ModesAndSuffixRules) {
  CTransferJob job;
  EXPECT_EQ(job.IsSelectedForSend("/w/a.gif"), 1);  // no rules, mode 0

  job.SetSelectMode(1);
  EXPECT_EQ(job.IsSelectedForSend("/w/index.html"), 0);  // include mode, empty list
  job.AddSelect("*.html");
  EXPECT_EQ(job.IsSelectedForSend("/w/index.html"), 1);
  EXPECT_EQ(job.IsSelectedForSend("/w/INDEX.HTML"), 1);
  EXPECT_EQ(job.IsSelectedForSend("/w/img/logo.gif"), 0);
  EXPECT_EQ(job.IsSelectedForReceive("/pub/x.HtMl"), 1);

  CTransferJob exclude;
  exclude.SetSelectMode(2);
  exclude.AddSelect("*.GIF");
  exclude.AddSelect("*.tmp");
  EXPECT_EQ(exclude.IsSelectedForSend("/w/img/logo.gif"), 0);
  EXPECT_EQ(exclude.IsSelectedForSend("/w/index.html"), 1);
  EXPECT_EQ(exclude.IsSelectedForReceive("/pub/x.TMP"), 0);

  // Without a dot the pattern is a bare suffix; with one, its first character goes.
  CTransferJob bare;
  bare.SetSelectMode(1);
  bare.AddSelect("html");
  EXPECT_EQ(bare.IsSelectedForReceive("page.html"), 1);
  EXPECT_EQ(bare.IsSelectedForReceive("xhtml"), 1);
  CTransferJob dotted;
  dotted.SetSelectMode(1);
  dotted.AddSelect(".html");  // becomes "html"
  EXPECT_EQ(dotted.IsSelectedForReceive("xhtml"), 1);
  CTransferJob longer;
  longer.SetSelectMode(1);
  longer.AddSelect("*.verylongextension");
  EXPECT_EQ(longer.IsSelectedForReceive("a.x"), 0);
  CTransferJob empty;
  empty.SetSelectMode(1);
  empty.AddSelect("");
  EXPECT_EQ(empty.IsSelectedForReceive("anything"), 1);
}

TEST(Selection, ExtensionRuleMatchesFoldsOnlyAsciiCase) {
  EXPECT_TRUE(ExtensionRuleMatches("run.CGI", "*.cgi"));
  EXPECT_TRUE(ExtensionRuleMatches("xcgi", "cgi"));
  EXPECT_TRUE(ExtensionRuleMatches("caf\xc3\xa9.txt", "*.txt"));
  EXPECT_TRUE(ExtensionRuleMatches("a.\xc3\xa9", "*.\xc3\xa9"));
  EXPECT_FALSE(ExtensionRuleMatches("a.\xc3\x89", "*.\xc3\xa9"));
  EXPECT_FALSE(ExtensionRuleMatches("cgi", "*.cgi"));
}

TEST(ArchiveAttribute, ClearedAfterSendSetAgainByAnyChange) {
  const std::string dir = MakeTempDir();
  if (!UserXattrsWork(dir)) GTEST_SKIP() << "no user extended attributes on " << dir;
  const std::string file = dir + "/a.txt";
  WriteFileBytes(file, "one");
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Set);

  CTransferJob job;
  job.ClearArchiveAttribute(file);  // ARCHIVE off: nothing happens
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Set);

  job.SetArchive();
  const int64_t before = MtimeOf(file);
  job.ClearArchiveAttribute(file);
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Clear);
  EXPECT_EQ(MtimeOf(file), before);
  EXPECT_EQ(job.IsSelectedForSend(file), 0);
  job.ClearArchive();
  EXPECT_EQ(job.IsSelectedForSend(file), 1);  // the test only applies with ARCHIVE on
  job.SetArchive();

  // A different modification time (as after an edit) sets the attribute again.
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000, 5}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Set);
  EXPECT_EQ(job.IsSelectedForSend(file), 1);

  // Marking with a time the file no longer has leaves it to be sent again.
  ASSERT_TRUE(ClearArchiveBit(file, 999));
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Set);

  // A mangled value counts as set, a missing file as unreadable (it keeps its selection).
  setxattr(file.c_str(), kArchiveAttributeName, "junk", 4, 0);
  EXPECT_EQ(ReadArchiveState(file), ArchiveState::Set);
  EXPECT_EQ(ReadArchiveState(dir + "/missing"), ArchiveState::Unreadable);
  EXPECT_EQ(job.IsSelectedForSend(dir + "/missing"), 1);
}

TEST(LocalWalk, FilesModeAndFoldersModeVisitDepthFirst) {
  const std::string dir = MakeTempDir();
  mkdir((dir + "/img").c_str(), 0777);
  mkdir((dir + "/img/deep").c_str(), 0777);
  mkdir((dir + "/old").c_str(), 0777);
  WriteFileBytes(dir + "/index.html", "i");
  WriteFileBytes(dir + "/.hidden", "h");
  WriteFileBytes(dir + "/noext", "n");
  WriteFileBytes(dir + "/img/logo.gif", "g");
  WriteFileBytes(dir + "/img/deep/x", "x");
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0666), 0);
  ASSERT_EQ(symlink(dir.c_str(), (dir + "/loop").c_str()), 0);
  ASSERT_EQ(symlink((dir + "/noext").c_str(), (dir + "/link-to-file").c_str()), 0);

  Visits files;
  EXPECT_EQ(WalkLocalFiles(dir, "*.*", &files, Record), 1);
  std::vector<std::string> sorted = files.paths;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted,
            (std::vector<std::string>{dir + "/.hidden", dir + "/img/deep/x", dir + "/img/logo.gif",
                                      dir + "/index.html", dir + "/link-to-file", dir + "/noext"}));

  Visits folders;
  EXPECT_EQ(WalkLocalFolders(dir + "/", "*.*", &folders, Record), 1);
  sorted = folders.paths;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{dir + "/img", dir + "/img/deep", dir + "/old"}));
  // A folder is visited before what it holds.
  const auto img = std::find(folders.paths.begin(), folders.paths.end(), dir + "/img");
  const auto deep = std::find(folders.paths.begin(), folders.paths.end(), dir + "/img/deep");
  EXPECT_LT(img, deep);

  Visits stopped;
  stopped.stopAfter = 2;
  EXPECT_EQ(WalkLocalFiles(dir, "*.*", &stopped, Record), 0);
  EXPECT_EQ(stopped.paths.size(), 2u);

  Visits masked;
  EXPECT_EQ(WalkLocalFiles(dir, "*.GIF", &masked, Record), 0);  // nothing at the top matches
  EXPECT_TRUE(masked.paths.empty());

  Visits none;
  EXPECT_EQ(WalkLocalFiles(dir + "/missing", "*.*", &none, Record), 0);
  EXPECT_EQ(WalkLocalFolders(dir + "/index.html", "*.*", &none, Record), 0);  // SINGLE mode
  EXPECT_TRUE(none.paths.empty());
}

TEST(LocalWalk, FolderWithOneEntryStillVisitsIt) {
  const std::string dir = MakeTempDir();
  WriteFileBytes(dir + "/only", "1");
  Visits visits;
  EXPECT_EQ(WalkLocalFiles(dir, "*.*", &visits, Record), 1);
  EXPECT_EQ(visits.paths, std::vector<std::string>{dir + "/only"});
}

TEST(LocalPathSafety, NormalisedPathMustLieBelowTheFolder) {
  EXPECT_EQ(NormalizeLocalPath("/a/./b//c/../d/"), "/a/b/d");
  EXPECT_EQ(NormalizeLocalPath("/../.."), "/");
  EXPECT_TRUE(IsLocalPathInside("/dl/docs/a.txt", "/dl"));
  EXPECT_TRUE(IsLocalPathInside("/etc/x", ""));  // the root folder holds everything
  EXPECT_FALSE(IsLocalPathInside("/dl/../etc/x", "/dl"));
  EXPECT_FALSE(IsLocalPathInside("/dlx/a", "/dl"));
  EXPECT_FALSE(IsLocalPathInside("/dl/.", "/dl"));
  EXPECT_FALSE(IsLocalPathInside("/dl", "/dl/"));
}

TEST(LocalPathSafety, ReceivedFilesMapBelowTheLocalFolderOrNowhere) {
  const std::string dir = MakeTempDir();
  CTransferJob job;
  job.SetLocalPath(dir);
  job.SetServerPath("/pub");
  EXPECT_EQ(job.LocalPathForRemote("/pub/docs/a.txt"), dir + "/docs/a.txt");
  EXPECT_EQ(job.LocalPathForRemote("/pub//docs//a.txt"), dir + "/docs/a.txt");
  EXPECT_EQ(job.LocalPathForRemote("/pub/../etc/passwd"), "");
  EXPECT_EQ(job.LocalPathForRemote("/pub/a/../../b"), "");
  EXPECT_EQ(job.LocalPathForRemote("/pub/a\\..\\..\\b"), "");
  EXPECT_EQ(job.LocalPathForRemote("/pub"), "");
  EXPECT_EQ(job.LocalPathForRemote("/pub/"), "");
  EXPECT_EQ(job.LocalPathForRemote("/pub/."), "");

  job.SetServerPath("/");
  EXPECT_EQ(job.LocalPathForRemote("/docs/a.txt"), dir + "/docs/a.txt");
  job.SetServerPath("");
  EXPECT_EQ(job.LocalPathForRemote("/home/u/a.txt"), dir + "/home/u/a.txt");
  // During a walk the paths lie below the folder the server reported, whatever the remote
  // folder's text (relative, or found again further up the path).
  job.SetServerPath("pub");
  job.m_receiveRoot = "/home/pub/pub";
  EXPECT_EQ(job.LocalPathForRemote("/home/pub/pub/a.txt"), dir + "/a.txt");
  EXPECT_EQ(job.LocalPathForRemote("/home/pub/pub/pub/b.txt"), dir + "/pub/b.txt");
  EXPECT_EQ(job.LocalPathForRemote("/home/pub/a.txt"), "");
}

namespace {

std::vector<std::string> g_reported;

int Report(const char* text, int, TransferProgress*, uintptr_t) {
  g_reported.push_back(text);
  return 0;
}

}  // namespace

TEST(Scripts, TransferTemplateTakesOneNameAndNeverReadsAMissingArgument) {
  // Without a connection the command is still shown first, then fails like a refused one.
  auto firstReported = [](const std::string& script, const std::string& name) {
    CTransferJob job;
    job.SetHostOutput(Report, 0);
    job.AddTranScript(script);
    g_reported.clear();
    EXPECT_EQ(job.RunTranScripts(name), 0);
    EXPECT_EQ(job.m_transferFailed, 1u);
    return g_reported.empty() ? std::string() : g_reported.front();
  };
  EXPECT_EQ(firstReported("SITE chmod 644 %s", "img/a.gif"), "SITE chmod 644 img/a.gif");
  EXPECT_EQ(firstReported("SITE x %s 100%% %d %s %", "a b"), "SITE x a b 100% %d %s %");
  EXPECT_EQ(firstReported("NOOP 100% %%", "a"), "NOOP 100% %%");

  CTransferJob empty;
  EXPECT_EQ(empty.RunConnScripts(), 1);
  EXPECT_EQ(empty.RunTranScripts("a"), 1);
  EXPECT_EQ(empty.RunDiscScripts(), 1);
  EXPECT_EQ(empty.m_transferFailed, 0u);
}

TEST(Walks, BlockBufferThatCannotBeHadIsReportedAsOutOfMemory) {
  const std::string local = MakeTempDir() + "/a.bin";
  WriteFileBytes(local, "abc");
  CTransferJob job;
  SetLastError(ENOENT);  // an older failure that must not be taken for this one
  g_failNextNothrowArray = true;
  EXPECT_EQ(job.SendFileInBlocks(local, "a.bin", FTP_TRANSFER_TYPE_BINARY), 0);
  g_failNextNothrowArray = false;
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOMEM));
}

TEST(SizeCount, SendCountSumsTheSelectionIn64BitsAndEndsOnStop) {
  const std::string dir = MakeTempDir();
  WriteFileBytes(dir + "/a.txt", "0123456789");
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0777), 0);
  WriteFileBytes(dir + "/sub/b.bin", PatternBytes(1536));
  WriteFileBytes(dir + "/sub/c.log", "left out");
  // Sparse: a total past 4 GiB without the disk space.
  WriteFileBytes(dir + "/sub/big.iso", "");
  ASSERT_EQ(truncate((dir + "/sub/big.iso").c_str(), 5LL << 30), 0);
  CTransferJob job;
  job.SetSelectMode(2);
  job.AddSelect("*.log");
  const std::atomic<bool> going{false};
  const std::atomic<bool> stopped{true};
  struct Case {
    std::string folder;
    const std::atomic<bool>* stop;
    SizeCount result;
    uint64_t total;
  };
  const Case cases[] = {
      {dir, nullptr, SizeCount::kComplete, 10 + 1536 + (5ULL << 30)},
      {dir + "/sub", &going, SizeCount::kComplete, 1536 + (5ULL << 30)},
      {dir, &stopped, SizeCount::kStopped, 0},
      {dir + "/none", nullptr, SizeCount::kIncomplete, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    uint64_t total = 1;
    EXPECT_EQ(CountSendSize(job, c.folder, c.stop, &total), c.result);
    EXPECT_EQ(total, c.total);
  }
}
