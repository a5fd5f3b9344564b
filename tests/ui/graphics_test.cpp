// The Graphics Property page: its bars, numbers and dithering buttons through the document sheet,
// and the sample picture against the renderer's own processing of the same picture.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "doc_sheet.h"
#include "render/colour_adjust.h"
#include "render/pipeline/pipeline.h"
#include "ui/graphics.h"
#include "ui/pagesetup.h"
#include "ui/pagesetup_ids.h"
#include "ui/sample.h"

namespace uitest {
namespace {

namespace ui = winsim::ui;

class Graphics : public UiTest {};

TEST_F(Graphics, BrightnessBarAt150StoresAndShows50) {
  Install();
  PrinterDevmode dm = DefaultDevmode();
  dm.ColorAdjust.caBrightness = -20;
  dm.ColorAdjust.caContrast = 30;
  DocSheet s(printer, dm);
  HWND page = s.Show(kGraphicsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Position(page, kGraphicsBrightnessBar), 80);
  EXPECT_EQ(ui::Position(page, kGraphicsContrastBar), 130);
  EXPECT_EQ(ui::Text(page, kGraphicsBrightnessText), u"-20");
  EXPECT_EQ(ui::Text(page, kGraphicsContrastText), u"30");
  EXPECT_EQ(SendDlgItemMessageW(page, kGraphicsBrightnessBar, TBM_GETRANGEMAX, 0, 0), 200);
  EXPECT_EQ(SendDlgItemMessageW(page, kGraphicsBrightnessBar, TBM_GETNUMTICS, 0, 0), 21) << "ends and 19 marks";

  ASSERT_TRUE(ui::Slide(page, kGraphicsBrightnessBar, 150));
  EXPECT_EQ(ui::Text(page, kGraphicsBrightnessText), u"50");
  EXPECT_TRUE(ui::PageChanged(s.sheet, kGraphicsTemplate));
  ASSERT_TRUE(ui::Slide(page, kGraphicsBrightnessBar, 80));
  EXPECT_FALSE(ui::PageChanged(s.sheet, kGraphicsTemplate)) << "back at the stored value";
  ASSERT_TRUE(ui::Slide(page, kGraphicsBrightnessBar, 150));
  ASSERT_TRUE(ui::Slide(page, kGraphicsContrastBar, 0));
  EXPECT_EQ(ui::Text(page, kGraphicsContrastText), u"-100");
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.ColorAdjust.caBrightness, 50);
  EXPECT_EQ(s.out.ColorAdjust.caContrast, -100);
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(Graphics, DitheringButtonsAndLowResolutionReachTheOutput) {
  Install();
  PrinterDevmode dm = DefaultDevmode();
  dm.DitherLevel = 4;
  dm.InputDPI = 0;
  DocSheet s(printer, dm);
  HWND page = s.Show(kGraphicsTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Checked(page, 1012), UINT(BST_CHECKED)) << "Jarvis is level 4";
  EXPECT_EQ(ui::Checked(page, kGraphicsLowResolution), UINT(BST_UNCHECKED));
  ASSERT_TRUE(ui::Click(page, 1011));  // Stucki
  EXPECT_EQ(ui::Checked(page, 1012), UINT(BST_UNCHECKED));
  EXPECT_TRUE(ui::PageChanged(s.sheet, kGraphicsTemplate));
  ASSERT_TRUE(ui::Click(page, kGraphicsLowResolution));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.DitherLevel, 3u);
  EXPECT_EQ(s.out.InputDPI, 1);
}

// Graphics edits the sheet's one working copy: Page Setup's comparison sees them, and an edit undone on
// Page Setup leaves the sheet changed while the brightness still differs.
TEST_F(Graphics, SharesPageSetupsWorkingCopy) {
  Install();
  DocSheet s(printer, DefaultDevmode());
  HWND graphics = s.Show(kGraphicsTemplate);
  ASSERT_NE(graphics, nullptr);
  ASSERT_TRUE(ui::Slide(graphics, kGraphicsBrightnessBar, 150));
  HWND setup = s.Show(kPageSetupTemplate);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(ui::Click(setup, IDC_PS_MIRROR));
  ASSERT_TRUE(ui::Click(setup, IDC_PS_MIRROR));
  EXPECT_TRUE(ui::PageChanged(s.sheet, kPageSetupTemplate)) << "the brightness still differs";
  graphics = s.Show(kGraphicsTemplate);
  ASSERT_TRUE(ui::Slide(graphics, kGraphicsBrightnessBar, 100));
  EXPECT_FALSE(ui::PageChanged(s.sheet, kGraphicsTemplate));
  ASSERT_TRUE(ui::Slide(graphics, kGraphicsBrightnessBar, 130));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.ColorAdjust.caBrightness, 30);
  EXPECT_EQ(s.out.Flags & 0x1u, 0u);
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(Graphics, LevelWithoutButtonIsKeptAndTheSampleIsShown) {
  Install();
  PrinterDevmode dm = DefaultDevmode();
  dm.DitherLevel = 7;  // Bayer: no button of its own
  DocSheet s(printer, dm);
  HWND page = s.Show(kGraphicsTemplate);
  ASSERT_NE(page, nullptr);
  for (const DitherButton& b : kDitherButtons) {
    if (GetDlgItem(page, b.Id)) {
      EXPECT_EQ(ui::Checked(page, b.Id), UINT(BST_UNCHECKED)) << b.Id;
    }
  }
  auto shown = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(page, kGraphicsSample, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(shown, nullptr);
  BITMAP bm{};
  ASSERT_TRUE(GetObjectW(shown, sizeof bm, &bm));
  EXPECT_EQ(bm.bmWidth, 232);
  EXPECT_EQ(bm.bmHeight, 160);
  ASSERT_TRUE(ui::Click(page, kGraphicsOriginal));
  auto original = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(page, kGraphicsSample, STM_GETIMAGE, IMAGE_BITMAP, 0));
  EXPECT_NE(original, shown) << "redrawn, the old picture released";
  EXPECT_FALSE(ui::PageChanged(s.sheet, kGraphicsTemplate)) << "viewing the original changes no setting";
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.DitherLevel, 7u);
}

// ---- the sample picture ----

class Sample : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Install();
    ASSERT_TRUE(LoadSamplePicture(UiModule(), picture));
    // The resource is an 8-bit palette picture; the page bitmap and the identity check need its colours.
    EXPECT_EQ(picture.Bpp(), 8u);
    colours = picture;
    ASSERT_TRUE(colours.IncreaseBits(24));
  }
  RasterImage picture, colours;
};

TEST_F(Sample, ContrastZeroIsTheIdentityAndContrast100HasItsFactor) {
  uint8_t table[256];
  EXPECT_TRUE(ColourAdjustTable(0, 0, table));
  for (int v = 0; v < 256; ++v) ASSERT_EQ(table[v], v);
  RasterImage same;
  ASSERT_TRUE(ProcessSample(picture, 0, 0, 8, true, same));
  EXPECT_EQ(0, std::memcmp(same.Bits(), colours.Bits(), size_t(colours.Stride()) * colours.Height()));
  RasterImage same24;
  ASSERT_TRUE(ProcessSample(colours, 0, 0, 8, true, same24));
  EXPECT_EQ(0, std::memcmp(same24.Bits(), colours.Bits(), size_t(colours.Stride()) * colours.Height()));

  EXPECT_FALSE(ColourAdjustTable(100, 0, table));
  // K = 255 at contrast 100, so the factor is (255 + 255) x 259 / (66045 - 255 x 255) = 129.5: all
  // but the levels next to 128 go to black or white, as the printed page has them.
  const double factor = (255.0 + 255) * 259 / (66045 - 255 * 255);
  EXPECT_DOUBLE_EQ(factor, 129.5);
  for (int v = 0; v < 256; ++v) {
    const int expect = std::clamp(int((v - 128) * factor + 128), 0, 255);
    ASSERT_EQ(table[v], expect) << v;
  }
  EXPECT_EQ(table[127], 0);
  EXPECT_EQ(table[128], 128);
  EXPECT_EQ(table[129], 255);
  // Contrast 50: K = 127, factor = 382 x 259 / 33660.
  ColourAdjustTable(50, 0, table);
  EXPECT_EQ(table[138], int(10 * (382.0 * 259 / 33660) + 128));
  // Brightness 50 adds 64; -100 takes 128 away.
  ColourAdjustTable(0, 50, table);
  EXPECT_EQ(table[10], 74);
  EXPECT_EQ(table[250], 255);
  ColourAdjustTable(0, -100, table);
  EXPECT_EQ(table[100], 0);
  EXPECT_EQ(table[200], 72);
}

// The sample after each dithering level is what the printer page would be: the same picture run
// through the page raster pipeline (no scaling, no turns) gives the same black and white pixels.
TEST_F(Sample, EqualsTheRenderersDitheringOfTheSamePicture) {
  const uint32_t w = picture.Width(), h = picture.Height();
  ASSERT_EQ(w % 8, 0u);
  // The picture as a GDI page bitmap: top-down B, G, R rows.
  const int32_t stride = int32_t((3 * w + 3) / 4 * 4);
  std::vector<uint8_t> bits(size_t(stride) * h);
  for (uint32_t y = 0; y < h; ++y) std::memcpy(&bits[size_t(y) * stride], colours.Row(h - 1 - y), 3 * w);

  ModelRecord model{};
  model.XDpi = model.YDpi = 203;
  model.MaxWidth = 104000;
  model.MaxLength = 2286000;
  InstalledPaper paper{};
  RasterImage redrawn;  // one image for every level, as the page redraws
  for (uint32_t level : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u}) {
    PrinterDevmode dm = DefaultDevmode();
    dm.dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.Flags = 0;
    dm.ShiftH = dm.ShiftV = 0;
    dm.PrintingScale = 0;
    dm.InputDPI = 0;
    dm.PaperSaving = 0;
    dm.PrintLanguage = kLangTspl;
    dm.ColorAdjust.caContrast = 25;
    dm.ColorAdjust.caBrightness = -15;
    dm.DitherLevel = level;
    PipelineInput in{};
    in.settings = &dm;
    in.paper = &paper;
    in.model = &model;
    in.resolution = 203;
    in.bits = bits.data();
    in.width = int32_t(w);
    in.height = int32_t(h);
    in.stride = stride;
    in.bitsSize = DWORD(bits.size());
    PageRaster raster;
    ASSERT_TRUE(RenderPageRaster(in, &raster)) << level;
    ASSERT_EQ(raster.rows, h);
    const uint32_t rowBytes = raster.bytes / raster.rows;

    RasterImage sample;
    ASSERT_TRUE(ProcessSample(picture, 25, -15, level, false, sample));
    // The palette picture and its 24-bit colours give the same sample.
    RasterImage fromColours;
    ASSERT_TRUE(ProcessSample(colours, 25, -15, level, false, fromColours));
    EXPECT_EQ(0, std::memcmp(sample.Bits(), fromColours.Bits(), size_t(sample.Stride()) * h)) << "level " << level;
    const uint8_t* before = redrawn.IsValid() ? redrawn.Bits() : nullptr;
    ASSERT_TRUE(ProcessSample(picture, 25, -15, level, false, redrawn));
    if (before) {
      EXPECT_EQ(redrawn.Bits(), before) << "the redraw reuses the pixels";
    }
    EXPECT_EQ(0, std::memcmp(sample.Bits(), redrawn.Bits(), size_t(sample.Stride()) * h)) << "level " << level;
    int differ = 0, black = 0;
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* px = sample.Row(h - 1 - y);
      for (uint32_t x = 0; x < w; ++x) {
        const bool white = (raster.data[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        EXPECT_TRUE(px[3 * x] == px[3 * x + 1] && px[3 * x] == px[3 * x + 2]);
        differ += white != (px[3 * x] == 255);
        black += px[3 * x] == 0;
      }
    }
    EXPECT_EQ(differ, 0) << "level " << level;
    EXPECT_GT(black, int(w * h / 10)) << "level " << level << " shows the picture";
    FreePageRaster(&raster);
  }
}

TEST_F(Sample, MethodsDifferFromOneAnother) {
  std::vector<std::vector<uint8_t>> results;
  for (uint32_t level : {8u, 1u, 0u, 2u, 3u, 4u, 5u, 6u}) {
    RasterImage s;
    ASSERT_TRUE(ProcessSample(picture, 0, 0, level, false, s));
    results.emplace_back(s.Bits(), s.Bits() + size_t(s.Stride()) * s.Height());
  }
  for (size_t i = 0; i < results.size(); ++i)
    for (size_t j = i + 1; j < results.size(); ++j) EXPECT_NE(results[i], results[j]) << i << " " << j;
}

}  // namespace
}  // namespace uitest
