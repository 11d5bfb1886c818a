// ASCII or binary per file. A file about to be sent can be read, so its content decides; a file
// about to be received can only be judged by its name, and a binary copy that turns out to be
// 7-bit text is fetched again by the download walk.
#include <fcntl.h>

#include <cstdlib>

#include "trox/Internet.h"
#include "trox/LocalFile.h"
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
  CLocalFile file = CLocalFile::Open(localPath, O_RDONLY | O_NONBLOCK);
  if (!file.IsOpen()) return FTP_TRANSFER_TYPE_ASCII;
  unsigned char buffer[8192];
  for (;;) {
    const ssize_t n = file.Read(buffer, sizeof buffer);
    if (n <= 0) return FTP_TRANSFER_TYPE_ASCII;
    for (ssize_t i = 0; i < n; ++i)
      if (buffer[i] >= 0x80) return FTP_TRANSFER_TYPE_BINARY;
  }
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
