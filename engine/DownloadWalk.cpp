// The download walk: list the remote tree once, count what will come, then receive file by file
// over the job's main connection.
//
// The tree is listed over one connection of the walk's own, folder by folder, each listing read
// whole before any subfolder is entered: a server that allows two sessions per address serves a
// tree of any depth. What the listing found is kept (compactly: a folder's path once, then names
// and sizes), so that no folder is listed twice and one that failed is reported once.
//
// A listing is the server's word, never a path to trust: names with a "/" or a ".." component
// are refused before anything is created and reported as failed receives, and every local path
// is the remote path below the folder the walk started in, checked to stay inside the local
// folder.
//
// A file is received under a temporary name and takes its final name only when complete, so a
// failed or interrupted receive leaves an older copy as it was and no truncated one.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "FileProgress.h"
#include "trox/Internet.h"
#include "trox/LocalFile.h"
#include "trox/Messages.h"
#include "trox/PartialFile.h"
#include "trox/TransferJob.h"
#include "trox/Walks.h"

namespace {

constexpr uint32_t kBlockSize = 8192;
const char* const kAgent = "Varnook FTP";

const char* TypeWord(uint32_t type) {
  return type == FTP_TRANSFER_TYPE_ASCII ? "ASCII" : "BINARY";
}

// Some servers list entries by their full path: "/pub/a.txt" in the listing of /pub is "a.txt".
// The folder is known by the path the server reports (root) and by the path that led here.
std::string NameInFolder(const std::string& listed, const std::string& root,
                         const std::string& folder) {
  for (const std::string* base : {&root, &folder}) {
    if (base->empty()) continue;
    const std::string prefix = FolderPrefix(*base);
    if (StartsBelow(listed, prefix)) return listed.substr(prefix.size());
  }
  return listed;
}

// A name that is one entry of its folder and nothing else.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         !HasDotDotComponent(name);
}

// The files a walk found, in walk order. A tree may hold very many files, so they are kept
// compactly: the folder part of the paths once for each run of files in it, then per file its
// name and listed size. A record is a tag ('D' folder, 'F' file), the size, the text's length
// and the text; records go into blocks of a fixed size, so that the list grows without copying
// or leaving large freed blocks behind.
class RemoteFileList {
 public:
  void Add(const std::string& path, uint64_t size) {
    const size_t slash = path.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view folder(path.data(), nameAt);
    if (!m_haveFolder || folder != m_folder) {
      Put('D', folder, 0);
      m_folder.assign(folder);
      m_haveFolder = true;
    }
    Put('F', std::string_view(path).substr(nameAt), size);
  }

  // fn(path, size) returns false to stop.
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    std::string folder;
    for (const std::string& block : m_blocks) {
      size_t pos = 0;
      while (pos < block.size()) {
        uint64_t size = 0;
        uint32_t length = 0;
        std::memcpy(&size, block.data() + pos + 1, sizeof size);
        std::memcpy(&length, block.data() + pos + 1 + sizeof size, sizeof length);
        const std::string_view text(block.data() + pos + kHeader, length);
        const char tag = block[pos];
        pos += kHeader + length;
        if (tag == 'D') {
          folder.assign(text);
        } else if (!fn(folder + std::string(text), size)) {
          return;
        }
      }
    }
  }

 private:
  static constexpr size_t kHeader = 1 + sizeof(uint64_t) + sizeof(uint32_t);
  static constexpr size_t kBlock = 16 * 1024;

  void Put(char tag, std::string_view text, uint64_t size) {
    const size_t need = kHeader + text.size();
    if (m_blocks.empty() || m_blocks.back().size() + need > m_blocks.back().capacity()) {
      m_blocks.emplace_back();
      m_blocks.back().reserve(std::max(kBlock, need));
    }
    const auto length = static_cast<uint32_t>(text.size());
    std::string& block = m_blocks.back();
    block += tag;
    block.append(reinterpret_cast<const char*>(&size), sizeof size);
    block.append(reinterpret_cast<const char*>(&length), sizeof length);
    block.append(text);
  }

  std::vector<std::string> m_blocks;
  std::string m_folder;
  bool m_haveFolder = false;
};

// The context of the listing pass of ReceiveFiles.
struct ListedFiles {
  CTransferJob* job;
  RemoteFileList files;
};

int CollectFileCallback(const std::string& path, const FtpListEntry& entry, void* context) {
  auto* listed = static_cast<ListedFiles*>(context);
  if (listed->job->IsSelectedForReceive(path) == 0) return 1;
  // A link's listed size is the length of the path it points to.
  const uint64_t size = entry.isLink ? 0 : entry.size;
  listed->files.Add(path, size);
  listed->job->m_bytesToGet += static_cast<int64_t>(size);
  return 1;
}

int RejectListedEntry(const std::string& path, void* context) {
  CTransferJob* job = static_cast<ListedFiles*>(context)->job;
  if (job->m_progress.cancel == 1) return 0;
  job->Output(LoadMessage(9, {path}), 1);
  job->m_transferFailed = 1;
  return job->m_ignore ? 1 : 0;
}

// The thread's last error as a failed receive of remotePath.
int FailReceive(CTransferJob& job, const std::string& remotePath) {
  job.ReportError(GetLastError());
  job.Output(LoadMessage(9, {remotePath}), 1);
  job.m_transferFailed = 1;
  return job.m_ignore ? 1 : 0;
}

// The size that a listing of the one file gives, if it gives one for a plain file.
std::optional<uint64_t> ListedSize(CFtpConnection* connection, const std::string& remotePath) {
  if (!connection) return std::nullopt;
  CFtpFileFind find(connection);
  if (!find.FindFile(remotePath, INTERNET_FLAG_RELOAD)) return std::nullopt;
  const std::string base = NameOf(remotePath);
  // A path that names a folder lists the folder's entries: only the file itself counts.
  while (find.FindNextFile()) {
    const FtpListEntry& entry = find.Entry();
    if (entry.name != base && entry.name != remotePath) continue;
    if (entry.isDirectory || entry.isLink || entry.isSpecial) return std::nullopt;
    return entry.size;
  }
  return std::nullopt;
}

// Where a file is received: a partial file that takes the final name when complete (and goes
// when it does not), or, for a device or FIFO named as the local file, that file itself.
class ReceiveTarget {
 public:
  explicit ReceiveTarget(const std::string& finalPath) : m_final(finalPath) {
    struct stat st {};
    const bool exists = ::stat(finalPath.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      if (S_ISDIR(st.st_mode)) {
        SetLastError(EISDIR);
        SetLastErrorDetail(finalPath);
      } else {
        m_path = finalPath;
      }
      return;
    }
    m_partial = CreatePartialFile(finalPath, exists ? static_cast<int>(st.st_mode & 07777) : -1);
    m_path = m_partial;
    if (m_partial.empty()) {
      SetLastError(static_cast<uint32_t>(errno));
      SetLastErrorDetail(finalPath);
    }
  }
  ~ReceiveTarget() {
    if (!m_partial.empty()) DiscardPartialFile(m_partial);
  }
  ReceiveTarget(const ReceiveTarget&) = delete;
  ReceiveTarget& operator=(const ReceiveTarget&) = delete;

  bool Ready() const { return !m_path.empty(); }
  // Where the data goes.
  const std::string& Path() const { return m_path; }
  bool IsPartialFile() const { return !m_partial.empty(); }

  bool Commit() {
    if (m_partial.empty()) return true;
    if (!CommitPartialFile(m_partial, m_final)) {
      SetLastError(static_cast<uint32_t>(errno));
      SetLastErrorDetail(m_final);
      return false;
    }
    m_partial.clear();
    return true;
  }

 private:
  std::string m_final;
  std::string m_partial;
  std::string m_path;
};

std::string ByteCount(uint64_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// The size of a received file; false (and the last error set) when it cannot be read.
bool ReceivedSize(const std::string& localPath, uint64_t* size) {
  struct stat st {};
  if (::stat(localPath.c_str(), &st) != 0) {
    SetLastError(static_cast<uint32_t>(errno));
    SetLastErrorDetail(localPath);
    return false;
  }
  *size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  return true;
}

// A binary copy must hold exactly the bytes that the listing gave as the file's size. The
// listing may be older than the transfer (a file that grows): a fresh listing of the file that
// agrees with the copy is as good.
bool MatchesListedSize(CTransferJob& job, uint64_t received, const std::string& remotePath,
                       uint64_t listedSize) {
  if (received == listedSize) return true;
  if (ListedSize(job.m_connection.get(), remotePath) == received) return true;
  // The transfer's own replies were fine, so none of them is the reason.
  SetLastErrorFrom(CInternetException(
      ERROR_INTERNET_CONNECTION_ABORTED,
      received < listedSize ? "the data ended after " + std::to_string(received) + " of the " +
                                  ByteCount(listedSize) + " listed"
                            : "the server sent " + ByteCount(received) + ", more than the " +
                                  ByteCount(listedSize) + " listed"));
  return false;
}

// One walk of a remote tree over one connection, opened when first needed and opened again after
// a folder failed in a way that leaves the connection in doubt.
class RemoteTreeWalker {
 public:
  RemoteTreeWalker(CTransferJob& job, const std::string& mask, void* context,
                   RemoteWalkCallback callback, RemoteRejectCallback reject,
                   const std::atomic<bool>* stop = nullptr)
      : m_job(job),
        m_session(kAgent, job.m_sessionContext, job.m_accessType, job.m_proxy, job.m_proxyBypass,
                  job.m_sessionFlags),
        m_mask(mask),
        m_context(context),
        m_callback(callback),
        m_reject(reject),
        m_stop(stop) {}

  int Walk(const std::string& start) {
    const int result = Folder(start, nullptr, true);
    if (m_connection) m_connection->Close();
    m_session.Close();
    return result;
  }

 private:
  CFtpConnection& Connection() {
    if (!m_connection) {
      m_connection = m_session.GetFtpConnection(
          m_job.m_server, m_job.m_user, m_job.m_password, m_job.m_port, m_job.m_passive != 0,
          {static_cast<int>(m_job.m_security), m_job.m_certSha256});
    }
    return *m_connection;
  }

  // path "" is the connection's log-in folder. link: the listing entry when path is a link.
  int Folder(const std::string& path, const FtpListEntry* link, bool start) {
    if (m_job.m_progress.cancel == 1 || (m_stop && *m_stop)) return 0;
    CFtpConnection& connection = Connection();
    if (!path.empty() && !connection.SetCurrentDirectory(path)) {
      // A link the server refuses to enter is taken as a file; its receive tells the rest.
      if (link && GetLastError() == ERROR_INTERNET_EXTENDED_ERROR)
        return m_callback(path, *link, m_context);
      return Failed(path, start);
    }

    // The listing is in memory once FindFile returns: the subfolders below use the connection
    // while this folder's entries are gone through.
    CFtpFileFind find(&connection);
    const bool listed = find.FindFile(m_mask, INTERNET_FLAG_RELOAD);
    const uint32_t error = GetLastError();
    const std::string detail = GetLastErrorDetail();
    const std::string root = RemoteFolderForm(find.GetRoot());
    const std::string here = path.empty() ? root : path;
    // A folder reached again (through a link) is passed over: link loops end here.
    if ((listed || error == ENOENT) && !m_walked.insert(root).second) {
      m_job.OutputVerbose("Skipping " + here + " (walked already as " + root + ")", 1);
      return 1;
    }
    if (m_job.m_verbose == 1) {
      for (const std::string& line : find.UnparsedLines())
        m_job.Output("Cannot read this line of the listing of " + here + ": " + line, 1);
    }
    // An empty folder lists nothing, which is no failure; anything else that stops a listing (a
    // refusal, a broken data connection, a listing that cannot be read) is.
    if (!listed && error != ENOENT) {
      SetLastError(error);
      SetLastErrorDetail(detail);
      return Failed(here, start);
    }
    while (find.FindNextFile()) {
      if (Entry(here, root, find.Entry()) == 0) return 0;
    }
    return 1;
  }

  int Entry(const std::string& folder, const std::string& root, const FtpListEntry& entry) {
    if (entry.name.empty() || entry.name == "." || entry.name == "..") return 1;
    const std::string name = NameInFolder(entry.name, root, folder);
    const std::string path = JoinPath(folder, name);
    // A path beyond the local limit could never be stored, and bounds how deep a server that
    // reports a link's path rather than its target's leads the walk.
    if (!IsPlainName(name) || path.size() > PATH_MAX)
      return m_reject ? m_reject(path, m_context) : 1;
    if (entry.isSpecial) {
      m_job.OutputVerbose("Skipping " + path + " (not a regular file)", 1);
      return 1;
    }
    if (entry.isDirectory) return Folder(path, nullptr, false);
    if (entry.isLink) return Folder(path, &entry, false);
    return m_callback(path, entry, m_context);
  }

  // Reports the thread's last error as the folder's failure.
  int Failed(const std::string& path, bool start) {
    const uint32_t error = GetLastError();
    m_job.ReportError(error);
    m_job.Output(LoadMessage(9, {path}), 1);
    m_job.m_transferFailed = 1;
    // A connection that timed out or was dropped serves no more folders: the next gets a fresh
    // one. After a refusal it is as good as before.
    if (m_connection && !m_connection->IsAlive()) m_connection.reset();
    return start || m_job.m_ignore == 0 ? 0 : 1;
  }

  CTransferJob& m_job;
  CInternetSession m_session;
  std::unique_ptr<CFtpConnection> m_connection;
  std::string m_mask;
  void* m_context;
  RemoteWalkCallback m_callback;
  RemoteRejectCallback m_reject;
  // Every folder walked, as the server reported it after entering it.
  std::set<std::string> m_walked;
  // Set from another thread when a size count is no longer wanted.
  const std::atomic<bool>* m_stop;
};

// The context of a size count of a remote tree.
struct ReceiveCount {
  CTransferJob* job;
  const std::atomic<bool>* stop;
  uint64_t total = 0;
};

int CountReceiveCallback(const std::string& path, const FtpListEntry& entry, void* context) {
  auto* count = static_cast<ReceiveCount*>(context);
  if (count->stop && *count->stop) return 0;
  // A link's listed size is the length of the path it points to.
  if (count->job->IsSelectedForReceive(path) != 0 && !entry.isLink) count->total += entry.size;
  return 1;
}

// A count works on its own copy of the job and reports nothing: its failures only make the total
// incomplete.
void QuietCopy(CTransferJob& job) {
  job.m_outputMode = 0;
  job.m_progressCallback = nullptr;
  job.ResetProgress();
  job.m_transferFailed = 0;
}

SizeCount CountEnded(const std::atomic<bool>* stop, bool complete) {
  if (stop && *stop) return SizeCount::kStopped;
  return complete ? SizeCount::kComplete : SizeCount::kIncomplete;
}

}  // namespace

int WalkRemoteTree(CTransferJob& job, const std::string& folder, const std::string& mask,
                   void* context, RemoteWalkCallback callback, RemoteRejectCallback reject) {
  RemoteTreeWalker walker(job, mask, context, callback, reject);
  return walker.Walk(folder.empty() ? folder : RemoteFolderForm(folder));
}

SizeCount CountReceiveSize(CTransferJob job, const std::string& folder,
                           const std::atomic<bool>* stop, uint64_t* total) {
  QuietCopy(job);
  ReceiveCount count{&job, stop};
  bool complete = false;
  try {
    RemoteTreeWalker walker(job, "*", &count, CountReceiveCallback, nullptr, stop);
    complete = walker.Walk(folder.empty() ? folder : RemoteFolderForm(folder)) == 1 &&
               job.m_transferFailed == 0;
  } catch (const CInternetException&) {
    // No log-in: the total stays what was counted before, 0 when the first one failed.
  }
  *total = count.total;
  return CountEnded(stop, complete);
}

SizeCount CountRemoteFileSize(CTransferJob job, const std::string& path,
                              const std::atomic<bool>* stop, uint64_t* total) {
  QuietCopy(job);
  *total = 0;
  if ((stop && *stop) || job.IsSelectedForReceive(path) == 0) return CountEnded(stop, true);
  try {
    CInternetSession session(kAgent, job.m_sessionContext, job.m_accessType, job.m_proxy,
                             job.m_proxyBypass, job.m_sessionFlags);
    std::unique_ptr<CFtpConnection> connection = session.GetFtpConnection(
        job.m_server, job.m_user, job.m_password, job.m_port, job.m_passive != 0,
        {static_cast<int>(job.m_security), job.m_certSha256});
    *total = ListedSize(connection.get(), path).value_or(0);
    connection->Close();
    session.Close();
  } catch (const CInternetException&) {
    return CountEnded(stop, false);
  }
  return CountEnded(stop, true);
}

int CTransferJob::ReceiveFiles() {
  if (m_single) {
    m_bytesToGet = static_cast<int64_t>(RemoteFileSize(m_givenServerPath));
    m_progress.bytesToTransfer = static_cast<uint64_t>(m_bytesToGet);
    ReceiveOneFile(m_givenServerPath, static_cast<uint64_t>(m_bytesToGet));
    return 0;
  }

  // Local paths are the remote ones below the folder the server says it entered, so that a
  // relative remote folder, or one with ".." in it, maps the same as its plain full path.
  std::string start;
  if (!m_connection) SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (!m_connection || !m_connection->GetCurrentDirectory(start)) {
    FailReceive(*this, m_remoteFolder.empty() ? "." : m_remoteFolder);
    return 0;
  }
  m_receiveRoot = RemoteFolderForm(start);
  m_bytesToGet = 0;
  ListedFiles listed{this, {}};
  if (WalkRemoteTree(*this, m_receiveRoot, "*", &listed, CollectFileCallback, RejectListedEntry) ==
      0)
    return 0;
  m_progress.bytesToTransfer = static_cast<uint64_t>(m_bytesToGet);
  Output(LoadMessage(4, {static_cast<uint64_t>(m_bytesToGet)}), 1);
  listed.files.ForEach(
      [this](const std::string& path, uint64_t size) { return ReceiveOneFile(path, size) != 0; });
  return 0;
}

std::string CTransferJob::LocalPathForRemote(const std::string& remotePath) const {
  const std::string root =
      WithoutTrailingSlashes(m_receiveRoot.empty() ? m_remoteFolder : m_receiveRoot);
  std::string tail = remotePath;
  if (!root.empty()) {
    const std::string prefix = FolderPrefix(root);
    if (remotePath.compare(0, prefix.size(), prefix) != 0) return std::string();
    tail = remotePath.substr(prefix.size());
  }
  CollapseSlashes(tail);
  const size_t first = tail.find_first_not_of('/');
  tail = first == std::string::npos ? std::string() : tail.substr(first);

  const std::string local = JoinPath(m_localFolder, tail);
  if (tail.empty() || HasDotDotComponent(tail) || !IsLocalPathInside(local, m_localFolder)) {
    return std::string();
  }
  return NormalizeLocalPath(local);
}

int CTransferJob::ReceiveOneFile(const std::string& remotePath) {
  return ReceiveOneFile(remotePath, 0);
}

int CTransferJob::ReceiveOneFile(const std::string& remotePath, uint64_t listedSize) {
  if (m_progress.cancel == 1) return 0;
  if (IsSelectedForReceive(remotePath) == 0) return 1;

  uint32_t type = TransferTypeByExtension(remotePath);
  Output(LoadMessage(6, {remotePath, TypeWord(type)}), 1);
  m_progress.currentFile = remotePath;
  if (!EnsureConnection()) {
    Output(LoadMessage(9, {remotePath}), 1);
    m_transferFailed = 1;
    return m_ignore ? 1 : 0;
  }

  // The given local path of SINGLE mode is the user's own; a listed name is checked.
  const std::string localPath = m_single ? m_givenLocalPath : LocalPathForRemote(remotePath);
  if (localPath.empty()) {
    Output(LoadMessage(9, {remotePath}), 1);
    m_transferFailed = 1;
    return m_ignore ? 1 : 0;
  }

  const std::string localFolder = FolderOf(localPath);
  bool ok = MakeLocalFolders(localFolder) == 1;
  if (!ok) {
    SetLastError(static_cast<uint32_t>(errno));
    SetLastErrorDetail(localFolder);
  }
  std::optional<ReceiveTarget> target;
  if (ok) {
    target.emplace(localPath);
    ok = target->Ready();
  }

  const int64_t bytesBefore = m_progress.bytesDone;
  uint64_t received = 0;
  auto fetch = [&](uint32_t fetchType) {
    bool fetched;
    if (m_progressMode == 1) {
      fetched = ReceiveFileInBlocks(remotePath, target->Path(), fetchType) != 0;
    } else if (!m_connection) {
      SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      fetched = false;
    } else {
      const CFileProgressScope fileProgress(*this, m_connection.get(), bytesBefore);
      fetched = m_connection->GetFile(remotePath, target->Path(), false, fetchType);
    }
    return fetched && ReceivedSize(target->Path(), &received);
  };
  if (ok) ok = fetch(type);
  // Line ends change the size of text; only a binary copy can be held to the listing.
  if (ok && type == FTP_TRANSFER_TYPE_BINARY && listedSize > 0 && target->IsPartialFile())
    ok = MatchesListedSize(*this, received, remotePath, listedSize);

  // A binary copy that holds only 7-bit bytes was text after all.
  if (ok && m_transferType == 0 && type == FTP_TRANSFER_TYPE_BINARY &&
      ScanTransferType(target->Path()) == FTP_TRANSFER_TYPE_ASCII) {
    type = FTP_TRANSFER_TYPE_ASCII;
    Output(LoadMessage(7, {remotePath, TypeWord(type)}), 1);
    if (m_progressMode == 1) m_progress.bytesDone = bytesBefore;
    ok = fetch(type);
  }
  if (ok) ok = target->Commit();

  int result;
  if (ok) {
    result = RunTranScripts(remotePath);
    if (m_progressMode == 0) {
      m_progress.bytesDone = bytesBefore + static_cast<int64_t>(received);
      ReportProgress();
    }
  } else {
    target.reset();
    m_progress.bytesDone = bytesBefore;
    result = FailReceive(*this, remotePath);
  }
  return m_ignore ? 1 : result;
}

int CTransferJob::IsSelectedForReceive(const std::string& remotePath) {
  int value = m_selectMode == 1 ? 0 : 1;
  for (const tagTROX_SEL& entry : m_selectList) {
    if (ExtensionRuleMatches(remotePath, entry.extension)) value = m_selectMode == 2 ? 0 : 1;
  }
  return value;
}

int CTransferJob::ReceiveFileInBlocks(const std::string& remotePath, const std::string& localPath,
                                      uint32_t type) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
  if (!buffer) {
    SetLastError(ENOMEM);
    return 0;
  }
  if (!m_connection) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return 0;
  }
  // Once the local file has been made or emptied, any failure removes it again.
  auto localFailed = [&](CReceivedFile& local) {
    const uint32_t error = static_cast<uint32_t>(errno);
    local.Discard();
    SetLastError(error);
    SetLastErrorDetail(localPath);
    return 0;
  };
  try {
    // The remote file is opened first, so a refused file leaves the local one untouched.
    std::unique_ptr<CInternetFile> remote = m_connection->OpenFile(remotePath, GENERIC_READ, type);
    CReceivedFile local(localPath);
    if (!local.Open()) return localFailed(local);
    for (;;) {
      const uint32_t n = remote->Read(buffer.get(), kBlockSize);
      if (n == 0) break;
      if (!local.File().WriteAll(buffer.get(), n)) return localFailed(local);
      m_progress.bytesDone += n;
      ReportProgress();
    }
    remote->Close();
    if (!local.Keep()) return localFailed(local);
  } catch (const CInternetException& e) {
    if (!m_ignore) throw;
    SetLastErrorFrom(e);
    return 0;
  }
  return 1;
}

uint64_t CTransferJob::RemoteFileSize(const std::string& remotePath) {
  // The main connection lists the file: no session of its own is needed for one listing.
  return ListedSize(m_connection.get(), remotePath).value_or(0);
}
