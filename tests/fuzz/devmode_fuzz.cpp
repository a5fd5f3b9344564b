// Fuzz target: merging a DEVMODE from any application into the defaults.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/devmode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> header(360, 0);
  std::memcpy(header.data(), "Tnwl", 4);
  header[8] = 360 & 0xFF;
  header[9] = 360 >> 8;
  header[72] = 203;
  header[80] = 203;
  ModelRecord* m = ParseDataFile(header.data(), header.size());
  if (!m) return 0;
  m->MaxCopies = 100;
  m->MaxScale = 400;
  PrinterDevmode target;
  FillDevmodeDefaults(m, nullptr, &target);
  if (size >= sizeof(DEVMODEW::dmFields) + 72) {
    MergeDevmode(nullptr, m, reinterpret_cast<const DEVMODEW*>(data), &target, size);
    std::vector<uint8_t> dst(sizeof(PrinterDevmode) + 64, 0);
    auto* d = reinterpret_cast<DEVMODEW*>(dst.data());
    d->dmSize = 220;
    d->dmDriverExtra = kDevmodePrivateSize;
    // The source must describe itself within the bytes given.
    const auto* s = reinterpret_cast<const DEVMODEW*>(data);
    if (size_t(s->dmSize) + s->dmDriverExtra <= size) CopyDevmode(s, d);
  }
  FreeModelRecord(m);
  return 0;
}
