// TROX Tools: two modal dialogs that browse an FTP server, for programs that need a remote path
// chosen by the user. The caller's thread runs them (a QApplication must exist) and is blocked
// while the server answers. Strings travel as std::string by value, so caller and library must
// share one C++ runtime.
#pragma once

#include <string>

#if defined(TROX_TOOLS_BUILDING)
#define TROX_TOOLS_API __attribute__((visibility("default")))
#else
#define TROX_TOOLS_API
#endif

extern "C" {

// Results of both dialogs.
enum : int {
  kTroxToolsClosed = 0,  // the dialog closed itself after a connection failure (already shown)
  kTroxToolsOk = 1,      // *path holds the choice
  kTroxToolsCancel = 2,
};

// Lets the user pick a remote folder. *path is the present choice on entry: empty or
// "[login folder]" for the log-in folder, a path relative to it, or an absolute path starting
// with "/" (which opens the tree at the server's root). On OK it receives the chosen folder in
// the same two forms, without a trailing "/" ("" for the log-in folder itself). port 0 means 21;
// passive is 0 or 1. *path is changed only when the result is kTroxToolsOk.
TROX_TOOLS_API int bTROX_TOOLS_FOLDER_BrowseForFolder(std::string server, std::string user,
                                                      std::string password, std::string proxy,
                                                      int port, int passive, std::string* path);

// Lets the user pick one remote file: mode 1 opens an existing file, any other mode saves under
// a name the user may type. *path on entry is a full remote path whose folder is shown first and
// whose name is preselected; on OK it receives the chosen file's full path. *path is changed only
// when the result is kTroxToolsOk.
TROX_TOOLS_API int bTROX_TOOLS_FOLDER_FtpFileDialog(int mode, std::string server, std::string user,
                                                    std::string password, std::string proxy,
                                                    int port, int passive, std::string* path);

// How the following browsing calls of this process secure their connections, until the next
// call: mode 0 clear text, 1 TLS after AUTH TLS, 2 TLS from the first byte (then port 21 means
// 990); sha256Pin (null or "" for none) is the server certificate's SHA-256 fingerprint, 64 hex
// digits with optional colons, accepted instead of the trust store. A TLS connection that cannot
// be made fails the call; the log-in is never sent in clear text instead.
TROX_TOOLS_API void vTROX_TOOLS_SetSecurity(int mode, const char* sha256Pin);

// The library's version, "3.02", for an about box.
TROX_TOOLS_API const char* pszTROX_TOOLS_GetVersion();
}
