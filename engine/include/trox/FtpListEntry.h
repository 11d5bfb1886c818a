// One entry of a remote listing, as the listing parsers make it and the listing class hands it out.
#pragma once

#include <cstdint>
#include <string>

// One entry of a listing.
struct FtpListEntry {
  std::string name;
  bool isDirectory = false;
  bool isLink = false;     // a symbolic link: its target may be a folder or a file
  bool isSpecial = false;  // a device, socket or FIFO: nothing to transfer
  uint64_t size = 0;
};
