// Helpers shared by the image operation files; not part of the public interface.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/image.h"

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

// Lets error diffusion use the widest vectors the processor has (the default) or keeps it to
// SSE2, so that tests can check both; returns whether the wide path is now in use.
bool AllowWideDiffusion(bool allowed);

inline void SetBit(uint8_t* row, uint32_t x) { row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7)); }
inline uint8_t GetBit(const uint8_t* row, uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }

// Packs grey[x] > limit(x) into 1-bit row bits, most significant bit first.
template <typename Limit>
void PackAbove(const uint8_t* grey, Limit limit, uint32_t width, uint8_t* dst) {
  uint32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    unsigned byte = 0;
    for (uint32_t i = 0; i < 8; ++i) byte = (byte << 1) | (grey[x + i] > limit(x + i) ? 1u : 0u);
    dst[x >> 3] = static_cast<uint8_t>(byte);
  }
  for (; x < width; ++x) {
    if (grey[x] > limit(x)) SetBit(dst, x);
  }
}

// Makes `out` for an operation of `img`; a failure becomes `img`'s error.
inline bool CreateResult(const RasterImage& img, RasterImage& out, uint32_t width, uint32_t height, uint32_t bpp) {
  if (out.Create(width, height, bpp)) return true;
  img.SetError(out.LastError());
  return false;
}

inline int Percent(uint32_t done, uint32_t total) {
  return total ? static_cast<int>(static_cast<uint64_t>(done) * 100 / total) : 100;
}

}  // namespace image_detail

namespace image_detail {

// Separable resampling (see resample.cpp for the arithmetic), one destination row at a time, so
// that a caller can consume the rows without storing the whole result.
class Resampler {
 public:
  enum class Filter { kBicubic, kBilinearOrArea };

  // The region [0, outW) x [0, outH) of the resample of src to dw x dh. False: no memory.
  bool Init(const RasterImage& src, uint32_t dw, uint32_t dh, Filter filter, uint32_t outW,
            uint32_t outH);
  // Destination row y in src's format (indices at 1 and 8 bits, B G R at 24).
  void Row(uint32_t y, uint8_t* dst);

 private:
  struct AxisPlan {
    std::vector<uint32_t> first;  // taps of coordinate d: [first[d], first[d + 1])
    std::vector<uint32_t> index;
    std::vector<double> weight;
    uint32_t maxTaps = 0;
    void Add(uint32_t i, double w);
    void Close();
  };
  static void Plan(Filter filter, uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan);
  void Horizontal(uint32_t sy, double* h);
  const double* Sums(uint32_t y);

  const RasterImage* src_ = nullptr;
  uint32_t outW_ = 0;
  AxisPlan px_, py_;
  bool grey_ = false;
  uint32_t channels_ = 1;
  double greyOfIndex_[256] = {};
  uint8_t toIndex_[256] = {};  // grey level -> nearest palette index
  uint32_t cache_ = 1;         // horizontal results kept for the rows in use
  std::vector<double> rows_;
  std::vector<int64_t> tag_;
  std::vector<double> acc_;
  std::vector<uint8_t> values_;
  std::vector<uint8_t> indices_;
};

}  // namespace image_detail
