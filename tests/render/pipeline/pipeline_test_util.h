// Page and settings builders for the pipeline tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "render/pipeline/pipeline.h"
#include "tests/render/pipeline/reference_pipeline.h"

namespace pipetest {

// A 24-bit top-down page with the settings, paper and model the pipeline reads.
struct PageSetup {
  PrinterDevmode settings;
  InstalledPaper paper;
  ModelRecord model;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  std::vector<uint8_t> bits;
  DWORD ppDataFlags = 0;

  // White page, portrait, TSPL, fixed threshold, a 203 dpi model 4 inches wide and 6 long.
  PageSetup(int32_t w, int32_t h, int32_t extraRowBytes = 0) : width(w), height(h) {
    std::memset(&settings, 0, sizeof settings);
    std::memset(&paper, 0, sizeof paper);
    std::memset(&model, 0, sizeof model);
    settings.dm.dmOrientation = 1;
    settings.DitherLevel = 8;
    settings.PrintLanguage = kLangTspl;
    model.XDpi = model.YDpi = 203;
    model.MaxWidth = 101600;
    model.MaxLength = 152400;
    settings.PrintWidth = model.MaxWidth;
    stride = (3 * w + 3) / 4 * 4 + extraRowBytes;
    bits.assign(static_cast<size_t>(stride) * h, 0xFF);
  }

  DWORD Resolution() const { return model.XDpi * static_cast<DWORD>(std::max(1, settings.InputDPI + 1)); }

  PipelineInput Input() const {
    PipelineInput in{};
    in.settings = &settings;
    in.paper = &paper;
    in.model = &model;
    in.resolution = Resolution();
    in.ppDataFlags = ppDataFlags;
    in.bits = bits.data();
    in.width = width;
    in.height = height;
    in.stride = stride;
    in.bitsSize = static_cast<DWORD>(bits.size());
    return in;
  }

  void Set(int32_t x, int32_t y, uint8_t b, uint8_t g, uint8_t r) {
    uint8_t* p = &bits[static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x)];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  void Grey(int32_t x, int32_t y, uint8_t v) { Set(x, y, v, v, v); }
  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t v) {
    for (int32_t y = y0; y < y1; ++y) {
      for (int32_t x = x0; x < x1; ++x) Grey(x, y, v);
    }
  }
  // Micrometres that the shift conversion ((R x (um / 100) + 127) / 254, truncated toward zero)
  // turns back into `dots` at the device resolution.
  int32_t Microns(int64_t dots) const {
    const int64_t r = Resolution();
    const int64_t num = 254 * dots - 127;
    int64_t t = dots > 0 ? (num + r - 1) / r : dots < 0 ? -((-num + r - 1) / r) : 0;
    return static_cast<int32_t>(t * 100);
  }
  // Micrometres that R x um / 25400 (print width, model width) turns into `dots`.
  int32_t WidthMicrons(int64_t dots) const {
    const int64_t r = Resolution();
    return static_cast<int32_t>((dots * 25400 + r - 1) / r);
  }
};

struct Raster {
  bool ok = false;
  std::vector<uint8_t> bytes;
  uint32_t width = 0;
  uint32_t rows = 0;
};

inline Raster Render(const PageSetup& page) {
  const PipelineInput in = page.Input();
  PageRaster out;
  Raster r;
  r.ok = RenderPageRaster(in, &out);
  if (r.ok) {
    r.bytes.assign(out.data, out.data + out.bytes);
    r.width = out.width;
    r.rows = out.rows;
  }
  FreePageRaster(&out);
  return r;
}

inline Raster Reference(const PageSetup& page) {
  const reftest::ReferenceRaster ref = reftest::ReferencePipeline(page.Input());
  return Raster{ref.ok, ref.bytes, ref.width, ref.rows};
}

inline uint32_t RowBytes(const Raster& r) { return (r.width + 3) / 4 * 4 / 8; }

// Pixel (x, y) of a packed raster: true when white.
inline bool White(const Raster& r, uint32_t x, uint32_t y) {
  return (r.bytes[y * RowBytes(r) + x / 8] >> (7 - x % 8)) & 1;
}

}  // namespace pipetest
