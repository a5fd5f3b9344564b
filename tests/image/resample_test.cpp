// Bicubic, bilinear, area-average and nearest-neighbour resampling.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "image/image.h"

using namespace imgtest;

namespace {

RasterImage Resampled(RasterImage img, uint32_t w, uint32_t h, int mode) {
  EXPECT_TRUE(img.ResampleSimple(w, h, mode));
  EXPECT_EQ(img.Width(), w);
  EXPECT_EQ(img.Height(), h);
  return img;
}

TEST(Resample, BicubicSamplesPixelCentresAndRepeatsEdges) {
  // 2 -> 4: s = x / 2 - 0.25. x = 1: taps 0, 0, 1, 1 with K(1.25) + K(0.25) on 0 and
  // K(0.75) + K(1.75) = 0.203125 on 255 -> 51.8; x = 2: K(0.25) + K(1.25) = 0.796875 -> 203.2.
  // The outer pixels overshoot (-0.07 * 255, 1.07 * 255) and clamp.
  EXPECT_EQ(Indices(Resampled(Grey(2, 1, {0, 255}), 4, 1, 2)),
            (std::vector<uint8_t>{0, 52, 203, 255}));
  // The same along y.
  EXPECT_EQ(Indices(Resampled(Grey(1, 2, {0, 255}), 1, 4, 2)),
            (std::vector<uint8_t>{0, 52, 203, 255}));
  // Resample() is the same bicubic.
  RasterImage img = Grey(2, 1, {0, 255});
  ASSERT_TRUE(img.Resample(4, 1));
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{0, 52, 203, 255}));
  // 4 -> 2: s = 2x + 0.5, weights K(1.5), K(0.5), K(0.5), K(1.5) = -1/16, 9/16, 9/16, -1/16.
  // x = 0 over 0, 0, 80, 160 (edge repeated) -> 45 - 10 = 35;
  // x = 1 over 80, 160, 240, 240 -> -5 + 90 + 135 - 15 = 205.
  EXPECT_EQ(Indices(Resampled(Grey(4, 1, {0, 80, 160, 240}), 2, 1, 2)),
            (std::vector<uint8_t>{35, 205}));
}

TEST(Resample, BicubicKeepsFlatAreasAndIntegerPositions) {
  EXPECT_EQ(Indices(Resampled(Uniform(7, 5, 77), 3, 11, 2)), std::vector<uint8_t>(33, 77));
  // Enlarging by an odd factor puts every source pixel centre on a destination centre.
  Rng rng(1);
  const RasterImage src = RandomGrey(4, 3, rng);
  const RasterImage big = Resampled(src, 12, 9, 2);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(big.GetPixelIndex(3 * x + 1, 3 * y + 1), src.GetPixelIndex(x, y));
}

TEST(Resample, BilinearWhenGrowingAreaWhenShrinking) {
  // Growing: s = x * sw / dw, right neighbour clamped. 0, 127.5 -> 128, 255, 255.
  EXPECT_EQ(Indices(Resampled(Grey(2, 1, {0, 255}), 4, 1, 0)),
            (std::vector<uint8_t>{0, 128, 255, 255}));
  // Shrinking 4 -> 2: plain averages 50 and 227.5 -> 228.
  EXPECT_EQ(Indices(Resampled(Grey(4, 1, {0, 100, 200, 255}), 2, 1, 0)),
            (std::vector<uint8_t>{50, 228}));
  // 3 -> 2: spans [0, 1.5) and [1.5, 3): 0 * 2/3 + 90 * 1/3 = 30, 90 * 1/3 + 180 * 2/3 = 150.
  EXPECT_EQ(Indices(Resampled(Grey(3, 1, {0, 90, 180}), 2, 1, 0)),
            (std::vector<uint8_t>{30, 150}));
  // Each axis chooses for itself: x grows (bilinear), y shrinks (average of the two rows).
  EXPECT_EQ(Indices(Resampled(Grey(2, 2, {0, 200, 100, 100}), 4, 1, 0)),
            (std::vector<uint8_t>{50, 100, 150, 150}));
}

TEST(Resample, NearestNeighbourTruncates) {
  // x * 2 / 5 = 0, 0, 0, 1, 1; y * 2 / 1 = 0.
  EXPECT_EQ(Indices(Resampled(Grey(2, 2, {10, 20, 30, 40}), 5, 1, 1)),
            (std::vector<uint8_t>{10, 10, 10, 20, 20}));
  EXPECT_EQ(Indices(Resampled(Grey(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}), 2, 2, 1)),
            (std::vector<uint8_t>{1, 3, 5, 7}));
  // Indices are copied, whatever the palette: a 1-bit and a 24-bit image.
  RasterImage bits;
  ASSERT_TRUE(bits.Create(3, 1, 1));
  bits.SetPixelIndex(1, 0, 1);
  EXPECT_EQ(Indices(Resampled(bits, 6, 1, 1)), (std::vector<uint8_t>{0, 0, 1, 1, 0, 0}));
  RasterImage rgb;
  ASSERT_TRUE(rgb.Create(2, 1, 24));
  rgb.SetPixelColour(1, 0, ImageColour{1, 2, 3, 0});
  const RasterImage wide = Resampled(rgb, 4, 1, 1);
  EXPECT_EQ(wide.Row(0)[9], 1);
  EXPECT_EQ(wide.Row(0)[11], 3);
  EXPECT_EQ(wide.Row(0)[3], 0);
}

TEST(Resample, SameSizeChangesNothingAndBadSizesFail) {
  Rng rng(2);
  const RasterImage src = RandomGrey(5, 4, rng);
  for (int mode : {0, 1, 2}) EXPECT_EQ(Indices(Resampled(src, 5, 4, mode)), Indices(src));
  RasterImage img = src;
  EXPECT_FALSE(img.Resample(0, 4));
  EXPECT_EQ(Str(img.LastError()), u"invalid image size");
  EXPECT_FALSE(img.ResampleSimple(5, 0, 1));
  EXPECT_FALSE(img.ResampleSimple(6, 4, 3));
  EXPECT_EQ(Str(img.LastError()), u"invalid mode");
  EXPECT_FALSE(img.Resample(RasterImage::kMaxSide + 1, 1));
  EXPECT_EQ(Indices(img), Indices(src));
}

TEST(Resample, PalettedImagesTakeTheNearestPaletteEntry) {
  // A 1-bit result widened to 8 bits keeps its two-entry palette at indices 0 and 1 over the
  // grey palette: interpolated greys land on the grey entries, 255 on index 1 (the first white)
  // and 1 on index 0 (black ties with grey 2 and the lower index wins).
  RasterImage img;
  ASSERT_TRUE(img.Create(2, 1, 1));
  img.SetPixelIndex(1, 0, 1);
  ASSERT_TRUE(img.IncreaseBits(8));
  ASSERT_TRUE(img.Resample(4, 1));
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{0, 52, 203, 1}));
  EXPECT_EQ(Greys(img), (std::vector<uint8_t>{0, 52, 203, 255}));

  RasterImage two = Grey(2, 1, {2, 0});  // the same widened palette
  ImageColour mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  ASSERT_TRUE(two.SetPalette(mono, 2));
  ASSERT_TRUE(two.ResampleSimple(4, 1, 0));  // greys 2, 1, 0, 0 before mapping
  EXPECT_EQ(Indices(two), (std::vector<uint8_t>{2, 0, 0, 0}));

  // A 1-bit image stays 1-bit: each result is black or white, whichever is nearer.
  RasterImage bits;
  ASSERT_TRUE(bits.Create(2, 1, 1));
  bits.SetPixelIndex(1, 0, 1);
  ASSERT_TRUE(bits.Resample(4, 1));
  EXPECT_EQ(bits.Bpp(), 1u);
  EXPECT_EQ(Indices(bits), (std::vector<uint8_t>{0, 0, 1, 1}));

  // A colour palette is interpolated per channel: red 0 and 255 blend to (128, 0, 0) at the
  // bilinear midpoint, nearest to entry 2.
  RasterImage colour = Grey(2, 1, {0, 1});
  ImageColour pal[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 0, 120, 0}};
  ASSERT_TRUE(colour.SetPalette(pal, 3));
  ASSERT_TRUE(colour.ResampleSimple(4, 1, 0));
  EXPECT_EQ(colour.GetPixelIndex(1, 0), 2);
}

TEST(Resample, TwentyFourBitChannelsAreIndependent) {
  RasterImage rgb;
  ASSERT_TRUE(rgb.Create(2, 1, 24));
  rgb.SetPixelColour(0, 0, ImageColour{0, 255, 10, 0});
  rgb.SetPixelColour(1, 0, ImageColour{255, 0, 10, 0});
  ASSERT_TRUE(rgb.ResampleSimple(4, 1, 2));
  const uint8_t* p = rgb.Row(0);
  EXPECT_EQ(p[3], 52);   // blue rises as in the grey case
  EXPECT_EQ(p[4], 203);  // green falls
  EXPECT_EQ(p[5], 10);   // red is flat
}

}  // namespace
