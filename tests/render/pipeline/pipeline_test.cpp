// The pipeline's behaviour on hand-made pages: the cases the printer's output depends on, the
// limits that refuse a page, the debug dumps and the dithering-mode mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/wstr.h"
#include "image/image.h"
#include "render/dither_mode.h"
#include "render/pipeline/internal.h"
#include "tests/render/pipeline/pipeline_test_util.h"
#include "winsim/machine.h"

namespace {

using pipetest::PageSetup;
using pipetest::Raster;
using pipetest::Render;
using pipetest::White;
using pipeline_detail::BoxThreshold;

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }

  static bool DebugSaid(const std::string& text) {
    for (const std::string& line : winsim::DebugLines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// Rows of the raster as strings of '#' (black) and '.' (white), over the first `width` pixels.
std::vector<std::string> Picture(const Raster& r, uint32_t width) {
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < r.rows; ++y) {
    std::string row;
    for (uint32_t x = 0; x < width; ++x) row += White(r, x, y) ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

using Point = std::pair<uint32_t, uint32_t>;

// The black pixels of the raster as (x, y), row by row.
std::vector<Point> Blacks(const Raster& r) {
  std::vector<Point> points;
  for (uint32_t y = 0; y < r.rows; ++y) {
    for (uint32_t x = 0; x < pipetest::RowBytes(r) * 8; ++x) {
      if (!White(r, x, y)) points.emplace_back(x, y);
    }
  }
  return points;
}

// ---- grey, colour and dithering ----

TEST_F(PipelineTest, GreyWeightsColoursBeforeThreshold) {
  PageSetup page(8, 1);
  page.Set(0, 0, 0, 0, 255);    // red: (38 x 255) >> 7 = 75
  page.Set(1, 0, 0, 255, 0);    // green: 149
  page.Set(2, 0, 255, 0, 0);    // blue: 29
  page.Set(3, 0, 0, 255, 255);  // yellow: 225
  page.Grey(4, 0, 128);         // 128 is not above the threshold
  page.Grey(5, 0, 129);
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Picture(r, 8), std::vector<std::string>{"#.#.#..."});
}

TEST_F(PipelineTest, BrightnessAndContrastMoveLevelsAcrossTheThreshold) {
  PageSetup page(8, 1);
  page.Grey(0, 0, 100);
  page.Grey(1, 0, 140);
  page.settings.ColorAdjust.caBrightness = 30;  // +38: 100 -> 138
  EXPECT_EQ(Picture(Render(page), 2), std::vector<std::string>{".."});
  page.settings.ColorAdjust.caBrightness = -10;  // -12: 140 -> 128
  EXPECT_EQ(Picture(Render(page), 2), std::vector<std::string>{"##"});
  // Contrast 50: C = 127, F = 382 x 259 / 33660 = 2.939...; 140 -> 163, 100 -> 45.
  page.settings.ColorAdjust.caBrightness = 0;
  page.settings.ColorAdjust.caContrast = 50;
  EXPECT_EQ(Picture(Render(page), 2), std::vector<std::string>{"#."});
}

TEST_F(PipelineTest, DitherLevelsAboveNineActAsThreshold) {
  PageSetup page(64, 16);
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 64; ++x) page.Grey(x, y, static_cast<uint8_t>(x * 4));
  }
  page.settings.DitherLevel = 8;
  const Raster threshold = Render(page);
  page.settings.DitherLevel = 12;
  const Raster twelve = Render(page);
  ASSERT_TRUE(twelve.ok);
  EXPECT_EQ(twelve.bytes, threshold.bytes);
  page.settings.DitherLevel = 0;
  EXPECT_NE(Render(page).bytes, threshold.bytes);
}

TEST_F(PipelineTest, DitherModeOfEachLevel) {
  EXPECT_EQ(EffectiveDitherLevel(9), 9u);
  EXPECT_EQ(EffectiveDitherLevel(10), 8u);
  EXPECT_EQ(EffectiveDitherLevel(0xFFFFFFFFu), 8u);
  for (uint32_t level : {8u, 10u, 12u, 1000u}) {
    const DitherMode m = DitherModeForLevel(level);
    EXPECT_EQ(m.Kind, DitherKind::kThreshold) << level;
    EXPECT_EQ(m.Value, 128) << level;
  }
  EXPECT_EQ(DitherModeForLevel(1).Kind, DitherKind::kAdaptiveThreshold);
  for (uint32_t level : {0u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
    const DitherMode m = DitherModeForLevel(level);
    EXPECT_EQ(m.Kind, DitherKind::kDither) << level;
    EXPECT_EQ(m.Value, static_cast<int>(level));
  }
}

TEST_F(PipelineTest, ApplyDitherModeMatchesTheImageOperations) {
  RasterImage grey;
  ASSERT_TRUE(grey.Create(40, 30, 8));
  for (uint32_t y = 0; y < 30; ++y) {
    for (uint32_t x = 0; x < 40; ++x) grey.SetPixelIndex(x, y, static_cast<uint8_t>(x * 6 + y));
  }
  for (uint32_t level = 0; level <= 9; ++level) {
    RasterImage a = grey, b = grey;
    ASSERT_TRUE(ApplyDitherMode(a, DitherModeForLevel(level)));
    if (level == 8) {
      ASSERT_TRUE(b.Threshold(128));
    } else if (level == 1) {
      ASSERT_TRUE(b.AdaptiveThreshold(0, 8, nullptr, 0, 0.5));
    } else {
      ASSERT_TRUE(b.Dither(static_cast<int>(level)));
    }
    ASSERT_EQ(a.Bpp(), 1u);
    for (uint32_t y = 0; y < 30; ++y) EXPECT_EQ(0, std::memcmp(a.Row(y), b.Row(y), 5)) << level;
  }
}

// The pipeline's box threshold against the image operations' optimal threshold on many small
// histograms: few levels, many levels, clusters, equal splits that tie.
TEST_F(PipelineTest, BoxThresholdMatchesTheOptimalThreshold) {
  uint32_t seed = 99;
  auto next = [&]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 60000; ++round) {
    uint64_t hist[256] = {};
    const uint32_t pixels = 1 + next() % 64;
    const uint32_t spread = 1 + next() % 256, base = next() % 256;
    const uint32_t kinds = 1 + next() % 6;
    uint32_t pick[6];
    for (uint32_t k = 0; k < kinds; ++k) pick[k] = (base + next() % spread) % 256;
    for (uint32_t p = 0; p < pixels; ++p) {
      ++hist[round % 3 == 0 ? pick[next() % kinds] : (base + next() % spread) % 256];
    }
    // The grey levels present, ascending, and their pixel counts.
    std::vector<int> level;
    std::vector<uint32_t> count;
    for (int g = 0; g < 256; ++g) {
      if (!hist[g]) continue;
      level.push_back(g);
      count.push_back(static_cast<uint32_t>(hist[g]));
    }
    ASSERT_EQ(BoxThreshold(level.data(), count.data(), static_cast<int>(level.size())),
              OptimalThresholdOfHistogram(hist, 0))
        << "round " << round;
  }
}

TEST_F(PipelineTest, DiffusionRowsMatchTheDitherOperation) {
  RasterImage grey;
  ASSERT_TRUE(grey.Create(37, 23, 8));
  uint32_t seed = 5;
  for (uint32_t y = 0; y < 23; ++y) {
    for (uint32_t x = 0; x < 37; ++x) {
      seed = seed * 1103515245u + 12345u;
      grey.SetPixelIndex(x, y, static_cast<uint8_t>(y < 4 ? 255 : x < 5 ? 0 : seed >> 16));
    }
  }
  // 37 pixels: four whole bytes and the top five bits of the fifth.
  auto same = [](const uint8_t* a, const uint8_t* b) {
    return std::memcmp(a, b, 4) == 0 && ((a[4] ^ b[4]) & 0xF8) == 0;
  };
  pipeline_detail::GreyRows rows;
  rows.image = &grey;
  rows.width = grey.Width();
  rows.height = grey.Height();
  for (int method : {0, 2, 3, 4, 5, 6, 9}) {
    RasterImage want = grey;
    ASSERT_TRUE(want.Dither(method));
    pipeline_detail::DiffusionRows diffusion;
    ASSERT_TRUE(diffusion.Prepare(rows, method));
    for (uint32_t y = 0; y < 23; ++y) {
      ASSERT_TRUE(same(diffusion.Row(y), want.Row(y))) << method << " row " << y;
    }
    // A row asked for again long after is made again from the start.
    EXPECT_TRUE(same(diffusion.Row(6), want.Row(6))) << method;
    EXPECT_TRUE(same(diffusion.Row(22), want.Row(22))) << method;
  }
}

// ---- reduction by the resolution multiplier ----

TEST_F(PipelineTest, InputDpiHalvesThePageAndKeepsSolidAreas) {
  PageSetup page(40, 20);
  page.settings.InputDPI = 1;
  page.Fill(0, 0, 20, 20, 0);  // left half black
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 20u);
  EXPECT_EQ(r.rows, 10u);
  ASSERT_EQ(r.bytes.size(), 20u);  // 16 of the 20 pixels of a row are packed
  for (uint32_t y = 0; y < 10; ++y) {
    for (uint32_t x = 0; x < 16; ++x) {
      // Only the column on the edge mixes black and white; mixed greys pack as white.
      if (x == 9 || x == 10) continue;
      EXPECT_EQ(White(r, x, y), x > 10) << x << "," << y;
    }
  }
}

TEST_F(PipelineTest, InputDpiOnAOnePixelPageKeepsItsSize) {
  PageSetup page(1, 5);
  page.settings.InputDPI = 1;
  page.Fill(0, 0, 1, 5, 0);
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 1u);
  EXPECT_EQ(r.rows, 5u);
  EXPECT_TRUE(r.bytes.empty());  // a 4-byte working row packs to no whole byte
}

// ---- mirror, turns, negative ----

TEST_F(PipelineTest, LandscapeTurnsCounterClockwiseAndBit7Clockwise) {
  PageSetup page(8, 16);
  page.Grey(0, 0, 0);  // top left
  page.settings.dm.dmOrientation = 2;
  page.settings.PrintLanguage = kLangZpl;
  Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.width, 16u);
  ASSERT_EQ(r.rows, 8u);
  EXPECT_EQ(Blacks(r), (std::vector<Point>{{0, 7}}));  // bottom left
  page.settings.Flags = kFlagRotate180;
  EXPECT_EQ(Blacks(Render(page)), (std::vector<Point>{{15, 0}}));  // top right
  // Mirror in landscape reverses the rows before the turn.
  page.settings.Flags = kFlagMirror;
  EXPECT_EQ(Blacks(Render(page)), (std::vector<Point>{{15, 7}}));
}

TEST_F(PipelineTest, PortraitHalfTurnsAndTheExtraTsplTurn) {
  PageSetup page(8, 2);
  page.Grey(0, 0, 0);
  page.settings.Flags = kFlagRotate180;
  EXPECT_EQ(Blacks(Render(page)), (std::vector<Point>{{7, 1}}));
  // The extra half turn is for TSPL only.
  page.settings.Flags = kFlagRotate180 | kFlagOutDir0;
  EXPECT_EQ(Blacks(Render(page)), (std::vector<Point>{{0, 0}}));
  page.settings.PrintLanguage = kLangEsc;
  EXPECT_EQ(Blacks(Render(page)), (std::vector<Point>{{7, 1}}));
}

// Mirror and negative change the page's pixels only: the pad pixels that fill the last byte stay white.
TEST_F(PipelineTest, MirrorAndNegativeLeaveThePaddingWhite) {
  struct Case {
    const char* what;
    uint32_t width, drawnBlack, flags;
    size_t bytes;                 // bytes of the row sent
    uint32_t blackFrom, blackTo;  // the black pixels sent
  } cases[] = {
      // 404 / 8: the incomplete last byte is not sent.
      {"portrait mirror reverses the pixels", 401, 3, kFlagMirror, 50, 398, 401},
      // 408 / 8: the three pad pixels are packed too.
      {"negative inverts the pixels", 405, 200, kFlagNegative, 51, 200, 405},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PageSetup page(c.width, 1);
    page.Fill(0, 0, c.drawnBlack, 1, 0);
    page.settings.Flags = c.flags;
    const Raster r = Render(page);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.bytes.size(), c.bytes);
    for (uint32_t x = 0; x < c.bytes * 8; ++x) EXPECT_EQ(White(r, x, 0), x < c.blackFrom || x >= c.blackTo) << x;
  }
}

// ---- packing ----

TEST_F(PipelineTest, PackingDropsAnIncompleteLastByte) {
  PageSetup page(404, 2);
  page.Fill(400, 0, 404, 2, 0);
  page.Fill(0, 1, 8, 2, 0);
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 404u);
  EXPECT_EQ(r.rows, 2u);
  ASSERT_EQ(r.bytes.size(), 100u);
  EXPECT_EQ(r.bytes[49], 0xFF);  // pixels 392..399; 400..403 are not sent
  EXPECT_EQ(r.bytes[50], 0x00);
  EXPECT_EQ(r.bytes[51], 0xFF);
}

TEST_F(PipelineTest, BitmapRowsLieByteCountOverHeightApart) {
  PageSetup page(5, 3, 8);  // 24 bytes per row: 15 of pixels, 9 more
  for (size_t i = 0; i < page.bits.size(); ++i) {
    if (i % 24 >= 15) page.bits[i] = 0;  // black bytes between the rows must not show
  }
  page.Grey(4, 2, 0);
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Picture(r, 5), (std::vector<std::string>{".....", ".....", "....#"}));
}

// ---- placement ----

TEST_F(PipelineTest, TwlCanvasCentresANarrowImage) {
  PageSetup page(400, 3);
  page.Fill(0, 0, 1, 3, 0);
  page.settings.PrintLanguage = kLangTwl;
  page.settings.Flags = kFlagAlignCentre;
  page.model.MaxWidth = 104100;  // 832 dots at 203 dpi
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 832u);
  EXPECT_EQ(r.rows, 3u);
  for (uint32_t x = 214; x < 219; ++x) EXPECT_EQ(White(r, x, 1), x != 216) << x;
  page.settings.Flags = kFlagAlignRight;
  EXPECT_FALSE(White(Render(page), 432, 0));
}

// Without memory for the placed copy the page goes out as it was, not at all; without memory for
// the working image there is no page.
TEST_F(PipelineTest, FailedPlacementKeepsTheImageAndNoMemoryFailsThePage) {
  PageSetup page(400, 3);
  page.Fill(0, 0, 1, 3, 0);
  page.settings.PrintLanguage = kLangTwl;
  page.settings.Flags = kFlagAlignCentre;
  page.model.MaxWidth = 104100;
  winsim::SetAllocationFault(0);
  ASSERT_EQ(Render(page).width, 832u);
  const unsigned placement = winsim::AllocationCount();  // the placed copy is the last one
  winsim::SetAllocationFault(placement);
  const Raster kept = Render(page);
  winsim::SetAllocationFault(0);
  ASSERT_TRUE(kept.ok);
  EXPECT_EQ(kept.width, 400u);
  EXPECT_EQ(kept.rows, 3u);
  EXPECT_FALSE(White(kept, 0, 1));

  winsim::SetAllocationFault(1, true);
  const PipelineInput in = page.Input();
  PageRaster out;
  EXPECT_FALSE(RenderPageRaster(in, &out));
  winsim::SetAllocationFault(0);
  EXPECT_EQ(out.error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(out.data, nullptr);
}

TEST_F(PipelineTest, ShiftsMoveTheImageAndCutWhatLeavesTheCanvas) {
  PageSetup page(16, 8);
  page.Fill(0, 0, 1, 1, 0);
  page.Fill(15, 7, 16, 8, 0);
  page.settings.ShiftH = page.Microns(3);
  page.settings.ShiftV = page.Microns(2);
  Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.rows, 8u);
  EXPECT_FALSE(White(r, 3, 2));
  for (uint32_t y = 0; y < 8; ++y) EXPECT_TRUE(White(r, 15, y));  // bottom right left the canvas
  page.settings.ShiftH = page.Microns(-1);
  page.settings.ShiftV = page.Microns(-7);
  r = Render(page);
  ASSERT_EQ(r.rows, 1u);  // the canvas ends with the image
  EXPECT_FALSE(White(r, 14, 0));
}

TEST_F(PipelineTest, ShiftOffTheCanvasLeavesThePageUnshifted) {
  PageSetup page(16, 4);
  page.Fill(2, 1, 3, 2, 0);
  const Raster plain = Render(page);
  for (int64_t dots : {16, 40, -16, -100}) {
    page.settings.ShiftH = page.Microns(dots);
    const Raster r = Render(page);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, plain.bytes) << dots;
    EXPECT_EQ(r.width, plain.width) << dots;
  }
}

// ---- paper saving ----

TEST_F(PipelineTest, PaperSavingThreeShrinksAWhitePageToTenRows) {
  PageSetup page(32, 200);
  page.settings.PaperSaving = 3;
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.rows, 10u);
  // Continuous media of unfixed length saves paper as mode 3 when the setting is 0.
  page.settings.PaperSaving = 0;
  page.paper.Flags = kPaperContinuousUnfixed;
  EXPECT_EQ(Render(page).rows, 10u);
}

TEST_F(PipelineTest, PaperSavingOneDropsLeadingBlankRowsKeepingTen) {
  PageSetup page(32, 100);
  page.settings.PaperSaving = 1;
  page.Fill(0, 5, 32, 6, 0);
  Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.rows, 95u);
  EXPECT_FALSE(White(r, 0, 0));
  PageSetup later(32, 100);
  later.settings.PaperSaving = 1;
  later.Fill(0, 30, 32, 31, 0);
  r = Render(later);
  EXPECT_EQ(r.rows, 80u);
  EXPECT_FALSE(White(r, 0, 10));
}

TEST_F(PipelineTest, PaperSavingTwoTrimsTrailingRowsAboveAFloor) {
  PageSetup page(32, 100);
  page.settings.PaperSaving = 2;
  page.Fill(0, 40, 32, 41, 0);  // last ink on row 40: B = 41, 59 blank rows follow
  EXPECT_EQ(Render(page).rows, 51u);
  PageSetup top(32, 100);
  top.settings.PaperSaving = 2;
  top.Fill(0, 0, 32, 1, 0);  // B = 1 is raised to the floor of 21
  EXPECT_EQ(Render(top).rows, 31u);
}

TEST_F(PipelineTest, PaperSavingFloorStaysInsideShortPages) {
  // Ink on the first row of a 15-row page: the floor T + 21 lies past the end.
  PageSetup page(32, 15);
  page.Fill(0, 0, 32, 1, 0);
  for (uint32_t mode : {2u, 3u}) {
    page.settings.PaperSaving = mode;
    const Raster r = Render(page);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.rows, 15u) << mode;
    EXPECT_EQ(r.bytes.size(), 15u * 4) << mode;
    EXPECT_FALSE(White(r, 0, 0));
  }
}

TEST_F(PipelineTest, ShortWhitePageSavesToNoRows) {
  for (int32_t h : {1, 7, 10}) {
    PageSetup page(32, h);
    for (uint32_t mode : {1u, 3u}) {
      page.settings.PaperSaving = mode;
      const Raster r = Render(page);
      ASSERT_TRUE(r.ok);
      EXPECT_EQ(r.rows, 0u) << h << " mode " << mode;
      EXPECT_TRUE(r.bytes.empty());
    }
  }
}

// ---- scaling ----

TEST_F(PipelineTest, ScaleModesResizeToThePrintWidth) {
  PageSetup page(40, 20);
  page.Fill(10, 5, 20, 15, 0);
  page.settings.PrintingScale = 2;
  page.settings.PrintWidth = page.WidthMicrons(80);
  Raster r = Render(page);
  EXPECT_EQ(r.width, 80u);
  EXPECT_EQ(r.rows, 40u);
  page.settings.PrintingScale = 3;  // shrink only
  EXPECT_EQ(Render(page).width, 40u);
  page.settings.PrintWidth = page.WidthMicrons(20);
  r = Render(page);
  EXPECT_EQ(r.width, 20u);
  EXPECT_EQ(r.rows, 10u);
  page.settings.PrintingScale = 4;  // crop to the left columns
  r = Render(page);
  EXPECT_EQ(r.width, 20u);
  EXPECT_EQ(r.rows, 20u);
}

TEST_F(PipelineTest, ScaleModeOneFitsTheContentBox) {
  PageSetup page(100, 100);
  page.Fill(40, 30, 60, 70, 0);  // box 20 x 40, widened to 40 x 60
  page.settings.PrintingScale = 1;
  page.settings.PrintWidth = page.WidthMicrons(80);
  Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 80u);
  EXPECT_EQ(r.rows, 120u);
  PageSetup blank(100, 100);
  blank.settings.PrintingScale = 1;
  blank.settings.PrintWidth = blank.WidthMicrons(80);
  r = Render(blank);
  EXPECT_EQ(r.width, 100u);  // an all-white page is left alone
  EXPECT_EQ(r.rows, 100u);
}

TEST_F(PipelineTest, PortraitCropsToTheModelWidth) {
  PageSetup page(100, 4);
  page.model.MaxWidth = page.WidthMicrons(64);
  EXPECT_EQ(Render(page).width, 64u);
  page.settings.dm.dmOrientation = 2;  // turned later, not cropped
  EXPECT_EQ(Render(page).rows, 100u);
}

// ---- refused pages ----

TEST_F(PipelineTest, OversizedScalingRefusesThePage) {
  PageSetup page(40, 40);
  page.settings.PrintingScale = 2;
  page.settings.PrintWidth = 2000000000;  // about 16 million dots
  EXPECT_FALSE(Render(page).ok);
  EXPECT_TRUE(DebugSaid("out of range; page not sent"));
  page.settings.PrintWidth = page.WidthMicrons(130000);  // fits one side, not the byte limit
  EXPECT_FALSE(Render(page).ok);
}

TEST_F(PipelineTest, OversizedTwlCanvasRefusesThePage) {
  PageSetup page(40, 40);
  page.settings.PrintLanguage = kLangTwl;
  page.model.MaxWidth = 2000000000;
  EXPECT_FALSE(Render(page).ok);
  EXPECT_TRUE(DebugSaid("out of range; page not sent"));
}

TEST_F(PipelineTest, ZeroPrintWidthLeavesThePageUnscaled) {
  PageSetup page(40, 10);
  page.settings.PrintingScale = 2;
  page.settings.PrintWidth = 0;
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 40u);
}

TEST_F(PipelineTest, BadInputIsRefused) {
  PageSetup page(40, 10);
  PipelineInput in = page.Input();
  PageRaster out;
  in.bitsSize = 40 * 3 * 10 - 1;  // rows shorter than the pixels
  EXPECT_FALSE(RenderPageRaster(in, &out));
  EXPECT_EQ(out.data, nullptr);
  in = page.Input();
  in.width = 0;
  EXPECT_FALSE(RenderPageRaster(in, &out));
  in = page.Input();
  in.settings = nullptr;
  EXPECT_FALSE(RenderPageRaster(in, &out));
  EXPECT_FALSE(RenderPageRaster(page.Input(), nullptr));
}

TEST_F(PipelineTest, CancelStopsThePage) {
  PageSetup page(64, 64);
  page.settings.InputDPI = 1;
  for (uint32_t level : {8u, 0u}) {
    page.settings.DitherLevel = level;
    int calls = 0;
    PipelineInput in = page.Input();
    in.cancelled = [](void* c) { return ++*static_cast<int*>(c) > 5; };
    in.cancelContext = &calls;
    PageRaster out;
    EXPECT_FALSE(RenderPageRaster(in, &out)) << level;
    EXPECT_EQ(out.data, nullptr);
  }
}

// ---- watermark ----

// A watermark the spooler cannot load costs the page nothing: dithered, scaled and reduced as
// without the watermark, byte for byte.
TEST_F(PipelineTest, UnloadableWatermarkGivesThePageWithoutWatermark) {
  for (int inputDpi : {0, 1}) {
    SCOPED_TRACE(inputDpi);
    PageSetup page(16, 4);
    page.Fill(0, 0, 4, 4, 0);
    page.Fill(4, 0, 12, 4, 60);  // dark grey: dithered, not made white
    page.settings.DitherLevel = 0;
    page.settings.InputDPI = inputDpi;
    const Raster plain = Render(page);
    ASSERT_TRUE(plain.ok);
    page.settings.Flags = kFlagWatermark;
    WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\none.bmp"));
    const Raster marked = Render(page);
    ASSERT_TRUE(marked.ok);
    EXPECT_EQ(marked.width, 16u / (inputDpi + 1));
    EXPECT_EQ(marked.rows, plain.rows);
    EXPECT_EQ(marked.bytes, plain.bytes);
    // The dark grey is dithered, not made white.
    size_t black = 0;
    for (const std::string& row : Picture(marked, marked.width)) black += std::count(row.begin(), row.end(), '#');
    EXPECT_GT(black, size_t{4} * marked.rows / (inputDpi + 1));
  }
}

TEST_F(PipelineTest, WatermarkedPageIsReducedToTheModelResolution) {
  RasterImage mark;
  ASSERT_TRUE(mark.Create(4, 2, 8));  // black
  ASSERT_TRUE(mark.SaveBmp(TEXT("c:\\mark.bmp")));
  PageSetup page(16, 8);
  page.settings.Flags = kFlagWatermark;
  WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\mark.bmp"));
  page.settings.WatermarkScale = 50;        // 8 x 4
  page.settings.WatermarkBrightness = 150;  // lightening by 0
  page.settings.WatermarkX = 100;
  page.settings.WatermarkY = 0;
  page.settings.InputDPI = 1;
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.width, 8u);
  EXPECT_EQ(Picture(r, 8), (std::vector<std::string>{"....####", "....####", "........", "........"}));
}

TEST_F(PipelineTest, WatermarkAddsItsBlackDotsAtItsPlace) {
  RasterImage mark;
  ASSERT_TRUE(mark.Create(4, 2, 8));  // black
  ASSERT_TRUE(mark.SaveBmp(TEXT("c:\\mark.bmp")));
  PageSetup page(16, 8);
  page.Fill(0, 0, 1, 1, 0);
  page.settings.Flags = kFlagWatermark;
  WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\mark.bmp"));
  page.settings.WatermarkScale = 50;        // 8 x 4
  page.settings.WatermarkBrightness = 150;  // lightening by 0
  page.settings.WatermarkX = 100;           // right edge
  page.settings.WatermarkY = 0;             // top
  const Raster r = Render(page);
  ASSERT_TRUE(r.ok);
  const std::vector<std::string> want = {"#.......########", "........########", "........########",
                                         "........########", "................", "................",
                                         "................", "................"};
  EXPECT_EQ(Picture(r, 16), want);
}

TEST_F(PipelineTest, OversizedWatermarkRefusesThePage) {
  RasterImage mark;
  ASSERT_TRUE(mark.Create(1, 1000, 8));
  ASSERT_TRUE(mark.SaveBmp(TEXT("c:\\tall.bmp")));
  PageSetup page(200, 8);
  page.settings.Flags = kFlagWatermark;
  WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\tall.bmp"));
  page.settings.WatermarkScale = 100;  // 200 x 200000
  EXPECT_FALSE(Render(page).ok);
  EXPECT_TRUE(DebugSaid("out of range; page not sent"));
}

// ---- debug dumps ----

std::vector<uint8_t> HostFile(const char16_t* path) { return winsim::ReadHostFile(path); }

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST_F(PipelineTest, DumpsOnlyWithTheFlagAndTheFolder) {
  PageSetup page(10, 6);
  page.Fill(0, 0, 10, 1, 0);
  page.settings.PaperSaving = 0;
  page.ppDataFlags = kPropCaptureCode;
  ASSERT_TRUE(Render(page).ok);
  EXPECT_TRUE(HostFile(u"c:\\1\\origin.bmp").empty());  // no folder

  ASSERT_TRUE(CreateDirectoryW(TEXT("c:\\1"), nullptr));
  page.ppDataFlags = 0;
  ASSERT_TRUE(Render(page).ok);
  EXPECT_TRUE(HostFile(u"c:\\1\\origin.bmp").empty());  // no flag

  page.ppDataFlags = kPropCaptureCode;
  ASSERT_TRUE(Render(page).ok);
  const std::vector<uint8_t> origin = HostFile(u"c:\\1\\origin.bmp");
  ASSERT_EQ(origin.size(), 54u + 32 * 6);
  EXPECT_EQ(origin[0], 'B');
  EXPECT_EQ(Le32(origin, 2), origin.size());
  EXPECT_EQ(Le32(origin, 10), 54u);
  EXPECT_EQ(Le32(origin, 18), 10u);
  EXPECT_EQ(Le32(origin, 22), 6u);
  EXPECT_EQ(origin[28], 24);
  EXPECT_EQ(origin[54], 0);  // the first bitmap row, black, as it is in memory

  const std::vector<uint8_t> dithered = HostFile(u"c:\\1\\dithered.bmp");
  ASSERT_EQ(dithered.size(), 54u + 1024 + 12 * 6);
  EXPECT_EQ(dithered[28], 8);
  EXPECT_EQ(Le32(dithered, 10), 54u + 1024);
  EXPECT_EQ(dithered[54 + 4 * 200], 200);  // grey palette
  RasterImage back;
  ASSERT_TRUE(back.DecodeBmp(dithered.data(), dithered.size()));
  EXPECT_EQ(back.GetPixelGrey(0, 0), 0);    // stored row 0 is the page's first row
  EXPECT_EQ(back.GetPixelGrey(0, 5), 255);
}

TEST_F(PipelineTest, WatermarkPathDumpsItsImages) {
  RasterImage mark;
  ASSERT_TRUE(mark.Create(2, 2, 24));
  ASSERT_TRUE(mark.SaveBmp(TEXT("c:\\mark.bmp")));
  ASSERT_TRUE(CreateDirectoryW(TEXT("c:\\1"), nullptr));
  PageSetup page(8, 8);
  page.ppDataFlags = kPropCaptureCode;
  page.settings.Flags = kFlagWatermark;
  WStrCopy(page.settings.WatermarkPath, kWatermarkPathChars, TEXT("c:\\mark.bmp"));
  page.settings.WatermarkScale = 50;
  ASSERT_TRUE(Render(page).ok);
  for (const char16_t* name : {u"c:\\1\\image_watermark.bmp", u"c:\\1\\image_tmp.bmp", u"c:\\1\\image_paper.bmp",
                               u"c:\\1\\mixed2.bmp", u"c:\\1\\origin.bmp", u"c:\\1\\dithered.bmp"}) {
    const std::vector<uint8_t> file = HostFile(name);
    RasterImage img;
    EXPECT_TRUE(!file.empty() && img.DecodeBmp(file.data(), file.size())) << std::string(name, name + std::char_traits<char16_t>::length(name));
  }
}

}  // namespace
