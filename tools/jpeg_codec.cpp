// lbljpeg.so: JPEG pictures for lbl print, decoded with libjpeg-turbo; loaded on the first JPEG.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "tools/picture_codecs.h"
#include "tools/picture_pixels.h"

namespace lbl {

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

bool DecodeJpeg(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
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

extern "C" const lbl::PictureCodec* LblJpegCodec() {
  static const lbl::PictureCodec codec{lbl::PictureCodec::kVersion, lbl::DecodeJpeg};
  return &codec;
}
