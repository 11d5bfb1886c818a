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
  char kind;  // 'f' file, 'd' folder, 'l' link, 's' device, socket or FIFO
  uint64_t size;
};

char KindOf(const FtpListEntry& e) {
  return e.isDirectory ? 'd' : e.isLink ? 'l' : e.isSpecial ? 's' : 'f';
}

// LIST lines (Unix ls -l, vsftpd, ProFTPD, pure-ftpd, busybox, IIS/DOS, EPLF, odd ones).
const std::vector<ListCase>& ListCases() {
  static const std::vector<ListCase> cases = {
      {"-rw-r--r--    1 1000     1000         1234 Jan 03 12:34 a.txt", true, "a.txt", 'f', 1234},
      {"drwxr-xr-x    2 1000     1000         4096 Dec 24  2019 docs", true, "docs", 'd', 4096},
      {"-rw-r--r--   1 owner group     5368709120 Jan  3 12:34 big file.iso", true, "big file.iso",
       'f', 5368709120ull},
      {"-rw-r--r--   1 owner group   18446744073709551615 Jan  3 12:34 huge", true, "huge", 'f',
       18446744073709551615ull},
      {"lrwxrwxrwx    1 0        0              11 Mar 05 08:00 latest -> v2/latest", true,
       "latest", 'l', 11},
      {"lrwxrwxrwx 1 u g 4 Mar  5  2021 name with -> arrow -> target", true, "name with", 'l', 4},
      {"lrwxrwxrwx 1 u g 4 Mar  5  2021  lead -> docs", true, " lead", 'l', 4},
      {"crw-rw-rw-   1 root  root          1,   3 Jan  1  2020 null", true, "null", 's', 0},
      {"brw-rw----   1 root  disk          8,0 Jan  1  2020 sda", true, "sda", 's', 0},
      {"srwxrwxrwx   1 ftp   ftp             0 Jan  1 10:00 socket", true, "socket", 's', 0},
      {"-rw-r--r--   1 owner               1024 Feb 29 23:59 no-group.txt", true, "no-group.txt",
       'f', 1024},
      {"-rw-r--r--   1 owner group          17 2020-01-03 12:34 iso-date.txt", true, "iso-date.txt",
       'f', 17},
      {"-rw-r--r--+  1 owner group          10 Jul  4 09:00 with-acl", true, "with-acl", 'f', 10},
      {"-rw-r--r--   1 ftp   ftp             0 Oct 31 00:00 empty", true, "empty", 'f', 0},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 two  spaces inside", true,
       "two  spaces inside", 'f', 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 Jan 1 12:00 date-like name", true,
       "Jan 1 12:00 date-like name", 'f', 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 \xc3\xbc\x62\x65r.txt", true,
       "\xc3\xbc\x62\x65r.txt", 'f', 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 crlf.txt\r", true, "crlf.txt", 'f', 5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00  lead.txt", true, " lead.txt", 'f', 5},
      {"-rw-r--r--   1 ftp   ftp             5 Dec 24  2019   two-lead", true, "  two-lead", 'f',
       5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 trail.txt \r", true, "trail.txt ", 'f',
       5},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 ~", true, "~", 'f', 5},
      {"drwxr-xr-x   3 ftp   ftp          4096 Jan  1 10:00 .", true, ".", 'd', 4096},
      {"drwxr-xr-x   3 ftp   ftp          4096 Jan  1 10:00 ..", true, "..", 'd', 4096},
      {"prw-r--r--   1 ftp   ftp             0 Jan  1 10:00 fifo", true, "fifo", 's', 0},
      {"01-15-20  03:04PM       <DIR>          My Folder", true, "My Folder", 'd', 0},
      {"01-15-2020  15:04             12,345 report.txt", true, "report.txt", 'f', 12345},
      {"12-31-99  11:59AM                  7 old.dat", true, "old.dat", 'f', 7},
      {"04-27-21  09:12AM           5368709120 big.iso", true, "big.iso", 'f', 5368709120ull},
      {"04-27-21  09:12 AM          1,024 spaced ampm.txt", true, "spaced ampm.txt", 'f', 1024},
      {"2020-01-15  15:04             70,000 iso.txt", true, "iso.txt", 'f', 70000},
      {"2020-01-15  15:04       <DIR>          Iso Folder", true, "Iso Folder", 'd', 0},
      {"15.01.2020  15:04             70.000 dotted.txt", true, "dotted.txt", 'f', 70000},
      {"01/15/2020  12:00AM      1,234,567,890 midnight.bin", true, "midnight.bin", 'f',
       1234567890},
      {"01-15-20  23:59:59                 12 seconds.txt", true, "seconds.txt", 'f', 12},
      {"01-15-20  03:04PM                  5  lead.txt", true, " lead.txt", 'f', 5},
      {"+i8388621.48594,m825718503,r,s280,\tdjb.html", true, "djb.html", 'f', 280},
      {"+i8388621.50690,m824255907,/,\t514", true, "514", 'd', 0},
      {"+i8388621.44468,m839956783,r,s10376,\tRFC EPLF draft", true, "RFC EPLF draft", 'f', 10376},
      {"+/,m824255907,\t lead", true, " lead", 'd', 0},
      {"+m824255907,s0,\tneither", true, "neither", 's', 0},
      {"total 12", false, "", 'f', 0},
      {"total 0", false, "", 'f', 0},
      {"", false, "", 'f', 0},
      {"   ", false, "", 'f', 0},
      {"ls: cannot access '-a': No such file or directory", false, "", 'f', 0},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00", false, "", 'f', 0},
      {"-rw-r--r--   1 ftp   ftp             5 Oct 31 00:00 ", false, "", 'f', 0},
      {"xrw-r--r--   1 ftp   ftp             5 Oct 31 00:00 bad-type", false, "", 'f', 0},
      {"01-15-20  03:04PM       <DIR>", false, "", 'f', 0},
      {"01-15-20  25:04XM       <DIR>          bad time", false, "", 'f', 0},
      {"01-15-20  13:04PM                  5 past noon", false, "", 'f', 0},
      {"01-15-20  24:00                    5 past midnight", false, "", 'f', 0},
      {"2020-13-15  15:04                  5 month 13", false, "", 'f', 0},
      {"01-15-20  03:04PM              70,00 bad grouping", false, "", 'f', 0},
      {"01-15-20  03:04PM             70,0.0 mixed marks", false, "", 'f', 0},
      {"+i1.2,r,s280,no-tab", false, "", 'f', 0},
      {"+r,s28x,\tbad size", false, "", 'f', 0},
      // Formats that are not read: VMS, NetWare, AS/400, OS/2.
      {"CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]  (RWED,RWED,,)",
       false, "", 'f', 0},
      {"d [R----F--] supervisor            512       Jan 16 18:53    login", false, "", 'f', 0},
      {"QSYS            77824 02/23/00 15:09:55 *DIR       QSYS.LIB/", false, "", 'f', 0},
      {"           0           DIR   05-12-97   16:44  PSFONTS", false, "", 'f', 0},
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
    EXPECT_EQ(KindOf(*e), c.kind) << c.line;
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
  EXPECT_TRUE(e->isLink);

  e = ParseMlsdLine("size=3; no-type");
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->isDirectory);

  EXPECT_FALSE(ParseMlsdLine("type=cdir;modify=20200101120000; ."));
  EXPECT_FALSE(ParseMlsdLine("type=pdir;modify=20200101120000; .."));
  EXPECT_FALSE(ParseMlsdLine("type=file;size=3;"));
  EXPECT_FALSE(ParseMlsdLine(""));
}

TEST(FtpListParser, MlsdKindsAndExactNames) {
  const std::vector<ListCase> cases = {
      {"type=OS.unix=symlink;size=3; to-dir", true, "to-dir", 'l', 3},
      {"type=OS.Unix=slink; bare", true, "bare", 'l', 0},
      {"type=OS.unix=chr-13/29; null", true, "null", 's', 0},
      {"type=OS.unix=blk; sda", true, "sda", 's', 0},
      {"type=OS.unix=fifo; pipe", true, "pipe", 's', 0},
      {"type=OS.unix=socket; sock", true, "sock", 's', 0},
      {"type=file;size=5;  lead.txt", true, " lead.txt", 'f', 5},
      {"type=file;size=5; trail.txt \r", true, "trail.txt ", 'f', 5},
      {"type=file;size=5; ~", true, "~", 'f', 5},
  };
  for (const ListCase& c : cases) {
    auto e = ParseMlsdLine(c.line);
    ASSERT_TRUE(e) << c.line;
    EXPECT_EQ(e->name, c.name) << c.line;
    EXPECT_EQ(KindOf(*e), c.kind) << c.line;
    EXPECT_EQ(e->size, c.size) << c.line;
  }
}

// Lines no parser reads are kept for the user (a listing of nothing else fails); lines that are
// known to hold no entry are not.
TEST(FtpListParser, WholeListingKeepsUnreadLines) {
  std::string vms =
      "Directory DISK$USER:[ANON]\r\n"
      "\r\n"
      "A.TXT;1  1/3  29-JAN-1996 03:33:12  [ANON]  (RWED,RWED,,)\r\n"
      "Total of 1 file, 1/3 blocks.\r\n";
  FtpListing listing = ParseListing(vms, false);
  EXPECT_TRUE(listing.entries.empty());
  EXPECT_EQ(listing.unparsed,
            (std::vector<std::string>{"Directory DISK$USER:[ANON]",
                                      "A.TXT;1  1/3  29-JAN-1996 03:33:12  [ANON]  (RWED,RWED,,)",
                                      "Total of 1 file, 1/3 blocks."}));

  std::string mixed =
      "total 4\n"
      "-rw-r--r-- 1 u g 3 Jan  1  2020 file\n"
      "?????????? ? ? ? ?            ? gone\n";
  listing = ParseListing(mixed, false);
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_EQ(listing.unparsed, std::vector<std::string>{"?????????? ? ? ? ?            ? gone"});

  listing = ParseListing("type=cdir; /pub\r\ntype=pdir; /\r\nno facts here\r\n", true);
  EXPECT_TRUE(listing.entries.empty());
  EXPECT_EQ(listing.unparsed, std::vector<std::string>{"no facts here"});
}

TEST(FtpListParser, WholeListingSkipsWhatIsNoEntry) {
  std::string unix =
      "total 8\r\n"
      "drwxr-xr-x 2 u g 4096 Jan  1  2020 dir\r\n"
      "-rw-r--r-- 1 u g 3 Jan  1  2020 file\r\n"
      "\r\n";
  FtpListing listing = ParseListing(unix, false);
  EXPECT_TRUE(listing.unparsed.empty());
  auto& entries = listing.entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "dir");
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "file");

  std::string mlsd =
      "type=cdir;modify=20200101000000; /pub\n"
      "type=file;size=3;modify=20200101000000; a\n"
      "type=dir;modify=20200101000000; b";  // no line end after the last line
  listing = ParseListing(mlsd, true);
  EXPECT_TRUE(listing.unparsed.empty());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a");
  EXPECT_EQ(entries[1].name, "b");
  EXPECT_TRUE(entries[1].isDirectory);
}

// Extra blanks between the columns must not change what a line gives.
TEST(FtpListParser, ExtraBlanksBetweenColumns) {
  for (const ListCase& c : ListCases()) {
    if (!c.parsed || c.line[0] == '+') continue;  // EPLF has no columns
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
