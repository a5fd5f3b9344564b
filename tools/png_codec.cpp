// lblpng.so: PNG pictures for lbl print, decoded with libpng; loaded on the first PNG.
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

#include "tools/picture_codecs.h"
#include "tools/picture_pixels.h"

namespace lbl {

namespace {

inline uint8_t OverWhite(uint32_t v, uint32_t a) { return static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255); }

// Everything the decoder changes lives here, behind a pointer: nothing a longjmp could leave stale.
struct PngState {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  std::string message;
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  lblview::RgbImage image;
};

void PngRead(png_structp png, png_bytep into, png_size_t count) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (count > s->size - s->pos) png_error(png, "the file ends early");
  std::memcpy(into, s->data + s->pos, count);
  s->pos += count;
}

void PngError(png_structp png, png_const_charp message) {
  auto* s = static_cast<PngState*>(png_get_error_ptr(png));
  s->message = message ? message : "unreadable";
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                      uint64_t maxPixels) {
  auto state = std::make_unique<PngState>();
  PngState* s = state.get();
  s->data = data;
  s->size = size;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = s->message;
    return false;
  }
  png_set_read_fn(png, s, PngRead);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (uint64_t{width} * height > maxPixels) png_error(png, "picture size out of range");
  // To 8 bits per sample; palettes to RGB, transparency to an alpha channel.
  png_set_expand(png);
  png_set_strip_16(png);
  const int type = png_get_color_type(png, info);
  const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  const bool grey = !(type & PNG_COLOR_MASK_COLOR);
  // Opaque pictures are read as they are stored (grey or RGB); the others as RGBA, laid over white.
  int channels = 3;
  if (alpha) {
    if (grey) png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    channels = 4;
  } else if (grey) {
    channels = 1;
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t{width} * channels) png_error(png, "unexpected row layout");

  SizePicture(&s->image, width, height);
  auto composite = [&](const uint8_t* src, uint8_t* dst) {
    if (channels == 3) {
      if (src != dst) std::memcpy(dst, src, size_t{width} * 3);
      return;
    }
    if (channels == 1) {
      for (png_uint_32 x = 0; x < width; ++x, dst += 3) dst[0] = dst[1] = dst[2] = src[x];
      return;
    }
    for (png_uint_32 x = 0; x < width; ++x, src += 4, dst += 3) {
      const uint32_t a = src[3];
      if (a == 255) {
        std::memcpy(dst, src, 3);
      } else {
        dst[0] = OverWhite(src[0], a);
        dst[1] = OverWhite(src[1], a);
        dst[2] = OverWhite(src[2], a);
      }
    }
  };
  if (passes == 1) {
    // One row at a time: no second copy of the whole picture; RGB rows go straight to their place.
    s->rgba.resize(size_t{width} * channels);
    for (png_uint_32 y = 0; y < height; ++y) {
      uint8_t* dst = &s->image.rgb[size_t{y} * width * 3];
      uint8_t* row = channels == 3 ? dst : s->rgba.data();
      png_read_row(png, row, nullptr);
      composite(row, dst);
    }
  } else {
    s->rgba.resize(size_t{width} * height * channels);
    s->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) s->rows[y] = &s->rgba[size_t{y} * width * channels];
    png_read_image(png, s->rows.data());
    for (png_uint_32 y = 0; y < height; ++y) composite(s->rows[y], &s->image.rgb[size_t{y} * width * 3]);
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  *out = std::move(s->image);
  return true;
}

}  // namespace lbl

extern "C" const lbl::PictureCodec* LblPngCodec() {
  static const lbl::PictureCodec codec{lbl::PictureCodec::kVersion, lbl::DecodePng};
  return &codec;
}
