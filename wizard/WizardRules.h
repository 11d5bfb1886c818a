// What the wizard's pages and dialogs decide, kept free of widgets: when to ask before leaving,
// what a page stores into the job, how the proxy text is split and joined.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "MruLists.h"

class CTransferJob;

// The working job counts as changed when its settings or rule lists differ from the saved
// snapshot. What a run leaves in the job (its output wiring, an upgrade found, a one-file run's
// remote folder cut to the file's folder) is not the user's change.
bool JobChanged(const CTransferJob& working, const CTransferJob& saved);
// Cancel asks only when the job changed, and never on the final page.
bool AskBeforeCancel(bool finalPage, const CTransferJob& working, const CTransferJob& saved);
bool ShowCryptoWarning(int cryptoWarnEnabled, int cryptoAvailable);

// Load page's Next. The working job is reset either way; a loaded file also becomes the job file
// and goes to the front of the transfer-file list (addFileMru), both by its absolute path. On
// success the saved job follows.
enum class LoadNextResult { Moved, InvalidFile };
LoadNextResult LoadPageNext(bool newTransfer, const std::string& path, CTransferJob& working,
                            CTransferJob& saved,
                            const std::function<void(const std::string&)>& addFileMru);

// The server page's controls.
struct ServerPageState {
  std::string server;
  bool accountMode = false;
  std::string user;
  std::string password;
  bool saveEncryptedPassword = true;  // check box: unchecked sets PASSPROMPT
};

ServerPageState ServerPageFromJob(const CTransferJob& job);
// The page after choosing a listed server: its account decides the mode.
ServerPageState ServerPageFromMru(const ServerPageState& current, const ServerMruEntry& entry);
// Stores the page into the job; returns the entry to record when the server list is switched on.
std::optional<ServerMruEntry> StoreServerPage(const ServerPageState& state, CTransferJob& job,
                                              int serverMruEnabled);
// Next refuses an empty server (a server of blanks is accepted).
bool ServerAddressAccepted(const std::string& server);

// "host:port" as the server advanced dialog shows it: without a port the whole text is the address
// and the port 0; after the port's ':' the digits that follow, read as a decimal number. An IPv6
// address keeps its colons: "[::1]:8080" is "[::1]" and 8080, a bare "::1" an address alone.
struct ProxyParts {
  std::string address;
  uint32_t port = 0;
};
ProxyParts SplitProxy(const std::string& proxy);
// "address:port" ("[address]:port" for a bare IPv6 address), or "" when the address is empty (the
// job then uses the system's settings).
std::string JoinProxy(const std::string& address, uint32_t port);
// An unsigned whole number of 32 bits, blanks around it allowed; nothing else.
std::optional<uint32_t> ParseUnsignedField(const std::string& text);
