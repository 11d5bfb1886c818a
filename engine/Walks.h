// Free functions of the upload and download walks that the wizard's size counts use too, and the
// small path rules of remote listings.
#pragma once

#include <cstdint>
#include <string>

#include "LocalFiles.h"

class CTransferJob;
struct FtpListEntry;

// A remote walk callback: the entry's full remote path, the listing entry and the walk's context;
// 0 stops the walk.
using RemoteWalkCallback = int (*)(const std::string& path, const FtpListEntry& entry,
                                   void* context);
// Called for a listed entry whose name cannot be trusted as a path; 0 stops the walk.
using RemoteRejectCallback = int (*)(const std::string& path, void* context);

// Depth-first walk of a remote folder tree, one fresh session and connection per folder level.
// 1 when completed, 0 when stopped or the folder cannot be entered. Log-in failures throw.
// "." and ".." are passed over; an entry whose name is not IsListedNameSafe is never visited: it
// goes to reject (when given), else is passed over.
int WalkRemoteTree(CTransferJob& job, const std::string& folder, const std::string& mask,
                   void* context, RemoteWalkCallback callback,
                   RemoteRejectCallback reject = nullptr);

// The size counts before a walk (context: the job). They add the sizes of the selected files to
// the job's bytes counted to send / to get and always go on.
int CountSendCallback(const std::string& path, void* context);
int CountReceiveCallback(const std::string& path, const FtpListEntry& entry, void* context);

// Every run of "/" becomes one "/"; backslashes stay.
void CollapseSlashes(std::string& path);
// When folder is not longer than path: both collapsed, then as many characters as the collapsed
// folder has are cut from the front of path.
void StripFolderPrefix(std::string& path, const std::string& folder);
// Whether a listed name holds ".." as a whole component ("/" or "\" separated), or is "..".
bool HasDotDotComponent(const std::string& name);
// Whether a collapsed remote path lies strictly below the listed folder root.
bool IsRemotePathInside(const std::string& path, const std::string& root);
// Whether a listed name may be taken as an entry of the folder root: no ".." component, and a
// name given as a full path lies below root.
bool IsListedNameSafe(const std::string& name, const std::string& root);

// The suffix test of the selection and permission rules: a pattern with a "." loses its first
// character ("*.html" -> ".html"); it matches when the path ends with it, case ignored.
bool ExtensionRuleMatches(const std::string& path, const std::string& extension);
