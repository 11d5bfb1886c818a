#include "trox/PartialFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "trox/LocalFile.h"
#include "trox/PathRules.h"

namespace {

// Written only while the terminating signals are blocked, and published by the flag, so that a
// handler never sees half a path.
char g_pendingPath[PATH_MAX];
volatile sig_atomic_t g_pendingSet = 0;

class TerminatingSignalsBlocked {
 public:
  TerminatingSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, &m_previous);
  }
  ~TerminatingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
  TerminatingSignalsBlocked(const TerminatingSignalsBlocked&) = delete;
  TerminatingSignalsBlocked& operator=(const TerminatingSignalsBlocked&) = delete;

 private:
  sigset_t m_previous;
};

// Six letters or digits. They only need to differ between tries: O_EXCL keeps a name that
// someone else guessed (or a listed file of that name) safe.
std::string RandomSuffix() {
  thread_local uint64_t state = 0;
  if (state == 0) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    state = (static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 20) ^
             (static_cast<uint64_t>(getpid()) << 40)) |
            1;
  }
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix;
  for (int i = 0; i < 6; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    suffix += kLetters[state % (sizeof kLetters - 1)];
  }
  return suffix;
}

}  // namespace

std::string CreatePartialFile(const std::string& finalPath, int replacedMode) {
  std::string name = NameOf(finalPath);
  const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
  // The decoration must not make a name the file system refuses.
  const size_t decoration = std::strlen("..trox-XXXXXX");
  if (name.size() + decoration > NAME_MAX) name.resize(NAME_MAX - decoration);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = folder + "." + name + ".trox-" + RandomSuffix();
    if (path.size() >= sizeof g_pendingPath) {
      errno = ENAMETOOLONG;
      return std::string();
    }
    TerminatingSignalsBlocked blocked;
    const CLocalFile file = CLocalFile::Open(path, O_WRONLY | O_CREAT | O_EXCL);
    if (file.IsOpen()) {
      std::memcpy(g_pendingPath, path.c_str(), path.size() + 1);
      g_pendingSet = 1;
      if (replacedMode >= 0) ::fchmod(file.Fd(), static_cast<mode_t>(replacedMode));
      return path;
    }
    if (errno != EEXIST) return std::string();
  }
  errno = EEXIST;
  return std::string();
}

bool CommitPartialFile(const std::string& partialPath, const std::string& finalPath) {
  if (::rename(partialPath.c_str(), finalPath.c_str()) != 0) return false;
  g_pendingSet = 0;
  return true;
}

void DiscardPartialFile(const std::string& partialPath) {
  ::unlink(partialPath.c_str());
  if (g_pendingSet && partialPath == g_pendingPath) g_pendingSet = 0;
}

void RemovePendingPartialFile() {
  if (!g_pendingSet) return;
  ::unlink(g_pendingPath);
  g_pendingSet = 0;
}
