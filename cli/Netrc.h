// The user's netrc file: log-in names and passwords per machine, read the way other FTP clients
// read it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct NetrcEntry {
  std::string login;  // empty when the entry names none
  std::string password;
};

// The entry for host in netrc text: the first "machine" entry for host whose login is user (any
// login when user is empty, and an entry without a login matches any user), else the "default"
// entry under the same rule. Values may be quoted ("a b", with \" and \\); "#" starts a comment;
// "macdef" bodies (up to an empty line) and unknown tokens with their values are skipped.
std::optional<NetrcEntry> FindNetrcEntry(std::string_view text, const std::string& host,
                                         const std::string& user);

// The same from a file. A missing file is no entry and no problem; a file that group or others
// can read, or one that cannot be read, is no entry and sets problem.
std::optional<NetrcEntry> ReadNetrcEntry(const std::string& path, const std::string& host,
                                         const std::string& user, std::string* problem);
