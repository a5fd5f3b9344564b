// The image record: creation, pixel access, geometry and level operations.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "image/image.h"

using namespace imgtest;

namespace {

TEST(ImageRecord, CreateFromArrayFlipStoresLastArrayRowFirst) {
  // Three columns, two rows, array rows 5 bytes apart.
  const uint8_t data[] = {1, 2, 3, 99, 99, 4, 5, 6, 99, 99};
  RasterImage img;
  ASSERT_TRUE(img.CreateFromArray(data, 3, 2, 8, 5, true));
  EXPECT_EQ(img.Stride(), 4u);
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(Greys(img), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));  // grey palette

  ASSERT_TRUE(img.CreateFromArray(data, 3, 2, 8, 5, false));
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(img.Row(0)[3], 0);  // padding is not copied from the array

  EXPECT_FALSE(img.CreateFromArray(data, 3, 2, 8, 2, true));  // rows shorter than the width
  EXPECT_EQ(Str(img.LastError()), u"invalid image size");
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(ImageRecord, CreateRejectsBadDepthAndSizesAndKeepsTheImage) {
  RasterImage img = Uniform(2, 2, 7);
  EXPECT_FALSE(img.Create(3, 3, 16));
  EXPECT_EQ(Str(img.LastError()), u"unsupported bits per pixel");
  EXPECT_FALSE(img.Create(0, 3, 8));
  EXPECT_FALSE(img.Create(3, 0, 8));
  EXPECT_FALSE(img.Create(RasterImage::kMaxSide + 1, 1, 8));
  EXPECT_FALSE(img.Create(RasterImage::kMaxSide, RasterImage::kMaxSide, 24));  // over the byte cap
  EXPECT_EQ(Str(img.LastError()), u"invalid image size");
  EXPECT_EQ(img.Width(), 2u);
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>(4, 7)));

  ASSERT_TRUE(img.Create(9, 1, 1));
  EXPECT_EQ(img.Stride(), 4u);
  EXPECT_EQ(img.PaletteSize(), 2u);
  EXPECT_EQ(img.GetPixelGrey(0, 0), 0);
  ASSERT_TRUE(img.Create(5, 1, 24));
  EXPECT_EQ(img.Stride(), 16u);
  EXPECT_EQ(img.PaletteSize(), 0u);
}

TEST(ImageRecord, PixelGreyUsesThePaletteColourOrThePixel) {
  RasterImage rgb;
  ASSERT_TRUE(rgb.Create(2, 1, 24));
  rgb.SetPixelColour(1, 0, ImageColour{50, 100, 200, 0});  // B, G, R
  // (306 * 200 + 601 * 100 + 117 * 50) >> 10 = 127150 >> 10
  EXPECT_EQ(rgb.GetPixelGrey(1, 0), 124);
  EXPECT_EQ(rgb.Row(0)[3], 50);
  EXPECT_EQ(rgb.Row(0)[5], 200);
  EXPECT_EQ(rgb.GetPixelGrey(2, 0), 0);   // outside
  EXPECT_EQ(rgb.GetPixelIndex(1, 0), 0);  // no indices at 24 bits

  RasterImage pal = Uniform(2, 1, 9);
  ImageColour entries[10] = {};
  entries[9] = ImageColour{255, 0, 0, 0};  // pure blue
  ASSERT_TRUE(pal.SetPalette(entries, 10));
  EXPECT_EQ(pal.GetPixelGrey(0, 0), (117 * 255) >> 10);
  EXPECT_EQ(pal.GetPixelGrey(-1, 0), 0);

  // Whole rows, as GetPixelGrey reads them.
  uint8_t row[2] = {};
  rgb.GetRowGrey(0, row);
  EXPECT_EQ(row[0], 0);
  EXPECT_EQ(row[1], 124);
  pal.GetRowGrey(0, row);
  EXPECT_EQ(row[1], (117 * 255) >> 10);
  RasterImage bits;
  ASSERT_TRUE(bits.Create(10, 1, 1));
  bits.SetPixelIndex(9, 0, 1);
  uint8_t ten[10];
  bits.GetRowGrey(0, ten);
  EXPECT_EQ(std::vector<uint8_t>(ten, ten + 10), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 255}));
}

TEST(ImageRecord, OneBitPixelsArePackedMostSignificantFirst) {
  RasterImage img;
  ASSERT_TRUE(img.Create(10, 2, 1));
  img.SetPixelIndex(0, 1, 1);
  img.SetPixelIndex(9, 1, 7);  // any non-zero index is white
  img.SetPixelIndex(10, 1, 1);  // outside: ignored
  img.SetPixelIndex(3, -1, 1);
  EXPECT_EQ(img.Row(1)[0], 0x80);
  EXPECT_EQ(img.Row(1)[1], 0x40);
  EXPECT_EQ(img.Row(1)[2], 0x00);
  EXPECT_EQ(img.Row(0)[0], 0x00);
  EXPECT_EQ(img.GetPixelGrey(9, 1), 255);
  img.SetPixelIndex(0, 1, 0);
  EXPECT_EQ(img.Row(1)[0], 0x00);
}

TEST(ImageRecord, CropTakesAStoredRectangleClippedToTheImage) {
  std::vector<uint8_t> v;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) v.push_back(static_cast<uint8_t>(10 * y + x));
  RasterImage img = Grey(4, 4, v);
  ASSERT_TRUE(img.Crop(ImageBox{1, 1, 3, 9}));  // top clipped to 4
  EXPECT_EQ(img.Width(), 2u);
  EXPECT_EQ(img.Height(), 3u);
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{11, 12, 21, 22, 31, 32}));

  EXPECT_FALSE(img.Crop(ImageBox{5, 0, 9, 3}));
  EXPECT_EQ(Str(img.LastError()), u"invalid image size");
  EXPECT_EQ(img.Width(), 2u);

  // 1 bit, starting inside a byte.
  RasterImage bits;
  ASSERT_TRUE(bits.Create(12, 1, 1));
  for (int x : {3, 5, 11}) bits.SetPixelIndex(x, 0, 1);
  ASSERT_TRUE(bits.Crop(ImageBox{3, 0, 12, 1}));
  EXPECT_EQ(Indices(bits), (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 1}));
}

TEST(ImageRecord, FlipReversesStoredRows) {
  RasterImage img = Grey(2, 3, {1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(img.Flip());
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
}

TEST(ImageRecord, ClearSetsEveryByteIncludingPadding) {
  RasterImage img = Uniform(3, 2, 0);
  ASSERT_TRUE(img.Clear());
  for (uint32_t i = 0; i < img.Stride() * img.Height(); ++i) EXPECT_EQ(img.Bits()[i], 255);
  ASSERT_TRUE(img.Clear(17));
  EXPECT_EQ(img.Row(1)[3], 17);
}

TEST(ImageRecord, MixCopiesColoursWithTheSourceBottomLeftAtThePosition) {
  RasterImage canvas;
  ASSERT_TRUE(canvas.Create(4, 3, 24));
  ASSERT_TRUE(canvas.Clear(255));
  RasterImage src = Grey(2, 2, {10, 20, 30, 40});
  ASSERT_TRUE(canvas.Mix(src, 3, 1));
  EXPECT_EQ(Greys(canvas), (std::vector<uint8_t>{255, 255, 255, 255,  //
                                                 255, 255, 255, 10,   //
                                                 255, 255, 255, 30}));
  ASSERT_TRUE(canvas.Mix(src, -1, -1));
  EXPECT_EQ(canvas.GetPixelGrey(0, 0), 40);
  EXPECT_EQ(canvas.GetPixelGrey(1, 0), 255);

  // Same depth paletted: indices are copied.
  RasterImage dst = Uniform(3, 1, 0);
  RasterImage one = Uniform(1, 1, 200);
  ASSERT_TRUE(dst.Mix(one, 1, 0));
  EXPECT_EQ(Indices(dst), (std::vector<uint8_t>{0, 200, 0}));
}

TEST(ImageRecord, LightMapsBytesThroughTheFloatTable) {
  RasterImage img;
  ASSERT_TRUE(img.Create(5, 1, 24));
  const uint8_t in[] = {0, 10, 101, 103, 129, 200, 250, 255};
  auto run = [&](int b, int c) {
    for (int i = 0; i < 8; ++i) img.Row(0)[i] = in[i];
    EXPECT_TRUE(img.Light(b, c));
    return std::vector<uint8_t>(img.Row(0), img.Row(0) + 8);
  };
  EXPECT_EQ(run(10, 0), (std::vector<uint8_t>{10, 20, 111, 113, 139, 210, 255, 255}));
  EXPECT_EQ(run(-300, 0), (std::vector<uint8_t>(8, 0)));
  // 128 + (i - 128) * 1.5 + 0.5: 101 -> 88.0, 103 -> 91.0, 129 -> 130.0, 200 -> 236.5, 10 -> 0.
  EXPECT_EQ(run(0, 50), (std::vector<uint8_t>{0, 0, 88, 91, 130, 236, 255, 255}));
  // 128 + (i - 128) * 2 + 0.5 - 20: 101 -> 54.5, 129 -> 110.5.
  EXPECT_EQ(run(-20, 100), (std::vector<uint8_t>{0, 0, 54, 58, 110, 252, 255, 255}));

  // Paletted: the palette changes, the indices stay.
  RasterImage grey = Grey(2, 1, {0, 100});
  ASSERT_TRUE(grey.Light(10, 0));
  EXPECT_EQ(Indices(grey), (std::vector<uint8_t>{0, 100}));
  EXPECT_EQ(Greys(grey), (std::vector<uint8_t>{10, 110}));
}

TEST(ImageRecord, IncreaseBitsKeepsIndicesAndCopiesTheOneBitPalette) {
  RasterImage img;
  ASSERT_TRUE(img.Create(3, 1, 1));
  img.SetPixelIndex(1, 0, 1);
  ASSERT_TRUE(img.IncreaseBits(8));
  EXPECT_EQ(img.Bpp(), 8u);
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{0, 1, 0}));
  EXPECT_EQ(Greys(img), (std::vector<uint8_t>{0, 255, 0}));
  EXPECT_EQ(img.Palette()[2].Red, 2);  // the rest of the grey palette stays
  EXPECT_EQ(img.Palette()[255].Red, 255);

  ASSERT_TRUE(img.IncreaseBits(8));  // same depth: nothing to do
  ASSERT_TRUE(img.IncreaseBits(24));
  EXPECT_EQ(img.Bpp(), 24u);
  EXPECT_EQ(Greys(img), (std::vector<uint8_t>{0, 255, 0}));
  EXPECT_FALSE(img.IncreaseBits(8));
  EXPECT_EQ(Str(img.LastError()), u"unsupported bits per pixel");
  EXPECT_EQ(img.Bpp(), 24u);
}

TEST(ImageRecord, EmptyImageFailsEveryOperation) {
  RasterImage img;
  const RasterImage other = Uniform(2, 2, 1);
  EXPECT_FALSE(img.Resample(2, 2));
  EXPECT_EQ(Str(img.LastError()), u"empty image");
  EXPECT_FALSE(img.ResampleSimple(2, 2, 1));
  EXPECT_FALSE(img.Crop(ImageBox{0, 0, 1, 1}));
  EXPECT_FALSE(img.Flip());
  EXPECT_FALSE(img.Mix(other, 0, 0));
  EXPECT_FALSE(img.Clear());
  EXPECT_FALSE(img.Light(1, 0));
  EXPECT_FALSE(img.IncreaseBits(8));
  EXPECT_FALSE(img.Threshold(128));
  EXPECT_FALSE(img.ThresholdByMask(other));
  EXPECT_EQ(img.OptimalThreshold(0), -1);
  EXPECT_FALSE(img.AdaptiveThreshold());
  EXPECT_FALSE(img.Dither(0));
  EXPECT_FALSE(img.IsValid());
}

TEST(ImageRecord, CancelStopsAtTheFirstRowAndKeepsThePartialResult) {
  RasterImage img = Uniform(5, 3, 255);
  img.SetCancel(true);
  ASSERT_TRUE(img.Threshold(128));
  EXPECT_EQ(img.Bpp(), 1u);
  EXPECT_EQ(Indices(img), std::vector<uint8_t>(15, 0));  // no row reached: all 0

  RasterImage d = Uniform(5, 3, 255);
  d.SetCancel(true);
  ASSERT_TRUE(d.Dither(0));
  EXPECT_EQ(Indices(d), std::vector<uint8_t>(15, 0));

  RasterImage r = Uniform(5, 3, 200);
  r.SetCancel(true);
  ASSERT_TRUE(r.Resample(10, 6));
  EXPECT_EQ(r.Width(), 10u);
  EXPECT_EQ(Indices(r), std::vector<uint8_t>(60, 0));

  RasterImage f = Grey(1, 2, {1, 2});
  f.SetCancel(true);
  ASSERT_TRUE(f.Flip());
  EXPECT_EQ(Indices(f), (std::vector<uint8_t>{1, 2}));

  RasterImage a = Uniform(16, 16, 200);
  a.SetCancel(true);
  ASSERT_TRUE(a.AdaptiveThreshold());
  EXPECT_EQ(a.Bpp(), 8u);  // stopped before the threshold pass

  RasterImage ok = Uniform(5, 3, 255);
  ASSERT_TRUE(ok.Threshold(128));
  EXPECT_EQ(ok.Progress(), 100);
  EXPECT_EQ(Indices(ok), std::vector<uint8_t>(15, 1));
}

TEST(ImageRecord, CopiesAreDeep) {
  RasterImage a = Grey(2, 1, {1, 2});
  RasterImage b = a;
  b.SetPixelIndex(0, 0, 9);
  EXPECT_EQ(Indices(a), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(Indices(b), (std::vector<uint8_t>{9, 2}));
  RasterImage c = std::move(b);
  EXPECT_EQ(Indices(c), (std::vector<uint8_t>{9, 2}));
}

}  // namespace
