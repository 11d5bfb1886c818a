#include "trox/DisplayText.h"

#include <gtest/gtest.h>

#include <string>

#include "trox/TransferJob.h"

namespace {

using namespace std::string_literals;

TEST(DisplayText, EscapesWhatATerminalWouldActOn) {
  const struct {
    std::string in, shown;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"C:\\dir\\a.txt", "C:\\dir\\a.txt"},
      {"tab\there", "tab\there"},
      {"two\r\nlines\nand more\n", "two\r\nlines\nand more\n"},
      {"lone\rcr\r", "lone\\x0dcr\\x0d"},
      {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"bs\bdel\x7f", "bs\\x08del\\x7f"},
      {"nul\0here"s, "nul\\x00here"},
      // Valid UTF-8 stays, from two to four bytes; C1 controls and bidi overrides do not.
      {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80 \xc2\xa0",
       "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80 \xc2\xa0"},
      {"\xc2\x9b"
       "31m",
       "\\u009b31m"},
      {"txt.\xe2\x80\xae"
       "exe",
       "txt.\\u202eexe"},
      {"\xe2\x80\xaa\xe2\x80\xad\xe2\x81\xa6\xe2\x81\xa9", "\\u202a\\u202d\\u2066\\u2069"},
      {"\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa",
       "\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa"},
      // Bytes that are not UTF-8: stray, overlong, surrogate, beyond U+10FFFF, cut short.
      {"latin1-\xe9.bin", "latin1-\\xe9.bin"},
      {"\xff\xfe", "\\xff\\xfe"},
      {"\xc0\xaf", "\\xc0\\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"end\xe2\x80", "end\\xe2\\x80"},
      {"\xe2\x80\n", "\\xe2\\x80\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayText(c.in), c.shown) << c.in;
}

TEST(DisplayText, CutsEachOverlongLineWithAMarker) {
  const std::string x(kDisplayLineLimit, 'x');
  const struct {
    std::string in, shown;
  } cases[] = {
      {x, x},
      {x + "yz", x + "...[2 more bytes]"},
      {std::string(1 << 20, 'n'), std::string(kDisplayLineLimit, 'n') + "...[1044480 more bytes]"},
      // Each line has its own bound; the line break after a cut stays.
      {"short\n" + x + "tail\r\nnext", "short\n" + x + "...[4 more bytes]\r\nnext"},
      // Escapes count as shown; a character is never split.
      {std::string(2000, '\x1b'),
       [] {
         std::string s;
         for (size_t i = 0; i < kDisplayLineLimit / 4; ++i) s += "\\x1b";
         return s + "...[976 more bytes]";
       }()},
      {x.substr(1) + "\xc3\xa9y", x.substr(1) + "...[3 more bytes]"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayText(c.in), c.shown) << c.in.substr(0, 40);
}

std::string g_shown;

int Collect(const char* text, int, TransferProgress*, uintptr_t) {
  g_shown += text;
  return 0;
}

TEST(DisplayText, EveryEngineMessageGoesOutEscaped) {
  CTransferJob job;
  job.SetHostOutput(Collect, 0);
  job.SetVerbose();
  g_shown.clear();
  job.Output("Receiving /pub/\x1b[2J\r.bin in BINARY mode ...", 1);
  job.OutputVerbose("230-\x07\r\n230 \xe2\x80\xaeOK", 1);
  EXPECT_EQ(g_shown,
            "Receiving /pub/\\x1b[2J\\x0d.bin in BINARY mode ...230-\\x07\r\n230 \\u202eOK");
}

}  // namespace
