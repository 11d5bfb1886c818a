#include "ftp/FtpList.h"

#include <array>
#include <charconv>
#include <cstring>

#include "trox/AsciiCase.h"

namespace trox::ftp {

namespace {

// What one line of a listing turned out to be.
enum class LineKind {
  Entry,
  NoEntry,    // known and empty of entries: "total 12", a blank line, MLSD's cdir and pdir
  Unreadable  // a format none of the parsers knows, or a known one gone wrong
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

std::optional<uint64_t> ToNumber(std::string_view s) {
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// A number of minDigits to maxDigits digits, no more than max.
bool IsNumberUpTo(std::string_view s, size_t minDigits, size_t maxDigits, uint64_t max) {
  if (s.size() < minDigits || s.size() > maxDigits || !AllDigits(s)) return false;
  auto n = ToNumber(s);
  return n && *n <= max;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

bool IsBlankLine(std::string_view line) {
  for (char c : line)
    if (!IsBlank(c)) return false;
  return true;
}

struct Token {
  std::string_view text;
  size_t end;  // position just after the token in the line
};

std::vector<Token> Tokens(std::string_view line, size_t maxTokens) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size() && tokens.size() < maxTokens) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t b = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > b) tokens.push_back({line.substr(b, i - b), i});
  }
  return tokens;
}

std::string_view RestAfter(std::string_view line, size_t pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return line.substr(pos);
}

// "total 12" (ls), "total 1.5M" (ls -h).
bool IsTotalLine(std::string_view line) {
  std::vector<Token> t = Tokens(line, 3);
  return t.size() == 2 && EqualsNoCase(t[0].text, "total") && IsDigit(t[1].text[0]);
}

// ---- Unix ----

bool IsMonth(std::string_view s) {
  static const std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                     "jul", "aug", "sep", "oct", "nov", "dec"};
  for (const char* m : months)
    if (EqualsNoCase(s, m)) return true;
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

LineKind ReadUnix(std::string_view line, FtpListEntry& entry) {
  std::vector<Token> t = Tokens(line, 12);
  if (t.size() < 5 || !IsPermissions(t[0].text)) return LineKind::Unreadable;
  for (size_t k = 2; k + 1 < t.size(); ++k) {
    size_t dateEnd;
    if (IsMonth(t[k].text) && k + 2 < t.size() && IsDay(t[k + 1].text) &&
        (IsClock(t[k + 2].text) || IsYear(t[k + 2].text))) {
      dateEnd = t[k + 2].end;
    } else if (IsIsoDate(t[k].text) && IsClock(t[k + 1].text)) {
      dateEnd = t[k + 1].end;
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
    // `ls` writes the year right-aligned ("Dec 24  2019 docs"), so whatever follows the one
    // blank after the date belongs to the name, leading blanks included.
    if (dateEnd + 1 >= line.size()) return LineKind::Unreadable;
    std::string_view name = line.substr(dateEnd + 1);
    const char type = t[0].text[0];
    if (type == 'l') {
      size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) name = name.substr(0, arrow);
      if (name.empty()) return LineKind::Unreadable;
    }
    entry.name = std::string(name);
    entry.isDirectory = type == 'd';
    entry.isLink = type == 'l';
    entry.isSpecial = std::strchr("bcpsDn", type) != nullptr;
    entry.size = size;
    return LineKind::Entry;
  }
  return LineKind::Unreadable;
}

// ---- DOS / IIS ----

// "12345", "12,345", "70.000", "1,234,567": thousands grouped by one kind of mark.
std::optional<uint64_t> GroupedNumber(std::string_view s) {
  if (AllDigits(s)) return ToNumber(s);
  size_t mark = s.find_first_of(",.");
  if (mark == std::string_view::npos || mark == 0 || mark > 3) return std::nullopt;
  const char sep = s[mark];
  std::string digits(s.substr(0, mark));
  if (!AllDigits(digits)) return std::nullopt;
  for (size_t pos = mark; pos < s.size(); pos += 4) {
    std::string_view group = s.substr(pos + 1, 3);
    if (s[pos] != sep || group.size() != 3 || !AllDigits(group)) return std::nullopt;
    digits += group;
  }
  return ToNumber(digits);
}

// "01-15-20", "01-15-2020", "01/15/20", "15.01.2020", "2020-01-15".
bool IsDosDate(std::string_view s) {
  std::array<std::string_view, 3> part;
  size_t n = 0, from = 0;
  char sep = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && IsDigit(s[i])) continue;
    if (i < s.size()) {
      if (!std::strchr("-/.", s[i]) || (sep && s[i] != sep)) return false;
      sep = s[i];
    }
    if (n == part.size()) return false;
    part[n++] = s.substr(from, i - from);
    from = i + 1;
  }
  if (n != 3) return false;
  if (part[0].size() == 4)
    return IsNumberUpTo(part[1], 1, 2, 12) && IsNumberUpTo(part[2], 1, 2, 31);
  return IsNumberUpTo(part[0], 1, 2, 31) && IsNumberUpTo(part[1], 1, 2, 31) &&
         (part[2].size() == 2 || part[2].size() == 4) && AllDigits(part[2]);
}

// "03:04", "15:04", "15:04:59"; hours up to 12 when AM or PM follows.
bool IsDosTime(std::string_view s, bool twelveHour) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view minutes = s.substr(colon + 1), seconds;
  if (minutes.size() > 2) {
    if (minutes[2] != ':') return false;
    seconds = minutes.substr(3);
    minutes = minutes.substr(0, 2);
    if (!IsNumberUpTo(seconds, 2, 2, 59)) return false;
  }
  return IsNumberUpTo(s.substr(0, colon), 1, 2, twelveHour ? 12 : 23) &&
         IsNumberUpTo(minutes, 2, 2, 59);
}

bool IsHalfDay(std::string_view s) {
  return EqualsNoCase(s, "AM") || EqualsNoCase(s, "PM");
}

LineKind ReadDos(std::string_view line, FtpListEntry& entry) {
  std::vector<Token> t = Tokens(line, 5);
  if (t.size() < 4 || !IsDosDate(t[0].text)) return LineKind::Unreadable;
  std::string_view clock = t[1].text;
  size_t next = 2;
  bool twelveHour = false;
  if (clock.size() > 2 && IsHalfDay(clock.substr(clock.size() - 2))) {
    clock.remove_suffix(2);
    twelveHour = true;
  } else if (IsHalfDay(t[2].text)) {
    // "03:04 PM": the half of the day as a token of its own.
    twelveHour = true;
    next = 3;
    if (t.size() < 5) return LineKind::Unreadable;
  }
  if (!IsDosTime(clock, twelveHour)) return LineKind::Unreadable;

  std::string_view name;
  if (EqualsNoCase(t[next].text, "<DIR>")) {
    entry.isDirectory = true;
    // Servers pad "<DIR>" to columns of their own widths; only the size column is known to end
    // one blank before the name.
    name = RestAfter(line, t[next].end);
  } else if (auto n = GroupedNumber(t[next].text)) {
    entry.size = *n;
    // The size column is right-aligned and one blank separates it from the name.
    if (t[next].end + 1 < line.size()) name = line.substr(t[next].end + 1);
  } else {
    return LineKind::Unreadable;
  }
  if (name.empty()) return LineKind::Unreadable;
  entry.name = std::string(name);
  return LineKind::Entry;
}

// ---- EPLF ----

LineKind ReadEplf(std::string_view line, FtpListEntry& entry) {
  size_t tab = line.find('\t');
  if (line.empty() || line[0] != '+' || tab == std::string_view::npos || tab + 1 >= line.size())
    return LineKind::Unreadable;
  std::string_view facts = line.substr(1, tab - 1);
  bool folder = false, file = false;
  while (!facts.empty()) {
    size_t comma = facts.find(',');
    std::string_view fact = facts.substr(0, comma);
    facts = comma == std::string_view::npos ? std::string_view() : facts.substr(comma + 1);
    if (fact == "/") {
      folder = true;
    } else if (fact == "r") {
      file = true;
    } else if (!fact.empty() && fact[0] == 's') {
      auto n = ToNumber(fact.substr(1));
      if (!n) return LineKind::Unreadable;
      entry.size = *n;
    }
  }
  entry.name = std::string(line.substr(tab + 1));
  entry.isDirectory = folder;
  // Neither to be entered nor to be fetched: nothing to transfer.
  entry.isSpecial = !folder && !file;
  return LineKind::Entry;
}

// ---- MLSD ----

LineKind ReadMlsd(std::string_view line, FtpListEntry& entry) {
  line = TrimLineEnd(line);
  if (IsBlankLine(line)) return LineKind::NoEntry;
  size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 1 >= line.size()) return LineKind::Unreadable;
  std::string_view facts = line.substr(0, space);
  if (facts.find('=') == std::string_view::npos) return LineKind::Unreadable;
  size_t pos = 0;
  while (pos < facts.size()) {
    size_t semi = facts.find(';', pos);
    std::string_view fact =
        facts.substr(pos, semi == std::string_view::npos ? std::string_view::npos : semi - pos);
    pos = semi == std::string_view::npos ? facts.size() : semi + 1;
    size_t eq = fact.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
    if (EqualsNoCase(key, "type")) {
      if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir")) return LineKind::NoEntry;
      entry.isDirectory = EqualsNoCase(value, "dir");
      if (StartsWithNoCase(value, "OS.")) {
        // "OS.unix=slink:/target", "OS.unix=symlink"; any other system-specific type (device,
        // FIFO, socket) is neither a file nor a folder.
        std::string_view kind = value.substr(value.find('=') + 1);
        kind = kind.substr(0, kind.find_first_of(":-"));
        entry.isLink = EqualsNoCase(kind, "slink") || EqualsNoCase(kind, "symlink");
        entry.isSpecial = !entry.isLink;
      }
    } else if (EqualsNoCase(key, "size") || EqualsNoCase(key, "sizd")) {
      if (auto n = ToNumber(value)) entry.size = *n;
    }
  }
  entry.name = std::string(line.substr(space + 1));
  return LineKind::Entry;
}

LineKind ReadListLine(std::string_view line, FtpListEntry& entry) {
  line = TrimLineEnd(line);
  if (IsBlankLine(line) || IsTotalLine(line)) return LineKind::NoEntry;
  if (line[0] == '+') return ReadEplf(line, entry);
  if (IsDigit(line[0])) return ReadDos(line, entry);
  return ReadUnix(line, entry);
}

std::optional<FtpListEntry> EntryOf(LineKind (*read)(std::string_view, FtpListEntry&),
                                    std::string_view line) {
  FtpListEntry entry;
  if (read(TrimLineEnd(line), entry) != LineKind::Entry) return std::nullopt;
  return entry;
}

}  // namespace

std::optional<FtpListEntry> ParseMlsdLine(std::string_view line) {
  return EntryOf(ReadMlsd, line);
}

std::optional<FtpListEntry> ParseUnixListLine(std::string_view line) {
  return EntryOf(ReadUnix, line);
}

std::optional<FtpListEntry> ParseDosListLine(std::string_view line) {
  return EntryOf(ReadDos, line);
}

std::optional<FtpListEntry> ParseEplfLine(std::string_view line) {
  return EntryOf(ReadEplf, line);
}

std::optional<FtpListEntry> ParseListLine(std::string_view line) {
  return EntryOf(ReadListLine, line);
}

FtpListing ParseListing(std::string_view data, bool mlsd) {
  FtpListing listing;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    std::string_view line = TrimLineEnd(
        data.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
    pos = nl == std::string_view::npos ? data.size() : nl + 1;
    FtpListEntry entry;
    switch (mlsd ? ReadMlsd(line, entry) : ReadListLine(line, entry)) {
      case LineKind::Entry:
        listing.entries.push_back(std::move(entry));
        break;
      case LineKind::Unreadable:
        listing.unparsed.emplace_back(line);
        break;
      case LineKind::NoEntry:
        break;
    }
  }
  return listing;
}

}  // namespace trox::ftp
