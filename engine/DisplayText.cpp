#include "trox/DisplayText.h"

#include <cstdint>
#include <cstdio>

namespace {

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

// The length of the valid UTF-8 sequence of two or more bytes that starts at text[i], or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
size_t SequenceLength(std::string_view text, size_t i) {
  auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const size_t left = text.size() - i;
  const unsigned char lead = at(0);
  auto tail = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k)
      if (!InRange(at(k), 0x80, 0xbf)) return false;
    return true;
  };
  if (InRange(lead, 0xc2, 0xdf)) return left >= 2 && tail(1, 2) ? 2 : 0;
  if (InRange(lead, 0xe0, 0xef)) {
    if (left < 3) return 0;
    unsigned char low = lead == 0xe0 ? 0xa0 : 0x80;
    unsigned char high = lead == 0xed ? 0x9f : 0xbf;
    return InRange(at(1), low, high) && tail(2, 3) ? 3 : 0;
  }
  if (InRange(lead, 0xf0, 0xf4)) {
    if (left < 4) return 0;
    unsigned char low = lead == 0xf0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xf4 ? 0x8f : 0xbf;
    return InRange(at(1), low, high) && tail(2, 4) ? 4 : 0;
  }
  return 0;
}

uint32_t CodePoint(std::string_view sequence) {
  auto byte = [&](size_t k) {
    return static_cast<uint32_t>(static_cast<unsigned char>(sequence[k]));
  };
  if (sequence.size() == 2) return (byte(0) & 0x1f) << 6 | (byte(1) & 0x3f);
  if (sequence.size() == 3)
    return (byte(0) & 0x0f) << 12 | (byte(1) & 0x3f) << 6 | (byte(2) & 0x3f);
  return (byte(0) & 0x07) << 18 | (byte(1) & 0x3f) << 12 | (byte(2) & 0x3f) << 6 | (byte(3) & 0x3f);
}

// Characters that a terminal acts on or that reorder what follows them on the line.
bool IsHidden(uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9f) || (codePoint >= 0x202a && codePoint <= 0x202e) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}

std::string Escaped(const char* format, unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Where the line that holds text[i] ends, not counting its line break.
size_t LineEnd(std::string_view text, size_t i) {
  size_t end = text.find('\n', i);
  if (end == std::string_view::npos) return text.size();
  return end > i && text[end - 1] == '\r' ? end - 1 : end;
}

}  // namespace

std::string DisplayText(std::string_view text) {
  std::string out;
  out.reserve(text.size() < kDisplayLineLimit ? text.size() : kDisplayLineLimit);
  size_t lineStart = 0;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      const size_t breakLength = c == '\n' ? 1 : 2;
      out.append(text.substr(i, breakLength));
      i += breakLength;
      lineStart = out.size();
      continue;
    }
    size_t length = 1;
    std::string shown;
    if (c == '\t' || InRange(c, 0x20, 0x7e)) {
      shown.assign(1, static_cast<char>(c));
    } else if (c < 0x80) {
      shown = Escaped("\\x%02x", c);
    } else if ((length = SequenceLength(text, i)) == 0) {
      length = 1;
      shown = Escaped("\\x%02x", c);
    } else {
      std::string_view sequence = text.substr(i, length);
      uint32_t codePoint = CodePoint(sequence);
      shown = IsHidden(codePoint) ? Escaped("\\u%04x", codePoint) : std::string(sequence);
    }
    if (out.size() - lineStart + shown.size() > kDisplayLineLimit) {
      const size_t end = LineEnd(text, i);
      out += "...[" + std::to_string(end - i) + " more bytes]";
      i = end;
      continue;
    }
    out += shown;
    i += length;
  }
  return out;
}
