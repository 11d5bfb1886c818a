#include "trox/LocalFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "TempDir.h"

TEST(CReceivedFile, KeptOnlyWhenCompleteAndEmptiedBeforeWriting) {
  const std::string dir = MakeTempDir();
  struct Case {
    const char* name;
    const char* before;  // nullptr: no such file
    bool keep;
    const char* after;
  } cases[] = {
      {"new-kept", nullptr, true, "data"},
      {"new-dropped", nullptr, false, "(none)"},
      {"old-kept", "older and longer", true, "data"},
      {"old-dropped", "older", false, "(none)"},
  };
  for (const Case& c : cases) {
    const std::string path = dir + "/" + c.name;
    if (c.before) WriteFileBytes(path, c.before);
    {
      CReceivedFile file(path);
      ASSERT_TRUE(file.Open()) << c.name;
      EXPECT_TRUE(file.IsRegular());
      ASSERT_TRUE(file.File().WriteAll("data", 4));
      EXPECT_TRUE(!c.keep || file.Keep());
    }
    EXPECT_EQ(PathExists(path) ? ReadFileBytes(path) : "(none)", c.after) << c.name;
  }
}

TEST(CReceivedFile, DeviceIsNeverRemovedAndMissingFolderKeepsErrno) {
  {
    CReceivedFile device("/dev/null");
    ASSERT_TRUE(device.Open());
    EXPECT_FALSE(device.IsRegular());
  }
  EXPECT_TRUE(PathExists("/dev/null"));
  CReceivedFile missing(MakeTempDir() + "/no/such");
  EXPECT_FALSE(missing.Open());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(missing.File().IsOpen());
}

TEST(CLocalFile, MovedOwnerClosesOnceAndWritesWhole) {
  const std::string path = MakeTempDir() + "/f";
  CLocalFile first = CLocalFile::Open(path, O_WRONLY | O_CREAT);
  CLocalFile second = std::move(first);
  EXPECT_FALSE(first.IsOpen());
  const std::string big(1 << 20, 'x');
  ASSERT_TRUE(second.WriteAll(big.data(), big.size()));
  EXPECT_TRUE(second.Close());
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(ReadFileBytes(path), big);
}
