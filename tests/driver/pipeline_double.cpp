// Test double of the page raster pipeline, linked into driver_tests only while the build has no
// lblpipeline: a plain threshold of the page, packed with 1 = white.
#include <cstring>

#include "render/pipeline.h"

bool RenderPageRaster(const PipelineInput& in, PageRaster* out) {
  if (!in.bits || in.width <= 0 || in.height <= 0 || !out) return false;
  const DWORD rowBytes = DWORD(in.width + 7) / 8;
  out->bytes = rowBytes * DWORD(in.height);
  out->data = static_cast<uint8_t*>(LocalAlloc(LPTR, out->bytes));
  if (!out->data) return false;
  std::memset(out->data, 0xFF, out->bytes);
  for (int32_t y = 0; y < in.height; ++y) {
    if (in.cancelled && in.cancelled(in.cancelContext)) {
      FreePageRaster(out);
      return false;
    }
    const uint8_t* row = in.bits + ptrdiff_t(y) * in.stride;
    for (int32_t x = 0; x < in.width; ++x) {
      const uint8_t* px = row + 3 * x;
      if (px[0] + px[1] + px[2] < 3 * 128) out->data[y * rowBytes + x / 8] &= uint8_t(~(0x80 >> (x % 8)));
    }
  }
  out->width = DWORD(in.width);
  out->rows = DWORD(in.height);
  return true;
}

void FreePageRaster(PageRaster* raster) {
  if (raster && raster->data) LocalFree(raster->data);
  if (raster) *raster = PageRaster{};
}
