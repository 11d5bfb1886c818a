#include "ftp/FtpReply.h"

#include <charconv>

#include "trox/AsciiCase.h"

namespace trox::ftp {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The code of a line that starts with a reply code (first digit 1 to 5, RFC 959 4.2) followed
// by ' ', '-' or the line's end; 0 otherwise.
int LineCode(const std::string& line) {
  if (line.size() < 3 || line[0] < '1' || line[0] > '5' || !IsDigit(line[1]) || !IsDigit(line[2]))
    return 0;
  if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return 0;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::string FtpReply::Text() const {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

void FtpReplyReader::Feed(const char* data, size_t size) {
  for (size_t i = 0; i < size && !Failed(); ++i) {
    char c = data[i];
    if (c == '\n') {
      if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
      std::string line;
      line.swap(m_line);
      TakeLine(std::move(line));
      continue;
    }
    if (m_line.size() >= m_lineCap) {
      m_error = "a reply line is longer than " + std::to_string(m_lineCap) + " bytes";
      return;
    }
    m_line += c;
  }
}

void FtpReplyReader::TakeLine(std::string line) {
  m_currentSize += line.size() + 2;
  if (m_currentSize > m_replyCap) {
    m_error = "a reply is longer than " + std::to_string(m_replyCap) + " bytes";
    return;
  }
  int code = LineCode(line);
  if (m_current.lines.empty()) {
    if (code == 0) {
      // Some servers send an empty line between replies; anything else is not FTP.
      if (line.empty()) {
        m_currentSize = 0;
        return;
      }
      m_error = "not an FTP reply: \"" + line.substr(0, 80) + "\"";
      return;
    }
    m_current.code = code;
    bool more = line.size() > 3 && line[3] == '-';
    m_current.lines.push_back(std::move(line));
    if (more) return;
  } else {
    // Inside a multi-line reply only "<same code> " (or the bare code) ends it; other lines,
    // "<code>-" ones and lines starting with other numbers included, are text.
    bool last = code == m_current.code && (line.size() == 3 || line[3] == ' ');
    m_current.lines.push_back(std::move(line));
    if (!last) return;
  }
  m_done.push_back(std::move(m_current));
  m_current = FtpReply();
  m_currentSize = 0;
}

std::optional<FtpReply> FtpReplyReader::Next() {
  if (m_nextDone >= m_done.size()) return std::nullopt;
  FtpReply reply = std::move(m_done[m_nextDone++]);
  if (m_nextDone == m_done.size()) {
    m_done.clear();
    m_nextDone = 0;
  }
  return reply;
}

std::optional<uint16_t> ParsePasvReply(std::string_view text) {
  // Skip the reply code, then find the first run of six comma-separated numbers.
  size_t start = text.size() >= 4 ? 4 : text.size();
  for (size_t i = start; i < text.size(); ++i) {
    if (!IsDigit(text[i]) || (i > 0 && IsDigit(text[i - 1]))) continue;
    unsigned values[6];
    size_t p = i;
    int n = 0;
    bool ok = true;
    while (ok && n < 6) {
      size_t q = p;
      while (q < text.size() && IsDigit(text[q])) ++q;
      auto v = q > p && q - p <= 3 ? ParseNumber(text.substr(p, q - p)) : std::nullopt;
      if (!v || *v > 255) {
        ok = false;
        break;
      }
      values[n++] = static_cast<unsigned>(*v);
      p = q;
      if (n < 6) {
        if (p >= text.size() || text[p] != ',') {
          ok = false;
          break;
        }
        ++p;
        while (p < text.size() && text[p] == ' ') ++p;
      }
    }
    if (!ok) continue;
    unsigned port = values[4] * 256 + values[5];
    if (port == 0) return std::nullopt;
    return static_cast<uint16_t>(port);
  }
  return std::nullopt;
}

std::optional<uint16_t> ParseEpsvReply(std::string_view text) {
  size_t open = text.find('(');
  if (open == std::string_view::npos || open + 1 >= text.size()) return std::nullopt;
  char d = text[open + 1];
  if (d < 33 || d > 126 || IsDigit(d)) return std::nullopt;
  // "(d d d port d)"
  size_t p = open + 1;
  for (int i = 0; i < 3; ++i, ++p)
    if (p >= text.size() || text[p] != d) return std::nullopt;
  size_t end = text.find(d, p);
  if (end == std::string_view::npos || end + 1 >= text.size() || text[end + 1] != ')')
    return std::nullopt;
  auto port = ParseNumber(text.substr(p, end - p));
  if (!port || *port == 0 || *port > 65535) return std::nullopt;
  return static_cast<uint16_t>(*port);
}

std::optional<std::string> ParsePwdReply(std::string_view text) {
  if (text.size() < 4) return std::nullopt;
  std::string_view rest = text.substr(4);
  size_t open = rest.find('"');
  if (open == std::string_view::npos) {
    size_t end = rest.find(' ');
    std::string_view word = rest.substr(0, end);
    if (word.empty()) return std::nullopt;
    return std::string(word);
  }
  std::string path;
  for (size_t i = open + 1; i < rest.size(); ++i) {
    if (rest[i] == '"') {
      if (i + 1 < rest.size() && rest[i + 1] == '"') {
        path += '"';
        ++i;
        continue;
      }
      return path;
    }
    path += rest[i];
  }
  return std::nullopt;  // no closing quote
}

std::optional<uint64_t> ParseAnnouncedSize(std::string_view text) {
  // The last "(N bytes)" wins: a file name may itself contain such text.
  size_t pos = text.rfind(" bytes)");
  while (pos != std::string_view::npos) {
    size_t open = text.rfind('(', pos);
    if (open != std::string_view::npos) {
      if (auto n = ParseNumber(text.substr(open + 1, pos - open - 1))) return n;
    }
    if (pos == 0) break;
    pos = text.rfind(" bytes)", pos - 1);
  }
  return std::nullopt;
}

std::optional<uint64_t> ParseSizeReply(std::string_view text) {
  if (text.size() < 5 || text.substr(0, 4) != "213 ") return std::nullopt;
  std::string_view n = text.substr(4);
  while (!n.empty() && (n.back() == ' ' || n.back() == '\r')) n.remove_suffix(1);
  return ParseNumber(n);
}

std::set<std::string> ParseFeatures(const FtpReply& reply) {
  std::set<std::string> features;
  if (reply.code != 211) return features;
  // The first and last lines carry the code; the features are the lines between.
  for (size_t i = 1; i + 1 < reply.lines.size(); ++i) {
    const std::string& line = reply.lines[i];
    size_t b = line.find_first_not_of(' ');
    if (b == std::string::npos) continue;
    size_t e = line.find(' ', b);
    std::string word = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
    features.insert(AsciiUpperCase(word));
  }
  return features;
}

}  // namespace trox::ftp
