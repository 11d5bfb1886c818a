// The upload walk: count what will go, create every remote folder first, then send file by file,
// each with its selection and archive test, transfer type, permission commands and scripts.
// Everything travels over the job's one connection; a dead connection fails each file at once.
#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "FileProgress.h"
#include "trox/Internet.h"
#include "trox/LocalFile.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"
#include "trox/Walks.h"

namespace {

constexpr uint32_t kBlockSize = 8192;

const char* TypeWord(uint32_t type) {
  return type == FTP_TRANSFER_TYPE_ASCII ? "ASCII" : "BINARY";
}

// What the three walks of one upload share: a local folder that cannot be read is met by each of
// them but reported once.
struct UploadWalk {
  CTransferJob* job;
  std::set<std::string> reportedFolders;
};

CTransferJob& JobOf(void* context) {
  return *static_cast<UploadWalk*>(context)->job;
}

int CountCallback(const std::string& path, void* context) {
  return CountSendCallback(path, &JobOf(context));
}

int SendOneFileCallback(const std::string& path, void* context) {
  return JobOf(context).SendOneFile(path);
}

int CreateRemoteFolderCallback(const std::string& path, void* context) {
  return JobOf(context).CreateRemoteFolder(path);
}

// A file or folder that did not go: the thread's last error says why. IGNORE decides whether the
// walk goes on.
int ReportFailedSend(CTransferJob& job, const std::string& localPath) {
  job.ReportError(GetLastError());
  job.Output(LoadMessage(8, {localPath}), 1);
  job.m_transferFailed = 1;
  return job.m_ignore ? 1 : 0;
}

// Everything below such a folder is lost to the upload, so it fails like a file. Every walk stops
// at the same place without IGNORE, so the count, the folders made and the files sent agree.
int UnreadableFolderCallback(const std::string& path, void* context) {
  auto* walk = static_cast<UploadWalk*>(context);
  const int error = errno;
  if (!walk->reportedFolders.insert(path).second) return walk->job->m_ignore ? 1 : 0;
  SetLastError(static_cast<uint32_t>(error));
  SetLastErrorDetail(path);
  return ReportFailedSend(*walk->job, path);
}

// The local folder (or in SINGLE mode the file) must be there to be read, or the upload has
// nothing to stand on.
bool LocalSourceReadable(CTransferJob& job) {
  const std::string& source = job.m_single ? job.m_givenLocalPath : job.m_localFolder;
  const int readable = job.m_single ? CanReadLocalFile(source) : CanListLocalFolder(source);
  if (readable) return true;
  SetLastError(static_cast<uint32_t>(errno));
  SetLastErrorDetail(source);
  ReportFailedSend(job, source);
  return false;
}

}  // namespace

int CountSendCallback(const std::string& path, void* context) {
  auto* job = static_cast<CTransferJob*>(context);
  if (job->IsSelectedForSend(path)) job->m_bytesToSend += static_cast<int64_t>(LocalFileSize(path));
  return 1;
}

namespace {

// The context of a size count of a local tree.
struct SendCount {
  CTransferJob* job;
  const std::atomic<bool>* stop;
  bool stopped = false;
  bool unreadable = false;
};

int CountSendStep(const std::string& path, void* context) {
  auto* count = static_cast<SendCount*>(context);
  if (count->stop && *count->stop) {
    count->stopped = true;
    return 0;
  }
  return CountSendCallback(path, count->job);
}

int CountUnreadableFolder(const std::string&, void* context) {
  static_cast<SendCount*>(context)->unreadable = true;
  return 1;
}

}  // namespace

SizeCount CountSendSize(CTransferJob job, const std::string& folder, const std::atomic<bool>* stop,
                        uint64_t* total) {
  job.m_outputMode = 0;
  job.m_bytesToSend = 0;
  SendCount count{&job, stop};
  if (CanListLocalFolder(folder))
    WalkLocalFiles(folder, "*.*", &count, CountSendStep, CountUnreadableFolder);
  else
    count.unreadable = true;
  *total = static_cast<uint64_t>(job.m_bytesToSend);
  if (count.stopped || (stop && *stop)) return SizeCount::kStopped;
  return count.unreadable ? SizeCount::kIncomplete : SizeCount::kComplete;
}

int CTransferJob::SendFiles() {
  if (!LocalSourceReadable(*this)) return 0;
  UploadWalk walk{this, {}};
  if (!m_single) {
    m_bytesToSend = 0;
    WalkLocalFiles(m_localFolder, m_fileMask, &walk, CountCallback, UnreadableFolderCallback);
    m_progress.bytesToTransfer = static_cast<uint64_t>(m_bytesToSend);
    Output(LoadMessage(4, {static_cast<uint64_t>(m_bytesToSend)}), 1);
  }
  // Every remote folder exists before the first file goes, empty ones included. In SINGLE mode
  // the local folder is the file itself, which lists nothing.
  WalkLocalFolders(m_localFolder, "*.*", &walk, CreateRemoteFolderCallback,
                   UnreadableFolderCallback);
  if (!m_single) {
    WalkLocalFiles(m_localFolder, m_fileMask, &walk, SendOneFileCallback, UnreadableFolderCallback);
  } else {
    m_progress.bytesToTransfer = LocalFileSize(m_givenLocalPath);
    SendOneFile(m_givenLocalPath);
  }
  return 0;
}

int CTransferJob::SendOneFile(const std::string& localPath) {
  if (m_progress.cancel == 1) return 0;
  if (IsSelectedForSend(localPath) == 0) return 1;

  const uint32_t type = ScanTransferType(localPath);
  Output(LoadMessage(5, {localPath, TypeWord(type)}), 1);
  m_progress.currentFile = localPath;
  if (!EnsureConnection()) {
    Output(LoadMessage(8, {localPath}), 1);
    m_transferFailed = 1;
    return m_ignore ? 1 : 0;
  }
  const std::string remoteName = m_single ? m_givenServerPath : PathBelow(localPath, m_localFolder);

  // The file's time before the send is what gets marked as sent, so a change made while it was
  // travelling keeps the archive attribute set.
  int64_t mtimeBefore = 0;
  const bool haveMtime = LocalModificationTime(localPath, &mtimeBefore);
  const int64_t bytesBefore = m_progress.bytesDone;

  bool ok;
  if (m_progressMode == 1) {
    ok = SendFileInBlocks(localPath, remoteName, type) != 0;
  } else if (m_connection) {
    const CFileProgressScope fileProgress(*this, m_connection.get(), bytesBefore);
    ok = m_connection->PutFile(localPath, remoteName, type);
  } else {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    ok = false;
  }

  int result;
  if (ok) {
    if (m_archive && haveMtime) ClearArchiveBit(localPath, mtimeBefore);
    result = ApplyPermissions(remoteName);
    if (result != 0) result = RunTranScripts(remoteName);
    if (m_progressMode == 0) {
      m_progress.bytesDone = bytesBefore + static_cast<int64_t>(LocalFileSize(localPath));
      ReportProgress();
    }
  } else {
    ReportError(GetLastError());
    Output(LoadMessage(8, {localPath}), 1);
    m_transferFailed = 1;
    m_progress.bytesDone = bytesBefore;
    result = 0;
  }
  return m_ignore ? 1 : result;
}

int CTransferJob::IsSelectedForSend(const std::string& localPath) {
  int value = m_selectMode == 1 ? 0 : 1;
  for (const tagTROX_SEL& entry : m_selectList) {
    if (ExtensionRuleMatches(localPath, entry.extension)) value = m_selectMode == 2 ? 0 : 1;
  }
  if (m_archive && ReadArchiveState(localPath) == ArchiveState::Clear) value = 0;
  return value;
}

void CTransferJob::ClearArchiveAttribute(const std::string& localPath) {
  int64_t mtime = 0;
  if (m_archive && LocalModificationTime(localPath, &mtime)) ClearArchiveBit(localPath, mtime);
}

int CTransferJob::CreateRemoteFolder(const std::string& localFolderPath) {
  const std::string remoteName = PathBelow(localFolderPath, m_localFolder);
  OutputVerbose(LoadMessage(10, {remoteName}), 1);
  bool ok = false;
  if (m_connection) {
    ok = m_connection->CreateDirectory(remoteName);
  } else {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  // A server's refusal is what an existing folder gives, so only other failures are shown; a
  // folder that really is missing makes its files fail one by one.
  const uint32_t error = ok ? 0 : GetLastError();
  if (!ok && m_verbose && error != ERROR_INTERNET_EXTENDED_ERROR) {
    Output(LoadMessage(11, {std::to_string(error)}), 1);
  }
  return 1;
}

int CTransferJob::SendFileInBlocks(const std::string& localPath, const std::string& remoteName,
                                   uint32_t type) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
  if (!buffer) {
    SetLastError(ENOMEM);
    return 0;
  }
  // The local file is opened first so that a file that cannot be read leaves no empty remote
  // twin behind.
  CLocalFile local = CLocalFile::Open(localPath, O_RDONLY);
  if (!local.IsOpen()) {
    SetLastError(static_cast<uint32_t>(errno));
    return 0;
  }
  if (!m_connection) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return 0;
  }
  try {
    std::unique_ptr<CInternetFile> remote = m_connection->OpenFile(remoteName, GENERIC_WRITE, type);
    for (;;) {
      const ssize_t n = local.Read(buffer.get(), kBlockSize);
      if (n < 0) {
        // The remote copy is incomplete; dropping it unclosed aborts the transfer.
        SetLastError(static_cast<uint32_t>(errno));
        return 0;
      }
      if (n == 0) break;
      remote->Write(buffer.get(), static_cast<uint32_t>(n));
      m_progress.bytesDone += n;
      ReportProgress();
    }
    remote->Close();
  } catch (const CInternetException& e) {
    if (!m_ignore) throw;
    SetLastErrorFrom(e);
    return 0;
  }
  return 1;
}
