// The fast paths of the pipeline: the vector row kernels against the per-pixel weights, and the
// pages of a job rendered into one kept raster block against pages rendered alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/pipeline/internal.h"
#include "tests/render/pipeline/pipeline_test_util.h"
#include "winsim/machine.h"

using namespace pipeline_detail;

namespace {

std::vector<uint8_t> MixedRow(uint32_t width, std::mt19937& rng) {
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(width), 0xFF);
  for (uint32_t x = 0; x < width;) {
    const uint32_t run = 1 + rng() % 70;
    const unsigned kind = rng() % 5;
    for (uint32_t i = 0; i < run && x < width; ++i, ++x) {
      uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
      if (kind == 0) continue;  // white
      if (kind == 4) {          // black
        p[0] = p[1] = p[2] = 0;
        continue;
      }
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

// Pages of different sizes, with paper saving, a half turn (which takes the 8-bit path) and a
// cancelled page in between, all through one PageBuffers: each raster is the one a page rendered
// on its own gets, and the block is kept (grown when a page needs more) rather than freed.
TEST(PageBuffers, PagesOfAJobShareOneRasterBlock) {
  winsim::Reset();
  PageBuffers buffers;
  std::mt19937 rng(7);
  struct Step {
    int32_t w, h;
    uint32_t saving, flags;
    bool cancel;
  } steps[] = {{300, 200, 0, 0, false}, {100, 50, 3, 0, false},          {404, 300, 1, 0, false},
               {404, 300, 0, kFlagRotate180, false}, {200, 100, 0, 0, true}, {64, 20, 2, 0, false}};
  for (const Step& step : steps) {
    pipetest::PageSetup page(step.w, step.h);
    page.settings.PaperSaving = step.saving;
    page.settings.Flags = step.flags;
    page.Fill(step.w / 4, step.h / 3, step.w / 2, step.h / 2, 0);
    for (int i = 0; i < step.w * step.h / 8; ++i)
      page.Grey(static_cast<int32_t>(rng() % step.w), static_cast<int32_t>(rng() % step.h), static_cast<uint8_t>(rng()));
    const pipetest::Raster alone = pipetest::Render(page);
    PipelineInput in = page.Input();
    in.buffers = &buffers;
    if (step.cancel) in.cancelled = [](void*) { return true; };
    PageRaster out;
    const bool ok = RenderPageRaster(in, &out);
    if (step.cancel) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(out.data, nullptr);
      continue;
    }
    ASSERT_TRUE(ok && alone.ok) << step.w << " x " << step.h;
    EXPECT_EQ(out.width, alone.width);
    EXPECT_EQ(out.rows, alone.rows);
    ASSERT_EQ(std::vector<uint8_t>(out.data, out.data + out.bytes), alone.bytes) << step.w << " x " << step.h;
    // The turned page has its own block; the others are the kept one.
    EXPECT_EQ(out.borrowed, step.flags == 0);
    if (out.borrowed) {
      EXPECT_EQ(out.data, buffers.raster);
      EXPECT_GE(buffers.rasterBytes, out.bytes);
    }
    FreePageRaster(&out);
  }
  EXPECT_NE(buffers.raster, nullptr);
  ReleasePageBuffers(&buffers);
  EXPECT_EQ(buffers.raster, nullptr);
}
