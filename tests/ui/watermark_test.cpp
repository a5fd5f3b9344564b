// The WaterMark page through the document sheet, and its preview's placement and failures.
#include <gtest/gtest.h>

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "doc_sheet.h"
#include "image/bmp.h"
#include "ui/sample.h"
#include "ui/watermark.h"

namespace uitest {
namespace {

namespace ui = winsim::ui;

// A black (or, with `level` 255, white) picture of w x h as BMP bytes at `path` on the simulated C: drive.
void WriteBlackBmp(const std::u16string& path, uint32_t w, uint32_t h, uint8_t level = 0) {
  RasterImage img;
  ASSERT_TRUE(img.Create(w, h, 24));
  if (level) {
    ASSERT_TRUE(img.Clear(level));
  }
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeBmp(img, bytes));
  winsim::WriteHostFile(path, bytes.data(), bytes.size());
}

// Black pixels of a 24-bit image per column range: counts in [x0, x1) and outside.
struct BlackCount {
  int inside = 0, outside = 0;
};
BlackCount CountBlack(const RasterImage& img, const RECT& r) {
  BlackCount c;
  const int h = int(img.Height());
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = img.Row(uint32_t(h - 1 - y));  // y counted from the top
    for (int x = 0; x < int(img.Width()); ++x) {
      if (row[3 * x] != 0) continue;
      const bool in = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      (in ? c.inside : c.outside)++;
    }
  }
  return c;
}

TEST(WatermarkPlacement, ScaleAndPositionOnTheClientArea) {
  // Scale 50 and horizontal 100 on a 200-pixel preview: 100 wide from x = 100.
  RECT r = WatermarkPlacement(200, 150, 400, 300, 50, 100, 0);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 200);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.bottom, 75) << "200 / 400 x 300 = 150, at half scale";
  r = WatermarkPlacement(200, 150, 100, 50, 50, 50, 100);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 100);
  EXPECT_EQ(r.bottom, 150);
  // Not smaller than the area: at the edge whatever the position.
  r = WatermarkPlacement(200, 150, 100, 100, 100, 70, 70);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 200);
  EXPECT_EQ(r.bottom, 200);
  // Nothing to place: no division by a zero side, nothing at scale 0.
  for (RECT e : {WatermarkPlacement(200, 150, 0, 100, 50, 0, 0), WatermarkPlacement(200, 150, 100, 0, 50, 0, 0),
                 WatermarkPlacement(200, 150, 100, 100, 0, 0, 0), WatermarkPlacement(0, 150, 100, 100, 50, 0, 0)}) {
    EXPECT_EQ(e.right - e.left, 0);
    EXPECT_EQ(e.bottom - e.top, 0);
  }
}

class WatermarkPreview : public UiTest {};

TEST_F(WatermarkPreview, DrawsThePictureOnlyInItsPlace) {
  Install();
  WriteBlackBmp(u"C:\\marks\\black.bmp", 400, 300);
  RasterImage preview;
  ASSERT_TRUE(MakeWatermarkPreview(TEXT("C:\\marks\\black.bmp"), 200, 150, 255, 50, 100, 0, preview));
  ASSERT_EQ(preview.Width(), 200u);
  const RECT r{100, 0, 200, 75};
  BlackCount c = CountBlack(preview, r);
  EXPECT_EQ(c.outside, 0);
  EXPECT_EQ(c.inside, 100 * 75) << "black stays black at full brightness";
  // Brightness 0 lifts every byte by 326 (clamped): all white.
  ASSERT_TRUE(MakeWatermarkPreview(TEXT("C:\\marks\\black.bmp"), 200, 150, 0, 50, 100, 0, preview));
  EXPECT_EQ(CountBlack(preview, r).inside, 0);
}

TEST_F(WatermarkPreview, FailuresLeaveItWhite) {
  Install();
  const uint8_t junk[] = {'B', 'M', 0, 0};
  winsim::WriteHostFile(u"C:\\marks\\junk.bmp", junk, sizeof junk);
  WriteBlackBmp(u"C:\\marks\\black.bmp", 40, 30);
  for (const WCHAR* path : {TEXT("C:\\marks\\missing.bmp"), TEXT("C:\\marks\\junk.bmp"), TEXT("")}) {
    RasterImage preview;
    EXPECT_FALSE(MakeWatermarkPreview(path, 120, 90, 128, 50, 0, 0, preview));
    ASSERT_TRUE(preview.IsValid());
    EXPECT_EQ(CountBlack(preview, RECT{0, 0, 120, 90}).inside, 0);
  }
  RasterImage preview;
  EXPECT_FALSE(MakeWatermarkPreview(TEXT("C:\\marks\\black.bmp"), 120, 90, 255, 0, 0, 0, preview)) << "scale 0";
  EXPECT_EQ(CountBlack(preview, RECT{0, 0, 120, 90}).inside, 0);
}

// A large picture is reduced to the preview's width once, as it is read; the placement still follows
// the file's own size.
TEST_F(WatermarkPreview, PictureIsReducedToThePreviewWidthWhenRead) {
  Install();
  WriteBlackBmp(u"C:\\marks\\wide.bmp", 2000, 1000);
  WatermarkPicture picture;
  ASSERT_TRUE(LoadWatermarkPicture(TEXT("C:\\marks\\wide.bmp"), 200, &picture));
  EXPECT_EQ(picture.Image.Width(), 200u);
  EXPECT_EQ(picture.Image.Height(), 100u);
  EXPECT_EQ(picture.Width, 2000);
  EXPECT_EQ(picture.Height, 1000);
  // Scale 50 and horizontal 100 on 200 x 150: 100 x 50 from x = 100 (200 / 2000 x 1000 = 100, halved).
  RasterImage preview;
  ASSERT_TRUE(DrawWatermarkPreview(picture, 200, 150, 255, 50, 100, 0, preview));
  const BlackCount c = CountBlack(preview, RECT{100, 0, 200, 50});
  EXPECT_EQ(c.inside, 100 * 50);
  EXPECT_EQ(c.outside, 0);
  // A picture narrower than the preview is kept as it is.
  WriteBlackBmp(u"C:\\marks\\small.bmp", 40, 30);
  ASSERT_TRUE(LoadWatermarkPicture(TEXT("C:\\marks\\small.bmp"), 200, &picture));
  EXPECT_EQ(picture.Image.Width(), 40u);
  EXPECT_FALSE(LoadWatermarkPicture(TEXT("C:\\marks\\missing.bmp"), 200, &picture));
  EXPECT_FALSE(picture.Image.IsValid());
}

class WatermarkPage : public UiTest {
 protected:
  // The first pixel of the preview's top row (0 black, 255 white); -1 when the preview shows nothing.
  static int FirstPixel(HWND page) {
    auto shown = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(page, kWmPreview, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (!shown) return -1;
    DIBSECTION ds{};
    if (GetObjectW(shown, sizeof ds, &ds) != int(sizeof ds) || !ds.dsBm.bmBits) return -1;
    return static_cast<const uint8_t*>(ds.dsBm.bmBits)[0];
  }
};

// Moving the bars redraws from the picture read when the file was first shown (a file changed on
// disk meanwhile shows once it is chosen again), and switching the watermark off clears the preview.
TEST_F(WatermarkPage, PictureReadOncePerFileAndClearedWhenSwitchedOff) {
  Install();
  WriteBlackBmp(u"C:\\marks\\logo.bmp", 400, 300);
  PrinterDevmode dm = DefaultDevmode();
  dm.Flags |= kFlagWatermark;
  WStrCopy(dm.WatermarkPath, kWatermarkPathChars, TEXT("C:\\marks\\logo.bmp"));
  dm.WatermarkBrightness = 255;
  dm.WatermarkScale = 100;
  dm.WatermarkX = dm.WatermarkY = 0;
  DocSheet s(printer, dm);
  HWND page = s.Show(kWatermarkTemplate);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(ui::Slide(page, kWmScale, 90));
  EXPECT_EQ(FirstPixel(page), 0) << "the black picture";

  WriteBlackBmp(u"C:\\marks\\logo.bmp", 400, 300, 255);
  for (int pos : {80, 70, 60}) {
    ASSERT_TRUE(ui::Slide(page, kWmScale, pos));
    EXPECT_EQ(FirstPixel(page), 0) << "drawn from the picture as read";
  }
  ui::QueueFileName(u"C:\\marks\\logo.bmp");
  ASSERT_TRUE(ui::Click(page, kWmBrowse));
  EXPECT_EQ(FirstPixel(page), 255) << "chosen again: read again";

  ASSERT_TRUE(ui::Click(page, kWmEnable));
  EXPECT_EQ(FirstPixel(page), -1) << "off: no picture";
  ASSERT_TRUE(ui::Click(page, kWmEnable));
  EXPECT_EQ(FirstPixel(page), 255);
}

TEST_F(WatermarkPage, ChooserBarsAndSwitchReachTheOutput) {
  Install();
  WriteBlackBmp(u"C:\\marks\\logo.bmp", 64, 32);
  PrinterDevmode dm = DefaultDevmode();
  dm.Flags &= ~kFlagWatermark;
  dm.WatermarkBrightness = 200;
  dm.WatermarkScale = 40;
  dm.WatermarkX = 10;
  dm.WatermarkY = 20;
  DocSheet s(printer, dm);
  HWND page = s.Show(kWatermarkTemplate);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ui::Position(page, kWmBrightness), 200);
  EXPECT_EQ(ui::Position(page, kWmScale), 40);
  EXPECT_EQ(SendDlgItemMessageW(page, kWmBrightness, TBM_GETRANGEMAX, 0, 0), 255);
  EXPECT_EQ(SendDlgItemMessageW(page, kWmScale, TBM_GETRANGEMAX, 0, 0), 100);
  EXPECT_EQ(SendDlgItemMessageW(page, kWmVertical, TBM_GETPAGESIZE, 0, 0), 10);
  EXPECT_FALSE(ui::Enabled(page, kWmBrowse));
  ASSERT_TRUE(ui::Click(page, kWmEnable));
  EXPECT_TRUE(ui::Enabled(page, kWmBrowse));
  EXPECT_TRUE(ui::PageChanged(s.sheet, kWatermarkTemplate));

  ui::QueueFileCancel();
  ASSERT_TRUE(ui::Click(page, kWmBrowse));
  EXPECT_EQ(ui::Text(page, kWmPath), u"") << "a cancelled chooser changes nothing";
  ui::QueueFileName(u"C:\\marks\\logo.bmp");
  ASSERT_TRUE(ui::Click(page, kWmBrowse));
  EXPECT_EQ(ui::Text(page, kWmPath), u"C:\\marks\\logo.bmp");
  ASSERT_EQ(ui::FileDialogs().size(), 2u);
  EXPECT_EQ(ui::FileDialogs()[1].filter, u"Watermark image(*.bmp)|*.bmp");
  EXPECT_EQ(ui::FileDialogs()[1].flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST), DWORD(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));

  ASSERT_TRUE(ui::Slide(page, kWmScale, 50));
  ASSERT_TRUE(ui::Slide(page, kWmHorizontal, 100));
  ASSERT_TRUE(ui::Slide(page, kWmBrightness, 255));
  ASSERT_TRUE(ui::Slide(page, kWmVertical, 0));
  auto shown = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(page, kWmPreview, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(shown, nullptr) << "the preview is drawn";
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(shown, sizeof ds, &ds), int(sizeof ds));
  const int w = ds.dsBm.bmWidth;
  const auto* px = static_cast<const uint8_t*>(ds.dsBm.bmBits);
  ASSERT_NE(px, nullptr);
  // The first row: white on the left half, the black picture on the right half.
  EXPECT_EQ(px[3 * (w / 2 - 2)], 255);
  EXPECT_EQ(px[3 * (w - 2)], 0);

  ASSERT_TRUE(s.Ok());
  EXPECT_TRUE(s.out.Flags & kFlagWatermark);
  EXPECT_EQ(U16(s.out.WatermarkPath), u"C:\\marks\\logo.bmp");
  EXPECT_EQ(s.out.WatermarkBrightness, 255);
  EXPECT_EQ(s.out.WatermarkScale, 50);
  EXPECT_EQ(s.out.WatermarkX, 100);
  EXPECT_EQ(s.out.WatermarkY, 0);
  EXPECT_TRUE(ui::Unexpected().empty());
}

}  // namespace
}  // namespace uitest
