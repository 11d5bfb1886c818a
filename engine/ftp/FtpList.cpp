#include "ftp/FtpList.h"

#include <array>
#include <charconv>
#include <cstring>

namespace trox::ftp {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::optional<uint64_t> ToNumber(std::string_view s) {
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

struct Token {
  std::string_view text;
  size_t end;  // position just after the token in the line
};

std::vector<Token> Tokens(std::string_view line, size_t maxTokens) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size() && tokens.size() < maxTokens) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > b) tokens.push_back({line.substr(b, i - b), i});
  }
  return tokens;
}

std::string_view RestAfter(std::string_view line, size_t pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  return line.substr(pos);
}

bool IsMonth(std::string_view s) {
  static const std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                     "jul", "aug", "sep", "oct", "nov", "dec"};
  for (const char* m : months)
    if (EqualNoCase(s, m)) return true;
  return false;
}

// "12:34", "1:05" or "12:34:56".
bool IsClock(std::string_view s) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
  std::string_view rest = s.substr(colon + 1);
  if (rest.size() == 5 && rest[2] == ':')
    return AllDigits(rest.substr(0, 2)) && AllDigits(rest.substr(3)) &&
           AllDigits(s.substr(0, colon));
  return rest.size() == 2 && AllDigits(rest) && AllDigits(s.substr(0, colon));
}

bool IsYear(std::string_view s) {
  return s.size() == 4 && AllDigits(s);
}

bool IsDay(std::string_view s) {
  auto d = ToNumber(s);
  return s.size() <= 2 && d && *d >= 1 && *d <= 31;
}

// "2020-01-03"
bool IsIsoDate(std::string_view s) {
  return s.size() == 10 && s[4] == '-' && s[7] == '-' && AllDigits(s.substr(0, 4)) &&
         AllDigits(s.substr(5, 2)) && AllDigits(s.substr(8, 2));
}

bool IsPermissions(std::string_view s) {
  if (s.size() < 10) return false;
  if (!std::strchr("-dlbcpsDn", s[0])) return false;
  for (size_t i = 1; i < 10; ++i)
    if (!std::strchr("rwxsStTlL-", s[i])) return false;
  // An ACL or extended-attribute marker may follow ("+", ".", "@").
  return s.size() == 10 || (s.size() == 11 && std::strchr("+.@", s[10]));
}

// "12,345" or "12345"
std::optional<uint64_t> DosSize(std::string_view s) {
  std::string digits;
  for (char c : s) {
    if (c == ',' || c == '.') continue;
    if (!IsDigit(c)) return std::nullopt;
    digits += c;
  }
  return ToNumber(digits);
}

// "01-15-20", "01-15-2020", "01/15/20"
bool IsDosDate(std::string_view s) {
  if (s.size() != 8 && s.size() != 10) return false;
  char sep = s[2];
  if ((sep != '-' && sep != '/') || s[5] != sep) return false;
  return AllDigits(s.substr(0, 2)) && AllDigits(s.substr(3, 2)) && AllDigits(s.substr(6));
}

// "03:04PM", "03:04", "15:04"
bool IsDosTime(std::string_view s) {
  if (s.size() == 7 && (EqualNoCase(s.substr(5), "AM") || EqualNoCase(s.substr(5), "PM")))
    s = s.substr(0, 5);
  return s.size() == 5 && s[2] == ':' && AllDigits(s.substr(0, 2)) && AllDigits(s.substr(3));
}

}  // namespace

std::optional<FtpListEntry> ParseMlsdLine(std::string_view line) {
  line = TrimLineEnd(line);
  size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 1 >= line.size()) return std::nullopt;
  std::string_view facts = line.substr(0, space);
  FtpListEntry entry;
  entry.name = std::string(line.substr(space + 1));
  size_t pos = 0;
  while (pos < facts.size()) {
    size_t semi = facts.find(';', pos);
    std::string_view fact =
        facts.substr(pos, semi == std::string_view::npos ? std::string_view::npos : semi - pos);
    pos = semi == std::string_view::npos ? facts.size() : semi + 1;
    size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
    if (EqualNoCase(key, "type")) {
      if (EqualNoCase(value, "cdir") || EqualNoCase(value, "pdir")) return std::nullopt;
      entry.isDirectory = EqualNoCase(value, "dir");
    } else if (EqualNoCase(key, "size") || EqualNoCase(key, "sizd")) {
      if (auto n = ToNumber(value)) entry.size = *n;
    }
  }
  return entry;
}

std::optional<FtpListEntry> ParseUnixListLine(std::string_view line) {
  line = TrimLineEnd(line);
  std::vector<Token> t = Tokens(line, 12);
  if (t.size() < 5 || !IsPermissions(t[0].text)) return std::nullopt;
  for (size_t k = 2; k + 1 < t.size(); ++k) {
    size_t nameFrom;
    if (IsMonth(t[k].text) && k + 2 < t.size() && IsDay(t[k + 1].text) &&
        (IsClock(t[k + 2].text) || IsYear(t[k + 2].text))) {
      nameFrom = t[k + 2].end;
    } else if (IsIsoDate(t[k].text) && IsClock(t[k + 1].text)) {
      nameFrom = t[k + 1].end;
    } else {
      continue;
    }
    // The size is just before the date; a device shows "major, minor" there instead.
    std::string_view sizeText = t[k - 1].text;
    uint64_t size = 0;
    if (auto n = ToNumber(sizeText)) {
      size = *n;
      if (t[k - 2].text.back() == ',') size = 0;
    } else if (sizeText.find(',') != std::string_view::npos) {
      size = 0;  // "1,3" or "1," of a device in one token
    } else {
      continue;
    }
    std::string_view name = RestAfter(line, nameFrom);
    if (t[0].text[0] == 'l') {
      size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    }
    if (name.empty()) return std::nullopt;
    FtpListEntry entry;
    entry.name = std::string(name);
    entry.isDirectory = t[0].text[0] == 'd';
    entry.size = size;
    return entry;
  }
  return std::nullopt;
}

std::optional<FtpListEntry> ParseDosListLine(std::string_view line) {
  line = TrimLineEnd(line);
  std::vector<Token> t = Tokens(line, 4);
  if (t.size() < 4 || !IsDosDate(t[0].text)) return std::nullopt;
  size_t next = 2;
  if (!IsDosTime(t[1].text)) return std::nullopt;
  // A time written "03:04 PM" has its half of the day as a token of its own.
  if (EqualNoCase(t[2].text, "AM") || EqualNoCase(t[2].text, "PM")) {
    t = Tokens(line, 5);
    if (t.size() < 5) return std::nullopt;
    next = 3;
  }
  FtpListEntry entry;
  if (EqualNoCase(t[next].text, "<DIR>")) {
    entry.isDirectory = true;
  } else if (auto n = DosSize(t[next].text)) {
    entry.size = *n;
  } else {
    return std::nullopt;
  }
  std::string_view name = RestAfter(line, t[next].end);
  if (name.empty()) return std::nullopt;
  entry.name = std::string(name);
  return entry;
}

std::optional<FtpListEntry> ParseListLine(std::string_view line) {
  line = TrimLineEnd(line);
  if (line.empty()) return std::nullopt;
  if (IsDigit(line[0])) return ParseDosListLine(line);
  return ParseUnixListLine(line);
}

std::vector<FtpListEntry> ParseListing(std::string_view data, bool mlsd) {
  std::vector<FtpListEntry> entries;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    std::string_view line =
        data.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? data.size() : nl + 1;
    auto entry = mlsd ? ParseMlsdLine(line) : ParseListLine(line);
    if (entry) entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace trox::ftp
