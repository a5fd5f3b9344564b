// The production pipeline against the step-by-step reference on randomised pages and settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/wstr.h"
#include "image/image.h"
#include "tests/render/pipeline/pipeline_test_util.h"
#include "winsim/machine.h"

namespace {

using pipetest::PageSetup;
using pipetest::Raster;

struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<uint32_t>(s >> 11);
  }
  int64_t In(int64_t lo, int64_t hi) { return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1)); }
  bool Chance(int percent) { return In(0, 99) < percent; }
};

// Page content: blank margins around rectangles, noise, gradients or nothing.
void Draw(PageSetup& page, Rng& rng) {
  const int32_t w = page.width, h = page.height;
  auto rect = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool colour) {
    const uint8_t b = static_cast<uint8_t>(rng.In(0, 255));
    const uint8_t g = colour ? static_cast<uint8_t>(rng.In(0, 255)) : b;
    const uint8_t r = colour ? static_cast<uint8_t>(rng.In(0, 255)) : b;
    for (int32_t y = std::max(y0, 0); y < std::min(y1, h); ++y) {
      for (int32_t x = std::max(x0, 0); x < std::min(x1, w); ++x) page.Set(x, y, b, g, r);
    }
  };
  switch (rng.In(0, 5)) {
    case 0:  // blank
      break;
    case 1:  // black
      page.Fill(0, 0, w, h, 0);
      break;
    case 2:  // noise
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          page.Set(x, y, static_cast<uint8_t>(rng.Next()), static_cast<uint8_t>(rng.Next()),
                   static_cast<uint8_t>(rng.Next()));
        }
      }
      break;
    case 3: {  // gradient inside blank margins
      const int32_t mx = static_cast<int32_t>(rng.In(0, w / 3)), my = static_cast<int32_t>(rng.In(0, h / 2));
      for (int32_t y = my; y < h - my; ++y) {
        for (int32_t x = mx; x < w - mx; ++x) page.Grey(x, y, static_cast<uint8_t>((x * 7 + y * 3) & 255));
      }
      break;
    }
    default: {  // label-like: rectangles and lines on white
      const int n = static_cast<int>(rng.In(1, 12));
      for (int i = 0; i < n; ++i) {
        const int32_t x0 = static_cast<int32_t>(rng.In(-5, w)), y0 = static_cast<int32_t>(rng.In(-5, h));
        rect(x0, y0, x0 + static_cast<int32_t>(rng.In(1, w / 2 + 2)), y0 + static_cast<int32_t>(rng.In(1, h / 3 + 2)),
             rng.Chance(40));
      }
      break;
    }
  }
  // Bytes past each row's pixels must never count.
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t i = 3 * w; i < page.stride; ++i) page.bits[static_cast<size_t>(y) * page.stride + i] = static_cast<uint8_t>(rng.Next());
  }
}

// A watermark picture of 1, 8 or 24 bits on the simulated C: drive.
void WriteWatermark(Rng& rng, const WCHAR* path) {
  const uint32_t bpp[] = {1, 8, 24};
  RasterImage mark;
  ASSERT_TRUE(mark.Create(static_cast<uint32_t>(rng.In(1, 40)), static_cast<uint32_t>(rng.In(1, 40)), bpp[rng.In(0, 2)]));
  for (uint32_t y = 0; y < mark.Height(); ++y) {
    for (uint32_t x = 0; x < mark.Width(); ++x) {
      const uint8_t v = static_cast<uint8_t>(rng.Next());
      mark.SetPixelColour(static_cast<int32_t>(x), static_cast<int32_t>(y),
                          ImageColour{v, static_cast<uint8_t>(rng.Next()), v, 0});
    }
  }
  ASSERT_TRUE(mark.SaveBmp(path));
}

struct Knobs {
  bool watermark = false;  // allow the watermark path
};

PageSetup RandomPage(Rng& rng, const Knobs& knobs) {
  const bool large = rng.Chance(15);
  const int32_t w = static_cast<int32_t>(rng.Chance(10) ? 1 : rng.In(1, large ? 260 : 90));
  const int32_t h = static_cast<int32_t>(rng.Chance(10) ? 1 : rng.In(1, large ? 260 : 90));
  PageSetup page(w, h, rng.Chance(30) ? static_cast<int32_t>(rng.In(1, 9)) : 0);
  Draw(page, rng);
  PrinterDevmode& s = page.settings;

  page.model.XDpi = rng.Chance(50) ? 203 : 300;
  const int inputDpi[] = {0, 0, 0, 1, 1, 1, 2, -1};
  s.InputDPI = static_cast<int16_t>(inputDpi[rng.In(0, 7)]);
  const int64_t r = page.Resolution();
  const int64_t m = std::max(1, s.InputDPI + 1);
  auto microns = [&](int64_t dots) { return static_cast<int32_t>(dots * 25400 / r); };

  s.DitherLevel = static_cast<uint32_t>(rng.In(0, 12));
  if (rng.Chance(50)) {
    s.ColorAdjust.caContrast = static_cast<SHORT>(rng.In(-100, 100));
    s.ColorAdjust.caBrightness = static_cast<SHORT>(rng.In(-100, 100));
  }
  s.dm.dmOrientation = static_cast<short>(rng.Chance(5) ? rng.In(0, 3) : rng.In(1, 2));
  s.Flags = 0;
  if (rng.Chance(50)) s.Flags |= kFlagMirror;
  if (rng.Chance(30)) s.Flags |= kFlagNegative;
  if (rng.Chance(50)) s.Flags |= kFlagOutDir0;
  if (rng.Chance(50)) s.Flags |= kFlagRotate180;
  s.Flags |= static_cast<uint32_t>(rng.In(0, 7)) << 4;
  s.PrintLanguage = static_cast<uint32_t>(rng.In(0, 3));

  // Shifts and limits around the page's own size, including off-canvas shifts.
  if (rng.Chance(60)) {
    s.ShiftH = microns(rng.In(-3 * w / 2 - 2, 3 * w / 2 + 2) * m);
    s.ShiftV = microns(rng.In(-3 * h / 2 - 2, 3 * h / 2 + 2) * m);
  }
  page.model.MaxWidth = microns(rng.In(1, 2 * w + 8));
  page.model.MaxLength = microns(rng.In(1, 2 * h + 8));
  s.PrintingScale = static_cast<int16_t>(rng.In(0, 5));
  s.PrintWidth = rng.Chance(10) ? static_cast<int32_t>(rng.In(-30000, 0)) : microns(rng.In(1, 2 * w + 4));
  s.PaperSaving = static_cast<uint32_t>(rng.In(0, 4));
  page.paper.Flags = rng.Chance(25) ? kPaperContinuousUnfixed : kPaperGap;

  if (knobs.watermark && rng.Chance(25)) {
    s.Flags |= kFlagWatermark;
    const char16_t* path = rng.Chance(85) ? u"c:\\wm.bmp" : u"c:\\missing.bmp";
    WStrCopy(s.WatermarkPath, kWatermarkPathChars, ToWString(path).c_str());
    s.WatermarkX = static_cast<int16_t>(rng.In(0, 100));
    s.WatermarkY = static_cast<int16_t>(rng.In(0, 100));
    s.WatermarkScale = static_cast<int16_t>(rng.In(0, 100));
    s.WatermarkBrightness = static_cast<int16_t>(rng.In(0, 255));
  }
  return page;
}

std::string Describe(const PageSetup& p) {
  const PrinterDevmode& s = p.settings;
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "%dx%d (row %d) dpi %u InputDPI %d level %u contrast %d brightness %d orientation %d flags 0x%x "
                "language %u shift %d,%d max %d,%d scale %d width %d saving %u paper 0x%x",
                p.width, p.height, p.stride, p.model.XDpi, s.InputDPI, s.DitherLevel, s.ColorAdjust.caContrast,
                s.ColorAdjust.caBrightness, s.dm.dmOrientation, s.Flags, s.PrintLanguage, s.ShiftH, s.ShiftV,
                p.model.MaxWidth, p.model.MaxLength, s.PrintingScale, s.PrintWidth, s.PaperSaving, p.paper.Flags);
  return buf;
}

void ExpectSame(const PageSetup& page, uint64_t seed) {
  const Raster got = pipetest::Render(page);
  const Raster want = pipetest::Reference(page);
  ASSERT_EQ(got.ok, want.ok) << "seed " << seed << ": " << Describe(page);
  ASSERT_EQ(got.width, want.width) << "seed " << seed << ": " << Describe(page);
  ASSERT_EQ(got.rows, want.rows) << "seed " << seed << ": " << Describe(page);
  ASSERT_TRUE(got.bytes == want.bytes) << "seed " << seed << ": " << Describe(page);
}

class EquivalenceTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
};

TEST_F(EquivalenceTest, RandomPagesAndSettings) {
  for (uint64_t seed = 1; seed <= 700; ++seed) {
    Rng rng(seed);
    const PageSetup page = RandomPage(rng, Knobs{});
    ExpectSame(page, seed);
    if (HasFatalFailure()) return;
  }
}

TEST_F(EquivalenceTest, WatermarkPath) {
  for (uint64_t seed = 1; seed <= 150; ++seed) {
    Rng rng(seed + 100000);
    WriteWatermark(rng, TEXT("c:\\wm.bmp"));
    PageSetup page = RandomPage(rng, Knobs{true});
    page.settings.Flags |= kFlagWatermark;
    if (!page.settings.WatermarkPath[0]) {
      WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\wm.bmp"));
      page.settings.WatermarkScale = static_cast<int16_t>(rng.In(0, 100));
      page.settings.WatermarkX = static_cast<int16_t>(rng.In(0, 100));
      page.settings.WatermarkY = static_cast<int16_t>(rng.In(0, 100));
      page.settings.WatermarkBrightness = static_cast<int16_t>(rng.In(0, 255));
    }
    ExpectSame(page, seed);
    if (HasFatalFailure()) return;
  }
}

// Every dither level through both reductions (M = 1 and 2) with odd sizes.
TEST_F(EquivalenceTest, EveryDitherLevelAndMultiplier) {
  uint64_t seed = 5000;
  for (uint32_t level = 0; level <= 12; ++level) {
    for (int inputDpi = 0; inputDpi <= 1; ++inputDpi) {
      for (int32_t w : {1, 7, 33, 101}) {
        Rng rng(++seed);
        PageSetup page(w, static_cast<int32_t>(rng.In(1, 75)));
        Draw(page, rng);
        page.settings.DitherLevel = level;
        page.settings.InputDPI = static_cast<int16_t>(inputDpi);
        ExpectSame(page, seed);
        if (HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
