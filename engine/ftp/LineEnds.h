// Line-end conversion of ASCII transfers, block by block. Both directions carry one byte of
// state, so a "\r\n" split between two blocks converts the same as one inside a block.
#pragma once

#include <string>
#include <string_view>

namespace trox::ftp {

// Local text to the network form: every "\n" becomes "\r\n"; a "\r\n" that is already there stays
// as it is (no "\r\r\n"). A lone "\r" stays.
class ToNetworkLineEnds {
 public:
  // Appends the converted block to out.
  void Convert(std::string_view in, std::string& out);

 private:
  bool m_lastWasCr = false;
};

// The network form to local text: every "\r\n" becomes "\n"; a lone "\r" stays. A "\r" at the end
// of a block is held back until the next block (or Finish) shows what follows it.
class FromNetworkLineEnds {
 public:
  void Convert(std::string_view in, std::string& out);
  // The end of the data: a "\r" still held back is written.
  void Finish(std::string& out);

 private:
  bool m_pendingCr = false;
};

}  // namespace trox::ftp
