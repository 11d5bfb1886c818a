// One run of a job: session, optional upgrade check, log-in, remote folder, connect scripts, the
// walk, disconnect scripts, and everything closed again.
//
// Failures of single steps are reported as text and the run goes on; each of them marks the run
// as failed, so that the host never shows success for a run that lost files. Only a remote folder
// that cannot be entered ends the run early, since files would go to or come from the wrong place.
// Connection and log-in failures are exceptions for the host to catch; the session and connection
// are released before such an exception leaves.

#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/PathRules.h"
#include "trox/TransferJob.h"
#include "trox/UpgradeCheck.h"

namespace {

// What Run returns when the run went through but something in it failed.
constexpr int kRunHadFailures = 5;

// The log-in reply, shown in verbose mode.
void ReportLogInReply(CTransferJob& job) {
  std::string reply;
  if (ReadLastResponse(nullptr, &reply)) job.OutputVerbose(reply, 1);
}

// As mkdir -p: the folder, and when that fails its parent first, up to the deepest one that
// exists. Paths are used as given, so a relative one stays relative to the log-in folder. True
// when the last attempt on folder itself succeeded.
bool CreateRemoteFolders(CFtpConnection& connection, const std::string& folder) {
  if (connection.CreateDirectory(folder)) return true;
  const std::string parent = WithoutTrailingSlashes(FolderOf(folder));
  if (parent == "/" || parent.empty()) return false;
  if (!CreateRemoteFolders(connection, parent)) return false;
  return connection.CreateDirectory(folder);
}

// Makes the remote folder the server's current folder. A download only enters it: it never
// writes to the server. An upload creates what is missing first. False (reported with the reply
// to entering it) when the folder cannot be entered: then nothing may be transferred, or it would
// land in whatever folder the log-in left.
bool EnterOrCreateRemoteFolder(CTransferJob& job) {
  if (job.m_single) {
    // The server path names one file: work in the folder that holds it.
    const size_t slash = job.m_remoteFolder.rfind('/');
    if (slash != std::string::npos) job.m_remoteFolder.erase(slash);
    return true;
  }
  const std::string& folder = job.m_remoteFolder;
  CFtpConnection& connection = *job.m_connection;
  if (folder.empty() || connection.SetCurrentDirectory(folder)) return true;
  int message = 12;
  if (!job.m_get) {
    if (!CreateRemoteFolders(connection, WithoutTrailingSlashes(folder))) message = 13;
    if (connection.SetCurrentDirectory(folder)) return true;
  }
  const uint32_t error = GetLastError();
  job.Output(LoadMessage(message, {folder}), 1);
  job.ReportError(error);
  job.m_transferFailed = 1;
  return false;
}

}  // namespace

int CTransferJob::Run() {
  m_progress.bytesToTransfer = 0;
  m_progress.bytesDone = 0;
  m_progress.cancel = 0;
  m_transferFailed = 0;
  m_reconnects = 0;

  // Connections closed during the run (one per listed folder) are reused for later ones to the
  // same account; the last of them is closed when the run ends.
  CFtpConnectionPoolScope connectionPool;
  int result = 0;
  try {
    m_session = std::make_unique<CInternetSession>("Varnook FTP", m_sessionContext, m_accessType,
                                                   m_proxy, m_proxyBypass, m_sessionFlags);
    if (m_upgrade) RunUpgradeCheck(*this);

    if (!m_server.empty()) {
      Output(LoadMessage(3, {m_server}), 1);
      m_connection =
          m_session->GetFtpConnection(m_server, m_user, m_password, m_port, m_passive != 0,
                                      {static_cast<int>(m_security), m_certSha256});

      ReportLogInReply(*this);
      // Scripts act in the remote folder too, so none runs when it could not be entered.
      if (EnterOrCreateRemoteFolder(*this)) {
        int connScripts = RunConnScripts();
        if (connScripts != 1) m_transferFailed = 1;
        if (connScripts == 1 || m_ignore) result = m_get ? ReceiveFiles() : SendFiles();
        if (RunDiscScripts() != 1) m_transferFailed = 1;
      }

      m_connection->Close();
      m_connection.reset();
    }

    m_session->Close();
    m_session.reset();
  } catch (...) {
    m_connection.reset();
    m_session.reset();
    throw;
  }

  if (m_transferFailed) return kRunHadFailures;
  return result;
}
