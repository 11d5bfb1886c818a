// Case folding of the letters A to Z only. Protocol words, INI names, file extensions and MIME
// names are ASCII by definition; the C library's case functions follow the locale (which a Qt
// program sets from the environment) and could fold the bytes of a UTF-8 name. Includes nothing
// of ours, so every layer of the engine may use it.
#pragma once

#include <string>
#include <string_view>

constexpr char AsciiToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiToLower(c);
  return text;
}

inline std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiToUpper(c);
  return text;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}
