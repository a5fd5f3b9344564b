// Times one redraw of the Graphics Property page's sample picture (contrast, brightness, grey,
// the dithering of each level and the 24-bit result, as a track-bar move does) against
// one copy of the sample's 24-bit pixels (as shown) measured in the same run: B, the copy itself (it
// stays in the caches), and M, the memory floor of bench/raster (a memcpy of 64 MiB scaled to the sample's
// bytes).
//
//   sample [--reps N] [--level L] [--sse2]
//
// --level: only that dithering level (e.g. to profile it); --sse2: error diffusion in SSE2 lanes
// even where the processor has wider ones.
//
// Each figure is the median of N runs (default 201) of a batch of redraws.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "image/bmp.h"
#include "image/image.h"
#include "image/image_internal.h"
#include "ui/sample.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBatch = 20;

template <class Fn>
double MedianNs(int reps, Fn fn) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const auto a = Clock::now();
    for (int i = 0; i < kBatch; ++i) fn();
    t.push_back(std::chrono::duration<double, std::nano>(Clock::now() - a).count() / kBatch);
  }
  std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
  return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 201, only = -1;
  bool narrow = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--reps") && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
    if (!std::strcmp(argv[i], "--level") && i + 1 < argc) only = std::atoi(argv[++i]);
    if (!std::strcmp(argv[i], "--sse2")) narrow = true;
  }
  const bool wide = image_detail::AllowWideDiffusion(!narrow);
  std::ifstream f(LBL_SAMPLE_BMP, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  RasterImage picture;
  RasterImage shown;  // the sample as the page shows it: 24-bit
  if (!ParseBmp(file.data(), file.size(), picture) || !(shown = picture).IncreaseBits(24)) {
    std::fprintf(stderr, "cannot read %s\n", LBL_SAMPLE_BMP);
    return 1;
  }
  // The picture as the page keeps it (LoadSamplePicture): 8-bit palette when stored so.
  if (picture.Bpp() != 8) picture = shown;
  const size_t bytes = size_t(shown.Stride()) * shown.Height();
  std::vector<uint8_t> copy(bytes);
  volatile uint8_t sink = 0;
  const double floor = MedianNs(reps, [&] {
    std::memcpy(copy.data(), shown.Bits(), bytes);
    sink = sink + copy[bytes / 2];
  });
  constexpr size_t kBig = 64u << 20;
  std::vector<uint8_t> from(kBig, 1), to(kBig);
  const double big = MedianNs(std::max(3, reps / 40), [&] {
    std::memcpy(to.data(), from.data(), kBig);
    sink = sink + to[kBig / 3];
  });
  const double memory = big * double(bytes) / double(kBig);
  std::printf("sample %ux%u, %zu bytes; copy B = %.1f us, memory floor M = %.1f us; diffusion lanes: %s\n",
              picture.Width(), picture.Height(), bytes, floor / 1000, memory / 1000,
              wide ? "AVX2 (32)" : "SSE2 (16)");
  struct Method {
    unsigned level;
    const char* name;
  };
  const Method methods[] = {{8, "None (threshold)"}, {1, "Adaptive Threshold"}, {0, "Floyd-Steinberg"},
                            {2, "Burkes"},           {3, "Stucki"},             {4, "Jarvis"},
                            {5, "Sierra"},           {6, "Stevenson-Arce"},     {7, "ordered (Bayer)"}};
  std::printf("%-20s %10s %10s %10s\n", "method", "us", "ratio to B", "ratio to M");
  for (const Method& m : methods) {
    if (only >= 0 && m.level != unsigned(only)) continue;
    // As the page does: each redraw into the image of the one before.
    RasterImage s;
    const double ns = MedianNs(reps, [&] {
      ProcessSample(picture, 20, -10, m.level, false, s);
      sink = sink + s.Bits()[0];
    });
    std::printf("%-20s %10.1f %10.1f %10.1f\n", m.name, ns / 1000, ns / floor, ns / memory);
  }
  return 0;
}
