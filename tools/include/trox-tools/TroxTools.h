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

// The library's version, "3.02", for an about box.
TROX_TOOLS_API const char* pszTROX_TOOLS_GetVersion();
}
