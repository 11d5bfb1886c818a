// Free functions of the upload and download walks that the wizard's size counts use too.
#pragma once

#include <cstdint>
#include <string>

#include "trox/LocalFiles.h"
#include "trox/PathRules.h"

class CTransferJob;
struct FtpListEntry;

// A remote walk callback: the entry's full remote path, the listing entry and the walk's context;
// 0 stops the walk. A link that is no folder comes here too (entry.isLink set: its listed size
// is the link's, not the file's).
using RemoteWalkCallback = int (*)(const std::string& path, const FtpListEntry& entry,
                                   void* context);
// Called for a listed entry whose name cannot be trusted as a path; 0 stops the walk.
using RemoteRejectCallback = int (*)(const std::string& path, void* context);

// Depth-first walk of a remote folder tree in the server's listing order, over one connection of
// its own besides the job's main one, whatever the depth: each folder's listing is read whole
// before its subfolders are entered. Paths are the folder's path, "/" and the listed name, so
// they stay below folder.
// - A folder that cannot be entered or listed is reported (the error, then "Failed to
//   receive") and fails the run; IGNORE decides whether the walk goes on. For the starting
//   folder the walk ends.
// - A link is tried as a folder, else it is a file. A folder is walked once: one the server
//   reports (PWD) as already walked is passed over, so link loops end.
// - Devices, sockets and FIFOs are passed over with a note in verbose mode, as are lines of a
//   listing that no parser could read.
// - A name with a "/" (unless it is the listed folder's full path and a name), or a ".."
//   component, goes to reject when given, else is passed over.
// 1 when completed, 0 when stopped (a callback, a failure without IGNORE, the starting folder,
// cancel). Log-in failures throw.
int WalkRemoteTree(CTransferJob& job, const std::string& folder, const std::string& mask,
                   void* context, RemoteWalkCallback callback,
                   RemoteRejectCallback reject = nullptr);

// The size count before the upload walk (context: the job): adds the sizes of the selected files
// to the job's bytes counted to send and always goes on.
int CountSendCallback(const std::string& path, void* context);
