// Fuzz target: the model catalogue loader over arbitrary JSON text.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/model.h"
#include "common/wstr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> header(360, 0);
  std::memcpy(header.data(), "Tnwl", 4);
  header[8] = 360 & 0xFF;
  header[9] = 360 >> 8;
  for (const char16_t* name : {u"Tarnwell TW-QX", u"Tarnwell A"}) {
    ModelRecord* m = ParseDataFile(header.data(), header.size());
    if (!m) return 0;
    PrinterModel::LoadJsonText(reinterpret_cast<const char*>(data), size, m, ToWString(name).c_str());
    // Whatever the catalogue said, the paper list must be walkable.
    volatile int32_t sum = 0;
    for (int i = 0; i < ModelPaperCount(m); ++i) sum = sum + ModelPapers(m)[i].Width;
    FreeModelRecord(m);
  }
  return 0;
}
