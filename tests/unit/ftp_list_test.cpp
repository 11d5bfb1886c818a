// Real-world listing lines, as servers send them, and what each must give.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ftp/FtpList.h"

using namespace trox::ftp;

namespace {

struct ListCase {
  const char* line;
  bool parsed;
  const char* name;
  bool isDirectory;
  uint64_t size;
};

// LIST lines (Unix ls -l, vsftpd, ProFTPD, pure-ftpd, busybox, IIS/DOS, odd ones).
const std::vector<ListCase>& ListCases() {
  static const std::vector<ListCase> cases = {
      {"-rw-r--r--    1 1000     1000         1234 Jan 03 12:34 a.txt", true, "a.txt", false, 1234},
      {"drwxr-xr-x    2 1000     1000         4096 Dec 24  2019 docs", true, "docs", true, 4096},
      {"-rw-r--r--   1 owner group     5368709120 Jan  3 12:34 big file.iso", true, "big file.iso",
       false, 5368709120ull},
      {"-rw-r--r--   1 owner group   18446744073709551615 Jan  3 12:34 huge", true, "huge", false,
       18446744073709551615ull},
      {"lrwxrwxrwx    1 0        0              11 Mar 05 08:00 latest -> v2/latest", true,
       "latest", false, 11},
      {"lrwxrwxrwx 1 u g 4 Mar  5  2021 name with -> arrow -> target", true, "name with", false, 4},
      {"crw-rw-rw-   1 root  root          1,   3 Jan  1  2020 null", true, "null", false, 0},
      {"brw-rw----   1 root  disk          8,0 Jan  1  2020 sda", true, "sda", false, 0},
      {"-rw-r--r--   1 owner               1024 Feb 29 23:59 no-group.txt", true, "no-group.txt",
       false, 1024},
      {"-rw-r--r--   1 owner group          17 2020-01-03 12:34 iso-date.txt", true, "iso-date.txt",
       false, 17},
      {"-rw-r--r--+  1 owner group          10 Jul  4 09:00 with-acl", true, "with-acl", false, 10},
      {"-rw-r--r--   1 ftp   ftp             0 Oct 31 00:00 empty", true, "empty", false, 0},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 two  spaces inside", true,
       "two  spaces inside", false, 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 Jan 1 12:00 date-like name", true,
       "Jan 1 12:00 date-like name", false, 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 \xc3\xbc\x62\x65r.txt", true,
       "\xc3\xbc\x62\x65r.txt", false, 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 crlf.txt\r", true, "crlf.txt", false,
       5},
      {"drwxr-xr-x   3 ftp   ftp          4096 Jan  1 10:00 .", true, ".", true, 4096},
      {"drwxr-xr-x   3 ftp   ftp          4096 Jan  1 10:00 ..", true, "..", true, 4096},
      {"prw-r--r--   1 ftp   ftp             0 Jan  1 10:00 fifo", true, "fifo", false, 0},
      {"01-15-20  03:04PM       <DIR>          My Folder", true, "My Folder", true, 0},
      {"01-15-2020  15:04             12,345 report.txt", true, "report.txt", false, 12345},
      {"12-31-99  11:59AM                  7 old.dat", true, "old.dat", false, 7},
      {"04-27-21  09:12AM           5368709120 big.iso", true, "big.iso", false, 5368709120ull},
      {"04-27-21  09:12 AM          1,024 spaced ampm.txt", true, "spaced ampm.txt", false, 1024},
      {"total 12", false, "", false, 0},
      {"total 0", false, "", false, 0},
      {"", false, "", false, 0},
      {"   ", false, "", false, 0},
      {"ls: cannot access '-a': No such file or directory", false, "", false, 0},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00", false, "", false, 0},
      {"xrw-r--r--   1 ftp   ftp             5 Oct 31 00:00 bad-type", false, "", false, 0},
      {"01-15-20  03:04PM       <DIR>", false, "", false, 0},
      {"01-15-20  25:04XM       <DIR>          bad time", false, "", false, 0},
  };
  return cases;
}

}  // namespace

TEST(FtpListParser, ListLinesFromTable) {
  for (const ListCase& c : ListCases()) {
    std::optional<FtpListEntry> e = ParseListLine(c.line);
    ASSERT_EQ(e.has_value(), c.parsed) << c.line;
    if (!e) continue;
    EXPECT_EQ(e->name, c.name) << c.line;
    EXPECT_EQ(e->isDirectory, c.isDirectory) << c.line;
    EXPECT_EQ(e->size, c.size) << c.line;
  }
}

TEST(FtpListParser, MlsdLines) {
  auto e = ParseMlsdLine("type=file;size=1024;modify=20200101120000;perm=r; notes v2.txt");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "notes v2.txt");
  EXPECT_FALSE(e->isDirectory);
  EXPECT_EQ(e->size, 1024u);

  e = ParseMlsdLine("Type=dir;Sizd=4096;Modify=20200101120000; sub;dir\r");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "sub;dir");
  EXPECT_TRUE(e->isDirectory);
  EXPECT_EQ(e->size, 4096u);

  e = ParseMlsdLine("type=file;size=5368709120;unix.mode=0644; big");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->size, 5368709120ull);

  e = ParseMlsdLine("type=OS.unix=slink:/etc/x;size=3; link");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "link");
  EXPECT_FALSE(e->isDirectory);

  e = ParseMlsdLine("size=3; no-type");
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->isDirectory);

  EXPECT_FALSE(ParseMlsdLine("type=cdir;modify=20200101120000; ."));
  EXPECT_FALSE(ParseMlsdLine("type=pdir;modify=20200101120000; .."));
  EXPECT_FALSE(ParseMlsdLine("type=file;size=3;"));
  EXPECT_FALSE(ParseMlsdLine(""));
}

TEST(FtpListParser, WholeListingSkipsWhatIsNoEntry) {
  std::string unix =
      "total 8\r\n"
      "drwxr-xr-x 2 u g 4096 Jan  1  2020 dir\r\n"
      "-rw-r--r-- 1 u g 3 Jan  1  2020 file\r\n"
      "\r\n";
  auto entries = ParseListing(unix, false);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "dir");
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "file");

  std::string mlsd =
      "type=cdir;modify=20200101000000; /pub\n"
      "type=file;size=3;modify=20200101000000; a\n"
      "type=dir;modify=20200101000000; b";  // no line end after the last line
  entries = ParseListing(mlsd, true);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a");
  EXPECT_EQ(entries[1].name, "b");
  EXPECT_TRUE(entries[1].isDirectory);
}

// Extra blanks between the columns must not change what a line gives.
TEST(FtpListParser, ExtraBlanksBetweenColumns) {
  for (const ListCase& c : ListCases()) {
    if (!c.parsed) continue;
    std::string line = c.line;
    size_t nameAt = line.find(std::string(" ") + c.name);
    ASSERT_NE(nameAt, std::string::npos) << line;
    std::string widened;
    for (size_t i = 0; i < nameAt; ++i) {
      widened += line[i];
      if (line[i] == ' ') widened += ' ';
    }
    widened += line.substr(nameAt);
    auto e = ParseListLine(widened);
    ASSERT_TRUE(e) << widened;
    EXPECT_EQ(e->name, c.name) << widened;
    EXPECT_EQ(e->size, c.size) << widened;
  }
}
