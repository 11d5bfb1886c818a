// Pure parsers of directory listings: one line in, one entry (or nothing) out. The table of
// real-world lines they are tested with is tests/unit/ftp_list_test.cpp.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "ftp/Internet.h"

namespace trox::ftp {

// One MLSD line (RFC 3659): facts, one space, the name (which may hold spaces and ';').
//   "type=file;size=1024;modify=20200101120000;perm=r; notes v2.txt"
// "cdir" and "pdir" entries (the folder itself and its parent) give nothing.
std::optional<FtpListEntry> ParseMlsdLine(std::string_view line);

// One LIST line in the Unix `ls -l` form:
//   "-rw-r--r--   1 owner group     5368709120 Jan  3 12:34 big file.iso"
//   "drwxr-xr-x   2 owner group           4096 Dec 24  2019 docs"
//   "lrwxrwxrwx   1 owner group             11 Mar  5 08:00 latest -> v2/latest"  (name only)
//   "crw-rw-rw-   1 root  root          1,   3 Jan  1  2020 null"               (device)
//   "-rw-r--r--   1 owner               1024 2020-01-03 12:34 no-group.txt"       (ISO date)
// The group may be missing; the date is found by its month word (or ISO form), so numeric or
// odd owner names do not matter. "total 123" gives nothing.
std::optional<FtpListEntry> ParseUnixListLine(std::string_view line);

// One LIST line in the DOS / IIS form:
//   "01-15-20  03:04PM       <DIR>          My Folder"
//   "01-15-2020  15:04             12,345 report.txt"
std::optional<FtpListEntry> ParseDosListLine(std::string_view line);

// A LIST line of either form (a trailing "\r" is ignored).
std::optional<FtpListEntry> ParseListLine(std::string_view line);

// A whole listing as received over the data connection, split into lines and parsed; lines that
// are no entry ("total", blank, unknown) are left out.
std::vector<FtpListEntry> ParseListing(std::string_view data, bool mlsd);

}  // namespace trox::ftp
