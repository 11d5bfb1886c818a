// The stream type of the layer, apart so that the FTP layer below the public classes can
// implement it without seeing them.
#pragma once

#include <cstdint>

// A stream of data over one data connection: an open remote file, a raw command's data, or an
// HTTP reply body. Read returns full requested blocks until the end of the data, then a short
// block, then 0. Failures throw CInternetException. Close ends the transfer and checks the
// server's final reply (a refused or short transfer throws); the destructor closes quietly.
class CInternetFile {
 public:
  virtual ~CInternetFile() = default;
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  virtual void Write(const void* buffer, uint32_t count) = 0;
  virtual void Close() = 0;
};
