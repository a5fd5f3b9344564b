#include "tools/picture_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <sys/mman.h>

namespace lbl {

namespace {

// The picture's pixels, asked for as huge pages before they are first touched: a label picture is
// megabytes, and faulting them in 4 KiB at a time costs more than decoding them.
void SizePicture(lblview::RgbImage* image, uint32_t width, uint32_t height) {
  const size_t bytes = size_t{width} * height * 3;
  image->width = width;
  image->height = height;
  image->rgb.reserve(bytes);
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto start = reinterpret_cast<uintptr_t>(image->rgb.data());
  const uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1), end = (start + bytes) & ~(kHuge - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
  image->rgb.resize(bytes);
}

inline uint8_t OverWhite(uint32_t v, uint32_t a) { return static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255); }

// ---- PNG ----

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

bool DecodePngPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
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

// ---- JPEG ----

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegExit(j_common_ptr info) {
  auto* e = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, e->message);
  std::longjmp(e->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

struct JpegState {
  std::vector<uint8_t> row;
  lblview::RgbImage image;
};

}  // namespace

bool DecodeJpegPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                       uint64_t maxPixels) {
  auto state = std::make_unique<JpegState>();
  JpegState* s = state.get();
  jpeg_decompress_struct info;
  JpegError err;
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegExit;
  err.mgr.emit_message = JpegQuiet;
  err.message[0] = 0;
  jpeg_create_decompress(&info);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    *error = err.message;
    return false;
  }
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  const uint32_t width = info.output_width, height = info.output_height;
  if (uint64_t{width} * height > maxPixels) {
    std::snprintf(err.message, sizeof err.message, "picture size out of range");
    std::longjmp(err.jump, 1);
  }
  SizePicture(&s->image, width, height);
  s->row.resize(size_t{width} * static_cast<size_t>(info.output_components));
  while (info.output_scanline < height) {
    const uint32_t y = info.output_scanline;
    JSAMPROW row = s->row.data();
    jpeg_read_scanlines(&info, &row, 1);
    uint8_t* dst = &s->image.rgb[size_t{y} * width * 3];
    if (!cmyk) {
      std::memcpy(dst, s->row.data(), size_t{width} * 3);
      continue;
    }
    // Adobe's CMYK is stored inverted: each byte is 255 minus the ink.
    const uint8_t* p = s->row.data();
    for (uint32_t x = 0; x < width; ++x, p += 4, dst += 3) {
      dst[0] = static_cast<uint8_t>((p[0] * p[3] + 127) / 255);
      dst[1] = static_cast<uint8_t>((p[1] * p[3] + 127) / 255);
      dst[2] = static_cast<uint8_t>((p[2] * p[3] + 127) / 255);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  *out = std::move(s->image);
  return true;
}

}  // namespace lbl
