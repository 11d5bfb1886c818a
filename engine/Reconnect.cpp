// Keeping the main connection usable across a run. A connection that the server dropped, that
// timed out, that a 421 closed or whose replies went out of step serves no more commands: each
// would fail at once. Before each file the walks ask for a usable one, and a dead one is replaced
// by a fresh log-in with the job's settings, in the folder the run entered. A few such log-ins
// per run, after a short pause each, so that one bad moment of the server costs the file it hit
// and not every file after it, while a server that is gone for good is not hammered.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "trox/Internet.h"
#include "trox/TransferJob.h"

namespace {

constexpr int kMaxReconnects = 3;
// The pause before a new log-in; a quarter of the silence bound when that is shorter, so that
// a shortened bound (TROX_NET_TIMEOUT_MS) shortens the pause too.
constexpr int kReconnectPauseMs = 1500;

void PauseBeforeLogIn() {
  const int pause = std::min(kReconnectPauseMs, GetInternetTimeouts().idleMs / 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(pause));
}

}  // namespace

bool CTransferJob::EnsureConnection() {
  if (m_connection && m_connection->IsAlive()) return true;
  if (!m_session) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    SetLastErrorDetail("there is no connection to the server");
    ReportError(GetLastError());
    return false;
  }
  if (m_reconnects >= kMaxReconnects) {
    SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
    SetLastErrorDetail("the connection to the server is lost (logged in again " +
                       std::to_string(kMaxReconnects) + " times already)");
    ReportError(GetLastError());
    return false;
  }
  ++m_reconnects;
  Output("Connection lost; logging in again (" + std::to_string(m_reconnects) + " of " +
             std::to_string(kMaxReconnects) + ") ...",
         1);
  // A closed connection stays in the slot until a new one replaces it: the run closes whatever
  // the slot holds at its end.
  if (m_connection) m_connection->Close();
  PauseBeforeLogIn();

  std::unique_ptr<CFtpConnection> fresh;
  try {
    fresh = m_session->GetFtpConnection(m_server, m_user, m_password, m_port, m_passive != 0,
                                        {static_cast<int>(m_security), m_certSha256});
  } catch (const CInternetException& e) {
    ReportError(e.m_dwError);
    return false;
  }
  // Upload names are relative to the folder the run entered; a connection anywhere else would
  // put files in the wrong place.
  if (!m_single && !m_remoteFolder.empty() && !fresh->SetCurrentDirectory(m_remoteFolder)) {
    ReportError(GetLastError());
    fresh->Close();
    return false;
  }
  m_connection = std::move(fresh);
  return true;
}
