// Pure parsers of FTP control-connection text: the reply reader and the parsers of single
// replies (227, 229, 257, 150, FEAT). None of them touches a socket; their tables are in
// tests/unit/ftp_reply_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace trox::ftp {

// One complete reply.
struct FtpReply {
  int code = 0;                    // 100..599
  std::vector<std::string> lines;  // as received, without line ends

  // The lines joined with "\r\n" (no line end after the last one).
  std::string Text() const;
  bool IsPreliminary() const { return code >= 100 && code < 200; }
  bool IsPositive() const { return code >= 200 && code < 400; }
  bool IsError() const { return code >= 400; }
};

// Turns the bytes of a control connection into complete replies (RFC 959 section 4.2):
//   "230 User logged in."                           one line
//   "211-Features:" " MDTM" " SIZE" "211 End"        several lines, ended by the code and a space
// Lines end with "\n", a "\r" before it is dropped. Bytes may arrive in any pieces, one at a
// time included. A line longer than the line cap, a reply longer than the reply cap, or a first
// line that does not start with a three-digit code makes the reader fail for good.
class FtpReplyReader {
 public:
  explicit FtpReplyReader(size_t lineCap = 8192, size_t replyCap = 64 * 1024)
      : m_lineCap(lineCap), m_replyCap(replyCap) {}

  // Takes bytes; complete replies are then available from Next().
  void Feed(const char* data, size_t size);
  void Feed(std::string_view data) { Feed(data.data(), data.size()); }
  // The oldest complete reply not taken yet.
  std::optional<FtpReply> Next();
  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }
  // True while a reply has started but is not complete.
  bool InReply() const { return !m_current.lines.empty() || !m_line.empty(); }

 private:
  void TakeLine(std::string line);

  size_t m_lineCap;
  size_t m_replyCap;
  std::string m_line;  // the line being received
  FtpReply m_current;  // the reply being received (lines so far)
  size_t m_currentSize = 0;
  std::vector<FtpReply> m_done;
  size_t m_nextDone = 0;
  std::string m_error;
};

// "227 Entering Passive Mode (192,168,1,2,19,137)." -> 5001 (19*256+137). The address is
// ignored: the data connection goes to the control connection's peer. Some servers leave out
// the parentheses ("227 =192,168,1,2,19,137"), so the six numbers are searched for anywhere.
std::optional<uint16_t> ParsePasvReply(std::string_view text);

// "229 Entering Extended Passive Mode (|||6446|)" -> 6446 (RFC 2428; any delimiter from 33 to
// 126 in place of "|").
std::optional<uint16_t> ParseEpsvReply(std::string_view text);

// "257 \"/home/a \"\"b\"\"\" is the current directory" -> "/home/a \"b\"" (RFC 959 appendix II:
// a quote inside the name is doubled). Without quotes, the first word after the code.
std::optional<std::string> ParsePwdReply(std::string_view text);

// "150 Opening BINARY mode data connection for big.bin (5368709120 bytes)." -> 5368709120.
std::optional<uint64_t> ParseAnnouncedSize(std::string_view text);

// "213 5368709120" -> 5368709120.
std::optional<uint64_t> ParseSizeReply(std::string_view text);

// The feature words of a FEAT reply, upper case, without their parameters:
//   "211-Features:" " MLST type*;size*;" " UTF8" " EPSV" "211 End"  ->  {MLST, UTF8, EPSV}
std::set<std::string> ParseFeatures(const FtpReply& reply);

}  // namespace trox::ftp
