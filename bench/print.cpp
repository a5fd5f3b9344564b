// Pages per second of lbl print of a 4 x 6 inch label in each language, against the raster
// pipeline alone on the same page with the same settings.
//
//   print [--pages N] [--reps R] [--driver LEVEL COPIES]
//
// lbl print is timed as a job of N pages and as a job of one page: the difference, over N - 1
// pages, is what one more page costs, without the job's set-up (a fresh simulated machine, the
// printer's initialisation, loading the driver, DrvEnablePDEV). Of that, drawing the picture on the
// page is the application's share; the rest is the driver's: whitening the page, the pipeline, the
// language writer and the output (for TWL the page files).
//
// The pipeline and the writer are also timed on their own, page by page: the pipeline as the driver
// calls it, then the language writer on its raster (SendPage, into a sink that only counts). The
// writers should add little: pipeline and writer within 2 times the pipeline's time for ZPL, within
// 1.2 times for the other languages; the exit status is 3 when one is over. Each figure is the best
// of R runs.
//
// Then the driver's own time per page of a ZPL job (4 x 6 inches, 203 dpi), as the spooler sees it:
// from the end of the application's drawing on one page to the start of its drawing on the next
// (DrvSendPage with pipeline and writer, then DrvStartPage), the median over the pages of R jobs.
// It is given as a ratio to the memory floor B: a memcpy of 64 MiB (far beyond the caches), scaled to
// the bytes of the page bitmap and measured in the same run. The same with 3 copies per page gives
// what an extra copy costs, as a share of the first copy's time. --driver runs only that job, R times,
// at one dither level and copy count: for counting instructions under callgrind, e.g.
//   valgrind --tool=callgrind --toggle-collect=DrvSendPage --toggle-collect=DrvStartPage
//            print --driver 8 1 --pages 10 --reps 1
#include <algorithm>
#include <chrono>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "render/pipeline/pipeline.h"
#include "render/writers/writer.h"
#include "tools/embedded.h"
#include "tools/print_job.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 812, kHeight = 1218;  // 4 x 6 inches at 203 dpi

// Before the fused threshold pass, the packed page, the kept raster block and the repeated copies:
// driver time per page as a ratio to B (median of 7 runs on the loaded 2-core machine, see the
// README) and an extra copy's share of the first (from instruction counts; the timed share scatters
// from 19% to 150% under the load).
constexpr double kBaselineThreshold = 7.4, kBaselineDiffusion = 22.8, kBaselineCopyPercent = 27.5;

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

// Takes the writers' bytes and page files and keeps only their count.
class CountingSink : public OutputSink {
 public:
  uint64_t bytes = 0;
  int32_t Send(const void*, DWORD size) override {
    bytes += size;
    return static_cast<int32_t>(size);
  }
  DWORD WritePageFile(int, DWORD, const void*, DWORD size) override {
    bytes += size;
    return 0;
  }
  void Capture(const void*, DWORD) override {}
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// B: the median time of a memcpy of 64 MiB, scaled to `bytes`.
double MemoryFloor(size_t bytes, int reps) {
  constexpr size_t kBig = size_t{64} << 20;
  std::vector<uint8_t> from(kBig, 1), to(kBig, 0);
  std::vector<double> t;
  for (int r = 0; r < std::max(reps, 5); ++r) {
    const auto t0 = Clock::now();
    std::memcpy(to.data(), from.data(), kBig);
    t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    from[r] = to[kBig - 1 - r];
  }
  return Median(t) * static_cast<double>(bytes) / static_cast<double>(kBig);
}

// Median driver time per page of `reps` ZPL jobs of `pages` pages (see the header).
double DriverPerPage(const lbl::RgbImage& label, int pages, int reps, const char* level, int copies) {
  std::string error;
  if (!lbl::InstallInitialisedPrinter(lbl::kDefaultDriver, &error)) {
    std::fprintf(stderr, "print: %s\n", error.c_str());
    std::exit(1);
  }
  WString name = Utf8ToWide(lbl::kDefaultDriver);
  HANDLE printer = nullptr;
  OpenPrinterW(name.data(), &printer, nullptr);
  lbl::PrintOptions opts;
  opts.language = kLangZpl;
  opts.job.copies = copies;
  opts.set.emplace_back("DitherLevel", level);
  PrinterDevmode devmode{};
  std::vector<std::string> warnings;
  if (!lbl::BuildPrintDevmode(printer, opts, &devmode, &warnings, &error)) {
    std::fprintf(stderr, "print: %s\n", error.c_str());
    std::exit(1);
  }
  ClosePrinter(printer);
  const std::vector<lbl::RgbImage> pictures(static_cast<size_t>(pages), label);
  winsim::JobSpec spec = lbl::PictureJobSpec(name, devmode, u"bench", pictures, false, pages);
  std::vector<double> perPage;
  Clock::time_point drawn;
  const winsim::PageDrawer draw = spec.draw;
  spec.draw = [&](int page, const winsim::PageSurface& surface) {
    const auto start = Clock::now();
    if (page > 0) perPage.push_back(std::chrono::duration<double>(start - drawn).count());
    draw(page, surface);
    drawn = Clock::now();
  };
  for (int r = 0; r < reps; ++r) {
    if (!winsim::RunJob(spec).ok) {
      std::fprintf(stderr, "print: the ZPL job failed\n");
      std::exit(1);
    }
  }
  return Median(perPage);
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
  const char* driverLevel = nullptr;
  int driverCopies = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--pages")) pages = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--driver") && i + 2 < argc) {
      driverLevel = argv[i + 1];
      driverCopies = std::max(1, std::atoi(argv[i + 2]));
      ++i;
    }
  }
  // Page-sized blocks come and go every page; without this the allocator hands them back to the
  // system and every page pays for faulting them in again, which would swamp what is measured.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const lbl::RgbImage label = MakeLabel();
  if (driverLevel) {
    const double t = DriverPerPage(label, pages, reps, driverLevel, driverCopies);
    std::printf("ZPL, level %s, %d copies: %.3f ms per page\n", driverLevel, driverCopies, t * 1e3);
    return 0;
  }

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

  // The application's share: drawing the picture on a white page.
  const double draw = Best(reps, [&] {
    for (int p = 0; p < pages; ++p) {
      std::memset(bits.data(), 0xFF, bits.size());
      lbl::DrawPicture(label, winsim::PageSurface{bits.data(), kWidth, kHeight, stride}, false);
    }
  }) / pages;

  std::printf("lbl print of a 4 x 6 inch label (%d x %d dots), jobs of %d pages, best of %d; times per page in ms\n",
              kWidth, kHeight, pages, reps);
  std::printf("%-5s %12s %10s %9s %9s %9s %9s %7s %6s\n", "lang", "job pages/s", "per page", "drawing", "driver",
              "pipeline", "writer", "ratio", "limit");
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
    // Best of the runs for each of the two, timed page by page in the same runs.
    double pipeline = 1e30, writer = 1e30;
    for (int rep = 0; rep < reps; ++rep) {
      double piped = 0, written = 0;
      for (int p = 0; p < pages; ++p) {
        const auto t0 = Clock::now();
        PageRaster r;
        if (!RenderPageRaster(in, &r)) std::abort();
        const auto t1 = Clock::now();
        CountingSink sink;
        WriterContext ctx{settings.get(), &paper, model, model->XDpi, 1, &sink};
        SendPage(ctx, r.data, r.bytes, r.width, r.rows);
        const auto t2 = Clock::now();
        FreePageRaster(&r);
        piped += std::chrono::duration<double>(t1 - t0).count();
        written += std::chrono::duration<double>(t2 - t1).count();
      }
      pipeline = std::min(pipeline, piped / pages);
      writer = std::min(writer, written / pages);
    }

    lbl::PrintOptions opts;
    opts.language = lang.language;
    auto job = [&](int n) {
      const std::vector<lbl::RgbImage> pictures(static_cast<size_t>(n), label);
      return Best(reps, [&] {
        lbl::PrintResult result;
        if (!lbl::RunPrint(opts, pictures, &result, &error)) {
          std::fprintf(stderr, "print: %s\n", error.c_str());
          std::exit(1);
        }
      });
    };
    const double one = job(1), all = job(pages);
    const double perPage = pages > 1 ? (all - one) / (pages - 1) : all;
    const double driver = perPage - draw;
    const double ratio = (pipeline + writer) / pipeline;
    over += ratio > lang.limit;
    std::printf("%-5s %12.1f %10.2f %9.2f %9.2f %9.2f %9.2f %7.2f %6.1f%s\n", lang.name, pages / all, perPage * 1e3,
                draw * 1e3, driver * 1e3, pipeline * 1e3, writer * 1e3, ratio, lang.limit,
                ratio > lang.limit ? "  over" : "");
  }
  FreeModelRecord(model);
  ClosePrinter(printer);

  const double floor = MemoryFloor(bits.size(), reps);
  std::printf("\nZPL driver time per page (DrvSendPage and DrvStartPage), median over %d jobs of %d pages;\n"
              "B = memcpy of 64 MiB scaled to the %zu bytes of the page bitmap: %.3f ms\n",
              reps, pages, bits.size(), floor * 1e3);
  std::printf("%-24s %10s %10s %10s\n", "level", "ms/page", "ratio to B", "baseline");
  const struct {
    const char* name;
    const char* level;
    double baseline;  // ratio to B before the fused pass, the reused buffers and copies (see the README)
  } levels[] = {{"8 (fixed threshold)", "8", kBaselineThreshold}, {"0 (Floyd and Steinberg)", "0", kBaselineDiffusion}};
  for (const auto& l : levels) {
    const double t = DriverPerPage(label, pages, reps, l.level, 1);
    std::printf("%-24s %10.3f %10.2f %10.2f\n", l.name, t * 1e3, t / floor, l.baseline);
  }
  const double one = DriverPerPage(label, pages, reps, "8", 1);
  const double three = DriverPerPage(label, pages, reps, "8", 3);
  std::printf("3 copies per page, level 8: %.3f ms per page against %.3f ms for one copy; an extra copy costs %.1f%% "
              "of the first (baseline %.0f%%)\n",
              three * 1e3, one * 1e3, 100 * (three - one) / 2 / one, kBaselineCopyPercent);
  return over ? 3 : 0;
}
