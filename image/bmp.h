// BMP files: parsing from and encoding to byte buffers, so that files chosen by users (watermark
// images) can be checked without touching the disk, and the debug dumps can be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/image.h"

// Largest picture ParseBmp accepts by default (8192 x 8192), and largest file LoadBmp reads.
constexpr uint64_t kBmpMaxPixels = 1ull << 26;
constexpr uint32_t kBmpMaxFileSize = (1u << 28) + (1u << 20);

// Accepts Windows bitmaps with a 12-byte core header or a 40/52/56/108/124-byte info header, at
// 1, 4, 8, 24 or 32 bits, uncompressed (bottom-up or top-down), RLE8 and RLE4 (bottom-up), and
// 32-bit bit fields with the standard masks. 1-bit files load as 1-bit, 4- and 8-bit files as
// 8-bit with the file's palette (missing entries black), 24- and 32-bit files as 24-bit.
// Anything else, or any size or offset that does not fit the buffer, fails: `out` is left
// untouched and *error (when given) points at a short message.
bool ParseBmp(const uint8_t* data, size_t size, RasterImage& out, const WCHAR** error = nullptr,
              uint64_t maxPixels = kBmpMaxPixels);

// A 14-byte file header, a 40-byte info header (height positive: rows as stored), the palette of
// a paletted image (2 or 256 entries) and the pixel rows as they are in memory.
bool EncodeBmp(const RasterImage& img, std::vector<uint8_t>& out);
