// Pieces of the page raster pipeline shared by its source files; not part of its interface.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "image/image.h"
#include "render/pipeline/pipeline.h"

namespace pipeline_detail {

// The row kernels read eight pixels as one 64-bit word, the first pixel in its lowest byte.
static_assert(std::endian::native == std::endian::little);

// Any working image must also fit an image record, so that every step can hand it over.
bool FitsImageLimits(int64_t width, int64_t height, uint32_t bpp = 8);

constexpr uint32_t WorkStride(uint32_t width) { return (width + 3) / 4 * 4; }

// The 8-bit working image: 0 black, 255 white, rows top-down, stride WorkStride(width), pad bytes
// white. LocalAlloc'd, because the packed raster is written over it and handed to the caller.
class WorkImage {
 public:
  WorkImage() = default;
  WorkImage(const WorkImage&) = delete;
  WorkImage& operator=(const WorkImage&) = delete;
  WorkImage(WorkImage&& other) noexcept { *this = std::move(other); }
  WorkImage& operator=(WorkImage&& other) noexcept;
  ~WorkImage() { Free(); }

  // Pixels undefined, pad bytes white. False (and empty) when the size does not fit or no memory.
  bool Allocate(uint32_t width, uint32_t height);
  bool AllocateWhite(uint32_t width, uint32_t height);
  void Free();
  uint8_t* Release();

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  uint32_t Stride() const { return stride_; }
  uint8_t* Data() { return data_; }
  uint8_t* Row(uint32_t y) { return data_ + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(uint32_t y) const { return data_ + static_cast<size_t>(y) * stride_; }

 private:
  uint8_t* data_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t stride_ = 0;
};

// Colour correction (contrast, then brightness) and grey conversion of 24-bit B, G, R pixels,
// folded into one weighted table per channel.
class GreyMap {
 public:
  void Init(int contrast, int brightness);
  void Row(const uint8_t* bgr, uint8_t* grey, uint32_t width) const;
  // No contrast or brightness change: the plain weights, for which the row kernels below serve.
  bool Plain() const { return plain_; }

 private:
  bool plain_ = false;
  uint16_t blue_[256];
  uint16_t green_[256];
  uint16_t red_[256];
};

// The packed raster made straight from the 1-bit rows, when nothing between step 9 and the packing
// moves a pixel: rows top-down, WorkStride(width) / 8 bytes each, with blank[y] telling whether all
// `width` pixels of row y are white.
struct PackedPage {
  uint8_t* data = nullptr;  // LocalAlloc'd, or the caller's reused block (borrowed)
  bool borrowed = false;
  uint32_t width = 0, height = 0, rowBytes = 0;
  std::vector<uint8_t> blank;
  bool made = false;
};

// One page as the steps see it.
struct Page {
  const PipelineInput* in = nullptr;
  const PrinterDevmode* settings = nullptr;
  uint32_t width = 0;   // bitmap
  uint32_t height = 0;
  size_t rowBytes = 0;  // bytes between bitmap rows: bitsSize / height
  int64_t resolution = 0;
  uint32_t multiplier = 1;  // InputDPI + 1
  uint32_t level = 8;       // dither level after clamping
  bool dumps = false;
  GreyMap grey;
  PackedPage* packed = nullptr;  // where step 9 may pack the page directly

  const uint8_t* BitmapRow(uint32_t y) const { return in->bits + y * rowBytes; }
  bool Cancelled() const { return in->cancelled && in->cancelled(in->cancelContext); }
  // Micrometres to dots at the device resolution, divided by the multiplier.
  int64_t DotsOverM(int64_t microns) const {
    return (resolution * (microns / 100) + 127) / 254 / multiplier;
  }
};

// Grey rows in stored order (row 0 is the bottom of the page): either computed from the bitmap's
// first `width` columns, or rows of an 8-bit image with the grey palette.
struct GreyRows {
  const Page* page = nullptr;
  const RasterImage* image = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  const uint8_t* Row(uint32_t y, uint8_t* scratch) const;
};

// The optimal threshold (method 0) of a box of at most 64 pixels: `m` grey levels ascending with
// their counts. As the image operations compute it; -1 when there is nothing to threshold.
int BoxThreshold(const int* level, const uint32_t* count, int m);

// Dither level 1: the adaptive threshold of an 8-bit grey image (grey palette, stored order) with
// 8-pixel boxes, balance one half and no bias, one packed row at a time.
class AdaptiveRows {
 public:
  // The box levels. False: no memory, or cancelled.
  bool Prepare(const Page& page, const RasterImage& grey);
  void Row(uint32_t y, uint8_t* bits);

 private:
  const uint16_t* Across(uint32_t levelRow);

  const RasterImage* grey_ = nullptr;
  uint32_t cols_ = 0;
  uint32_t rows_ = 0;
  std::vector<uint8_t> levels_;
  std::vector<uint16_t> across_[2];
  int64_t tag_[2] = {-1, -1};
  int next_ = 0;
};

// Error diffusion (dither methods 0 and 2 to 6, and numbers without a method of their own) of grey
// rows, one packed row at a time in stored order.
class DiffusionRows {
 public:
  bool Prepare(const GreyRows& grey, int method);
  // Rows are made in order; asking for one more than a few rows back starts again from row 0.
  const uint8_t* Row(uint32_t y);

 private:
  static constexpr int kPad = 3;        // widest reach of a kernel past the edges
  static constexpr uint32_t kRing = 4;  // the row and up to three rows ahead
  static constexpr uint32_t kHistory = 4;

  void Restart();
  void Load(uint32_t y);
  int* RingRow(uint32_t slot);
  uint32_t RowBytes() const { return (grey_.width + 7) / 8; }

  GreyRows grey_;
  int method_ = 0;
  uint32_t span_ = 0;
  uint32_t next_ = 0;
  std::vector<int> ring_;  // kRing rows and one that takes error for rows past the top
  std::vector<uint8_t> greyScratch_;
  std::vector<uint8_t> bits_;
};

// The page made 1-bit, in stored order, one packed row (most significant bit first, 1 white) at a
// time: rows of a 1-bit image, the adaptive threshold, error diffusion, or a threshold or the Bayer
// matrix applied to grey rows on demand.
class BinaryRows {
 public:
  static BinaryRows OfImage(const RasterImage& bits);
  static BinaryRows Threshold(const GreyRows& grey, bool bayer);
  static BinaryRows Adaptive(AdaptiveRows& rows, uint32_t width, uint32_t height);
  static BinaryRows Diffusion(DiffusionRows& rows, uint32_t width, uint32_t height);
  bool Prepare();  // scratch for computed rows
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  const uint8_t* Row(uint32_t y);

 private:
  BinaryRows(uint32_t width, uint32_t height) : width_(width), height_(height) {}

  const RasterImage* image_ = nullptr;
  AdaptiveRows* adaptive_ = nullptr;
  DiffusionRows* diffusion_ = nullptr;
  GreyRows grey_;
  bool bayer_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<uint8_t> greyScratch_;
  std::vector<uint8_t> bitScratch_;
};

// Step 9 from 1-bit rows: widened to grey, resampled to (width / M, height / M) and turned back to
// top-down order, as the image operations compute it.
bool ReduceToWork(const Page& page, BinaryRows& rows, WorkImage& out);

// Steps 6 to 9.
bool RunRaster(const Page& page, WorkImage& out);
// The watermark path, instead of steps 6 to 9.
bool RunWatermark(const Page& page, WorkImage& out);
// Steps 10 to 14 (mirror, turns, negative, placement), as one pass into a new image.
bool LayOut(const Page& page, WorkImage& image);
// True when steps 10 to 14 leave an image of this size as it is.
bool LayOutKeepsImage(const Page& page, uint32_t width, uint32_t height);
// Step 15: the rows [first, end) that paper saving keeps.
void PaperSavingRows(const Page& page, const WorkImage& image, uint32_t* first, uint32_t* end);
void PaperSavingRows(const Page& page, uint32_t height, const std::function<bool(uint32_t)>& blank, uint32_t* first,
                     uint32_t* end);

// The grey image of the bitmap's first `width` columns, in stored order, grey palette.
bool MakeGreyImage(const Page& page, uint32_t width, RasterImage& out);

// Debug dumps into "c:\1".
bool DumpsWanted(DWORD ppDataFlags);
void DumpBitmap(const Page& page);
void DumpWork(const WorkImage& image, uint32_t first, uint32_t end);
void DumpImage(const RasterImage& image, const WCHAR* name);

// ---- row kernels ----

// Grey levels (15 B + 75 G + 38 R) >> 7 of `width` B, G, R pixels.
void PlainGreyRow(const uint8_t* bgr, uint8_t* grey, uint32_t width);
// The same levels thresholded at 128, packed (most significant bit first, 1 when above 128); the
// bits of a last short byte past the width are 0.
void PlainThresholdRow(const uint8_t* bgr, uint8_t* bits, uint32_t width);

// The high bits of eight bytes (first byte lowest) as one byte, the first byte's as its most
// significant bit: the multiplication moves each alone into the top byte.
inline uint32_t GatherHighBits(uint64_t highBits) {
  return static_cast<uint32_t>(((highBits >> 7) * 0x8040201008040201ull) >> 56);
}

inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Packs `bytes` bytes from 8 x `bytes` pixels: bit 1 when the pixel is not 0.
inline void PackNonZero(const uint8_t* px, uint8_t* out, uint32_t bytes) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
  for (uint32_t i = 0; i < bytes; ++i) {
    const uint64_t v = Load8(px + 8 * static_cast<size_t>(i));
    out[i] = static_cast<uint8_t>(GatherHighBits((((v & kLow7) + kLow7) | v) & kHigh));
  }
}

// True when all n bytes are 255.
inline bool BytesAllWhite(const uint8_t* p, uint32_t n) {
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    if (Load8(p + i) != ~0ull) return false;
  }
  for (; i < n; ++i) {
    if (p[i] != 0xFF) return false;
  }
  return true;
}

// 1 bit -> 0 or 255 for `width` pixels.
void UnpackRow(const uint8_t* bits, uint32_t width, uint8_t* out);

// True when every bit of the first `width` is 1.
bool BitsAllWhite(const uint8_t* bits, uint32_t width);

}  // namespace pipeline_detail
