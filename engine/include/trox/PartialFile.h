// Received files are written under a temporary name beside their final one and take the final
// name only when complete, so that a failed or interrupted receive never leaves a truncated file
// that looks finished, and never spoils an older copy. The one temporary file being written is
// known to the process's signal handlers, which remove it.
#pragma once

#include <string>

// Makes a new empty file beside finalPath, named ".<name>.trox-XXXXXX" (a name made with O_EXCL,
// so that it can clash with nothing there), and makes it the pending partial file. It gets the
// mode a new file gets, or replacedMode when it is to replace a file (whose mode an overwrite
// used to keep). "" with errno set when it cannot be made.
std::string CreatePartialFile(const std::string& finalPath, int replacedMode = -1);
// The partial file is complete: it takes finalPath's place. False with errno set (the partial
// file is then still there).
bool CommitPartialFile(const std::string& partialPath, const std::string& finalPath);
// Removes the partial file (a failed receive).
void DiscardPartialFile(const std::string& partialPath);

// For a handler of a terminating signal: removes the pending partial file, if there is one.
// Async-signal-safe.
void RemovePendingPartialFile();
