#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Never destroyed: the exit handler that removes the folders runs after static destructors.
std::vector<std::string>& TempDirs() {
  static auto* dirs = new std::vector<std::string>;
  return *dirs;
}

void RemoveTempDirs() {
  std::error_code ec;
  for (const auto& d : TempDirs()) fs::remove_all(d, ec);
}

}  // namespace

std::string MakeTempDir() {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(RemoveTempDirs); });
  std::string pattern = (fs::temp_directory_path() / "trox-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  TempDirs().push_back(buf.data());
  return buf.data();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(gen() & 0xff);
  return s;
}
