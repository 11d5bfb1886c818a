// trox's status line as text: the figures, and the file name cut from its start to fit.
#include <gtest/gtest.h>

#include <string>

#include "Progress.h"

namespace {

struct LineCase {
  const char* file;
  uint64_t done;
  uint64_t total;
  double rate;
  size_t width;
  const char* expected;
};

TEST(ProgressLine, FiguresAndWidth) {
  const LineCase cases[] = {
      // Total and rate unknown: the bytes alone.
      {"/d/a.bin", 512, 0, 0, 80, "/d/a.bin  512 B"},
      {"/d/a.bin", 1536, 3072, 1024, 80, "/d/a.bin  1.5 KB  1.0 KB/s  50%  0:02 left"},
      {"/d/a.bin", 1048575, 0, 1048576, 80, "/d/a.bin  1.0 MB  1.0 MB/s"},
      {"a", 0, 10000, 1, 80, "a  0 B  1 B/s  0%  2:46:40 left"},
      // Text grown by its line ends: never above the whole, no time left.
      {"a", 120, 100, 10, 80, "a  120 B  10 B/s  100%"},
      // A rate that all but stopped promises no time.
      {"a", 0, 1ull << 40, 1, 80, "a  0 B  1 B/s  0%"},
      {"/very/long/folder/name/file.bin", 1048576, 2097152, 1048576, 50,
       "...name/file.bin  1.0 MB  1.0 MB/s  50%  0:01 left"},
      // No room for a useful name: the figures, cut if need be.
      {"/very/long/folder/name/file.bin", 1048576, 2097152, 1048576, 40,
       "1.0 MB  1.0 MB/s  50%  0:01 left"},
      {"/d/a.bin", 1536, 0, 0, 4, "1.5 "},
      // Wide characters count two columns and are never split.
      {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", 5, 0, 0, 13, "....txt  5 B"},
      {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", 5, 0, 0, 14, "...\xe8\xaa\x9e.txt  5 B"},
      // Nothing that acts on the terminal or breaks the line.
      {"a\x1b[2J\nb\tc", 1, 0, 0, 80, "a\\x1b[2J\\x0ab\\x09c  1 B"},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(FormatProgressLine(c.file, c.done, c.total, c.rate, c.width), c.expected)
        << c.file << " width " << c.width;
  }
}

}  // namespace
