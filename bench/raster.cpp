// Times the page raster pipeline on a 4 x 6 inch label page against the memory floor B measured in
// the same run: a memcpy of 64 MiB (far beyond the caches; a page-sized copy stays in cache and is
// no floor), scaled to the bytes of the 24-bit page.
//
//   raster [--reps N]
//
// Pages: 812 x 1218 (203 dpi) and 2400 x 3600 (a 300 dpi model drawn at 600 dpi, InputDPI 1).
// Content: white, with a block of text-like strokes, a barcode and a grey photograph-like area
// (about a quarter of the page). Each figure is the median of N runs, B included.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/devmode.h"
#include "render/pipeline/pipeline.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Page {
  int32_t width, height, stride;
  std::vector<uint8_t> bits;
};

Page MakeLabel(int32_t w, int32_t h) {
  Page p{w, h, (3 * w + 3) / 4 * 4, {}};
  p.bits.assign(static_cast<size_t>(p.stride) * h, 0xFF);
  auto grey = [&](int32_t x, int32_t y, uint8_t v) {
    uint8_t* px = &p.bits[static_cast<size_t>(y) * p.stride + 3 * static_cast<size_t>(x)];
    px[0] = px[1] = px[2] = v;
  };
  uint32_t seed = 12345;
  auto next = [&]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  const int32_t m = w / 20;
  // Text: rows of short strokes in the top third.
  for (int32_t line = 0; line < 12; ++line) {
    const int32_t y0 = m + line * (h / 36), th = h / 60;
    for (int32_t x = m; x < w - m;) {
      const int32_t cw = static_cast<int32_t>(w / 80 + next() % (w / 60 + 1));
      for (int32_t y = y0; y < y0 + th; ++y) {
        for (int32_t i = 0; i < cw && x + i < w - m; ++i) {
          if ((i + y) % 5 != 0) grey(x + i, y, 0);
        }
      }
      x += cw + w / 100 + 1;
    }
  }
  // Barcode in the middle.
  for (int32_t x = m; x < w - m;) {
    const int32_t bar = static_cast<int32_t>(1 + next() % 4) * (w / 400 + 1);
    if (next() & 1) {
      for (int32_t y = h / 2 - h / 12; y < h / 2 + h / 12; ++y) {
        for (int32_t i = 0; i < bar && x + i < w - m; ++i) grey(x + i, y, 0);
      }
    }
    x += bar;
  }
  // A grey picture in the bottom part.
  for (int32_t y = h * 2 / 3; y < h - m; ++y) {
    for (int32_t x = m; x < w - m; ++x) {
      grey(x, y, static_cast<uint8_t>((x * 255 / w + (y * 3 % 256)) / 2 + (next() & 31)));
    }
  }
  return p;
}

template <typename F>
double MedianMs(int reps, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = Clock::now();
    f();
    t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 15;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: raster [--reps N]\n");
      return 2;
    }
  }
  struct Case {
    const char* name;
    int32_t w, h;
    uint32_t dpi;
    int16_t inputDpi;
  };
  const Case cases[] = {{"203 dpi, 812 x 1218", 812, 1218, 203, 0},
                        {"300 dpi InputDPI 1, 2400 x 3600", 2400, 3600, 300, 1}};
  constexpr size_t kBig = size_t{64} << 20;
  std::vector<uint8_t> from(kBig, 1), to(kBig, 0);
  const double bigMs = MedianMs(std::max(reps, 5), [&] {
    std::memcpy(to.data(), from.data(), kBig);
    from[to[kBig / 2] & 1023] ^= 1;
  });
  std::printf("%-34s %6s %10s %10s %8s %9s\n", "page", "level", "ms/page", "B ms", "ratio", "baseline");
  int failures = 0;
  for (const Case& c : cases) {
    const Page page = MakeLabel(c.w, c.h);
    const double copyMs = bigMs * static_cast<double>(page.bits.size()) / static_cast<double>(kBig);

    PrinterDevmode settings;
    std::memset(&settings, 0, sizeof settings);
    ModelRecord model;
    std::memset(&model, 0, sizeof model);
    InstalledPaper paper;
    std::memset(&paper, 0, sizeof paper);
    model.XDpi = model.YDpi = c.dpi;
    model.MaxWidth = 101600;
    model.MaxLength = 152400;
    settings.dm.dmOrientation = DMORIENT_PORTRAIT;
    settings.PrintLanguage = kLangTspl;
    settings.PrintWidth = model.MaxWidth;
    settings.InputDPI = c.inputDpi;

    // Ratios to B before the fused threshold pass and the packed page (median of 3 runs, README).
    const double baseline203[] = {3.9, 47.4, 22.0, 4.5}, baseline600[] = {7.8, 25.0, 18.8, 9.2};
    int index = 0;
    for (uint32_t level : {8u, 1u, 0u, 7u}) {
      const double baseline = (c.dpi == 203 ? baseline203 : baseline600)[index++];
      settings.DitherLevel = level;
      PipelineInput in{};
      in.settings = &settings;
      in.paper = &paper;
      in.model = &model;
      in.resolution = c.dpi * static_cast<DWORD>(c.inputDpi + 1);
      in.bits = page.bits.data();
      in.width = page.width;
      in.height = page.height;
      in.stride = page.stride;
      in.bitsSize = static_cast<DWORD>(page.bits.size());
      bool ok = true;
      const double ms = MedianMs(reps, [&] {
        PageRaster out;
        ok = ok && RenderPageRaster(in, &out);
        FreePageRaster(&out);
      });
      if (!ok) ++failures;
      std::printf("%-34s %6u %10.2f %10.3f %8.1f %9.1f%s\n", c.name, level, ms, copyMs, ms / copyMs, baseline,
                  ok ? "" : "  (page failed)");
    }
  }
  return failures ? 1 : 0;
}
