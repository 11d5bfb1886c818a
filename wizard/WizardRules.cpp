#include "WizardRules.h"

#include <cctype>
#include <cstdlib>

#include "trox/PathRules.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

bool JobChanged(const CTransferJob& working, const CTransferJob& saved) {
  return working.Settings() != saved.Settings() || working.Rules() != saved.Rules();
}

bool AskBeforeCancel(bool finalPage, const CTransferJob& working, const CTransferJob& saved) {
  return !finalPage && JobChanged(working, saved);
}

bool ShowCryptoWarning(int cryptoWarnEnabled, int cryptoAvailable) {
  return cryptoWarnEnabled == 1 && cryptoAvailable == 0;
}

LoadNextResult LoadPageNext(bool newTransfer, const std::string& path, CTransferJob& working,
                            CTransferJob& saved,
                            const std::function<void(const std::string&)>& addFileMru) {
  working.Reset();
  working.SetProgressMode(1);
  if (newTransfer) {
    // A new transfer checks for updates unless the user turns it off later.
    working.SetUpgrade();
  } else {
    // The job file is saved to and the list is read from wherever the wizard runs next: both
    // keep the absolute path.
    const std::string absolute = NormalizeLocalPath(path);
    if (ReadTransferFile(absolute, working) != 0) return LoadNextResult::InvalidFile;
    working.SetJobFile(absolute);
    if (addFileMru) addFileMru(absolute);
  }
  saved = working;
  return LoadNextResult::Moved;
}

ServerPageState ServerPageFromJob(const CTransferJob& job) {
  ServerPageState state;
  state.server = job.GetServer();
  state.user = job.GetUser();
  state.password = job.GetPassword();
  state.accountMode = !state.user.empty();
  state.saveEncryptedPassword = job.m_passPrompt != 1;
  return state;
}

ServerPageState ServerPageFromMru(const ServerPageState& current, const ServerMruEntry& entry) {
  ServerPageState state = current;
  state.server = entry.server;
  state.user = entry.user;
  state.password = entry.password;
  state.accountMode = !entry.user.empty();
  return state;
}

std::optional<ServerMruEntry> StoreServerPage(const ServerPageState& state, CTransferJob& job,
                                              int serverMruEnabled) {
  job.SetServer(state.server);
  ServerMruEntry entry{state.server, {}, {}};
  if (state.accountMode) {
    job.SetUser(state.user);
    job.SetPassword(state.password);
    entry.user = state.user;
    entry.password = state.password;
  } else {
    job.SetUser("");
    job.SetPassword("");
  }
  if (state.saveEncryptedPassword)
    job.ClearPassPrompt();
  else
    job.SetPassPrompt();
  if (serverMruEnabled == 0) return std::nullopt;
  return entry;
}

bool ServerAddressAccepted(const std::string& server) {
  return !server.empty();
}

ProxyParts SplitProxy(const std::string& proxy) {
  ProxyParts parts;
  // An IPv6 address holds colons of its own: only one after its closing bracket, or after a host
  // that has no other colon, comes before a port.
  size_t colon;
  if (!proxy.empty() && proxy[0] == '[') {
    size_t close = proxy.find(']');
    colon = close == std::string::npos || proxy.compare(close + 1, 1, ":") != 0 ? std::string::npos
                                                                                : close + 1;
  } else {
    colon = proxy.find(':');
    if (colon != std::string::npos && proxy.find(':', colon + 1) != std::string::npos)
      colon = std::string::npos;
  }
  if (colon == std::string::npos) {
    parts.address = proxy;
    return parts;
  }
  parts.address = proxy.substr(0, colon);
  std::string rest = proxy.substr(colon + 1);
  if (!rest.empty()) parts.port = static_cast<uint32_t>(std::strtoul(rest.c_str(), nullptr, 10));
  return parts;
}

std::string JoinProxy(const std::string& address, uint32_t port) {
  if (address.empty()) return {};
  // A bare IPv6 address gets its brackets, or its last group would be read as the port.
  if (address[0] != '[' && address.find(':') != std::string::npos)
    return "[" + address + "]:" + std::to_string(port);
  return address + ":" + std::to_string(port);
}

std::optional<uint32_t> ParseUnsignedField(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin == end) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}
