// PNG files for the lbl command: labels out (1-bit grey), pictures in (what applications print).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/viewer/viewer.h"

namespace lblview {

// A picture as 8-bit RGB, rows top-down without padding.
struct RgbImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // width x height x 3
};

// A label as a 1-bit greyscale PNG (black dots black).
std::vector<uint8_t> EncodeLabelPng(const Label& label);
// An RGB picture as an 8-bit RGB PNG.
std::vector<uint8_t> EncodeRgbPng(const RgbImage& image);

// Non-interlaced PNG of any standard colour type: grey (1, 2, 4, 8, 16 bits), RGB (8, 16),
// palette (1, 2, 4, 8), grey with alpha and RGBA (8, 16). Transparent pixels are laid over white.
// Pictures above `maxPixels` are refused. False with a message for anything else, a bad chunk CRC
// or a broken zlib stream.
bool DecodePng(const uint8_t* data, size_t size, RgbImage* out, std::string* error, uint64_t maxPixels = 1ull << 26);

}  // namespace lblview
