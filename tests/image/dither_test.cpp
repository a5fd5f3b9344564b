// Dithering methods 0 to 9.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image_test_util.h"
#include "image/image.h"
#include "image/image_internal.h"

using namespace imgtest;

namespace {

std::vector<uint8_t> Dithered(RasterImage img, int method) {
  EXPECT_TRUE(img.Dither(method));
  EXPECT_EQ(img.Bpp(), 1u);
  return Indices(img);
}

TEST(Dither, WhiteAndBlackPagesStayAsTheyAreUnderEveryMethod) {
  for (int method : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12}) {
    EXPECT_EQ(Dithered(Uniform(9, 7, 255), method), std::vector<uint8_t>(63, 1)) << method;
    EXPECT_EQ(Dithered(Uniform(9, 7, 0), method), std::vector<uint8_t>(63, 0)) << method;
  }
}

TEST(Dither, FloydSteinbergTruncatesTowardZeroAndClamps) {
  // Stored row 0 first: x0 110 -> black, e 110: (1,0) +48 = 158, (0,1) +34 = 144, (1,1) +6 = 116.
  // x1 158 -> white, e -97: (2,0) -42 = 68, (0,1) -18 = 126, (1,1) -30 = 86, (2,1) -6 = 104.
  // x2 68 -> black, e 68: (1,1) +12 = 98, (2,1) +21 = 125.
  // Row 1: 126 black (+55 -> 153), 153 white (e -102: -44 -> 81), 81 black.
  EXPECT_EQ(Dithered(Uniform(3, 2, 110), 0), (std::vector<uint8_t>{0, 1, 0, 0, 1, 0}));
  // 128 stays black (the cut is at 129) and sends all of its 128 onward.
  // 7 * 128 / 16 = 56: 73 reaches 129, 72 only 128.
  EXPECT_EQ(Dithered(Grey(2, 1, {128, 73}), 0), (std::vector<uint8_t>{0, 1}));
  EXPECT_EQ(Dithered(Grey(2, 1, {128, 72}), 0), (std::vector<uint8_t>{0, 0}));
  // Negative errors truncate toward zero: 129 sends 7 * -126 / 16 = -55 (not -56), so 184
  // lands on 129 and turns white.
  EXPECT_EQ(Dithered(Grey(2, 1, {129, 184}), 0), (std::vector<uint8_t>{1, 1}));
  // A large negative error clamps the neighbour at 0, not below: 129 -> white, e -126,
  // (1,0) gets -55: 40 -> 0, which then has no error to pass on, so the last 129 stays white
  // (unclamped, -15 would send -6 and turn it black).
  EXPECT_EQ(Dithered(Grey(3, 1, {129, 40, 129}), 0), (std::vector<uint8_t>{1, 0, 1}));
}

TEST(Dither, OnePixelWideImagesOnlyCarryErrorToLaterRows) {
  // Floyd-Steinberg: 120 black (+37 -> 157), white (-98: -30 -> 90), black (+28 -> 148), white.
  EXPECT_EQ(Dithered(Uniform(1, 4, 120), 0), (std::vector<uint8_t>{0, 1, 0, 1}));
  // Stevenson-Arce has no tap straight above: rows 0 and 1 each send 26 * 120 / 200 = 15 two
  // rows on, so rows 2 and 3 reach 135.
  EXPECT_EQ(Dithered(Uniform(1, 4, 120), 6), (std::vector<uint8_t>{0, 0, 1, 1}));
  // Stucki: row 0 sends 8 * 120 / 42 = 22 to row 1 and 4 * 120 / 42 = 11 to row 2.
  // Row 1: 142 white, e -113: row 2 gets -21 -> 110 black.
  EXPECT_EQ(Dithered(Uniform(1, 3, 120), 3), (std::vector<uint8_t>{0, 1, 0}));
}

TEST(Dither, OrderedFourByFourUsesSixteenLevels) {
  // v = 100: c = 1600 / 255 = 6, white where M < 6.
  const std::vector<uint8_t> expected = {1, 0, 1, 0,   // M row 0: 0 8 2 10
                                         0, 1, 0, 0,   // 12 4 14 6
                                         1, 0, 1, 0,   // 3 11 1 9
                                         0, 0, 0, 1};  // 15 7 13 5
  EXPECT_EQ(Dithered(Uniform(4, 4, 100), 1), expected);
  // v = 254: c = 15, only M = 15 stays black; v = 255 is all white.
  std::vector<uint8_t> almost(16, 1);
  almost[12] = 0;
  EXPECT_EQ(Dithered(Uniform(4, 4, 254), 1), almost);
  // v = 16: c = 1, only M = 0. The matrix repeats every 4 pixels and rows.
  std::vector<uint8_t> sparse(64, 0);
  for (int y = 0; y < 8; y += 4)
    for (int x = 0; x < 8; x += 4) sparse[y * 8 + x] = 1;
  EXPECT_EQ(Dithered(Uniform(8, 8, 16), 1), sparse);
}

TEST(Dither, BayerGivesSevenWhiteDotsPerCellAtGrey100) {
  // Thresholds below 100: 0, 16, 32, 48, 64, 80, 96.
  const std::vector<uint8_t> cell = {1, 0, 1, 0,   // 0 192 48 240
                                     0, 1, 0, 0,   // 128 64 176 112
                                     1, 0, 1, 0,   // 32 224 16 208
                                     0, 1, 0, 1};  // 160 96 144 80
  const std::vector<uint8_t> got = Dithered(Uniform(8, 8, 100), 7);
  int whites = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(got[y * 8 + x], cell[(y % 4) * 4 + x % 4]) << x << "," << y;
      whites += got[y * 8 + x];
    }
  }
  EXPECT_EQ(whites, 4 * 7);
  // Strictly greater: v = 48 is not above its own threshold.
  const std::vector<uint8_t> at48 = Dithered(Uniform(4, 4, 48), 7);
  EXPECT_EQ(std::count(at48.begin(), at48.end(), 1), 3);  // 0, 16, 32
}

// Error diffusion written straight from the kernel tables: a full-size int buffer, every tap
// bounds-checked.
struct RefTap {
  int dx, dy, w;
};
std::vector<uint8_t> ReferenceDiffusion(const RasterImage& img, int method) {
  static const std::vector<RefTap> kFs = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
  static const std::vector<RefTap> kBurkes = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4},
                                              {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
  static const std::vector<RefTap> kStucki = {{1, 0, 8},  {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4},
                                              {0, 1, 8},  {1, 1, 4},  {2, 1, 2},  {-2, 2, 1},
                                              {-1, 2, 2}, {0, 2, 4},  {1, 2, 2},  {2, 2, 1}};
  static const std::vector<RefTap> kJjn = {{1, 0, 7},  {2, 0, 5},  {-2, 1, 3}, {-1, 1, 5},
                                           {0, 1, 7},  {1, 1, 5},  {2, 1, 3},  {-2, 2, 1},
                                           {-1, 2, 3}, {0, 2, 5},  {1, 2, 3},  {2, 2, 1}};
  static const std::vector<RefTap> kSierra = {{1, 0, 5},  {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4},
                                              {0, 1, 5},  {1, 1, 4}, {2, 1, 2},  {-1, 2, 2},
                                              {0, 2, 3},  {1, 2, 2}};
  static const std::vector<RefTap> kSa = {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30},
                                          {3, 1, 16}, {-2, 2, 12}, {0, 2, 26},  {2, 2, 12},
                                          {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12},  {3, 3, 5}};
  const std::vector<RefTap>* taps = &kFs;
  int d = 16;
  switch (method) {
    case 2: taps = &kBurkes, d = 32; break;
    case 3: taps = &kStucki, d = 42; break;
    case 4: taps = &kJjn, d = 48; break;
    case 5: taps = &kSierra, d = 32; break;
    case 6: taps = &kSa, d = 200; break;
  }
  const int w = img.Width(), h = img.Height();
  std::vector<int> v(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v[y * w + x] = img.GetPixelGrey(x, y);
  std::vector<uint8_t> out(w * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int p = v[y * w + x];
      const int e = p < 129 ? p : p - 255;
      out[y * w + x] = p >= 129;
      for (const RefTap& t : *taps) {
        const int nx = x + t.dx, ny = y + t.dy;
        if (nx < 0 || nx >= w || ny >= h) continue;
        const int n = v[ny * w + nx] + t.w * e / d;
        v[ny * w + nx] = n < 0 ? 0 : n > 255 ? 255 : n;
      }
    }
  }
  return out;
}

// Dithering runs many rows side by side in vector lanes, in bands with receiving lanes that carry
// into the next band; every size must still give what the tables give row by row. Both the SSE2
// lanes and, where the processor has them, the wider ones.
class DitherLanes : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (image_detail::AllowWideDiffusion(GetParam()) != GetParam()) GTEST_SKIP() << "no wider vectors here";
  }
  void TearDown() override { image_detail::AllowWideDiffusion(true); }
};

TEST_P(DitherLanes, ErrorDiffusionKernelsMatchTheirTables) {
  Rng rng(11);
  for (int round = 0; round < 40; ++round) {
    // Small sizes, then sizes of several bands and widths that are not multiples of 8 or 16.
    const uint32_t w = 1 + rng.Below(round < 10 ? 6 : round < 30 ? 40 : 300);
    const uint32_t h = 1 + rng.Below(round < 10 ? 6 : round < 30 ? 25 : 100);
    const RasterImage img = RandomGrey(w, h, rng);
    for (int method : {0, 2, 3, 4, 5, 6}) {
      ASSERT_EQ(Dithered(img, method), ReferenceDiffusion(img, method))
          << "method " << method << " size " << w << "x" << h;
    }
    // Methods without a case of their own are Floyd-Steinberg.
    for (int other : {8, 9, 12, -3}) ASSERT_EQ(Dithered(img, other), Dithered(img, 0));
  }
  // Runs of pure white and black between greys, which saturate the shares that land on them.
  for (int round = 0; round < 20; ++round) {
    const uint32_t w = 8 + rng.Below(60), h = 1 + rng.Below(40);
    std::vector<uint8_t> v(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < v.size();) {
      const size_t run = std::min<size_t>(1 + rng.Below(20), v.size() - i);
      const uint32_t kind = rng.Below(4);
      const uint8_t level = kind == 0 ? 0 : kind == 1 ? 255 : 0;
      for (size_t k = 0; k < run; ++k, ++i) v[i] = kind < 2 ? level : static_cast<uint8_t>(rng.Next() >> 7);
    }
    const RasterImage img = Grey(w, h, v);
    for (int method : {0, 2, 3, 4, 5, 6})
      ASSERT_EQ(Dithered(img, method), ReferenceDiffusion(img, method)) << "method " << method << " runs " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, DitherLanes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Wide" : "Sse2"; });

TEST(Dither, ReadsGreyThroughThePaletteOrTheColourFormula) {
  Rng rng(5);
  RasterImage grey = RandomGrey(13, 9, rng);
  RasterImage rgb = grey;
  ASSERT_TRUE(rgb.IncreaseBits(24));
  for (int method : {0, 1, 6, 7}) EXPECT_EQ(Dithered(rgb, method), Dithered(grey, method));

  // An inverted palette: index 0 reads white.
  RasterImage inv = Uniform(4, 4, 0);
  ImageColour pal[256];
  for (int i = 0; i < 256; ++i) {
    const uint8_t v = static_cast<uint8_t>(255 - i);
    pal[i] = ImageColour{v, v, v, 0};
  }
  ASSERT_TRUE(inv.SetPalette(pal, 256));
  EXPECT_EQ(Dithered(inv, 0), std::vector<uint8_t>(16, 1));
}

}  // namespace
