// Tables for the pure parsers of control-connection text, the line-end converters, the HTTP
// address parser and the errno mapping.
#include <errno.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ftp/FtpControl.h"
#include "ftp/FtpList.h"
#include "ftp/FtpReply.h"
#include "ftp/LineEnds.h"
#include "net/HttpGet.h"
#include "net/Socket.h"
#include "trox/Internet.h"

using namespace trox::ftp;

namespace {

struct ReplyCase {
  std::string bytes;
  std::vector<std::pair<int, std::string>> replies;  // code, Text()
};

const std::vector<ReplyCase>& ReplyCases() {
  static const std::vector<ReplyCase> cases = {
      {"220 Welcome\r\n", {{220, "220 Welcome"}}},
      {"220 Welcome\n", {{220, "220 Welcome"}}},
      {"200\r\n", {{200, "200"}}},
      {"230-Hello\r\n230-More\r\n230 Done\r\n", {{230, "230-Hello\r\n230-More\r\n230 Done"}}},
      // RFC 959: lines inside may start with anything, other codes and the code plus "-"
      // included; only "<code> " ends the reply.
      {"211-Features:\r\n MLST type*;size*;\r\n UTF8\r\n211 End\r\n",
       {{211, "211-Features:\r\n MLST type*;size*;\r\n UTF8\r\n211 End"}}},
      {"214-Help\r\n200 not the end\r\n214-still not\r\n\r\n214 end\r\n",
       {{214, "214-Help\r\n200 not the end\r\n214-still not\r\n\r\n214 end"}}},
      {"150 Opening\r\n226 Done\r\n", {{150, "150 Opening"}, {226, "226 Done"}}},
      {"\r\n331 Password\r\n", {{331, "331 Password"}}},  // blank line between replies
      {"220 partial", {}},
      {"220-first\r\n220-second\r\n", {}},
  };
  return cases;
}

std::vector<std::pair<int, std::string>> Drain(FtpReplyReader& reader) {
  std::vector<std::pair<int, std::string>> out;
  while (auto r = reader.Next()) out.emplace_back(r->code, r->Text());
  return out;
}

}  // namespace

TEST(FtpReplyReader, ParsesTableWholeAndOneByteAtATime) {
  for (const ReplyCase& c : ReplyCases()) {
    FtpReplyReader whole;
    whole.Feed(c.bytes);
    EXPECT_FALSE(whole.Failed()) << c.bytes;
    EXPECT_EQ(Drain(whole), c.replies) << c.bytes;

    FtpReplyReader bytewise;
    std::vector<std::pair<int, std::string>> got;
    for (char ch : c.bytes) {
      bytewise.Feed(&ch, 1);
      auto more = Drain(bytewise);
      got.insert(got.end(), more.begin(), more.end());
    }
    EXPECT_FALSE(bytewise.Failed());
    EXPECT_EQ(got, c.replies) << c.bytes;
  }
}

TEST(FtpReplyReader, KeepsBytesOfTheNextReply) {
  FtpReplyReader reader;
  reader.Feed("150 Here\r\n22");
  auto first = reader.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->code, 150);
  EXPECT_TRUE(first->IsPreliminary());
  EXPECT_FALSE(reader.Next());
  EXPECT_TRUE(reader.InReply());
  reader.Feed("6 Done\r\n");
  auto second = reader.Next();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->code, 226);
  EXPECT_TRUE(second->IsPositive());
}

TEST(FtpReplyReader, FailsOnGarbageAndOverlongInput) {
  FtpReplyReader garbage;
  garbage.Feed("HTTP/1.1 400 Bad Request\r\n");
  EXPECT_TRUE(garbage.Failed());
  EXPECT_FALSE(garbage.Next());

  FtpReplyReader noSpace;
  noSpace.Feed("2200 x\r\n");
  EXPECT_TRUE(noSpace.Failed());

  FtpReplyReader badCode;
  badCode.Feed("600 x\r\n");
  EXPECT_TRUE(badCode.Failed());

  FtpReplyReader longLine(16, 1024);
  longLine.Feed("220 " + std::string(20, 'x'));  // no line end needed to notice
  EXPECT_TRUE(longLine.Failed());

  // An endless multi-line reply stops at the reply cap.
  FtpReplyReader endless(100, 1000);
  endless.Feed("211-start\r\n");
  for (int i = 0; i < 200 && !endless.Failed(); ++i) endless.Feed(" more text\r\n");
  EXPECT_TRUE(endless.Failed());
  EXPECT_FALSE(endless.Next());
}

TEST(FtpReplyParsers, PasvTakesThePortOnly) {
  EXPECT_EQ(ParsePasvReply("227 Entering Passive Mode (192,168,1,2,19,137)."), 19 * 256 + 137);
  EXPECT_EQ(ParsePasvReply("227 Entering Passive Mode (127,0,0,1,200,10)"), 200 * 256 + 10);
  EXPECT_EQ(ParsePasvReply("227 =10,0,0,1,4,1"), 4 * 256 + 1);
  EXPECT_EQ(ParsePasvReply("227 Entering Passive Mode 10, 0, 0, 1, 4, 2"), 4 * 256 + 2);
  EXPECT_EQ(ParsePasvReply("227 Entering Passive Mode (10,0,0,1,4,1,9)"), 4 * 256 + 1);
  EXPECT_FALSE(ParsePasvReply("227 Entering Passive Mode"));
  EXPECT_FALSE(ParsePasvReply("227 Entering Passive Mode (1,2,3,4,5)"));
  EXPECT_FALSE(ParsePasvReply("227 Entering Passive Mode (1,2,3,4,256,1)"));
  EXPECT_FALSE(ParsePasvReply("227 Entering Passive Mode (1,2,3,4,0,0)"));
  EXPECT_FALSE(ParsePasvReply("227 (1,2,3,4,1234,5)"));
  EXPECT_FALSE(ParsePasvReply(""));
}

TEST(FtpReplyParsers, Epsv) {
  EXPECT_EQ(ParseEpsvReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
  EXPECT_EQ(ParseEpsvReply("229 Entering Extended Passive Mode (!!!65535!)"), 65535);
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode (|||0|)"));
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode (|||65536|)"));
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode (||6446|)"));
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode (|||6446)"));
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode (|||x|)"));
  EXPECT_FALSE(ParseEpsvReply("229 Entering Extended Passive Mode"));
}

TEST(FtpReplyParsers, PwdWithDoubledQuotes) {
  EXPECT_EQ(ParsePwdReply("257 \"/\" is the current directory"), "/");
  EXPECT_EQ(ParsePwdReply("257 \"/home/a b\""), "/home/a b");
  EXPECT_EQ(ParsePwdReply("257 \"/say \"\"hi\"\"\" is current"), "/say \"hi\"");
  EXPECT_EQ(ParsePwdReply("257 \"/\xc3\xa4\xc3\xb6\""), "/\xc3\xa4\xc3\xb6");
  EXPECT_EQ(ParsePwdReply("257 /plain is current"), "/plain");
  EXPECT_FALSE(ParsePwdReply("257 \"/unterminated"));
  EXPECT_FALSE(ParsePwdReply("257"));
}

TEST(FtpReplyParsers, SizesAndFeatures) {
  EXPECT_EQ(ParseAnnouncedSize("150 Opening BINARY mode data connection for a.bin (1234 bytes)."),
            1234u);
  EXPECT_EQ(ParseAnnouncedSize("150 Opening data connection for x (5 bytes) (5368709120 bytes)"),
            5368709120u);
  EXPECT_FALSE(ParseAnnouncedSize("150 File status okay. About to open data connection."));
  EXPECT_FALSE(ParseAnnouncedSize("150 Opening (x bytes)"));
  EXPECT_EQ(ParseSizeReply("213 5368709120"), 5368709120u);
  EXPECT_EQ(ParseSizeReply("213 0"), 0u);
  EXPECT_FALSE(ParseSizeReply("550 Could not get file size."));
  EXPECT_FALSE(ParseSizeReply("213 12a"));

  FtpReplyReader reader;
  reader.Feed("211-Features:\r\n EPRT\r\n mlst type*;size*;\r\n UTF8\r\n SIZE\r\n211 End\r\n");
  auto feat = reader.Next();
  ASSERT_TRUE(feat);
  std::set<std::string> expected = {"EPRT", "MLST", "UTF8", "SIZE"};
  EXPECT_EQ(ParseFeatures(*feat), expected);
  reader.Feed("500 Unknown command.\r\n");
  EXPECT_TRUE(ParseFeatures(*reader.Next()).empty());
}

namespace {

// Converts the input in blocks of the given size.
template <typename Converter>
std::string ConvertInBlocks(const std::string& in, size_t block) {
  Converter c;
  std::string out;
  for (size_t i = 0; i < in.size(); i += block)
    c.Convert(std::string_view(in).substr(i, block), out);
  if constexpr (std::is_same_v<Converter, FromNetworkLineEnds>) c.Finish(out);
  return out;
}

}  // namespace

TEST(LineEnds, UploadAddsCrOnlyWhereMissingAtEveryBlockSize) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"a\rb", "a\rb"},
      {"mixed\r\nand\nlone\r", "mixed\r\nand\r\nlone\r"},
      {"\r\r\n", "\r\r\n"},
      {"", ""},
  };
  for (const auto& [in, want] : table)
    for (size_t block = 1; block <= in.size() + 1; ++block)
      EXPECT_EQ(ConvertInBlocks<ToNetworkLineEnds>(in, block), want) << in << " / " << block;
}

TEST(LineEnds, DownloadDropsCrBeforeLfAtEveryBlockSize) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"a\r\nb\r\n", "a\nb\n"}, {"a\nb\n", "a\nb\n"}, {"a\rb", "a\rb"}, {"end\r", "end\r"},
      {"\r\r\n", "\r\n"},       {"\r\n\r\n", "\n\n"}, {"", ""},
  };
  for (const auto& [in, want] : table)
    for (size_t block = 1; block <= in.size() + 1; ++block)
      EXPECT_EQ(ConvertInBlocks<FromNetworkLineEnds>(in, block), want) << in << " / " << block;
}

TEST(HttpUrl, ParsesAndRefuses) {
  auto u = trox::net::ParseHttpUrl("http://www.example.com/upgrade.asp?product=trox&version=3.00");
  EXPECT_EQ(u.host, "www.example.com");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(u.target, "/upgrade.asp?product=trox&version=3.00");
  u = trox::net::ParseHttpUrl("HTTP://127.0.0.1:8080");
  EXPECT_EQ(u.host, "127.0.0.1");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.target, "/");
  u = trox::net::ParseHttpUrl("http://[::1]:81/x");
  EXPECT_EQ(u.host, "::1");
  EXPECT_EQ(u.port, 81);
  u = trox::net::ParseHttpUrl("http://h?q=1");
  EXPECT_EQ(u.target, "/?q=1");

  auto errorOf = [](const std::string& url) {
    try {
      trox::net::ParseHttpUrl(url);
    } catch (const CInternetException& e) {
      return e.m_dwError;
    }
    return 0u;
  };
  EXPECT_EQ(errorOf("ftp://host/x"), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_EQ(errorOf("no address"), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(errorOf("http://"), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(errorOf("http://host:99999/"), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(errorOf("http://host:0/"), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(errorOf("http://host/a b"), ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(errorOf("http://host/a\r\nX-Injected: 1"), ERROR_INTERNET_INVALID_URL);
}

TEST(SocketErrors, MapToInternetNumbers) {
  using trox::net::MapSocketErrno;
  EXPECT_EQ(MapSocketErrno(ECONNREFUSED, true), ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(MapSocketErrno(ENETUNREACH, true), ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(MapSocketErrno(EHOSTUNREACH, true), ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(MapSocketErrno(ETIMEDOUT, true), ERROR_INTERNET_TIMEOUT);
  EXPECT_EQ(MapSocketErrno(ECONNRESET, false), ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_EQ(MapSocketErrno(EPIPE, false), ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_EQ(MapSocketErrno(ETIMEDOUT, false), ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_EQ(MapSocketErrno(EMFILE, true), ERROR_INTERNET_OUT_OF_HANDLES);
}

TEST(LastResponse, ShortBufferReportsTheLengthNeeded) {
  // A fresh thread has no response: the call fails and says so with a zero length.
  uint32_t error = 0, length = 100;
  char buffer[100];
  EXPECT_FALSE(InternetGetLastResponseInfo(&error, buffer, &length));
  EXPECT_EQ(length, 0u);
}

TEST(Trace, PasswordsAreMasked) {
  EXPECT_EQ(MaskedCommand("PASS secret"), "PASS ****");
  EXPECT_EQ(MaskedCommand("pass secret with spaces"), "pass ****");
  EXPECT_EQ(MaskedCommand("ACCT secret"), "ACCT ****");
  EXPECT_EQ(MaskedCommand("USER joe"), "USER joe");
  EXPECT_EQ(MaskedCommand("PASSIVE"), "PASSIVE");
}

// Random text built from the characters the parsers look at: nothing may crash or read out of
// bounds (run under the sanitizers), and what the reader returns is always a well-formed reply.
TEST(FtpParsers, SurviveRandomInput) {
  const std::string alphabet = "0123456789,|() -\r\n\"drwxl:JanDec<DIR>;=type=dirsize=AMPM";
  std::mt19937 gen(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string text(gen() % 120, ' ');
    for (char& c : text) c = alphabet[gen() % alphabet.size()];
    if (round % 3 == 0) text = std::to_string(100 + gen() % 500) + (gen() % 2 ? " " : "-") + text;
    ParsePasvReply(text);
    ParseEpsvReply(text);
    ParsePwdReply(text);
    ParseAnnouncedSize(text);
    ParseSizeReply(text);
    ParseListLine(text);
    ParseMlsdLine(text);
    ParseListing(text, round % 2 == 0);
    FtpReplyReader reader(64, 512);
    reader.Feed(text);
    while (auto r = reader.Next()) {
      EXPECT_GE(r->code, 100);
      EXPECT_LE(r->code, 599);
      ASSERT_FALSE(r->lines.empty());
      ParseFeatures(*r);
    }
  }
}
