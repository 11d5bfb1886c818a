// Registers "*.trx" with the desktop the freedesktop way: a shared-mime-info package that maps the
// pattern to application/x-trox-transfer, and a desktop entry for TROX Wizard whose default action
// opens the file, with the actions "Transfer Now" (/t) and "Edit" (/e). All under the user's data
// folder; nothing is changed when another package already claims the pattern.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kTransferMimeType = "application/x-trox-transfer";

struct FileTypeRegistrationResult {
  bool registered = false;   // our files are in place (written now or already there)
  bool mimeChanged = false;  // the mime package was (re)written: its database needs an update
  bool claimedElsewhere = false;
};

// dataHome: $XDG_DATA_HOME (or ~/.local/share); dataDirs: $XDG_DATA_DIRS, searched with dataHome
// for a foreign claim. programPath: the program's own absolute path (empty: the entry and icon
// are not written). iconPng: PNG bytes for the program's icon (may be empty).
FileTypeRegistrationResult RegisterFileType(const std::string& dataHome,
                                            const std::vector<std::string>& dataDirs,
                                            const std::string& programPath,
                                            const std::string& iconPng);

// The user's data folders from the environment, as the freedesktop base directory rules give them.
std::string XdgDataHome();
std::vector<std::string> XdgDataDirs();
// The running program's path (from /proc/self/exe), or "" when it cannot be read.
std::string ProgramPath();

// True when the program runs from an installed prefix (PREFIX/bin/program) whose share folder holds
// our desktop entry and MIME type: the desktop knows the file type from there, and a per-user
// entry would only shadow the system one with a copy.
bool InstalledWithFileType(const std::string& programPath);

// The MIME type that `dataDirs` map "*.trx" to, "" when none (exposed for tests).
std::string TrxPatternOwner(const std::vector<std::string>& dataDirs);
// Exec= value of a desktop entry: the program quoted by the desktop entry rules, then the
// arguments as given.
std::string DesktopExec(const std::string& programPath, const std::string& arguments);
