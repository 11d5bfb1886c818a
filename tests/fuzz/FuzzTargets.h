// What each fuzzer does with one input, shared by the libFuzzer programs (fuzz_*.cpp, built by
// run.sh with clang) and by the unit test that replays the inputs the fuzzers once broke on
// (tests/fuzz/regressions/<target>/, read by tests/unit/fuzz_regressions_test.cpp).
//
// Besides "no crash, no sanitizer report", each target checks the properties its parser
// promises: the INI document gives back its text byte for byte, the reply reader gives the same
// replies however the bytes are cut, a password that encrypts decrypts to itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "ftp/FtpList.h"
#include "ftp/FtpReply.h"
#include "ini/IniFile.h"
#include "trox/DisplayText.h"
#include "trox/Messages.h"
#include "trox/PasswordCrypto.h"
#include "trox/TransferJob.h"

namespace fuzz {

// A failed property: abort, which both libFuzzer and the unit test report.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline int Ini(const uint8_t* data, size_t size) {
  CIniFile ini(AsText(data, size));
  const std::string text = ini.Text();
  Check(text == AsText(data, size));
  // Names taken from the input itself, so that the reads hit its sections and keys.
  std::string_view input = AsText(data, size);
  std::string_view section = input.substr(0, std::min<size_t>(input.size(), 8));
  std::string_view key = input.substr(std::min<size_t>(input.size(), 8), 8);
  for (std::string_view s : {section, std::string_view("TROX")}) {
    for (std::string_view k : {key, std::string_view("SERVER"), std::string_view("PORT")}) {
      Check(ini.GetString(s, k).size() <= CIniFile::kMaxValueLength);
      (void)ini.GetInt(s, k);
      (void)ini.HasKey(s, k);
    }
  }
  CIniFile edited(input);
  if (edited.SetString(section, key, input.substr(std::min<size_t>(input.size(), 16)))) {
    CIniFile reread(edited.Text());
    Check(reread.Text() == edited.Text());
  }
  edited.DeleteKey(section, key);
  edited.DeleteSection(section);
  (void)edited.Text();
  return 0;
}

inline std::vector<trox::ftp::FtpReply> ReadReplies(trox::ftp::FtpReplyReader& reader) {
  std::vector<trox::ftp::FtpReply> replies;
  while (auto r = reader.Next()) replies.push_back(std::move(*r));
  return replies;
}

inline int Reply(const uint8_t* data, size_t size) {
  using trox::ftp::FtpReplyReader;
  std::string_view input = AsText(data, size);
  // The first byte picks the piece size of the second feed.
  size_t piece = size > 0 ? data[0] % 7 + 1 : 1;
  FtpReplyReader whole(256, 2048), pieces(256, 2048);
  whole.Feed(input);
  std::vector<trox::ftp::FtpReply> a = ReadReplies(whole);
  std::vector<trox::ftp::FtpReply> b;
  for (size_t i = 0; i < input.size(); i += piece) {
    pieces.Feed(input.substr(i, piece));
    for (auto& r : ReadReplies(pieces)) b.push_back(std::move(r));
  }
  Check(whole.Failed() == pieces.Failed());
  Check(a.size() == b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    Check(a[i].code == b[i].code && a[i].lines == b[i].lines);
    Check(a[i].code >= 100 && a[i].code <= 599);
    for (const std::string& line : a[i].lines) {
      (void)trox::ftp::ParsePwdReply(line);
      (void)trox::ftp::ParseAnnouncedSize(line);
      (void)trox::ftp::ParseSizeReply(line);
    }
    (void)trox::ftp::ParseFeatures(a[i]);
    (void)a[i].Text();
  }
  return 0;
}

inline int Listing(const uint8_t* data, size_t size) {
  std::string_view input = AsText(data, size);
  for (bool mlsd : {false, true}) {
    trox::ftp::FtpListing listing = trox::ftp::ParseListing(input, mlsd);
    for (const FtpListEntry& e : listing.entries) {
      Check(!e.name.empty());
      Check(e.name.find('\n') == std::string::npos);
      Check(!(e.isDirectory && e.isSpecial));
    }
    for (const std::string& line : listing.unparsed) {
      Check(line.find('\n') == std::string::npos);
      Check(input.find(line) != std::string_view::npos);
    }
  }
  (void)trox::ftp::ParseListLine(input);
  (void)trox::ftp::ParseUnixListLine(input);
  (void)trox::ftp::ParseDosListLine(input);
  (void)trox::ftp::ParseEplfLine(input);
  (void)trox::ftp::ParseMlsdLine(input);
  return 0;
}

inline int Passive(const uint8_t* data, size_t size) {
  std::string_view input = AsText(data, size);
  auto pasv = trox::ftp::ParsePasvReply(input);
  auto epsv = trox::ftp::ParseEpsvReply(input);
  (void)pasv;
  (void)epsv;
  return 0;
}

inline int Message(const uint8_t* data, size_t size) {
  std::string_view input = AsText(data, size);
  // The input is a template; its first bytes also pick a table entry and the arguments.
  std::vector<MessageArg> args;
  for (size_t i = 0; i < std::min<size_t>(size, 4); ++i) {
    if (data[i] & 1)
      args.emplace_back(static_cast<uint64_t>(data[i]) * 0x01010101u);
    else
      args.emplace_back(std::string(input.substr(i, 3)));
  }
  (void)FormatMessageTemplate(std::string(input), args);
  int number = size >= 2 ? (data[0] | data[1] << 8) % 1100 : 0;
  (void)MessageTemplate(number);
  (void)LoadMessage(number, args);
  (void)LoadMessage(number);

  // The input as a server-supplied text: what is shown holds no raw control byte but line ends,
  // each line keeps its bound, and showing it again changes nothing while nothing was cut.
  std::string shown = DisplayText(input);
  size_t lineStart = 0;
  for (size_t i = 0; i <= shown.size(); ++i) {
    if (i == shown.size() || shown[i] == '\n') {
      Check(i - lineStart <= kDisplayLineLimit + 32);
      lineStart = i + 1;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(shown[i]);
    bool lineEnd = c == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n';
    Check(c == '\t' || lineEnd || (c >= 0x20 && c != 0x7f));
  }
  if (size <= kDisplayLineLimit / 6) Check(DisplayText(shown) == shown);
  return 0;
}

inline int Password(const uint8_t* data, size_t size) {
  std::string text(AsText(data, size));
  std::string decrypted = text;
  if (DecryptPassword(decrypted) == 0) Check(decrypted == text);  // unchanged on failure
  // Whatever encrypts decrypts to itself. A password is a C string: it ends at a zero byte
  // (neither the command line nor a transfer file can hold one).
  std::string plain(AsText(data, size));
  plain.resize(std::strlen(plain.c_str()));
  std::string stored = plain;
  if (EncryptPassword(stored) == 1) {
    Check(DecryptPassword(stored) == 1);
    Check(stored == plain);
  }
  return 0;
}

// The input is the arguments, separated by zero bytes. Transfer files (-f) are left out: the
// fuzzer must not read or write files named by its input.
inline int CommandLine(const uint8_t* data, size_t size) {
  std::vector<std::string> args = {"trox"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  args.push_back(current);
  std::vector<char*> argv;
  for (std::string& a : args) {
    // Letters share an argument ("-gf"): any option argument with an f in it may name a file.
    if (a.size() >= 2 && a[0] == '-' && a.find('f') != std::string::npos) return 0;
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  CTransferJob job;
  std::string problem;
  int argc = static_cast<int>(args.size());
  int result = ParseCommandLine(argc, argv.data(), job, &problem);
  Check(result == kResultOk || result == kResultBadArguments);
  // A bad command line always says why, in one line.
  Check((result == kResultOk) == problem.empty());
  Check(problem.find('\n') == std::string::npos);
  // Blanking touches only the values of -p and -q: the command line reads the same afterwards.
  HideSecretArguments(argc, argv.data());
  CTransferJob again;
  Check(ParseCommandLine(argc, argv.data(), again) == result);
  return 0;
}

}  // namespace fuzz
