// An INI ("private profile") document: named sections in square brackets holding key=value lines.
//
// It reads and writes the way transfer files have always been read and written on the original
// platform, so a file written by either side reads the same on the other:
// - section and key names match without regard to case (ASCII); the first match wins;
// - a value is trimmed of blanks, loses one pair of enclosing quotes (" or '), and at most
//   kMaxValueLength characters of it are seen;
// - a number is read as a decimal integer, a value that does not start with one reads as 0;
// - writing replaces a key's line in place or adds it after the last line of its section; a new
//   section goes to the end of the document;
// - lines it does not touch (unknown keys and sections, comments, blank lines) stay byte for
//   byte, line ends included; new lines take the document's line end ("\r\n" for a new file).
// A value that cannot be stored as one line (a line break or a zero byte) is refused, so the
// file is never corrupted by it. Parsing and editing are pure; Load and Save do the file I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CIniFile {
 public:
  static constexpr size_t kMaxValueLength = 1022;

  CIniFile() = default;
  explicit CIniFile(std::string_view text) { Parse(text); }

  // Replaces the document with the text ("\r\n" and "\n" line ends both accepted).
  void Parse(std::string_view text);
  // The document as text, untouched lines as they were read.
  std::string Text() const;
  // "\r\n" or "\n": the first line end of the parsed text, "\r\n" when it had none.
  const std::string& LineEnd() const { return m_lineEnd; }

  // Loads a file. A missing file gives an empty document and true; false (and an empty
  // document) when the file exists but cannot be read, with errno saying why.
  bool Load(const std::string& path);
  // Writes the document through a temporary file in the same folder that then replaces the
  // file, so a failure never leaves half a file. A symbolic link is followed, not replaced.
  // False with errno saying why.
  bool Save(const std::string& path) const;

  bool HasKey(std::string_view section, std::string_view key) const;
  // The value, or fallback when the key is missing.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback = "") const;
  // The value as a decimal number; fallback when the key is missing or its value empty.
  int GetInt(std::string_view section, std::string_view key, int fallback = 0) const;

  // False, with the document unchanged, when a name or the value cannot be stored faithfully.
  bool SetString(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's line; true when there was one.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name with all its lines; true when there was one.
  bool DeleteSection(std::string_view section);

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
  };
  // A section: its header line and the end of its lines (one past the last).
  struct Range {
    size_t header;
    size_t end;
  };

  std::vector<Range> FindSections(std::string_view section) const;
  // Index of the key's line in the first section of that name, or npos.
  size_t FindKey(std::string_view section, std::string_view key) const;
  void InsertLine(size_t at, std::string text);

  std::vector<Line> m_lines;
  std::string m_lineEnd = "\r\n";
};
