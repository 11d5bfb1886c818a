#include "trox/PathRules.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "trox/AsciiCase.h"

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return std::string();
  return buffer;
}

std::string FoldPath(const std::string& absolutePath) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= absolutePath.size()) {
    size_t slash = absolutePath.find('/', pos);
    if (slash == std::string::npos) slash = absolutePath.size();
    std::string part = absolutePath.substr(pos, slash - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    pos = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string NormalizeLocalPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return FoldPath(path);
  const std::string cwd = CurrentDirectory();
  return FoldPath((cwd.empty() ? "/" : cwd) + "/" + path);
}

std::string AbsoluteLocalPath(const std::string& text) {
  std::string joined;
  if (!text.empty() && text[0] == '/') {
    joined = text;
  } else {
    const std::string cwd = CurrentDirectory();
    if (cwd.empty()) return std::string();
    joined = text.empty() ? cwd : cwd + "/" + text;
  }
  std::string result = FoldPath(joined);
  if (result != "/" && !text.empty() && text.back() == '/') result += "/";
  if (result.size() >= PATH_MAX) return std::string();
  return result;
}

std::string LocalFolderForm(std::string folder) {
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder;
}

bool IsLocalPathInside(const std::string& path, const std::string& folder) {
  return StartsBelow(NormalizeLocalPath(path),
                     FolderPrefix(NormalizeLocalPath(folder.empty() ? "/" : folder)));
}

std::string FolderPrefix(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return FolderPrefix(folder) + name;
}

bool StartsBelow(const std::string& path, const std::string& prefix) {
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string PathBelow(const std::string& path, const std::string& folder) {
  const size_t skip = folder.size() + 1;
  return path.size() > skip ? path.substr(skip) : std::string();
}

std::string ServerPathFolder(const std::string& text) {
  std::string folder = text;
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

void CollapseSlashes(std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  path = std::move(out);
}

std::string RemoteFolderForm(std::string folder) {
  CollapseSlashes(folder);
  return WithoutTrailingSlashes(std::move(folder));
}

bool HasDotDotComponent(const std::string& name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      if (i - start == 2 && name[start] == '.' && name[start + 1] == '.') return true;
      start = i + 1;
    }
  }
  return false;
}

bool ExtensionRuleMatches(const std::string& path, const std::string& extension) {
  const std::string pattern =
      extension.find('.') != std::string::npos ? extension.substr(1) : extension;
  return EndsWithNoCase(path, pattern);
}
