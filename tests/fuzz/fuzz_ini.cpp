// libFuzzer entry for fuzz::Ini (see FuzzTargets.h).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::Ini(data, size);
}
