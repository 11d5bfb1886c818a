#include "trox/LocalFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "trox/LocalFile.h"
#include "trox/PathRules.h"

const char* const kArchiveAttributeName = "user.trox.archived";

uint64_t LocalFileSize(const std::string& path) {
  const CLocalFile file = CLocalFile::Open(path, O_RDONLY | O_NONBLOCK);
  struct stat st {};
  if (!file.IsOpen() || !file.Status(&st) || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool LocalMaskMatches(const std::string& mask, const std::string& name) {
  // Folder masks follow the original platform's rule, on which "*.*" also matches names without
  // a dot.
  if (mask == "*.*" || mask == "*" || mask.empty()) return true;
  return ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

namespace {

enum class EntryKind { File, Folder, Other };

// Regular files (also behind a link) are files; only real folders are folders. Devices, pipes
// and sockets are passed over: reading a pipe could block the walk for ever.
EntryKind KindOf(const std::string& path, unsigned char dtype) {
  if (dtype == DT_REG) return EntryKind::File;
  if (dtype == DT_DIR) return EntryKind::Folder;
  struct stat st {};
  if (dtype == DT_UNKNOWN) {
    if (::lstat(path.c_str(), &st) != 0) return EntryKind::Other;
    if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    if (!S_ISLNK(st.st_mode)) return EntryKind::Other;
  } else if (dtype != DT_LNK) {
    return EntryKind::Other;
  }
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return EntryKind::File;
  return EntryKind::Other;
}

struct LocalWalk {
  const std::string& mask;
  void* context;
  LocalWalkCallback callback;
  int filesMode;
  LocalWalkCallback unreadable;
};

using FolderHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

FolderHandle OpenFolder(const std::string& prefix) {
  return FolderHandle(::opendir(prefix.c_str()), ::closedir);
}

enum class Listed { Completed, Stopped, Broken };

int WalkSubfolder(const std::string& path, const LocalWalk& walk);

// Visits one open listing. foundAny tells whether any name (even "." or "..") matched the mask.
Listed WalkListing(DIR* dir, const std::string& prefix, const LocalWalk& walk, bool* foundAny) {
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) return errno == 0 ? Listed::Completed : Listed::Broken;
    const std::string name = entry->d_name;
    if (!LocalMaskMatches(walk.mask, name)) continue;
    *foundAny = true;
    if (name == "." || name == "..") continue;
    const std::string path = prefix + name;
    const EntryKind kind = KindOf(path, entry->d_type);
    if (kind == EntryKind::Folder) {
      if (walk.filesMode == 0 && walk.callback(path, walk.context) == 0) return Listed::Stopped;
      if (WalkSubfolder(path, walk) == 0) return Listed::Stopped;
    } else if (kind == EntryKind::File && walk.filesMode != 0) {
      if (walk.callback(path, walk.context) == 0) return Listed::Stopped;
    }
  }
}

// A folder met in its parent's listing. One that cannot be listed (no permission, removed since)
// is the unreadable callback's to judge, so that one bad folder does not hide its later siblings.
// A folder without any matching name holds nothing for the walk and does not stop it.
int WalkSubfolder(const std::string& path, const LocalWalk& walk) {
  FolderHandle dir = OpenFolder(path + "/");
  bool foundAny = false;
  const Listed listed = dir ? WalkListing(dir.get(), path + "/", walk, &foundAny) : Listed::Broken;
  if (listed == Listed::Completed) return 1;
  if (listed == Listed::Stopped) return 0;
  if (walk.unreadable == nullptr) return 1;
  const int error = errno;
  dir.reset();
  errno = error;
  return walk.unreadable(path, walk.context);
}

}  // namespace

int WalkLocalTree(const std::string& folder, const std::string& mask, void* context,
                  LocalWalkCallback callback, int filesMode, LocalWalkCallback unreadable) {
  // The folder "" is the root, as the local folder of "/" is "".
  const std::string prefix = FolderPrefix(folder);
  // Closed however the walk leaves: a callback may throw (a failed transfer with IGNORE off).
  FolderHandle dir = OpenFolder(prefix);
  if (!dir) return 0;
  const LocalWalk walk{mask, context, callback, filesMode, unreadable};
  bool foundAny = false;
  const Listed listed = WalkListing(dir.get(), prefix, walk, &foundAny);
  return foundAny && listed == Listed::Completed ? 1 : 0;
}

int CanListLocalFolder(const std::string& folder) {
  FolderHandle dir = OpenFolder(FolderPrefix(folder));
  return dir ? 1 : 0;
}

int CanReadLocalFile(const std::string& path) {
  const CLocalFile file = CLocalFile::Open(path, O_RDONLY | O_NONBLOCK);
  if (!file.IsOpen()) return 0;
  struct stat st {};
  if (!file.Status(&st) || !S_ISDIR(st.st_mode)) return 1;
  errno = EISDIR;
  return 0;
}

int WalkLocalFiles(const std::string& folder, const std::string& mask, void* context,
                   LocalWalkCallback callback, LocalWalkCallback unreadable) {
  return WalkLocalTree(folder, mask, context, callback, 1, unreadable);
}

int WalkLocalFolders(const std::string& folder, const std::string& mask, void* context,
                     LocalWalkCallback callback, LocalWalkCallback unreadable) {
  return WalkLocalTree(folder, mask, context, callback, 0, unreadable);
}

bool LocalModificationTime(const std::string& path, int64_t* mtimeNs) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  *mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

ArchiveState ReadArchiveState(const std::string& path) {
  int64_t mtime = 0;
  if (!LocalModificationTime(path, &mtime)) return ArchiveState::Unreadable;
  char value[32] = {};
  ssize_t n = ::getxattr(path.c_str(), kArchiveAttributeName, value, sizeof value - 1);
  if (n < 0) return errno == ENODATA ? ArchiveState::Set : ArchiveState::Unreadable;
  value[n] = '\0';
  char* end = nullptr;
  errno = 0;
  long long marked = std::strtoll(value, &end, 10);
  if (errno != 0 || end == value || *end != '\0') return ArchiveState::Set;
  return marked == mtime ? ArchiveState::Clear : ArchiveState::Set;
}

bool ClearArchiveBit(const std::string& path, int64_t mtimeNs) {
  const std::string value = std::to_string(mtimeNs);
  return ::setxattr(path.c_str(), kArchiveAttributeName, value.data(), value.size(), 0) == 0;
}

int MakeLocalFolders(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return 1;
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return 1;
  const size_t cut = path.rfind('/');
  if (cut == std::string::npos) return 1;
  const int parent = MakeLocalFolders(path.substr(0, cut));
  if (parent != 1) return parent;
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST ? 1 : 0;
}
