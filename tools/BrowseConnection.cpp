#include "BrowseConnection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/PathRules.h"

namespace {

constexpr const char* kAgent = "Varnook FTP";

}  // namespace

CBrowseConnection::CBrowseConnection()
    : m_reuseLogins(std::make_unique<CFtpConnectionPoolScope>()) {}

CBrowseConnection::~CBrowseConnection() {
  Release();
}

void CBrowseConnection::SetError(uint32_t error) {
  m_lastError = error;
  m_lastErrorText.clear();
  GetErrorDescription(error, m_lastErrorText);
}

void CBrowseConnection::TakeLastError() {
  SetError(::GetLastError());
}

template <typename Operation>
int CBrowseConnection::Guarded(Operation operation) {
  if (!CheckConnected()) return 0;
  try {
    return operation();
  } catch (const CInternetException& e) {
    SetLastErrorFrom(e);
    SetError(e.m_dwError);
    return 0;
  }
}

bool CBrowseConnection::CheckConnected() {
  if (m_connected && m_connection) return true;
  m_lastError = 0;
  m_lastErrorText = kNotConnectedText;
  return false;
}

int CBrowseConnection::Connect(const std::string& server, const std::string& user,
                               const std::string& password, const std::string& proxy, int port,
                               int passive, int security, const std::string& certSha256) {
  Release();
  if (port < 0 || port > 65535) {
    SetError(ERROR_INTERNET_INVALID_URL);
    return 0;
  }
  try {
    m_session = std::make_unique<CInternetSession>(
        kAgent, 1, proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY, proxy,
        "", 0);
    FtpSecurity secured;
    secured.mode = security;
    secured.certSha256 = certSha256;
    m_connection = m_session->GetFtpConnection(server, user, password, static_cast<uint16_t>(port),
                                               passive != 0, secured);
  } catch (const CInternetException& e) {
    m_connection.reset();
    m_session.reset();
    SetLastErrorFrom(e);
    SetError(e.m_dwError);
    return 0;
  }
  m_connected = true;
  return 1;
}

int CBrowseConnection::GetCurrentFolder(std::string& folder) {
  return Guarded([&]() -> int {
    std::string current;
    if (!m_connection->GetCurrentDirectory(current)) {
      TakeLastError();
      return 0;
    }
    if (!current.empty() && current.back() != '/') current += '/';
    folder = current;
    return 1;
  });
}

int CBrowseConnection::CreateFolder(const std::string& path) {
  return Guarded([&]() -> int {
    if (!m_connection->CreateDirectory(path)) {
      TakeLastError();
      return 0;
    }
    return 1;
  });
}

int CBrowseConnection::FindFirst(const std::string& folder) {
  return Guarded([&]() -> int {
    m_finder.reset();
    if (!m_connection->SetCurrentDirectory(folder)) {
      TakeLastError();
      return 0;
    }
    m_listedFolder = folder;
    m_finder = std::make_unique<CFtpFileFind>(m_connection.get());
    if (!m_finder->FindFile("*", INTERNET_FLAG_RELOAD)) {
      TakeLastError();
      return 0;
    }
    return 1;
  });
}

int CBrowseConnection::FindNext(std::string& path, int wantFolders, int& found) {
  found = 0;
  if (!CheckConnected()) return 0;
  // The finder steps onto each entry once and answers false only past the last one, so the end
  // of the listing is the one way out of this loop.
  if (!m_finder) return 1;
  while (m_finder->FindNextFile()) {
    if (m_finder->IsDots()) continue;
    if (m_finder->IsDirectory() != (wantFolders != 0)) continue;
    std::string name = m_finder->GetFileName();
    if (name.empty()) continue;
    path = m_listedFolder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    CollapseSlashes(path);
    found = 1;
    return 1;
  }
  return 1;
}

int CBrowseConnection::CloseFind() {
  return Guarded([&]() -> int {
    if (m_finder) m_finder->Close();
    m_finder.reset();
    return 1;
  });
}

void CBrowseConnection::Release() {
  m_connected = false;
  // The finder points at the connection, so it goes first.
  m_finder.reset();
  if (m_connection) m_connection->Close();
  m_connection.reset();
  if (m_session) m_session->Close();
  m_session.reset();
}

int CBrowseConnection::Disconnect() {
  bool wasConnected = CheckConnected();
  Release();
  return wasConnected ? 1 : 0;
}

void CBrowseConnection::GetLastErrorInfo(uint32_t& error, std::string& text) const {
  error = m_lastError;
  text = m_lastErrorText;
}
