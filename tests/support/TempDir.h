// Temporary folders for the tests and the files in them: made fresh, filled, read back, and
// removed when the test process ends.
#pragma once

#include <cstddef>
#include <string>

// A fresh folder under the system's temporary folder, removed at process exit.
std::string MakeTempDir();
// Writes the file whole, making the folders above it.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool PathExists(const std::string& path);
// Deterministic bytes of every value.
std::string PatternBytes(size_t size, unsigned seed = 1);
