// The vector row kernels against the per-pixel weights, on rows that mix white runs, grey levels
// near the threshold and random colours, at widths around the 32-pixel block.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/pipeline_internal.h"

using namespace pipeline_detail;

namespace {

std::vector<uint8_t> MixedRow(uint32_t width, std::mt19937& rng) {
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(width), 0xFF);
  for (uint32_t x = 0; x < width;) {
    const uint32_t run = 1 + rng() % 40;
    const unsigned kind = rng() % 4;
    for (uint32_t i = 0; i < run && x < width; ++i, ++x) {
      uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
      if (kind == 0) continue;  // white
      if (kind == 1) {          // grey around 128
        p[0] = p[1] = p[2] = static_cast<uint8_t>(120 + rng() % 17);
      } else {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(rng());
      }
    }
  }
  return bgr;
}

}  // namespace

TEST(RowKernels, GreyAndThresholdMatchThePixelWeights) {
  GreyMap plain;
  plain.Init(0, 0);
  ASSERT_TRUE(plain.Plain());
  GreyMap brighter;
  brighter.Init(0, 10);
  EXPECT_FALSE(brighter.Plain());

  std::mt19937 rng(24);
  for (uint32_t width : {1u, 7u, 8u, 31u, 32u, 33u, 63u, 64u, 95u, 404u, 812u}) {
    for (int trial = 0; trial < 20; ++trial) {
      const std::vector<uint8_t> bgr = MixedRow(width, rng);
      std::vector<uint8_t> grey(width + 1, 0x5A), bits((width + 7) / 8 + 1, 0x5A);
      PlainGreyRow(bgr.data(), grey.data(), width);
      PlainThresholdRow(bgr.data(), bits.data(), width);
      std::vector<uint8_t> want((width + 7) / 8, 0);
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
        const int level = (15 * p[0] + 75 * p[1] + 38 * p[2]) >> 7;
        ASSERT_EQ(grey[x], level) << "width " << width << " x " << x;
        if (level > 128) want[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      EXPECT_EQ(grey[width], 0x5A) << "written past the row";
      for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(bits[i], want[i]) << "width " << width << " byte " << i;
      EXPECT_EQ(bits[want.size()], 0x5A) << "written past the row";
    }
  }
}
