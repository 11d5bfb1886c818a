// Replays every input kept under tests/fuzz/regressions/<target>/ through the same code as the
// fuzzers: the inputs that once broke a parser, and a few ordinary ones per target. A property
// that fails aborts the test program, as it aborts the fuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../fuzz/FuzzTargets.h"

namespace fs = std::filesystem;

namespace {

using Target = int (*)(const uint8_t*, size_t);

size_t Replay(const std::string& name, Target target) {
  const fs::path folder = fs::path(TROX_TEST_SUPPORT_DIR) / ".." / "fuzz" / "regressions" / name;
  size_t count = 0;
  if (!fs::is_directory(folder)) return 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  return count;
}

TEST(FuzzRegressions, EveryKeptInputPassesItsTarget) {
  const std::pair<const char*, Target> targets[] = {{"ini", fuzz::Ini},
                                                    {"reply", fuzz::Reply},
                                                    {"listing", fuzz::Listing},
                                                    {"passive", fuzz::Passive},
                                                    {"message", fuzz::Message},
                                                    {"password", fuzz::Password},
                                                    {"cmdline", fuzz::CommandLine}};
  for (const auto& [name, target] : targets) {
    SCOPED_TRACE(name);
    EXPECT_GT(Replay(name, target), 0u);
  }
}

}  // namespace
