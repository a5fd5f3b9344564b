// Fixed, mask, optimal and adaptive thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "image_test_util.h"
#include "image/image.h"

using namespace imgtest;

namespace {

TEST(Threshold, WhiteOnlyAboveTheLevel) {
  RasterImage img = Grey(4, 1, {0, 128, 129, 255});
  ASSERT_TRUE(img.Threshold(128));
  EXPECT_EQ(img.Bpp(), 1u);
  EXPECT_EQ(img.PaletteSize(), 2u);
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{0, 0, 1, 1}));
  EXPECT_EQ(Greys(img), (std::vector<uint8_t>{0, 0, 255, 255}));

  RasterImage grey128 = Uniform(5, 4, 128);  // 128 is not greater than 128
  ASSERT_TRUE(grey128.Threshold(128));
  EXPECT_EQ(Indices(grey128), std::vector<uint8_t>(20, 0));

  RasterImage rgb;  // 24-bit input goes through the grey formula
  ASSERT_TRUE(rgb.Create(2, 1, 24));
  rgb.SetPixelColour(0, 0, ImageColour{50, 100, 200, 0});  // grey 124
  rgb.SetPixelColour(1, 0, ImageColour{60, 100, 200, 0});  // grey 125
  ASSERT_TRUE(rgb.Threshold(124));
  EXPECT_EQ(Indices(rgb), (std::vector<uint8_t>{0, 1}));
}

TEST(Threshold, ByMaskComparesWithTheMaskGreyAtTheSamePixel) {
  RasterImage img = Grey(3, 2, {10, 50, 200, 10, 50, 200});
  const RasterImage mask = Grey(3, 2, {9, 50, 250, 10, 49, 0});
  ASSERT_TRUE(img.ThresholdByMask(mask));
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{1, 0, 0, 0, 1, 1}));

  RasterImage keep = Uniform(3, 2, 7);
  EXPECT_FALSE(keep.ThresholdByMask(Uniform(3, 3, 0)));
  EXPECT_EQ(Str(keep.LastError()), u"invalid ThresholdMask");
  RasterImage oneBit;
  ASSERT_TRUE(oneBit.Create(3, 2, 1));
  EXPECT_FALSE(keep.ThresholdByMask(oneBit));
  EXPECT_FALSE(keep.ThresholdByMask(RasterImage()));
  EXPECT_EQ(keep.Bpp(), 8u);
  EXPECT_EQ(Indices(keep), std::vector<uint8_t>(6, 7));
}

uint64_t* Hist(std::initializer_list<std::pair<int, uint64_t>> bins) {
  static uint64_t h[256];
  std::fill(h, h + 256, 0);
  for (auto [bin, count] : bins) h[bin] = count;
  return h;
}

TEST(OptimalThreshold, SingleLevelGivesTheLevelBelow) {
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({{7, 5}}), 0), 6);
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({{0, 5}}), 0), 0);
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({{255, 1}}), 3), 254);
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({}), 0), -1);
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({{1, 1}, {9, 1}}), 5), -1);
  EXPECT_EQ(OptimalThresholdOfHistogram(Hist({{1, 1}, {9, 1}}), -1), -1);
}

TEST(OptimalThreshold, CandidatesOnASymmetricHistogram) {
  // Bins 0, 1, 9, 10 with two pixels each (lo 0, hi 10).
  // Within-class: k = 1 gives 1 + 1, against 97.3 at k = 0 and k = 9; k = 1..8 tie -> 1.
  // Minimum error: only k = 1..8 have two positive variances -> 1.
  // Entropy: ln 2 + ln 2 at k = 1 beats ln 3 at k = 0 and k = 9 -> 1.
  // Potential: L = R = 82 at k = 5 -> 5.
  const uint64_t* h = Hist({{0, 2}, {1, 2}, {9, 2}, {10, 2}});
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 1), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 2), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 3), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 4), 5);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 0), (1 + 1 + 1 + 5) / 4);
}

TEST(OptimalThreshold, TiesKeepTheSmallerKAndEdgeResultsFallBackToTheMiddle) {
  // Two levels 0 and 255, equal counts. Every k splits the same way, so the class candidates tie
  // at k = 0; no k has two positive variances. Potential: |L - R| / (L + R) is 255 / 32513 at
  // both k = 127 and k = 128 -> 127. Method 0: (0 + 0 + 127) / 3 = 42.
  const uint64_t* h = Hist({{0, 3}, {255, 3}});
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 0), 42);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 1), 127);  // k = 0 is not strictly inside: (0 + 255) / 2
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 2), 127);  // none found
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 3), 127);
  EXPECT_EQ(OptimalThresholdOfHistogram(h, 4), 127);

  // Mirror-image splits score the same. Bins 0..4 with counts 1, 5, 1, 5, 1: k = 1
  // ({0, 1} | {2, 3, 4}) and k = 2 ({0, 1, 2} | {3, 4}) mirror each other and are the best split
  // for within-class variance (0.83 + 2 against 13.7 at k = 0 and 3), minimum error and entropy
  // (1.247 against 1.144): the tie goes to 1. Potential: L = R = 9 at k = 2.
  const uint64_t* m = Hist({{0, 1}, {1, 5}, {2, 1}, {3, 5}, {4, 1}});
  EXPECT_EQ(OptimalThresholdOfHistogram(m, 1), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(m, 2), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(m, 3), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(m, 4), 2);
  EXPECT_EQ(OptimalThresholdOfHistogram(m, 0), (1 + 1 + 1 + 2) / 4);
  // Bins 0 and 3 only, counts 1 and 1 -> k = 0, 1, 2 tie for the class candidates: all k = 0,
  // replaced by (0 + 3) / 2 = 1. Potential: k = 1 (L 1, R 4) and k = 2 (L 4, R 1) tie -> 1.
  const uint64_t* two = Hist({{0, 1}, {3, 1}});
  EXPECT_EQ(OptimalThresholdOfHistogram(two, 4), 1);
  EXPECT_EQ(OptimalThresholdOfHistogram(two, 1), 1);
}

// Direct transcription of the four criteria: class statistics recomputed for every k.
int ReferenceOptimal(const uint64_t* h, int method) {
  int lo = 0, hi = 255;
  while (lo < 256 && !h[lo]) ++lo;
  if (lo == 256) return -1;
  while (!h[hi]) --hi;
  if (lo == hi) return lo > 0 ? lo - 1 : 0;
  auto stats = [&](int a, int b, double& n, double& mean, double& var) {
    n = 0;
    double s = 0;
    for (int i = a; i <= b; ++i) {
      n += h[i];
      s += double(h[i]) * i;
    }
    mean = s / n;
    var = 0;
    for (int i = a; i <= b; ++i) var += h[i] * (i - mean) * (i - mean);
    var /= n;
  };
  auto entropy = [&](int a, int b, double n) {
    double e = 0;
    for (int i = a; i <= b; ++i)
      if (h[i]) e -= h[i] / n * std::log(h[i] / n);
    return e;
  };
  int c[4] = {-1, -1, -1, -1};
  double best[4] = {0, 0, 0, 0};
  for (int k = lo; k < hi; ++k) {
    double n1, m1, v1, n2, m2, v2;
    stats(lo, k, n1, m1, v1);
    stats(k + 1, hi, n2, m2, v2);
    const double w = -(n1 * v1 + n2 * v2);
    if (c[0] < 0 || w > best[0] + 1e-9 * std::fabs(best[0])) best[0] = w, c[0] = k;
    if (v1 > 1e-12 && v2 > 1e-12) {
      const double e = n2 * std::log(n2 / std::sqrt(v2)) + n1 * std::log(n1 / std::sqrt(v1));
      if (c[1] < 0 || e > best[1] + 1e-9 * std::fabs(best[1])) best[1] = e, c[1] = k;
    }
    const double en = entropy(lo, k, n1) + entropy(k + 1, hi, n2);
    if (c[2] < 0 || en > best[2] + 1e-12) best[2] = en, c[2] = k;
    double l = 0, r = 0;
    for (int i = lo; i <= k; ++i) l += double(h[i]) * (k - i) * (k - i);
    for (int i = k + 1; i <= hi; ++i) r += double(h[i]) * (i - k) * (i - k);
    const double p = l + r == 0 ? 0 : std::fabs(l - r) / (l + r);
    if (c[3] < 0 || p < best[3] - 1e-15) best[3] = p, c[3] = k;
  }
  int result;
  if (method == 0) {
    int sum = 0, count = 0;
    for (int x : c)
      if (x >= 0) sum += x, ++count;
    result = sum / count;
  } else {
    result = c[method - 1];
  }
  return result > lo && result < hi ? result : (lo + hi) / 2;
}

TEST(OptimalThreshold, MatchesADirectTranscriptionOnRandomHistograms) {
  Rng rng(7);
  uint64_t h[256];
  for (int round = 0; round < 400; ++round) {
    std::fill(h, h + 256, 0);
    const int bins = 2 + rng.Below(round % 2 ? 12 : 60);
    const int lo = rng.Below(200), span = 2 + rng.Below(255 - lo);
    for (int b = 0; b < bins; ++b) h[lo + rng.Below(span)] += 1 + rng.Below(round % 3 ? 40 : 5000);
    for (int method = 0; method <= 4; ++method) {
      ASSERT_EQ(OptimalThresholdOfHistogram(h, method), ReferenceOptimal(h, method))
          << "round " << round << " method " << method;
    }
  }
}

TEST(OptimalThreshold, ImageAndBoxHistograms) {
  // Left half 20, right half 200: whole image -> within 20, entropy 20, potential 110
  // ((k - 20)^2 = (200 - k)^2), minimum error none: (20 + 20 + 110) / 3 = 50.
  const RasterImage img = Grey(4, 2, {20, 20, 200, 200, 20, 20, 200, 200});
  EXPECT_EQ(img.OptimalThreshold(0), 50);
  EXPECT_EQ(img.OptimalThreshold(4), 110);
  const ImageBox left{0, 0, 2, 2};
  EXPECT_EQ(img.OptimalThreshold(0, &left), 19);
  // Clipped to x 0..2 of row 0: two 20s and one 200. Potential: 2 (k - 20)^2 against
  // (200 - k)^2 is closest at k = 95, so (20 + 20 + 95) / 3 = 45.
  const ImageBox beyond{-5, -5, 3, 1};
  EXPECT_EQ(img.OptimalThreshold(4, &beyond), 95);
  EXPECT_EQ(img.OptimalThreshold(0, &beyond), 45);
  const ImageBox outside{4, 0, 8, 2};
  EXPECT_EQ(img.OptimalThreshold(0, &outside), -1);
  EXPECT_EQ(img.OptimalThreshold(5), -1);

  // A contrast mask restricts the counted pixels.
  const RasterImage mask = Grey(4, 2, {1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(img.OptimalThreshold(0, nullptr, &mask), 19);
}

TEST(AdaptiveThreshold, SmallImageUsesOneBox) {
  // 6 x 5, left three columns 20, right three 200: one box, level 50 everywhere.
  std::vector<uint8_t> v;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) v.push_back(x < 3 ? 20 : 200);
  std::vector<uint8_t> expected;
  for (uint8_t p : v) expected.push_back(p > 50);

  RasterImage img = Grey(6, 5, v);
  ASSERT_TRUE(img.AdaptiveThreshold(0, 8, nullptr, 0, 0.5));
  EXPECT_EQ(Indices(img), expected);

  RasterImage biased = Grey(6, 5, v);  // level 50 + 200 = 250: nothing is above it
  ASSERT_TRUE(biased.AdaptiveThreshold(0, 3, nullptr, 200, 0.5));
  EXPECT_EQ(Indices(biased), std::vector<uint8_t>(30, 0));

  RasterImage low = Grey(6, 5, v);  // level clamped to 0: everything is above it
  ASSERT_TRUE(low.AdaptiveThreshold(0, 8, nullptr, -100, 0.5));
  EXPECT_EQ(Indices(low), std::vector<uint8_t>(30, 1));
}

// 16 x 8: box 0 holds 0 (rows 0-3) and 100 (rows 4-7), box 1 holds 100 and 250.
RasterImage TwoBoxes() {
  std::vector<uint8_t> v;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) v.push_back(x < 8 ? (y < 4 ? 0 : 100) : (y < 4 ? 100 : 250));
  return Grey(16, 8, v);
}

TEST(AdaptiveThreshold, BoxLevelsAreInterpolatedBilinearly) {
  // Local levels: box 0 (0 + 0 + 50) / 3 = 16, box 1 (100 + 100 + 175) / 3 = 125. With balance 0
  // the 2 x 1 level image is enlarged to 16 x 8 sampling at x / 8: 16, 30, 43, 57, 71, 84, 98,
  // 111, then 125. A 100 at x = 7 is below 111, so it turns black.
  RasterImage img = TwoBoxes();
  ASSERT_TRUE(img.AdaptiveThreshold(0, 8, nullptr, 0, 0.0));
  const std::vector<uint8_t> low(16, 0);
  const std::vector<uint8_t> high = {1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1};
  for (uint32_t y = 0; y < 8; ++y) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < 16; ++x) row.push_back(img.GetPixelIndex(x, y));
    EXPECT_EQ(row, y < 4 ? low : high) << "row " << y;
  }
  // A balance of 1 (or more, clamped) uses the global level everywhere.
  RasterImage global = TwoBoxes();
  const int g = global.OptimalThreshold(0);
  ASSERT_TRUE(global.AdaptiveThreshold(0, 8, nullptr, 0, 7.0));
  RasterImage fixed = TwoBoxes();
  ASSERT_TRUE(fixed.Threshold(static_cast<uint8_t>(g)));
  EXPECT_EQ(Indices(global), Indices(fixed));
}

// The adaptive threshold spelled out with the public operations: box levels, a bilinear
// enlargement, a cut to the image and a threshold by mask.
std::vector<uint8_t> ComposedAdaptive(const RasterImage& img, int box, int bias, double balance) {
  const int b = std::max(box, 8);
  const uint32_t cols = (img.Width() + b - 1) / b, rows = (img.Height() + b - 1) / b;
  const int global = img.OptimalThreshold(0);
  RasterImage levels;
  EXPECT_TRUE(levels.Create(cols, rows, 8));
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t x = 0; x < cols; ++x) {
      const ImageBox r{int32_t(x * b), int32_t(y * b), int32_t(x * b + b), int32_t(y * b + b)};
      double v = (1 - balance) * img.OptimalThreshold(0, &r) + balance * global + bias;
      levels.SetPixelIndex(x, y, static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)));
    }
  }
  EXPECT_TRUE(levels.ResampleSimple(cols * b, rows * b, 0));
  EXPECT_TRUE(levels.Crop(ImageBox{0, 0, int32_t(img.Width()), int32_t(img.Height())}));
  RasterImage out = img;
  EXPECT_TRUE(out.ThresholdByMask(levels));
  return Indices(out);
}

TEST(AdaptiveThreshold, EqualsBoxLevelsEnlargedCutAndUsedAsMask) {
  Rng rng(21);
  for (int round = 0; round < 12; ++round) {
    const uint32_t w = 1 + rng.Below(70), h = 1 + rng.Below(50);
    // Mostly flat areas with some texture, so that uniform and mixed boxes both occur.
    std::vector<uint8_t> v(w * h);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        v[y * w + x] = (x / 9 + y / 7) % 3 == 0 ? uint8_t(rng.Next()) : ((x / 5 + y / 11) % 2 ? 255 : 30);
    const RasterImage img = Grey(w, h, v);
    const int box = round % 3 == 0 ? 12 : 8;
    const int bias = round % 4 == 1 ? 7 : 0;
    const double balance = round % 2 ? 0.5 : 0.25;
    RasterImage got = img;
    ASSERT_TRUE(got.AdaptiveThreshold(0, box, nullptr, bias, balance));
    EXPECT_EQ(Indices(got), ComposedAdaptive(img, box, bias, balance)) << w << "x" << h;
  }
}

TEST(AdaptiveThreshold, PartialBoxesAtTheEdgesAndMaskChecks) {
  Rng rng(3);
  RasterImage img = RandomGrey(21, 10, rng);  // boxes of 8: 3 x 2, the last ones partial
  ASSERT_TRUE(img.AdaptiveThreshold());
  EXPECT_EQ(img.Bpp(), 1u);
  EXPECT_EQ(img.Width(), 21u);
  EXPECT_EQ(img.Height(), 10u);

  RasterImage keep = RandomGrey(9, 9, rng);
  const std::vector<uint8_t> before = Indices(keep);
  const RasterImage wrong = Uniform(9, 8, 1);
  EXPECT_FALSE(keep.AdaptiveThreshold(0, 8, &wrong));
  EXPECT_EQ(Str(keep.LastError()), u"AdaptiveThreshold invalid ContrastMask");
  EXPECT_EQ(Indices(keep), before);
  EXPECT_FALSE(keep.AdaptiveThreshold(9));  // no such method
  EXPECT_EQ(Indices(keep), before);
}

}  // namespace
