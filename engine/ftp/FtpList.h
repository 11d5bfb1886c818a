// Pure parsers of directory listings: one line in, one entry (or nothing) out. The table of
// real-world lines they are tested with is tests/unit/ftp_list_test.cpp.
//
// Names are taken byte for byte (only the line end is dropped): a name may begin or end with
// spaces, and the entry must name the file the server will find again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trox/FtpListEntry.h"
#include "trox/InternetError.h"

namespace trox::ftp {

// One MLSD line (RFC 3659): facts, one space, the name (which may hold spaces and ';').
//   "type=file;size=1024;modify=20200101120000;perm=r; notes v2.txt"
//   "type=OS.unix=slink:/srv/data;modify=20200101120000; data"      (link)
//   "type=OS.unix=fifo;modify=20200101120000; pipe"                   (FIFO)
// "cdir" and "pdir" entries (the folder itself and its parent) give nothing.
std::optional<FtpListEntry> ParseMlsdLine(std::string_view line);

// One LIST line in the Unix `ls -l` form:
//   "-rw-r--r--   1 owner group     5368709120 Jan  3 12:34 big file.iso"
//   "drwxr-xr-x   2 owner group           4096 Dec 24  2019 docs"
//   "lrwxrwxrwx   1 owner group             11 Mar  5 08:00 latest -> v2/latest"  (name only)
//   "crw-rw-rw-   1 root  root          1,   3 Jan  1  2020 null"               (device)
//   "-rw-r--r--   1 owner               1024 2020-01-03 12:34 no-group.txt"       (ISO date)
// The group may be missing; the date is found by its month word (or ISO form), so numeric or
// odd owner names do not matter. The name begins one blank after the date, as `ls` writes it.
// "total 123" gives nothing.
std::optional<FtpListEntry> ParseUnixListLine(std::string_view line);

// One LIST line in the DOS / IIS form:
//   "01-15-20  03:04PM       <DIR>          My Folder"
//   "01-15-2020  15:04             12,345 report.txt"
//   "2020-01-15  15:04             70.000 iso-date.txt"
std::optional<FtpListEntry> ParseDosListLine(std::string_view line);

// One line in the Easily Parsed LIST Format: facts separated by commas, a tab, the name.
//   "+i8388621.48594,m825718503,r,s280,\tdjb.html"   ("r": a file, "/": a folder, "s": size)
std::optional<FtpListEntry> ParseEplfLine(std::string_view line);

// A LIST line of any of the forms above (a trailing "\r" is ignored).
std::optional<FtpListEntry> ParseListLine(std::string_view line);

// A whole listing as received over the data connection, split into lines and parsed.
struct FtpListing {
  std::vector<FtpListEntry> entries;
  // Lines that no parser could read, without their line ends. Lines that are known to be no
  // entry ("total 12", blank lines, MLSD's own folder and its parent) are not among them.
  std::vector<std::string> unparsed;
};
FtpListing ParseListing(std::string_view data, bool mlsd);

}  // namespace trox::ftp
