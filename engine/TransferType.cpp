// ASCII or binary per file. A file about to be sent can be read, so its content decides; a file
// about to be received can only be judged by its name, and a binary copy that turns out to be
// 7-bit text is fetched again by the download walk.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"

namespace {

// The job's forced type, or 0 when each file decides for itself.
uint32_t ForcedType(uint32_t transferType) {
  if (transferType == 0) return 0;
  return transferType == 1 ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
}

}  // namespace

uint32_t CTransferJob::ScanTransferType(const std::string& localPath) const {
  if (uint32_t forced = ForcedType(m_transferType)) return forced;
  int fd = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return FTP_TRANSFER_TYPE_ASCII;
  uint32_t type = FTP_TRANSFER_TYPE_ASCII;
  unsigned char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bool highBit = false;
    for (ssize_t i = 0; i < n && !highBit; ++i) highBit = buffer[i] >= 0x80;
    if (highBit) {
      type = FTP_TRANSFER_TYPE_BINARY;
      break;
    }
  }
  ::close(fd);
  return type;
}

uint32_t CTransferJob::TransferTypeByExtension(const std::string& name) const {
  if (uint32_t forced = ForcedType(m_transferType)) return forced;
  // The list is looked up by number each time, so an added entry needs no other change.
  const int first = std::atoi(MessageTemplate(2000).c_str());
  for (int number = first; first > 0; ++number) {
    const std::string extension = MessageTemplate(number);
    if (extension.empty()) break;
    const size_t n = extension.size() < name.size() ? extension.size() : name.size();
    if (name.compare(name.size() - n, n, extension) == 0) return FTP_TRANSFER_TYPE_ASCII;
  }
  return FTP_TRANSFER_TYPE_BINARY;
}
