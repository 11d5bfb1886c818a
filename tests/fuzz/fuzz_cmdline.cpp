// libFuzzer entry for fuzz::CommandLine (see FuzzTargets.h).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::CommandLine(data, size);
}
