// lbl print's PNG and JPEG decoding through libpng and libjpeg-turbo: the same pixels as the
// viewer's own PNG reader for every colour type, interlaced files, JPEG in grey, colour and CMYK,
// and damaged files refused with the codec's message.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// jpeglib's INT32 would clash with the simulated Windows headers' own.
#define INT32 jpeglib_INT32
#include <jpeglib.h>
#undef INT32
#include <png.h>

#include "tools/input_image.h"
#include "tools/viewer/png.h"

namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
void Flush(png_structp) {}

// A PNG of `rows` (already in the layout of the colour type and depth), written by libpng.
std::vector<uint8_t> WritePng(uint32_t w, uint32_t h, int depth, int type, const std::vector<std::vector<uint8_t>>& rows,
                              bool interlaced = false, const std::vector<png_color>& palette = {},
                              const std::vector<png_byte>& trns = {}) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, Append, Flush);
  png_set_IHDR(png, info, w, h, depth, type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
  std::vector<png_bytep> pointers;
  for (const auto& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> WriteJpeg(uint32_t w, uint32_t h, int components, J_COLOR_SPACE space,
                               const std::vector<uint8_t>& pixels) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < h) {
    JSAMPROW row = const_cast<JSAMPROW>(&pixels[size_t{info.next_scanline} * w * components]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

void ExpectSameAsViewer(const std::vector<uint8_t>& file, const char* what) {
  lblview::RgbImage mine, viewer;
  std::string error;
  ASSERT_TRUE(lbl::DecodePicture(file.data(), file.size(), &mine, &error)) << what << ": " << error;
  ASSERT_TRUE(lblview::DecodePng(file.data(), file.size(), &viewer, &error)) << what << ": " << error;
  EXPECT_EQ(mine.width, viewer.width) << what;
  EXPECT_EQ(mine.height, viewer.height) << what;
  EXPECT_TRUE(mine.rgb == viewer.rgb) << what;
}

}  // namespace

TEST(PictureCodecs, PngOfEveryColourTypeAsTheViewerReadsIt) {
  const uint32_t w = 13, h = 6;
  std::vector<std::vector<uint8_t>> grey1, grey8, greyAlpha, rgb8, rgba16, pal2;
  for (uint32_t y = 0; y < h; ++y) {
    std::vector<uint8_t> g1((w + 7) / 8), g8, ga, c, c16, p2((w + 3) / 4);
    for (uint32_t x = 0; x < w; ++x) {
      if ((x + y) % 3 == 0) g1[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      g8.push_back(static_cast<uint8_t>(x * 19 + y * 7));
      ga.insert(ga.end(), {static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 50)});
      c.insert(c.end(), {static_cast<uint8_t>(x * 20), static_cast<uint8_t>(255 - y * 30), static_cast<uint8_t>(x * y)});
      c16.insert(c16.end(), {static_cast<uint8_t>(x * 9), 0x77, static_cast<uint8_t>(y * 40), 0x01,
                             static_cast<uint8_t>(x + y), 0xFE, static_cast<uint8_t>(x * 21), 0x80});
      p2[x / 4] |= static_cast<uint8_t>(((x + y) % 4) << (6 - 2 * (x % 4)));
    }
    grey1.push_back(g1);
    grey8.push_back(g8);
    greyAlpha.push_back(ga);
    rgb8.push_back(c);
    rgba16.push_back(c16);
    pal2.push_back(p2);
  }
  ExpectSameAsViewer(WritePng(w, h, 1, PNG_COLOR_TYPE_GRAY, grey1), "grey 1 bit");
  ExpectSameAsViewer(WritePng(w, h, 8, PNG_COLOR_TYPE_GRAY, grey8), "grey 8 bit");
  ExpectSameAsViewer(WritePng(w, h, 8, PNG_COLOR_TYPE_GRAY_ALPHA, greyAlpha), "grey and alpha");
  ExpectSameAsViewer(WritePng(w, h, 8, PNG_COLOR_TYPE_RGB, rgb8), "RGB");
  ExpectSameAsViewer(WritePng(w, h, 16, PNG_COLOR_TYPE_RGB_ALPHA, rgba16), "RGBA 16 bit");
  ExpectSameAsViewer(WritePng(w, h, 2, PNG_COLOR_TYPE_PALETTE, pal2, false, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {10, 20, 30}},
                              {255, 0, 128}),
                     "palette with transparency");

  // Interlaced: the viewer refuses it; lbl print reads the same pixels as from the plain file.
  const std::vector<uint8_t> plain = WritePng(w, h, 8, PNG_COLOR_TYPE_RGB, rgb8);
  const std::vector<uint8_t> adam7 = WritePng(w, h, 8, PNG_COLOR_TYPE_RGB, rgb8, true);
  lblview::RgbImage a, b;
  std::string error;
  ASSERT_TRUE(lbl::DecodePicture(plain.data(), plain.size(), &a, &error)) << error;
  ASSERT_TRUE(lbl::DecodePicture(adam7.data(), adam7.size(), &b, &error)) << error;
  EXPECT_TRUE(a.rgb == b.rgb);
}

TEST(PictureCodecs, JpegInGreyColourAndCmyk) {
  const uint32_t w = 24, h = 16;
  std::vector<uint8_t> grey, rgb, cmyk;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const bool dark = x < w / 2;
      grey.push_back(dark ? 20 : 230);
      rgb.insert(rgb.end(), {static_cast<uint8_t>(dark ? 200 : 30), 60, static_cast<uint8_t>(dark ? 40 : 220)});
      // Inverted as Adobe stores it: no ink (255) on the right, full black (K byte 0) on the left.
      cmyk.insert(cmyk.end(), {255, 255, 255, static_cast<uint8_t>(dark ? 0 : 255)});
    }
  lblview::RgbImage img;
  std::string error;
  auto near = [](int got, int want) { return got >= want - 6 && got <= want + 6; };
  // Pixels away from the edge between the halves, where a JPEG at quality 100 is near exact.
  const std::vector<uint8_t> g = WriteJpeg(w, h, 1, JCS_GRAYSCALE, grey);
  ASSERT_TRUE(lbl::DecodePicture(g.data(), g.size(), &img, &error)) << error;
  ASSERT_EQ(img.width, w);
  ASSERT_EQ(img.height, h);
  EXPECT_TRUE(near(img.rgb[(5 * w + 2) * 3], 20));
  EXPECT_TRUE(near(img.rgb[(5 * w + 2) * 3 + 2], 20));
  EXPECT_TRUE(near(img.rgb[(5 * w + 21) * 3 + 1], 230));

  const std::vector<uint8_t> c = WriteJpeg(w, h, 3, JCS_RGB, rgb);
  ASSERT_TRUE(lbl::DecodePicture(c.data(), c.size(), &img, &error)) << error;
  EXPECT_TRUE(near(img.rgb[(5 * w + 2) * 3], 200));
  EXPECT_TRUE(near(img.rgb[(5 * w + 2) * 3 + 2], 40));
  EXPECT_TRUE(near(img.rgb[(5 * w + 21) * 3 + 2], 220));

  const std::vector<uint8_t> k = WriteJpeg(w, h, 4, JCS_CMYK, cmyk);
  ASSERT_TRUE(lbl::DecodePicture(k.data(), k.size(), &img, &error)) << error;
  EXPECT_TRUE(near(img.rgb[(5 * w + 2) * 3], 0));
  EXPECT_TRUE(near(img.rgb[(5 * w + 21) * 3 + 1], 255));
}

TEST(PictureCodecs, DamagedFilesAreRefusedWithTheCodecsMessage) {
  std::vector<std::vector<uint8_t>> rows(4, std::vector<uint8_t>(4, 100));
  std::vector<uint8_t> png = WritePng(4, 4, 8, PNG_COLOR_TYPE_GRAY, rows);
  png[png.size() - 20] ^= 0x5A;  // inside the image data or its checksum
  lblview::RgbImage img;
  std::string error;
  EXPECT_FALSE(lbl::DecodePicture(png.data(), png.size(), &img, &error));
  EXPECT_EQ(error.rfind("PNG: ", 0), 0u) << error;
  EXPECT_GT(error.size(), 5u);

  std::vector<uint8_t> jpeg = WriteJpeg(8, 8, 1, JCS_GRAYSCALE, std::vector<uint8_t>(64, 9));
  jpeg.resize(20);
  error.clear();
  EXPECT_FALSE(lbl::DecodePicture(jpeg.data(), jpeg.size(), &img, &error));
  EXPECT_EQ(error.rfind("JPEG: ", 0), 0u) << error;
  EXPECT_GT(error.size(), 6u);
}
