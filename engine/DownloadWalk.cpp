// The download walk: count what will come, then receive file by file. Remote folders are listed
// over fresh connections, one per folder level; the files travel over the job's main connection.
//
// A listing is the server's word, never a path to trust: names with a ".." component, names that
// lead out of the listed folder, and any file whose local path would leave the local folder are
// refused before anything is created, and reported as failed receives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <new>

#include "Messages.h"
#include "TransferJob.h"
#include "Walks.h"
#include "ftp/Internet.h"

namespace {

constexpr uint32_t kBlockSize = 8192;
const char* const kAgent = "Varnook FTP";

const char* TypeWord(uint32_t type) {
  return type == FTP_TRANSFER_TYPE_ASCII ? "ASCII" : "BINARY";
}

CInternetSession OpenWalkSession(const CTransferJob& job) {
  return CInternetSession(kAgent, job.m_sessionContext, job.m_accessType, job.m_proxy,
                          job.m_proxyBypass, job.m_sessionFlags);
}

int ReceiveOneFileCallback(const std::string& path, const FtpListEntry&, void* context) {
  return static_cast<CTransferJob*>(context)->ReceiveOneFile(path);
}

int RejectListedEntry(const std::string& path, void* context) {
  auto* job = static_cast<CTransferJob*>(context);
  if (job->m_progress.cancel == 1) return 0;
  job->Output(LoadMessage(9, {path}), 1);
  job->m_transferFailed = 1;
  return job->m_ignore ? 1 : 0;
}

// What a local file looked like before a receive, so that a failed receive removes only what it
// wrote itself and never an older file it did not touch.
struct LocalSnapshot {
  bool exists = false;
  struct stat st {};
};

LocalSnapshot TakeSnapshot(const std::string& path) {
  LocalSnapshot snap;
  snap.exists = ::lstat(path.c_str(), &snap.st) == 0;
  return snap;
}

bool ChangedSince(const LocalSnapshot& before, const struct stat& now) {
  if (!before.exists) return true;
  const struct stat& was = before.st;
  return was.st_dev != now.st_dev || was.st_ino != now.st_ino || was.st_size != now.st_size ||
         was.st_mtim.tv_sec != now.st_mtim.tv_sec || was.st_mtim.tv_nsec != now.st_mtim.tv_nsec ||
         was.st_ctim.tv_sec != now.st_ctim.tv_sec || was.st_ctim.tv_nsec != now.st_ctim.tv_nsec;
}

// A failed receive must not leave a file that looks complete.
void RemovePartialFile(const std::string& path, const LocalSnapshot& before) {
  struct stat now {};
  if (::lstat(path.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) return;
  if (ChangedSince(before, now)) ::unlink(path.c_str());
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void CollapseSlashes(std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  path = std::move(out);
}

void StripFolderPrefix(std::string& path, const std::string& folder) {
  if (folder.size() > path.size()) return;
  std::string collapsedFolder = folder;
  CollapseSlashes(collapsedFolder);
  CollapseSlashes(path);
  path.erase(0, std::min(collapsedFolder.size(), path.size()));
}

bool HasDotDotComponent(const std::string& name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      if (i - start == 2 && name[start] == '.' && name[start + 1] == '.') return true;
      start = i + 1;
    }
  }
  return false;
}

bool IsRemotePathInside(const std::string& path, const std::string& root) {
  std::string base = root;
  CollapseSlashes(base);
  if (base.empty()) return !path.empty();
  if (base.back() == '/' || base.back() == '\\') {
    return path.size() > base.size() && path.compare(0, base.size(), base) == 0;
  }
  return path.size() > base.size() + 1 && path.compare(0, base.size(), base) == 0 &&
         path[base.size()] == '/';
}

bool IsListedNameSafe(const std::string& name, const std::string& root) {
  if (HasDotDotComponent(name)) return false;
  if (name.empty() || (name[0] != '/' && name[0] != '\\')) return true;
  // A name given as a full path must name something inside the listed folder.
  std::string full = name;
  CollapseSlashes(full);
  return IsRemotePathInside(full, root);
}

int WalkRemoteTree(CTransferJob& job, const std::string& folder, const std::string& mask,
                   void* context, RemoteWalkCallback callback, RemoteRejectCallback reject) {
  std::string collapsed = folder;
  CollapseSlashes(collapsed);

  CInternetSession session = OpenWalkSession(job);
  std::unique_ptr<CFtpConnection> connection = session.GetFtpConnection(
      job.m_server, job.m_user, job.m_password, job.m_port, job.m_passive != 0);
  if (!collapsed.empty() && !connection->SetCurrentDirectory(collapsed)) {
    connection->Close();
    session.Close();
    return 0;
  }

  int result = 1;
  {
    CFtpFileFind find(connection.get());
    const bool listed = find.FindFile(mask, INTERNET_FLAG_RELOAD);
    if (!listed && GetLastError() != ENOENT) {
      // Not an empty folder: the server could not list it (a broken data connection, a reply
      // that cannot be read). The walk goes on as if it were empty, but the run must not end
      // as a success when a folder's files were never seen.
      job.ReportError(GetLastError());
      job.m_transferFailed = 1;
    }
    if (listed) {
      while (find.FindNextFile()) {
        if (find.IsDots()) continue;
        const std::string name = find.GetFileName();
        if (name.empty()) continue;
        const std::string root = find.GetRoot();
        std::string path = root;
        if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += "/";
        path += name;
        // Servers that list entries by their full path give "folder//folder/name".
        if (path.find("//") != std::string::npos) StripFolderPrefix(path, folder);
        CollapseSlashes(path);

        // A path beyond the local limit could never be stored, and bounds how deep a server
        // that lists a folder inside itself can lead the walk.
        if (!IsListedNameSafe(name, root) || path.size() > PATH_MAX) {
          if (reject) result = reject(path, context);
        } else if (find.IsDirectory()) {
          result = WalkRemoteTree(job, path, mask, context, callback, reject);
        } else {
          result = callback(path, find.Entry(), context);
        }
        if (result == 0) break;
      }
    }
    find.Close();
  }
  connection->Close();
  session.Close();
  return result;
}

int CountReceiveCallback(const std::string& path, const FtpListEntry& entry, void* context) {
  auto* job = static_cast<CTransferJob*>(context);
  if (job->IsSelectedForReceive(path)) job->m_bytesToGet += static_cast<int64_t>(entry.size);
  return 1;
}

int CTransferJob::ReceiveFiles() {
  std::string start;
  if (!m_connection || !m_connection->GetCurrentDirectory(start)) start.clear();
  if (!m_single) {
    m_bytesToGet = 0;
    WalkRemoteTree(*this, start, "*", this, CountReceiveCallback);
    m_progress.bytesToTransfer = static_cast<uint64_t>(m_bytesToGet);
    Output(LoadMessage(4, {static_cast<uint64_t>(m_bytesToGet)}), 1);
    WalkRemoteTree(*this, start, "*", this, ReceiveOneFileCallback, RejectListedEntry);
  } else {
    m_bytesToGet = static_cast<int64_t>(RemoteFileSize(m_givenServerPath));
    m_progress.bytesToTransfer = static_cast<uint64_t>(m_bytesToGet);
    ReceiveOneFile(m_givenServerPath);
  }
  return 0;
}

std::string CTransferJob::LocalPathForRemote(const std::string& remotePath) const {
  // The part of the remote path below the remote folder (its first occurrence), so that a
  // relative remote folder still lines up with the full paths the server lists.
  const long long length = static_cast<long long>(remotePath.size());
  const size_t found = remotePath.find(m_remoteFolder);
  const long long at = found == std::string::npos ? -1 : static_cast<long long>(found);
  long long keep = length - static_cast<long long>(m_remoteFolder.size()) - at;
  if (keep < 0) keep = 0;
  if (keep > length) keep = length;
  std::string tail = remotePath.substr(static_cast<size_t>(length - keep));
  CollapseSlashes(tail);
  const size_t first = tail.find_first_not_of('/');
  tail = first == std::string::npos ? std::string() : tail.substr(first);

  const std::string local = m_localFolder + "/" + tail;
  if (tail.empty() || HasDotDotComponent(tail) || !IsLocalPathInside(local, m_localFolder)) {
    return std::string();
  }
  return NormalizeLocalPath(local);
}

int CTransferJob::ReceiveOneFile(const std::string& remotePath) {
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

  const size_t cut = localPath.rfind('/');
  bool ok =
      MakeLocalFolders(cut == std::string::npos ? std::string() : localPath.substr(0, cut)) == 1;
  if (!ok) SetLastError(static_cast<uint32_t>(errno));

  const LocalSnapshot before = TakeSnapshot(localPath);
  const int64_t bytesBefore = m_progress.bytesDone;
  auto fetch = [&](uint32_t fetchType) {
    if (m_progressMode == 1) return ReceiveFileInBlocks(remotePath, localPath, fetchType) != 0;
    if (!m_connection) {
      SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      return false;
    }
    return m_connection->GetFile(remotePath, localPath, false, fetchType);
  };
  if (ok) ok = fetch(type);

  // A binary copy that holds only 7-bit bytes was text after all.
  if (ok && m_transferType == 0 && type == FTP_TRANSFER_TYPE_BINARY &&
      ScanTransferType(localPath) == FTP_TRANSFER_TYPE_ASCII) {
    type = FTP_TRANSFER_TYPE_ASCII;
    Output(LoadMessage(7, {remotePath, TypeWord(type)}), 1);
    if (m_progressMode == 1) m_progress.bytesDone = bytesBefore;
    ok = fetch(type);
  }

  int result;
  if (ok) {
    result = RunTranScripts(remotePath);
    if (m_progressMode == 0) m_progress.bytesDone += static_cast<int64_t>(LocalFileSize(localPath));
  } else {
    const uint32_t error = GetLastError();
    RemovePartialFile(localPath, before);
    ReportError(error);
    Output(LoadMessage(9, {remotePath}), 1);
    m_transferFailed = 1;
    m_progress.bytesDone = bytesBefore;
    result = 0;
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
  if (!buffer) return 0;
  if (!m_connection) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return 0;
  }
  int fd = -1;
  // Once the local file has been created or emptied, any failure removes it again.
  auto dropLocal = [&]() {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(localPath.c_str());
      fd = -1;
    }
  };
  try {
    // The remote file is opened first, so a refused file leaves the local one untouched.
    std::unique_ptr<CInternetFile> remote = m_connection->OpenFile(remotePath, GENERIC_READ, type);
    fd = ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      SetLastError(static_cast<uint32_t>(errno));
      return 0;
    }
    for (;;) {
      const uint32_t n = remote->Read(buffer.get(), kBlockSize);
      if (n == 0) break;
      if (!WriteAll(fd, buffer.get(), n)) {
        const uint32_t error = static_cast<uint32_t>(errno);
        dropLocal();
        SetLastError(error);
        return 0;
      }
      m_progress.bytesDone += n;
      ReportProgress();
    }
    remote->Close();
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
      const uint32_t error = static_cast<uint32_t>(errno);
      ::unlink(localPath.c_str());
      SetLastError(error);
      return 0;
    }
  } catch (const CInternetException& e) {
    dropLocal();
    if (!m_ignore) throw;
    SetLastError(e.m_dwError);
    return 0;
  }
  return 1;
}

uint64_t CTransferJob::RemoteFileSize(const std::string& remotePath) {
  try {
    CInternetSession session = OpenWalkSession(*this);
    std::unique_ptr<CFtpConnection> connection =
        session.GetFtpConnection(m_server, m_user, m_password, m_port, m_passive != 0);
    uint64_t size = 0;
    {
      CFtpFileFind find(connection.get());
      if (find.FindFile(remotePath, INTERNET_FLAG_RELOAD) && find.FindNextFile() &&
          !find.IsDirectory()) {
        size = find.GetLength();
      }
    }
    connection->Close();
    session.Close();
    return size;
  } catch (const CInternetException&) {
    return 0;
  }
}
