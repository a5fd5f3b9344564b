// Pages per second of lbl print of a 4 x 6 inch label in each language, against the raster
// pipeline alone on the same page with the same settings. What lies between the two is the
// job's own work: the entry points, whitening and drawing the page, the language writer and the
// output (for TWL the page files). The writers should add little: a ZPL page within 2 times the
// pipeline's time, the other languages within 1.2 times.
//
//   print [--pages N] [--reps R]
//
// Each figure is the best of R runs of N pages (one job of N pages for lbl print).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "render/pipeline.h"
#include "tools/embedded.h"
#include "tools/print_job.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 812, kHeight = 1218;  // 4 x 6 inches at 203 dpi

// A shipping label: frame, text-like strokes, a barcode, filled boxes and a grey logo area.
lbl::RgbImage MakeLabel() {
  lbl::RgbImage p;
  p.width = kWidth;
  p.height = kHeight;
  p.rgb.assign(size_t{kWidth} * kHeight * 3, 255);
  auto set = [&](int32_t x, int32_t y, uint8_t v) {
    uint8_t* px = &p.rgb[(size_t(y) * kWidth + x) * 3];
    px[0] = px[1] = px[2] = v;
  };
  auto box = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t v) {
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) set(x, y, v);
  };
  box(0, 0, kWidth, 8, 0);
  box(0, kHeight - 8, kWidth, kHeight, 0);
  box(0, 0, 8, kHeight, 0);
  box(kWidth - 8, 0, kWidth, kHeight, 0);
  uint32_t seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16 & 0x7FFF; };
  for (int32_t line = 0; line < 14; ++line)
    for (int32_t x = 40; x < kWidth - 60;) {
      const int32_t w = 8 + static_cast<int32_t>(next() % 14);
      box(x, 40 + line * 28, x + w, 40 + line * 28 + 18, 0);
      x += w + 6;
    }
  for (int32_t x = 60; x < kWidth - 60;) {
    const int32_t bar = 2 * static_cast<int32_t>(1 + next() % 4);
    if (next() & 1) box(x, 500, std::min(x + bar, kWidth - 60), 700, 0);
    x += bar;
  }
  box(60, 760, 360, 1000, 0);
  for (int32_t y = 760; y < 1150; ++y)
    for (int32_t x = 420; x < 760; ++x) set(x, y, static_cast<uint8_t>((x * 3 + y) % 256));
  return p;
}

double Best(int reps, const auto& run) {
  double best = 1e30;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int pages = 20, reps = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--pages")) pages = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
  }
  const lbl::RgbImage label = MakeLabel();

  // The model record and the page bitmap the driver would make, for the pipeline alone.
  std::string error;
  if (!lbl::InstallInitialisedPrinter(lbl::kDefaultDriver, &error)) {
    std::fprintf(stderr, "print: %s\n", error.c_str());
    return 1;
  }
  WString name = Utf8ToWide(lbl::kDefaultDriver);
  HANDLE printer = nullptr;
  OpenPrinterW(name.data(), &printer, nullptr);
  WCHAR printerName[32] = {};
  ModelRecord* model = LoadModelRecord(printer, printerName, lbl::CatalogueModule());
  if (!model) {
    std::fprintf(stderr, "print: no model record\n");
    return 1;
  }
  const int32_t stride = (kWidth * 3 + 3) / 4 * 4;
  std::vector<uint8_t> bits(size_t(stride) * kHeight, 0xFF);
  lbl::DrawPicture(label, winsim::PageSurface{bits.data(), kWidth, kHeight, stride}, false);
  const InstalledPaper paper = DefaultInstalledPaper(model);

  std::printf("lbl print of a 4 x 6 inch label (%d x %d dots), %d pages, best of %d\n", kWidth, kHeight, pages, reps);
  std::printf("%-6s %14s %14s %8s %8s\n", "lang", "print pages/s", "raster pages/s", "ratio", "limit");
  const struct {
    const char* name;
    int language;
    double limit;
  } languages[] = {{"TSPL", kLangTspl, 1.2}, {"ZPL", kLangZpl, 2.0}, {"ESC", kLangEsc, 1.2}, {"TWL", kLangTwl, 1.2}};
  int over = 0;
  for (const auto& lang : languages) {
    auto settings = std::make_unique<PrinterDevmode>();
    FillDevmodeDefaults(model, printerName, settings.get());
    settings->PrintLanguage = static_cast<uint32_t>(lang.language);
    PipelineInput in{};
    in.settings = settings.get();
    in.paper = &paper;
    in.model = model;
    in.resolution = model->XDpi;
    in.bits = bits.data();
    in.width = kWidth;
    in.height = kHeight;
    in.stride = stride;
    in.bitsSize = static_cast<DWORD>(bits.size());
    const double raster = Best(reps, [&] {
      for (int p = 0; p < pages; ++p) {
        PageRaster r;
        if (!RenderPageRaster(in, &r)) std::abort();
        FreePageRaster(&r);
      }
    });

    lbl::PrintOptions opts;
    opts.language = lang.language;
    const std::vector<lbl::RgbImage> pictures(static_cast<size_t>(pages), label);
    const double print = Best(reps, [&] {
      lbl::PrintResult result;
      if (!lbl::RunPrint(opts, pictures, &result, &error)) {
        std::fprintf(stderr, "print: %s\n", error.c_str());
        std::exit(1);
      }
    });
    const double ratio = print / raster;
    over += ratio > lang.limit;
    std::printf("%-6s %14.1f %14.1f %8.2f %8.1f%s\n", lang.name, pages / print, pages / raster, ratio, lang.limit,
                ratio > lang.limit ? "  over" : "");
  }
  FreeModelRecord(model);
  ClosePrinter(printer);
  return over ? 3 : 0;
}
