#include "Netrc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::vector<std::string> Tokens(std::string_view text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (i < text.size()) {
    if (isSpace(text[i])) {
      ++i;
      continue;
    }
    if (text[i] == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    std::string token;
    if (text[i] == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        token += text[i];
      }
      ++i;
    } else {
      while (i < text.size() && !isSpace(text[i])) token += text[i++];
    }
    if (token == "macdef") {
      // The macro's name ends its line; its body runs to the first empty line.
      size_t end = text.find("\n\n", i);
      size_t endCrLf = text.find("\n\r\n", i);
      if (endCrLf < end) end = endCrLf;
      i = end == std::string_view::npos ? text.size() : end + 1;
      continue;
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

struct Entry {
  bool isDefault = false;
  std::string machine;
  NetrcEntry values;
};

}  // namespace

std::optional<NetrcEntry> FindNetrcEntry(std::string_view text, const std::string& host,
                                         const std::string& user) {
  std::vector<Entry> entries;
  const std::vector<std::string> tokens = Tokens(text);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const bool hasValue = i + 1 < tokens.size();
    if (token == "default") {
      entries.push_back({true, "", {}});
    } else if (token == "machine" && hasValue) {
      entries.push_back({false, tokens[++i], {}});
    } else if (hasValue && !entries.empty() && token == "login") {
      entries.back().values.login = tokens[++i];
    } else if (hasValue && !entries.empty() && token == "password") {
      entries.back().values.password = tokens[++i];
    } else if (hasValue && (token == "account" || token == "port")) {
      ++i;
    }
  }
  auto fits = [&](const Entry& e) {
    return user.empty() || e.values.login.empty() || e.values.login == user;
  };
  for (const Entry& e : entries)
    if (!e.isDefault && e.machine == host && fits(e)) return e.values;
  for (const Entry& e : entries)
    if (e.isDefault && fits(e)) return e.values;
  return std::nullopt;
}

std::optional<NetrcEntry> ReadNetrcEntry(const std::string& path, const std::string& host,
                                         const std::string& user, std::string* problem) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT && problem != nullptr)
      *problem = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  std::string text;
  bool readable = fstat(fd, &info) == 0;
  if (readable && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    close(fd);
    // Passwords that others can read are as good as public; the owner is told, not helped.
    if (problem != nullptr)
      *problem = path + " is readable by others; not using it (chmod 600 " + path + ")";
    return std::nullopt;
  }
  char buffer[4096];
  for (ssize_t n; readable && (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      readable = false;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  const int error = errno;
  close(fd);
  if (!readable) {
    if (problem != nullptr) *problem = "cannot read " + path + ": " + std::strerror(error);
    return std::nullopt;
  }
  return FindNetrcEntry(text, host, user);
}
