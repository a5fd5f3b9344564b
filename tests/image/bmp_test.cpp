// BMP parsing, encoding and the file operations.
#include <gtest/gtest.h>

#include <vector>

#include "image_test_util.h"
#include "image/bmp.h"
#include "image/image.h"
#include "winsim/machine.h"

using namespace imgtest;

namespace {

// A BMP file put together field by field: file header, info header, palette, pixel bytes.
struct Bmp {
  std::vector<uint8_t> b;

  Bmp(int32_t w, int32_t h, uint16_t bpp, uint32_t compression = 0,
      const std::vector<uint32_t>& palette = {}, const std::vector<uint8_t>& pixels = {},
      uint32_t headerSize = 40) {
    b.assign(14 + headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    U32(14, headerSize);
    U32(18, static_cast<uint32_t>(w));
    U32(22, static_cast<uint32_t>(h));
    U16(26, 1);
    U16(28, bpp);
    U32(30, compression);
    U32(34, static_cast<uint32_t>(pixels.size()));
    U32(46, static_cast<uint32_t>(palette.size()));
    for (uint32_t c : palette) Append32(c);
    U32(10, static_cast<uint32_t>(b.size()));
    b.insert(b.end(), pixels.begin(), pixels.end());
    U32(2, static_cast<uint32_t>(b.size()));
  }
  Bmp& U16(size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
    return *this;
  }
  Bmp& U32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
    return *this;
  }
  void Append32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
  }
};

const WCHAR* ParseError(const std::vector<uint8_t>& bytes, uint64_t maxPixels = kBmpMaxPixels) {
  RasterImage out = Uniform(1, 1, 42);
  const WCHAR* error = nullptr;
  EXPECT_FALSE(ParseBmp(bytes.data(), bytes.size(), out, &error, maxPixels));
  EXPECT_EQ(Indices(out), std::vector<uint8_t>{42});  // untouched
  return error;
}

RasterImage Parsed(const std::vector<uint8_t>& bytes) {
  RasterImage out;
  const WCHAR* error = nullptr;
  EXPECT_TRUE(ParseBmp(bytes.data(), bytes.size(), out, &error));
  return out;
}

TEST(Bmp, RoundTripsEveryDepth) {
  Rng rng(9);
  for (uint32_t bpp : {1u, 8u, 24u}) {
    RasterImage img;
    ASSERT_TRUE(img.Create(13, 5, bpp));
    for (uint32_t i = 0; i < img.Stride() * img.Height(); ++i) {
      img.Bits()[i] = static_cast<uint8_t>(rng.Next());
    }
    if (bpp == 8) {
      ImageColour pal[256];
      for (auto& c : pal) c = ImageColour{uint8_t(rng.Next()), uint8_t(rng.Next()), uint8_t(rng.Next()), 0};
      img.SetPalette(pal, 256);
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeBmp(img, bytes));
    const RasterImage back = Parsed(bytes);
    ASSERT_EQ(back.Bpp(), bpp);
    ASSERT_EQ(back.Width(), 13u);
    ASSERT_EQ(back.Height(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(back.Bits(), back.Bits() + back.Stride() * 5),
              std::vector<uint8_t>(img.Bits(), img.Bits() + img.Stride() * 5))
        << bpp;
    for (uint32_t i = 0; i < img.PaletteSize(); ++i) {
      EXPECT_EQ(back.Palette()[i].Red, img.Palette()[i].Red);
      EXPECT_EQ(back.Palette()[i].Blue, img.Palette()[i].Blue);
    }
  }
}

TEST(Bmp, EncodedHeadersDescribeTheStoredRows) {
  const RasterImage img = Grey(3, 2, {1, 2, 3, 4, 5, 6});
  std::vector<uint8_t> f;
  ASSERT_TRUE(EncodeBmp(img, f));
  auto u32 = [&](size_t at) { return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t(f[at + 3]) << 24; };
  ASSERT_EQ(f.size(), 14u + 40 + 1024 + 8);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(u32(2), f.size());
  EXPECT_EQ(u32(6), 0u);
  EXPECT_EQ(u32(10), 1078u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 3u);
  EXPECT_EQ(u32(22), 2u);  // positive: bottom-up, as stored
  EXPECT_EQ(f[26] | f[27] << 8, 1);
  EXPECT_EQ(f[28] | f[29] << 8, 8);
  EXPECT_EQ(u32(30), 0u);
  EXPECT_EQ(u32(34), 8u);
  EXPECT_EQ(u32(46), 256u);
  EXPECT_EQ(f[54 + 4 * 200], 200);  // grey palette entry 200
  EXPECT_EQ(f[54 + 4 * 200 + 3], 0);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 1078, f.end()),
            (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));

  RasterImage bits;
  ASSERT_TRUE(bits.Create(9, 1, 1));
  ASSERT_TRUE(EncodeBmp(bits, f));
  EXPECT_EQ(f.size(), 14u + 40 + 8 + 4);
  EXPECT_EQ(u32(10), 62u);
  EXPECT_EQ(f[58], 255);  // entry 1 white

  EXPECT_FALSE(EncodeBmp(RasterImage(), f));
}

TEST(Bmp, ReadsFourAndThirtyTwoBitFiles) {
  // 4 bits, 3 x 1: nibbles 2, 0, 1 with a 3-entry palette (red, black, blue).
  const RasterImage four = Parsed(Bmp(3, 1, 4, 0, {0x00FF0000, 0, 0x000000FF}, {0x20, 0x10, 0, 0}).b);
  ASSERT_EQ(four.Bpp(), 8u);
  EXPECT_EQ(Indices(four), (std::vector<uint8_t>{2, 0, 1}));
  EXPECT_EQ(four.GetPixelColour(0, 0).Blue, 255);
  EXPECT_EQ(four.GetPixelColour(1, 0).Red, 255);
  EXPECT_EQ(four.Palette()[3].Red, 0);  // missing entries are black

  // 32 bits: B, G, R, X per pixel.
  const std::vector<uint8_t> px = {1, 2, 3, 99, 4, 5, 6, 99};
  const RasterImage rgb = Parsed(Bmp(2, 1, 32, 0, {}, px).b);
  ASSERT_EQ(rgb.Bpp(), 24u);
  EXPECT_EQ((std::vector<uint8_t>(rgb.Row(0), rgb.Row(0) + 6)), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));

  // Bit fields after a 40-byte header, or inside a 108-byte one, with the standard masks.
  Bmp fields(2, 1, 32, 3);
  fields.b.resize(54);
  for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu}) fields.Append32(m);
  fields.U32(10, 66);
  fields.b.insert(fields.b.end(), px.begin(), px.end());
  EXPECT_EQ(Parsed(fields.b).Row(0)[5], 6);
  Bmp v4(2, 1, 32, 3, {}, px, 108);
  v4.U32(54, 0x00FF0000).U32(58, 0x0000FF00).U32(62, 0x000000FF);
  EXPECT_EQ(Parsed(v4.b).Row(0)[3], 4);
  v4.U32(54, 0x0000FF00).U32(58, 0x00FF0000);
  EXPECT_EQ(Str(ParseError(v4.b)), u"unsupported BMP format");
}

TEST(Bmp, TopDownAndCoreHeaderFiles) {
  // Height -2: the file's first row is the top of the picture, stored last.
  const RasterImage td = Parsed(Bmp(1, -2, 24, 0, {}, {10, 20, 30, 0, 40, 50, 60, 0}).b);
  EXPECT_EQ(td.Height(), 2u);
  EXPECT_EQ(td.Row(0)[0], 40);
  EXPECT_EQ(td.Row(1)[0], 10);

  // 12-byte core header: 16-bit sizes, 3-byte palette entries.
  std::vector<uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,  // offset 32
                               12, 0, 0, 0, 3, 0, 1, 0, 1, 0, 1, 0,            // 3 x 1, 1 bit
                               0, 0, 0, 0, 255, 0,                             // black, green
                               0x40, 0, 0, 0};
  const RasterImage c = Parsed(core);
  ASSERT_EQ(c.Bpp(), 1u);
  EXPECT_EQ(Indices(c), (std::vector<uint8_t>{0, 1, 0}));
  EXPECT_EQ(c.GetPixelColour(1, 0).Green, 255);
}

TEST(Bmp, RunLengthEncodedFiles) {
  // RLE8, 4 x 3: a run of three 5s; end of line; three literal pixels (padded); end of line;
  // a move one to the right; one 9; a run of six 7s that is cut at the row end; end of picture.
  const std::vector<uint8_t> rle8 = {3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0,
                                     0, 2, 1, 0, 1, 9, 6, 7, 0, 1};
  const std::vector<uint32_t> pal(16, 0);
  const RasterImage r8 = Parsed(Bmp(4, 3, 8, 1, pal, rle8).b);
  EXPECT_EQ(Indices(r8), (std::vector<uint8_t>{5, 5, 5, 0, 1, 2, 3, 0, 0, 9, 7, 7}));

  // RLE4, 5 x 1: a run of four nibbles alternating 1 and 2; a literal of three nibbles 3, 4, 5
  // (two bytes, no padding) of which the last falls past the row end; end of picture.
  const RasterImage r4 = Parsed(Bmp(5, 1, 4, 2, pal, {4, 0x12, 0, 3, 0x34, 0x50, 0, 1}).b);
  EXPECT_EQ(Indices(r4), (std::vector<uint8_t>{1, 2, 1, 2, 3}));

  // Incomplete commands fail; data ending between commands is accepted.
  EXPECT_EQ(Str(ParseError(Bmp(4, 1, 8, 1, pal, {0, 5, 1, 2}).b)), u"damaged BMP run-length data");
  EXPECT_EQ(Str(ParseError(Bmp(4, 1, 8, 1, pal, {0, 2, 1}).b)), u"damaged BMP run-length data");
  EXPECT_EQ(Indices(Parsed(Bmp(4, 1, 8, 1, pal, {2, 8}).b)), (std::vector<uint8_t>{8, 8, 0, 0}));
}

TEST(Bmp, RejectsMalformedFiles) {
  const Bmp good(2, 2, 8, 0, std::vector<uint32_t>(4, 0), {0, 1, 0, 0, 2, 3, 0, 0});
  ASSERT_TRUE(Parsed(good.b).IsValid());
  auto with = [&](size_t at, uint32_t v, bool wide = true) {
    Bmp f = good;
    return wide ? f.U32(at, v).b : f.U16(at, v).b;
  };

  EXPECT_EQ(Str(ParseError(std::vector<uint8_t>(good.b.begin(), good.b.begin() + 17))),
            u"BMP file is too short");
  EXPECT_EQ(Str(ParseError(std::vector<uint8_t>(good.b.begin(), good.b.begin() + 40))),
            u"BMP file is too short");
  std::vector<uint8_t> magic = good.b;
  magic[1] = 'A';
  EXPECT_EQ(Str(ParseError(magic)), u"not a BMP file");
  EXPECT_EQ(Str(ParseError(with(14, 64))), u"unsupported BMP header");
  EXPECT_EQ(Str(ParseError(with(18, 0))), u"invalid BMP dimensions");
  EXPECT_EQ(Str(ParseError(with(22, 0))), u"invalid BMP dimensions");
  EXPECT_EQ(Str(ParseError(with(18, 0xFFFFFFFE))), u"invalid BMP dimensions");
  EXPECT_EQ(Str(ParseError(Bmp(good).U32(18, 40000).U32(22, 40000).b)), u"BMP image is too large");
  EXPECT_EQ(Str(ParseError(with(18, 200000))), u"BMP image is too large");
  EXPECT_EQ(Str(ParseError(with(22, 0x80000000))), u"BMP image is too large");  // -2^31 rows
  EXPECT_EQ(Str(ParseError(good.b, 3)), u"BMP image is too large");
  EXPECT_EQ(Str(ParseError(with(28, 16, false))), u"unsupported BMP format");
  EXPECT_EQ(Str(ParseError(with(28, 2, false))), u"unsupported BMP format");
  EXPECT_EQ(Str(ParseError(with(30, 4))), u"unsupported BMP format");  // JPEG
  EXPECT_EQ(Str(ParseError(with(30, 2))), u"unsupported BMP format");  // RLE4 at 8 bits
  EXPECT_EQ(Str(ParseError(Bmp(good).U32(30, 1).U32(22, 0xFFFFFFFE).b)), u"unsupported BMP format");
  EXPECT_EQ(Str(ParseError(with(46, 300))), u"invalid BMP palette");
  EXPECT_EQ(Str(ParseError(with(46, 256))), u"BMP file is too short");  // palette past the end
  EXPECT_EQ(Str(ParseError(with(10, 20))), u"invalid BMP pixel offset");  // inside the header
  EXPECT_EQ(Str(ParseError(with(10, 60))), u"invalid BMP pixel offset");  // inside the palette
  EXPECT_EQ(Str(ParseError(with(10, 0xFFFFFFF0))), u"invalid BMP pixel offset");
  std::vector<uint8_t> cut = good.b;
  cut.pop_back();
  EXPECT_EQ(Str(ParseError(cut)), u"BMP pixel data is truncated");
}

TEST(Bmp, DecodeFailureKeepsTheImageAndSetsTheMessage) {
  RasterImage img = Uniform(2, 1, 3);
  const std::vector<uint8_t> junk = {'B', 'M', 1, 2, 3};
  EXPECT_FALSE(img.DecodeBmp(junk.data(), junk.size()));
  EXPECT_EQ(Str(img.LastError()), u"BMP file is too short");
  EXPECT_EQ(Indices(img), (std::vector<uint8_t>{3, 3}));
  EXPECT_FALSE(img.DecodeBmp(nullptr, 0));
}

class BmpFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    ASSERT_TRUE(winsim::WriteHostFile(u"C:\\img\\keep.txt", "x", 1));
  }
};

TEST_F(BmpFiles, SaveWritesTheEncodedBytesAndLoadReadsThemBack) {
  Rng rng(4);
  const RasterImage img = RandomGrey(7, 3, rng);
  ASSERT_TRUE(img.SaveBmp(TEXT("C:\\img\\a.bmp")));
  std::vector<uint8_t> expected;
  ASSERT_TRUE(EncodeBmp(img, expected));
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\img\\a.bmp"), expected);

  RasterImage back;
  ASSERT_TRUE(back.LoadBmp(TEXT("C:\\img\\a.bmp")));
  EXPECT_EQ(Indices(back), Indices(img));
}

TEST_F(BmpFiles, FileFailuresKeepTheImage) {
  RasterImage img = Uniform(2, 2, 9);
  EXPECT_FALSE(img.LoadBmp(TEXT("C:\\img\\missing.bmp")));
  EXPECT_EQ(Str(img.LastError()), u"cannot open the BMP file");
  EXPECT_FALSE(img.LoadBmp(TEXT("C:\\img\\keep.txt")));
  EXPECT_EQ(Str(img.LastError()), u"BMP file is too short");
  EXPECT_EQ(Indices(img), std::vector<uint8_t>(4, 9));
  EXPECT_FALSE(img.SaveBmp(TEXT("C:\\nofolder\\a.bmp")));
  EXPECT_EQ(Str(img.LastError()), u"cannot create the BMP file");
  EXPECT_FALSE(RasterImage().SaveBmp(TEXT("C:\\img\\b.bmp")));
}

}  // namespace
