// The upgrade check: one HTTP GET to the maker's web server, whose answer counts as positive
// when it holds the word "available". It has no error handling of its own: an unreachable server
// throws out of Run before any FTP connection is made.
#include "UpgradeCheck.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "TransferJob.h"
#include "ftp/Internet.h"

#ifndef TROX_UPGRADE_SERVER_DEFAULT
#define TROX_UPGRADE_SERVER_DEFAULT "http://www.varnook.com"
#endif

namespace {

constexpr uint32_t kMaxAnswer = 1024;

std::mutex g_versionLock;
std::string g_version = "3.00";

}  // namespace

void SetUpgradeCheckVersion(const std::string& version) {
  std::lock_guard lock(g_versionLock);
  g_version = version;
}

std::string UpgradeCheckVersion() {
  std::lock_guard lock(g_versionLock);
  return g_version;
}

std::string UpgradeServer() {
  const char* fromEnvironment = std::getenv("TROX_UPGRADE_SERVER");
  std::string server =
      (fromEnvironment && *fromEnvironment) ? fromEnvironment : TROX_UPGRADE_SERVER_DEFAULT;
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

std::string UpgradeCheckAddress() {
  return UpgradeServer() + "/upgrade.asp?product=trox&version=" + UpgradeCheckVersion();
}

void CTransferJob::CheckUpgrade() {
  // Run opens the session first; a caller outside Run gets a session for this one request.
  std::unique_ptr<CInternetSession> ownSession;
  CInternetSession* session = m_session.get();
  if (!session) {
    ownSession = std::make_unique<CInternetSession>("Varnook FTP", m_sessionContext, m_accessType,
                                                    m_proxy, m_proxyBypass, m_sessionFlags);
    session = ownSession.get();
  }
  std::unique_ptr<CInternetFile> reply =
      session->OpenURL(UpgradeCheckAddress(), m_sessionContext, FTP_TRANSFER_TYPE_ASCII);
  char buffer[kMaxAnswer + 1] = {};
  uint32_t got = reply->Read(buffer, kMaxAnswer);
  buffer[got < kMaxAnswer ? got : kMaxAnswer] = '\0';
  // The reply is dropped unread beyond this block; closing it quietly is all that is left.
  reply.reset();

  if (std::strstr(buffer, "available") != nullptr) {
    Output("UPGRADE AVAILABLE - Visit " + UpgradeServer() + " to download!", 1);
    m_upgradeAvailable = 1;
  } else {
    Output("No upgrade available.", 1);
  }
  Output("", 1);
}
