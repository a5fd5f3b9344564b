// Fuzz target: the driver data file header reader.
#include <cstdint>

#include "common/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ModelRecord* m = ParseDataFile(data, size);
  FreeModelRecord(m);
  return 0;
}
