// One run of a job: session, optional upgrade check, log-in, remote folder, connect scripts, the
// walk, disconnect scripts, and everything closed again.
//
// Failures of single steps are reported as text and the run goes on; each of them marks the run
// as failed, so that the host never shows success for a run that lost files. Connection and
// log-in failures are exceptions for the host to catch; the session and connection are released
// before such an exception leaves.
#include <algorithm>

#include "Messages.h"
#include "TransferJob.h"
#include "ftp/Internet.h"

namespace {

// What Run returns when the run went through but something in it failed.
constexpr int kRunHadFailures = 5;

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
    if (m_upgrade) CheckUpgrade();

    if (!m_server.empty()) {
      Output(LoadMessage(3, {m_server}), 1);
      m_connection =
          m_session->GetFtpConnection(m_server, m_user, m_password, m_port, m_passive != 0);

      // The log-in reply: first learn its length, then read it whole.
      uint32_t replyNumber = 0;
      char probe[1];
      uint32_t length = 0;
      InternetGetLastResponseInfo(&replyNumber, probe, &length);
      std::string reply(length + 1, '\0');
      uint32_t capacity = length + 1;
      if (InternetGetLastResponseInfo(&replyNumber, reply.data(), &capacity)) {
        reply.resize(std::min<size_t>(capacity, length));
        OutputVerbose(reply, 1);
      }

      if (m_single) {
        // The server path names one file: work in the folder that holds it.
        size_t slash = m_remoteFolder.rfind('/');
        if (slash != std::string::npos) m_remoteFolder.erase(slash);
      } else if (!m_remoteFolder.empty()) {
        if (!m_connection->SetCurrentDirectory(m_remoteFolder)) {
          if (!m_connection->CreateDirectory(m_remoteFolder)) {
            Output(LoadMessage(13, {m_remoteFolder}), 1);
            m_transferFailed = 1;
          } else if (!m_connection->SetCurrentDirectory(m_remoteFolder)) {
            Output(LoadMessage(12, {m_remoteFolder}), 1);
            m_transferFailed = 1;
          }
        }
      }

      int connScripts = RunConnScripts();
      if (connScripts != 1) m_transferFailed = 1;
      if (connScripts == 1 || m_ignore) result = m_get ? ReceiveFiles() : SendFiles();
      if (RunDiscScripts() != 1) m_transferFailed = 1;

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
