// The generated driver data file: header identity, offsets of the fields and values that the
// driver's normalisation keeps as they are.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream f(LBL_DATFILE_PATH, std::ios::binary);
    ASSERT_TRUE(f) << LBL_DATFILE_PATH;
    b.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    ASSERT_EQ(b.size(), 360u);
  }
  uint16_t U16(size_t o) const { return static_cast<uint16_t>(b[o] | b[o + 1] << 8); }
  uint32_t U32(size_t o) const {
    return static_cast<uint32_t>(b[o]) | static_cast<uint32_t>(b[o + 1]) << 8 | static_cast<uint32_t>(b[o + 2]) << 16 |
           static_cast<uint32_t>(b[o + 3]) << 24;
  }
  int32_t I32(size_t o) const { return static_cast<int32_t>(U32(o)); }
  std::vector<uint8_t> b;
};

TEST_F(DataFileTest, HeaderIdentity) {
  EXPECT_EQ(std::memcmp(b.data(), "Tnwl", 4), 0);
  EXPECT_EQ(U32(0), 0x6C776E54u);  // 'lwnT' read little-endian
  EXPECT_EQ(U16(8), 360);
  const char* name = reinterpret_cast<const char*>(b.data() + 12);
  size_t len = strnlen(name, 32);
  EXPECT_GT(len, 0u);
  EXPECT_LT(len, 32u);
  EXPECT_STREQ(name, "Tarnwell Label Printer");
}

TEST_F(DataFileTest, DeviceLimitsSurviveNormalisation) {
  int32_t maxWidth = I32(44), maxLength = I32(48);
  int32_t left = I32(52), top = I32(56), right = I32(60), bottom = I32(64);
  EXPECT_EQ(maxWidth, 104000);
  EXPECT_EQ(maxLength, 2286000);
  EXPECT_GE(maxWidth - left - right, 10000);
  EXPECT_GE(maxLength - top - bottom, 10000);
  uint32_t flags = U32(68);
  EXPECT_EQ(flags, 0x81u);  // raster, roll paper; no colour, no paper track
  EXPECT_EQ(U32(72), 203u);
  EXPECT_EQ(U32(76), 203u);
  EXPECT_EQ(U16(80), 203);
  EXPECT_EQ(U16(82), 203);
  EXPECT_LE(U16(84), 3);  // RopLevel
  EXPECT_EQ(U16(86), 400);  // MaxScale
  EXPECT_GE(U16(92), 3);  // MaxPolygonPoints
  EXPECT_EQ(U16(94), 4);  // MaxQuality
  EXPECT_EQ(I32(96), 0);  // paper track
  EXPECT_EQ(I32(100), 0);
  EXPECT_LE(U32(228), 15u);  // HalftonePatternSize
}

TEST_F(DataFileTest, ColorInfoIsTheDefaultTable) {
  const int32_t expected[30] = {6380, 3350, 0,     2345,  6075,  0,   1410, 932, 0, 2000, 2450, 0,    5210, 2100, 0,
                                4750, 5100, 0,     3127,  3290,  0,   12500, 12500, 12500, 585, 120, 0, 0, 0, 10000};
  for (int i = 0; i < 30; ++i) EXPECT_EQ(I32(104 + 4 * i), expected[i]) << "member " << i;
  EXPECT_EQ(U32(224), 0u);  // DevicePelsDpi
}

TEST_F(DataFileTest, ModelBlockFallbacksAndZeroTail) {
  EXPECT_EQ(U16(236), 8192);  // SdramSize
  EXPECT_EQ(U16(252), 3000);  // GapHeight
  EXPECT_EQ(I32(260), 20000);  // MinLabelWidth
  EXPECT_EQ(U16(268), 400);  // SpeedMax
  EXPECT_EQ(U16(270), 200);  // SpeedMin
  EXPECT_EQ(U16(276), 16);  // DarknessMax
  EXPECT_EQ(U16(282), 6);  // LanguageSet
  EXPECT_EQ(U16(284), 2);  // LanguageDefault
  EXPECT_EQ(U32(308), 8u);  // DitherLevel
  EXPECT_EQ(U32(312), 1u);  // PostAction
  EXPECT_EQ(U16(316), 50);
  EXPECT_EQ(U16(318), 50);
  EXPECT_EQ(U16(320), 100);
  EXPECT_EQ(U16(322), 128);
  // Padding, the unused 4 bytes and the three descriptors stay zero.
  for (size_t o : {234u, 235u, 256u, 257u, 258u, 259u, 298u, 299u, 334u, 335u}) EXPECT_EQ(b[o], 0) << o;
  for (size_t o = 336; o < 360; ++o) EXPECT_EQ(b[o], 0) << o;
}

}  // namespace
