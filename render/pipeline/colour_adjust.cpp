// The colour correction table. Apart from the rest of the pipeline, so that linking it brings in
// nothing else of it.
#include "render/colour_adjust.h"

#include <algorithm>

bool ColourAdjustTable(int contrast, int brightness, uint8_t table[256]) {
  const int64_t c = static_cast<int64_t>(contrast) * 255 / 100;
  const double factor = static_cast<double>((c + 255) * 259) / static_cast<double>(66045 - c * 255);
  const int64_t offset = static_cast<int64_t>(brightness) * 128 / 100;
  bool identity = true;
  for (int v = 0; v < 256; ++v) {
    int64_t level = static_cast<int64_t>((v - 128) * factor + 128);
    level = std::clamp<int64_t>(level, 0, 255);
    level = std::clamp<int64_t>(level + offset, 0, 255);
    identity = identity && level == v;
    table[v] = static_cast<uint8_t>(level);
  }
  return identity;
}
