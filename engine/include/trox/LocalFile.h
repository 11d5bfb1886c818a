// Open local files: the owner of one file descriptor, and the file a receive writes into. Reads
// and writes go on after a signal interrupted them, and a write goes on until every byte is out.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>

// Writes all size bytes to fd, going on after short and interrupted writes; false with errno set
// (EIO for a write that took nothing).
bool WriteAll(int fd, const void* data, size_t size);
// Reads up to size bytes from fd, again after an interrupted read: the count, 0 at the end, -1
// with errno set.
ssize_t ReadSome(int fd, void* buffer, size_t size);

// One open file descriptor, closed when its owner goes, also when a failure throws past it.
class CLocalFile {
 public:
  CLocalFile() = default;
  explicit CLocalFile(int fd) : m_fd(fd) {}
  // Keeps errno: a caller reports the failure that made it give up the file.
  ~CLocalFile();
  CLocalFile(CLocalFile&& other) noexcept;
  CLocalFile& operator=(CLocalFile&& other) noexcept;
  CLocalFile(const CLocalFile&) = delete;
  CLocalFile& operator=(const CLocalFile&) = delete;

  // open(2) with O_CLOEXEC added; a file that is not open, errno set, when that fails.
  static CLocalFile Open(const std::string& path, int flags, mode_t mode = 0666);

  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  // fstat(2); false with errno set.
  bool Status(struct stat* status) const;
  ssize_t Read(void* buffer, size_t size) { return ReadSome(m_fd, buffer, size); }
  bool WriteAll(const void* data, size_t size) { return ::WriteAll(m_fd, data, size); }
  // Closes now. False with errno set when the close reports a failure, which for a file written
  // means data that may never have reached it. The file is closed either way.
  bool Close();

 private:
  int m_fd = -1;
};

// The local file that a receive writes into: made when missing, and emptied when it holds
// something (an empty one is left alone: ext4 writes back at close a file that was truncated,
// even an empty one). Unless Keep succeeds it is closed and removed again when its owner goes,
// so that a failed receive never leaves a file that looks complete; only a regular file is
// removed, never a device or FIFO named as the target.
class CReceivedFile {
 public:
  explicit CReceivedFile(std::string path) : m_path(std::move(path)) {}
  ~CReceivedFile() { Discard(); }
  CReceivedFile(const CReceivedFile&) = delete;
  CReceivedFile& operator=(const CReceivedFile&) = delete;

  // Opens it write-only with extraFlags. False with errno set; the file is then open when the
  // failure was in emptying it.
  bool Open(int extraFlags = 0);
  CLocalFile& File() { return m_file; }
  bool IsRegular() const { return m_regular; }
  // The data is complete: closes the file, which stays. False with errno set when the close
  // fails; the file then goes at the next Discard.
  bool Keep();
  // Closes the file and removes it unless it was kept. errno is kept.
  void Discard();

 private:
  std::string m_path;
  CLocalFile m_file;
  bool m_regular = false;
  bool m_kept = false;
};
