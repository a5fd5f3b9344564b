// Micrometres to dots and the printable area of a page.
#include <gtest/gtest.h>

#include "render/geometry.h"

namespace {

TEST(Geometry, MicronsToDotsRoundsAfterCuttingToTenthsOfAMillimetre) {
  EXPECT_EQ(MicronsToDots(25400, 203), 203);
  EXPECT_EQ(MicronsToDots(25499, 203), 203);  // 254.99 tenths count as 254
  EXPECT_EQ(MicronsToDots(50000, 203), 400);  // 399.6 rounds up
  EXPECT_EQ(MicronsToDots(99, 300), 0);
  EXPECT_EQ(MicronsToDots(100, 300), 1);      // 1.18
  EXPECT_EQ(MicronsToDots(0, 600), 0);
  // A long label at a doubled 600 dpi stays exact beyond 32-bit intermediates.
  EXPECT_EQ(MicronsToDots(2286000, 1200), 108000);
  EXPECT_EQ(MicronsToDots(2147483600, 2400), 202911836);
}

TEST(Geometry, AspectXYIsTheCeilingOfRTimesRootTwo) {
  EXPECT_EQ(AspectXY(203), 288u);
  EXPECT_EQ(AspectXY(300), 425u);
  EXPECT_EQ(AspectXY(600), 849u);
  EXPECT_EQ(AspectXY(1), 2u);
  EXPECT_EQ(AspectXY(0), 0u);
}

ModelRecord ModelWithMargins(int32_t l, int32_t t, int32_t r, int32_t b) {
  ModelRecord m{};
  m.MarginLeft = l;
  m.MarginTop = t;
  m.MarginRight = r;
  m.MarginBottom = b;
  return m;
}

TEST(Geometry, ImageableAreaIsCutToHardwareMargins) {
  // 100 x 150 mm paper with its own 5 mm left and 1 mm bottom margins; hardware 2/3/4/6 mm.
  PaperRect paper{100000, 150000, {5000, 0, 100000, 149000}};
  ModelRecord m = ModelWithMargins(2000, 3000, 4000, 6000);
  PageGeometry g = ComputePageGeometry(paper, m, 1);
  EXPECT_EQ(g.OffsetX, 5000);
  EXPECT_EQ(g.OffsetY, 3000);
  EXPECT_EQ(g.Width, 91000);    // 96 mm (100 - 4) - 5 mm
  EXPECT_EQ(g.Height, 141000);  // 144 mm (150 - 6) - 3 mm
  EXPECT_EQ(g.PhysWidth, 100000);
  EXPECT_EQ(g.PhysHeight, 150000);
}

TEST(Geometry, LandscapeOrientationsTurnThePage) {
  PaperRect paper{100000, 150000, {5000, 0, 100000, 149000}};
  ModelRecord m = ModelWithMargins(2000, 3000, 4000, 6000);
  for (int orientation : {2, 4}) {
    PageGeometry g = ComputePageGeometry(paper, m, orientation);
    EXPECT_EQ(g.OffsetX, 6000);   // H - bottom'
    EXPECT_EQ(g.OffsetY, 5000);   // left'
    EXPECT_EQ(g.Width, 141000);
    EXPECT_EQ(g.Height, 91000);
    EXPECT_EQ(g.PhysWidth, 150000);
    EXPECT_EQ(g.PhysHeight, 100000);
  }
  PageGeometry portrait = ComputePageGeometry(paper, m, 3);
  EXPECT_EQ(portrait.Width, 91000);
}

}  // namespace
