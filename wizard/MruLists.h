// Orders of the two recently-used lists (transfer files and servers), kept apart from where the
// lists are stored so that the orders can be tested on their own.
#pragma once

#include <array>
#include <string>

constexpr int kMruSize = 4;

// Most recent first; an empty string is an empty slot.
using FileMruList = std::array<std::string, kMruSize>;

struct ServerMruEntry {
  std::string server;
  std::string user;
  std::string password;
  bool operator==(const ServerMruEntry&) const = default;
};
using ServerMruList = std::array<ServerMruEntry, kMruSize>;

// Each returns true when the list changed and has to be written back.
// The path moves (or is put) to the front; the last entry drops off when it is new.
bool MruAddFile(FileMruList& list, const std::string& path);
// The path leaves the list and an empty slot is appended. Always written back.
bool MruRemoveFile(FileMruList& list, const std::string& path);
// An entry is the same server when server and user match; it then keeps its stored password.
bool MruAddServer(ServerMruList& list, const ServerMruEntry& entry);
