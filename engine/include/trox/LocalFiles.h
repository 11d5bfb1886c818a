// Local file helpers of the walks: file sizes, the folder walk, the archive attribute kept in an
// extended attribute and folder creation. The path rules are trox/PathRules.h's.
#pragma once

#include <cstdint>
#include <string>

// A local walk callback: the full path of the entry and the walk's context; 0 stops the walk.
using LocalWalkCallback = int (*)(const std::string& path, void* context);

// Length of a file that can be opened for reading, else 0.
uint64_t LocalFileSize(const std::string& path);

// Whether a folder listing mask matches a name. "*.*" and "*" match every name (with or without a
// dot); other masks are shell patterns compared without regard to case.
bool LocalMaskMatches(const std::string& mask, const std::string& name);

// Depth-first walk of folder with mask. filesMode 1 calls back for files only, 0 for folders only
// (each before its own content). 1 when completed, 0 when stopped or the folder cannot be listed.
// Folders reached through symbolic links are not entered, so a link loop cannot trap the walk.
// A folder below folder that cannot be listed goes to unreadable (errno says why), whose 0 stops
// the walk and anything else goes on past it; without unreadable such a folder is passed over.
int WalkLocalTree(const std::string& folder, const std::string& mask, void* context,
                  LocalWalkCallback callback, int filesMode,
                  LocalWalkCallback unreadable = nullptr);
int WalkLocalFiles(const std::string& folder, const std::string& mask, void* context,
                   LocalWalkCallback callback, LocalWalkCallback unreadable = nullptr);
int WalkLocalFolders(const std::string& folder, const std::string& mask, void* context,
                     LocalWalkCallback callback, LocalWalkCallback unreadable = nullptr);
// 1 when folder ("" is the root) can be listed; else 0 with errno saying why.
int CanListLocalFolder(const std::string& folder);
// 1 when path can be opened for reading and is no folder; else 0 with errno saying why.
int CanReadLocalFile(const std::string& path);

// The archive attribute: set while the file differs from what was last marked as sent.
enum class ArchiveState { Set, Clear, Unreadable };
ArchiveState ReadArchiveState(const std::string& path);
// Modification time of a file in nanoseconds; false when its status cannot be read.
bool LocalModificationTime(const std::string& path, int64_t* mtimeNs);
// Marks the file as sent in the state it had at mtimeNs (so a change made meanwhile keeps the
// attribute set). Leaves the file's times alone. False when the attribute cannot be written.
bool ClearArchiveBit(const std::string& path, int64_t mtimeNs);
// The extended attribute that holds the modification time (decimal nanoseconds) last marked sent.
extern const char* const kArchiveAttributeName;

// Makes the folder and any missing parents; 1 when it exists afterwards (see the download walk).
int MakeLocalFolders(const std::string& path);
