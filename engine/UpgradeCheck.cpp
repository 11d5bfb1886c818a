// The upgrade check: one HTTP GET to the configured web server, whose answer counts as positive
// when it holds the word "available". Without a server to ask it says so and asks nothing; an
// unreachable server throws, and RunUpgradeCheck decides whether that ends the run.
#include "trox/UpgradeCheck.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"

// TROX_VERSION and TROX_UPGRADE_SERVER_DEFAULT come from the build (the top CMakeLists.txt).

namespace {

constexpr uint32_t kMaxAnswer = 1024;
const char kQueryPath[] = "/upgrade.asp?product=trox&version=";

std::mutex g_versionLock;
std::string g_version = TROX_VERSION;

const char kNoServer[] = "No upgrade server is configured.";

// The error's table text, and what the layer knows about where it happened.
std::string FailureText(const CInternetException& e) {
  std::string text = ErrorNumberText(e.m_dwError);
  if (!e.m_text.empty()) text += " (" + e.m_text + ")";
  return text;
}

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
  std::string server = fromEnvironment ? fromEnvironment : TROX_UPGRADE_SERVER_DEFAULT;
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

std::string UpgradeCheckAddress() {
  return UpgradeServer() + kQueryPath + UpgradeCheckVersion();
}

void RunUpgradeCheck(CTransferJob& job) {
  if (job.m_server.empty()) {
    job.CheckUpgrade();
    if (UpgradeServer().empty())
      throw CInternetException(ERROR_INTERNET_INVALID_URL, "no upgrade server is configured");
    return;
  }
  // A web site that is down must not lose the night's transfer.
  try {
    job.CheckUpgrade();
  } catch (const CInternetException& e) {
    job.Output("Upgrade check failed: " + FailureText(e), 1);
  }
}

void CTransferJob::CheckUpgrade() {
  const std::string server = UpgradeServer();
  if (server.empty()) {
    Output(kNoServer, 1);
    return;
  }
  // Run opens the session first; a caller outside Run gets a session for this one request.
  std::unique_ptr<CInternetSession> ownSession;
  CInternetSession* session = m_session.get();
  if (!session) {
    ownSession = std::make_unique<CInternetSession>("Varnook FTP", m_sessionContext, m_accessType,
                                                    m_proxy, m_proxyBypass, m_sessionFlags);
    session = ownSession.get();
  }
  std::unique_ptr<CInternetFile> reply = session->OpenURL(
      server + kQueryPath + UpgradeCheckVersion(), m_sessionContext, FTP_TRANSFER_TYPE_ASCII);
  char buffer[kMaxAnswer + 1] = {};
  uint32_t got = reply->Read(buffer, kMaxAnswer);
  buffer[got < kMaxAnswer ? got : kMaxAnswer] = '\0';
  // The reply is dropped unread beyond this block; closing it quietly is all that is left.
  reply.reset();

  if (std::strstr(buffer, "available") != nullptr) {
    Output("UPGRADE AVAILABLE - Visit " + server + " to download!", 1);
    m_upgradeAvailable = 1;
  } else {
    Output("No upgrade available.", 1);
  }
  Output("", 1);
}
