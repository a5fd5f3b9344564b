// PNG and JPEG pictures for lbl print, decoded with libpng and libjpeg-turbo in modules of their own
// (lblpng.so, lbljpeg.so beside the driver modules), each loaded the first time a picture needs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/viewer/png.h"

namespace lbl {

// Every PNG libpng reads (interlaced ones included): palette, grey and 16-bit samples widened or cut
// to 8-bit RGB (a 16-bit sample keeps its high byte), no gamma correction, transparency laid over
// white as (v x a + 255 x (255 - a) + 127) / 255. False with libpng's message.
bool DecodePngPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                      uint64_t maxPixels);

// Baseline and progressive JPEG in grey, YCbCr or RGB, and CMYK as Adobe writes it (inverted).
bool DecodeJpegPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                       uint64_t maxPixels);

// What each decoder module exports (LblPngCodec, LblJpegCodec).
struct PictureCodec {
  static constexpr uint32_t kVersion = 1;
  uint32_t version;
  bool (*decode)(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error, uint64_t maxPixels);
};

}  // namespace lbl
