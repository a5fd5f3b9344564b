// Pictures in and labels out: PNG of every colour type and filter, PNM, BMP, and how lbl print
// lays a picture on the page.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "tools/input_image.h"
#include "tools/viewer/png.h"
#include "tools_fixture.h"

namespace tooltest {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  PutU32(out, static_cast<uint32_t>(body.size()));
  std::vector<uint8_t> t(type, type + 4);
  t.insert(t.end(), body.begin(), body.end());
  out.insert(out.end(), t.begin(), t.end());
  PutU32(out, static_cast<uint32_t>(crc32(0, t.data(), static_cast<uInt>(t.size()))));
}

// A PNG from unfiltered rows, each row filtered with filters[y % filters.size()].
std::vector<uint8_t> MakePng(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, const std::vector<std::vector<uint8_t>>& rows,
                             std::vector<int> filters, const std::vector<uint8_t>& plte = {},
                             const std::vector<uint8_t>& trns = {}, uint8_t interlace = 0) {
  const int channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
  const size_t bpp = std::max<size_t>(1, size_t(depth) * channels / 8);
  std::vector<uint8_t> raw, prev(rows[0].size(), 0);
  for (uint32_t y = 0; y < h; ++y) {
    const int f = filters[y % filters.size()];
    raw.push_back(static_cast<uint8_t>(f));
    const std::vector<uint8_t>& cur = rows[y];
    for (size_t i = 0; i < cur.size(); ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int pred = f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : f == 4 ? (pa <= pb && pa <= pc ? a : pb <= pc ? b : c) : 0;
      raw.push_back(static_cast<uint8_t>(cur[i] - pred));
    }
    prev = cur;
  }
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutU32(ihdr, w);
  PutU32(ihdr, h);
  ihdr.insert(ihdr.end(), {depth, type, 0, 0, interlace});
  Chunk(out, "IHDR", ihdr);
  if (!plte.empty()) Chunk(out, "PLTE", plte);
  if (!trns.empty()) Chunk(out, "tRNS", trns);
  Chunk(out, "tEXt", {'a', 0, 'b'});  // ancillary chunks are skipped
  Chunk(out, "IDAT", Deflate(raw));
  Chunk(out, "IEND", {});
  return out;
}

const uint8_t* Px(const lblview::RgbImage& img, uint32_t x, uint32_t y) { return &img.rgb[(size_t(y) * img.width + x) * 3]; }

TEST(Png, DecodesEveryColourTypeAndFilter) {
  lblview::RgbImage img;
  std::string error;
  // RGB 8 bit, all five filters over rows with a gradient.
  std::vector<std::vector<uint8_t>> rgb;
  for (int y = 0; y < 5; ++y) {
    std::vector<uint8_t> r;
    for (int x = 0; x < 7; ++x) r.insert(r.end(), {uint8_t(x * 30 + y), uint8_t(200 - x * 20), uint8_t(y * 50)});
    rgb.push_back(r);
  }
  const std::vector<uint8_t> filtered = MakePng(7, 5, 8, 2, rgb, {0, 1, 2, 3, 4});
  ASSERT_TRUE(lblview::DecodePng(filtered.data(), filtered.size(), &img, &error)) << error;
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 7; ++x) EXPECT_EQ(0, std::memcmp(Px(img, x, y), &rgb[y][x * 3], 3)) << x << "," << y;

  // Palette at 2 bits with a transparent entry: laid over white.
  const std::vector<uint8_t> plte = {0, 0, 0, 255, 0, 0, 0, 0, 255, 10, 20, 30};
  std::vector<uint8_t> png = MakePng(4, 1, 2, 3, {{0b00011011}}, {0}, plte, {255, 0});
  ASSERT_TRUE(lblview::DecodePng(png.data(), png.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 0);
  EXPECT_EQ(Px(img, 1, 0)[1], 255);  // entry 1 fully transparent: white
  EXPECT_EQ(Px(img, 2, 0)[2], 255);
  EXPECT_EQ(Px(img, 3, 0)[2], 30);

  // Grey at 1 bit, grey with alpha, RGBA at 16 bits (the high byte counts).
  png = MakePng(10, 1, 1, 0, {{0b10100000, 0b01000000}}, {1});
  ASSERT_TRUE(lblview::DecodePng(png.data(), png.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 255);
  EXPECT_EQ(Px(img, 1, 0)[0], 0);
  EXPECT_EQ(Px(img, 9, 0)[0], 255);
  png = MakePng(1, 1, 8, 4, {{0, 128}}, {0});
  ASSERT_TRUE(lblview::DecodePng(png.data(), png.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 127);  // half black over white
  png = MakePng(1, 2, 16, 6, {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF}, {0, 0, 0, 0, 0, 0, 0, 0}}, {4, 3});
  ASSERT_TRUE(lblview::DecodePng(png.data(), png.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 0x12);
  EXPECT_EQ(Px(img, 0, 0)[2], 0x9A);
  EXPECT_EQ(Px(img, 0, 1)[1], 255);  // alpha 0
}

TEST(Png, RefusesWhatItCannotRead) {
  lblview::RgbImage img;
  std::string error;
  std::vector<uint8_t> interlaced = MakePng(2, 2, 8, 0, {{1, 2}, {3, 4}}, {0}, {}, {}, 1);
  EXPECT_FALSE(lblview::DecodePng(interlaced.data(), interlaced.size(), &img, &error));
  EXPECT_NE(error.find("interlaced"), std::string::npos);
  std::vector<uint8_t> crc = MakePng(2, 2, 8, 0, {{1, 2}, {3, 4}}, {0});
  crc[20] ^= 1;  // inside IHDR
  EXPECT_FALSE(lblview::DecodePng(crc.data(), crc.size(), &img, &error));
  EXPECT_NE(error.find("CRC"), std::string::npos);
  std::vector<uint8_t> depth = MakePng(2, 2, 4, 2, {{1, 2, 3}, {3, 4, 5}}, {0});
  EXPECT_FALSE(lblview::DecodePng(depth.data(), depth.size(), &img, &error));
  std::vector<uint8_t> filter = MakePng(2, 1, 8, 0, {{1, 2}}, {5});
  EXPECT_FALSE(lblview::DecodePng(filter.data(), filter.size(), &img, &error));
  EXPECT_TRUE(img.rgb.empty());  // nothing decoded on any failure
}

TEST(Png, LabelsAndPicturesSurviveARoundTrip) {
  lblview::Label label;
  label.width = 13;
  label.height = 3;
  label.bits.assign(label.Stride() * 3, 0);
  label.SetBlack(0, 0);
  label.SetBlack(12, 2);
  label.SetBlack(8, 1);
  const std::vector<uint8_t> png = lblview::EncodeLabelPng(label);
  lblview::RgbImage img;
  std::string error;
  ASSERT_TRUE(lblview::DecodePng(png.data(), png.size(), &img, &error)) << error;
  ASSERT_EQ(img.width, 13u);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 13; ++x) EXPECT_EQ(Px(img, x, y)[0] == 0, label.Black(x, y)) << x << "," << y;

  const lblview::RgbImage pic = BoxPicture(31, 17, 3);
  const std::vector<uint8_t> rgb = lblview::EncodeRgbPng(pic);
  ASSERT_TRUE(lbl::DecodePicture(rgb.data(), rgb.size(), &img, &error)) << error;
  EXPECT_EQ(img.rgb, pic.rgb);
}

TEST(Pictures, ReadsPnmAndBmp) {
  lblview::RgbImage img;
  std::string error;
  const std::string p1 = "P1\n# comment\n3 2\n1 0 1\n0 1 0\n";
  ASSERT_TRUE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(p1.data()), p1.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 0);
  EXPECT_EQ(Px(img, 1, 0)[0], 255);
  EXPECT_EQ(Px(img, 1, 1)[0], 0);
  const std::string p4 = std::string("P4 10 1\n") + char(0x80) + char(0x40);
  ASSERT_TRUE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(p4.data()), p4.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 0);
  EXPECT_EQ(Px(img, 9, 0)[0], 0);
  EXPECT_EQ(Px(img, 8, 0)[0], 255);
  const std::string p6 = std::string("P6 1 1 65535\n") + char(0x80) + char(0) + char(0) + char(0) + char(0xFF) + char(0xFF);
  ASSERT_TRUE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(p6.data()), p6.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 0)[0], 128);
  EXPECT_EQ(Px(img, 0, 0)[2], 255);
  const std::string p3 = "P3 1 1 255 10 20";
  EXPECT_FALSE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(p3.data()), p3.size(), &img, &error));
  EXPECT_NE(error.find("ends early"), std::string::npos);

  // A 24-bit BMP, bottom-up as stored: the first row in the file is the picture's last.
  Bytes b;
  b("BM").u32(54 + 16).u32(0).u32(54).u32(40).u32(2).u32(2).u16(1).u16(24).u32(0).u32(16).u32(0).u32(0).u32(0).u32(0);
  b.b({0, 0, 255, 255, 255, 255, 0, 0}).b({255, 0, 0, 0, 255, 0, 0, 0});
  ASSERT_TRUE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(b.s.data()), b.s.size(), &img, &error)) << error;
  EXPECT_EQ(Px(img, 0, 1)[0], 255);  // red, from the first stored row
  EXPECT_EQ(Px(img, 0, 1)[1], 0);
  EXPECT_EQ(Px(img, 0, 0)[2], 255);  // blue
  EXPECT_EQ(Px(img, 1, 0)[1], 255);  // green
  const std::string junk = "GIF89a";
  EXPECT_FALSE(lbl::DecodePicture(reinterpret_cast<const uint8_t*>(junk.data()), junk.size(), &img, &error));
}

TEST(Pictures, FitScalesKeepingAspectAndCentres) {
  // 4 x 2 picture on a 10 x 10 page: scaled by 2.5 to 10 x 5, centred at rows 2 to 6.
  lblview::RgbImage pic;
  pic.width = 4;
  pic.height = 2;
  pic.rgb.assign(4 * 2 * 3, 0);
  std::vector<uint8_t> page(10 * 10 * 3, 0xFF);
  winsim::PageSurface s{page.data(), 10, 10, 30};
  lbl::DrawPicture(pic, s, false);
  auto black = [&](int x, int y) { return page[size_t(y) * 30 + x * 3] == 0; };
  EXPECT_FALSE(black(5, 1));
  EXPECT_TRUE(black(0, 2));
  EXPECT_TRUE(black(9, 6));
  EXPECT_FALSE(black(5, 7));

  // Area average: a 2 x 1 picture black | white shrunk to 1 x 1 gives mid grey.
  pic.width = 2;
  pic.height = 1;
  pic.rgb = {0, 0, 0, 255, 255, 255};
  std::vector<uint8_t> one(3, 0xFF);
  lbl::DrawPicture(pic, winsim::PageSurface{one.data(), 1, 1, 3}, false);
  EXPECT_EQ(one[0], 128);

  // Actual size: pixel for pixel from the top left, cut at the page edge.
  pic = BoxPicture(12, 3, 1);
  std::vector<uint8_t> small(5 * 5 * 3, 0xFF);
  lbl::DrawPicture(pic, winsim::PageSurface{small.data(), 5, 5, 15}, true);
  EXPECT_EQ(small[0], 0);               // the frame's corner
  EXPECT_EQ(small[3 * 15], 255);        // row 3 is below the picture
  EXPECT_EQ(small[2 * 15 + 4 * 3], 0);  // bottom frame row, column 4
}

}  // namespace
}  // namespace tooltest
