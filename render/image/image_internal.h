// Helpers shared by the image operation files; not part of the public interface.
#pragma once

#include <cstdint>
#include <cstring>

#include "render/image/image.h"

namespace image_detail {

inline const WCHAR* const kMsgEmpty = TEXT("empty image");
inline const WCHAR* const kMsgSize = TEXT("invalid image size");
inline const WCHAR* const kMsgMemory = TEXT("out of memory");
inline const WCHAR* const kMsgBpp = TEXT("unsupported bits per pixel");
inline const WCHAR* const kMsgMode = TEXT("invalid mode");

// Grey level of every palette index; identity for the 256-level grey palette.
void GreyTable(const RasterImage& img, uint8_t table[256]);
bool IsIdentity(const uint8_t table[256]);

// The grey levels of stored row y (width bytes). `table` comes from GreyTable (unused at 24 bits).
// Returns a pointer either into `scratch` or, for an 8-bit identity palette, straight into the row.
const uint8_t* GreyRow(const RasterImage& img, uint32_t y, const uint8_t table[256], bool identity,
                       uint8_t* scratch);

// The indices of stored row y of a paletted image (width bytes) into `out`.
void IndexRow(const RasterImage& img, uint32_t y, uint8_t* out);

// Nearest palette entry by squared RGB distance, the lowest index on ties.
uint8_t NearestIndex(const RasterImage& img, uint8_t r, uint8_t g, uint8_t b);

inline void SetBit(uint8_t* row, uint32_t x) { row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7)); }
inline uint8_t GetBit(const uint8_t* row, uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }

inline int Percent(uint32_t done, uint32_t total) {
  return total ? static_cast<int>(static_cast<uint64_t>(done) * 100 / total) : 100;
}

}  // namespace image_detail

namespace image_detail {
// The region [0, outW) x [0, outH) of the bilinear (mode 0) resample of src to dw x dh.
bool ResampleBilinearRegion(const RasterImage& src, uint32_t dw, uint32_t dh, uint32_t outW,
                            uint32_t outH, RasterImage& out, RasterImage& owner);
}  // namespace image_detail
