#include "ini/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "trox/AsciiCase.h"
#include "trox/LocalFile.h"

namespace {

// Transfer files are a few kilobytes; anything far larger is not one.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

bool Failed(int reason) {
  errno = reason;
  return false;
}

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, raw (untrimmed)
};

// "[name]" is a section header, "key=value" a key; comments (";..."), blank lines and anything
// else are kept but never matched.
ParsedLine Classify(std::string_view line) {
  if (line.starts_with(kUtf8Bom)) line.remove_prefix(kUtf8Bom.size());
  std::string_view s = Trim(line);
  ParsedLine parsed;
  if (s.empty() || s.front() == ';') return parsed;
  if (s.front() == '[') {
    size_t close = s.find(']');
    if (close == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Section;
    parsed.name = Trim(s.substr(1, close - 1));
    return parsed;
  }
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) return parsed;
  std::string_view key = Trim(s.substr(0, eq));
  if (key.empty()) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = key;
  parsed.value = s.substr(eq + 1);
  return parsed;
}

// What a reader sees of a stored value: blanks trimmed, one pair of enclosing quotes dropped,
// at most kMaxValueLength characters.
std::string ValueSeen(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  if (v.size() > CIniFile::kMaxValueLength) v = v.substr(0, CIniFile::kMaxValueLength);
  return std::string(v);
}

bool HasLineBreakOrZero(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

void CIniFile::Parse(std::string_view text) {
  m_lines.clear();
  m_lineEnd = "\r\n";
  bool endSeen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      m_lines.push_back({std::string(text.substr(pos)), ""});
      break;
    }
    bool crlf = nl > pos && text[nl - 1] == '\r';
    size_t textEnd = crlf ? nl - 1 : nl;
    m_lines.push_back({std::string(text.substr(pos, textEnd - pos)), crlf ? "\r\n" : "\n"});
    if (!endSeen) {
      m_lineEnd = m_lines.back().end;
      endSeen = true;
    }
    pos = nl + 1;
  }
}

std::string CIniFile::Text() const {
  std::string out;
  for (const Line& line : m_lines) {
    out += line.text;
    out += line.end;
  }
  return out;
}

bool CIniFile::Load(const std::string& path) {
  Parse("");
  CLocalFile file = CLocalFile::Open(path, O_RDONLY);
  if (!file.IsOpen()) return errno == ENOENT || errno == ENOTDIR;
  struct stat st;
  if (!file.Status(&st)) return false;
  // errno tells the caller why, as it does for a failed open.
  if (!S_ISREG(st.st_mode)) return Failed(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  if (st.st_size > kMaxFileSize) return Failed(EFBIG);
  std::string data;
  char buffer[8192];
  for (;;) {
    const ssize_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (data.size() > static_cast<size_t>(kMaxFileSize)) return Failed(EFBIG);
  }
  Parse(data);
  return true;
}

bool CIniFile::Save(const std::string& path) const {
  if (path.empty()) return false;
  std::string target = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    if (!resolved) return false;
    target = resolved.get();
  }
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return Failed(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

  // The temporary file sits beside the target so that the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  CLocalFile file;
  for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
    temp = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    file = CLocalFile::Open(temp, O_WRONLY | O_CREAT | O_EXCL);
    if (!file.IsOpen() && errno != EEXIST) return false;
  }
  if (!file.IsOpen()) return false;
  bool ok = true;
  if (exists) ok = fchmod(file.Fd(), st.st_mode & 07777) == 0;
  const std::string text = Text();
  ok = ok && file.WriteAll(text.data(), text.size()) && fsync(file.Fd()) == 0;
  ok = file.Close() && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int reason = errno;
    unlink(temp.c_str());
    errno = reason;
  }
  return ok;
}

std::vector<CIniFile::Range> CIniFile::FindSections(std::string_view section) const {
  std::vector<Range> found;
  bool inside = false;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    ParsedLine parsed = Classify(m_lines[i].text);
    if (parsed.kind != LineKind::Section) continue;
    if (inside) found.back().end = i;
    inside = EqualsNoCase(parsed.name, section);
    if (inside) found.push_back({i, m_lines.size()});
  }
  return found;
}

size_t CIniFile::FindKey(std::string_view section, std::string_view key) const {
  std::vector<Range> sections = FindSections(section);
  if (sections.empty()) return std::string::npos;
  const Range& r = sections.front();
  for (size_t i = r.header + 1; i < r.end; ++i) {
    ParsedLine parsed = Classify(m_lines[i].text);
    if (parsed.kind == LineKind::Key && EqualsNoCase(parsed.name, key)) return i;
  }
  return std::string::npos;
}

bool CIniFile::HasKey(std::string_view section, std::string_view key) const {
  return FindKey(section, key) != std::string::npos;
}

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  size_t i = FindKey(section, key);
  if (i == std::string::npos) return std::string(fallback);
  return ValueSeen(Classify(m_lines[i].text).value);
}

int CIniFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
  std::string value = GetString(section, key);
  if (value.empty()) return fallback;
  size_t i = 0;
  bool negative = false;
  if (value[0] == '+' || value[0] == '-') {
    negative = value[0] == '-';
    ++i;
  }
  int64_t number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > static_cast<int64_t>(INT_MAX) + 1) number = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) number = -number;
  if (number > INT_MAX) number = INT_MAX;
  return static_cast<int>(number);
}

void CIniFile::InsertLine(size_t at, std::string text) {
  // The line before may be a last line without a line end; it needs one now.
  if (at > 0 && m_lines[at - 1].end.empty()) m_lines[at - 1].end = m_lineEnd;
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                 Line{std::move(text), m_lineEnd});
}

bool CIniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  if (section.empty() || HasLineBreakOrZero(section) || section.find(']') != std::string::npos ||
      Trim(section) != section) {
    return false;
  }
  if (key.empty() || HasLineBreakOrZero(key) || key.find('=') != std::string::npos ||
      key.front() == '[' || key.front() == ';' || Trim(key) != key) {
    return false;
  }
  if (HasLineBreakOrZero(value)) return false;

  std::string line = std::string(key) + "=" + std::string(value);
  if (size_t i = FindKey(section, key); i != std::string::npos) {
    m_lines[i].text = std::move(line);
    return true;
  }
  std::vector<Range> sections = FindSections(section);
  if (sections.empty()) {
    InsertLine(m_lines.size(), "[" + std::string(section) + "]");
    InsertLine(m_lines.size(), std::move(line));
    return true;
  }
  // After the section's last non-blank line, so blank lines that part it from the next
  // section keep doing so.
  const Range& r = sections.front();
  size_t at = r.header + 1;
  for (size_t i = r.header + 1; i < r.end; ++i) {
    if (!Trim(m_lines[i].text).empty()) at = i + 1;
  }
  InsertLine(at, std::move(line));
  return true;
}

bool CIniFile::DeleteKey(std::string_view section, std::string_view key) {
  size_t i = FindKey(section, key);
  if (i == std::string::npos) return false;
  m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

bool CIniFile::DeleteSection(std::string_view section) {
  std::vector<Range> sections = FindSections(section);
  for (auto r = sections.rbegin(); r != sections.rend(); ++r) {
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(r->header),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(r->end));
  }
  return !sections.empty();
}
