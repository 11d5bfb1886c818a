#include "trox/LocalFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

bool WriteAll(int fd, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, next, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    next += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

ssize_t ReadSome(int fd, void* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

CLocalFile::~CLocalFile() {
  const int error = errno;
  Close();
  errno = error;
}

CLocalFile::CLocalFile(CLocalFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

CLocalFile& CLocalFile::operator=(CLocalFile&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

CLocalFile CLocalFile::Open(const std::string& path, int flags, mode_t mode) {
  return CLocalFile(::open(path.c_str(), flags | O_CLOEXEC, mode));
}

bool CLocalFile::Status(struct stat* status) const {
  return ::fstat(m_fd, status) == 0;
}

bool CLocalFile::Close() {
  if (m_fd < 0) return true;
  // Linux releases the descriptor even when close fails, so it is never closed twice.
  return ::close(std::exchange(m_fd, -1)) == 0;
}

bool CReceivedFile::Open(int extraFlags) {
  m_file = CLocalFile::Open(m_path, O_WRONLY | O_CREAT | extraFlags);
  if (!m_file.IsOpen()) return false;
  struct stat status {};
  m_regular = m_file.Status(&status) && S_ISREG(status.st_mode);
  return !(m_regular && status.st_size > 0 && ::ftruncate(m_file.Fd(), 0) != 0);
}

bool CReceivedFile::Keep() {
  m_kept = m_file.Close();
  return m_kept;
}

void CReceivedFile::Discard() {
  if (m_kept || (!m_file.IsOpen() && !m_regular)) return;
  const int error = errno;
  m_file.Close();
  if (m_regular) ::unlink(m_path.c_str());
  m_regular = false;
  errno = error;
}
