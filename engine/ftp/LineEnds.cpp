#include "ftp/LineEnds.h"

namespace trox::ftp {

void ToNetworkLineEnds::Convert(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size() + in.size() / 32);
  size_t start = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\n') continue;
    bool crBefore = i > 0 ? in[i - 1] == '\r' : m_lastWasCr;
    out.append(in.data() + start, i - start);
    out += crBefore ? "\n" : "\r\n";
    start = i + 1;
  }
  out.append(in.data() + start, in.size() - start);
  if (!in.empty()) m_lastWasCr = in.back() == '\r';
}

void FromNetworkLineEnds::Convert(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size() + 1);
  size_t i = 0;
  if (m_pendingCr && !in.empty()) {
    m_pendingCr = false;
    if (in[0] != '\n') out += '\r';
  }
  size_t start = 0;
  for (; i < in.size(); ++i) {
    if (in[i] != '\r') continue;
    out.append(in.data() + start, i - start);
    start = i + 1;
    if (i + 1 == in.size()) {
      m_pendingCr = true;  // decided by the next block
    } else if (in[i + 1] != '\n') {
      out += '\r';
    }
  }
  out.append(in.data() + start, in.size() - start);
}

void FromNetworkLineEnds::Finish(std::string& out) {
  if (m_pendingCr) out += '\r';
  m_pendingCr = false;
}

}  // namespace trox::ftp
