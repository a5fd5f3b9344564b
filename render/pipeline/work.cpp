// The working image, grey conversion and the 1-bit row sources of the pipeline.
#include <algorithm>
#include <new>

#include "render/colour_adjust.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

// Byte b of a packed row widened to eight pixels, first pixel in the lowest byte.
struct ExpandTable {
  uint64_t bytes[256];
  constexpr ExpandTable() : bytes() {
    for (int b = 0; b < 256; ++b) {
      uint64_t v = 0;
      for (int i = 0; i < 8; ++i) {
        if (b & (0x80 >> i)) v |= 0xFFull << (8 * i);
      }
      bytes[b] = v;
    }
  }
};
constexpr ExpandTable kExpand;

const uint8_t kBayer[4][4] = {
    {0, 192, 48, 240}, {128, 64, 176, 112}, {32, 224, 16, 208}, {160, 96, 144, 80}};

}  // namespace

bool FitsImageLimits(int64_t width, int64_t height, uint32_t bpp) {
  if (width < 1 || height < 1 || width > RasterImage::kMaxSide || height > RasterImage::kMaxSide) {
    return false;
  }
  const uint64_t stride = RasterImage::StrideFor(static_cast<uint32_t>(width), bpp);
  return stride * static_cast<uint64_t>(height) <= RasterImage::kMaxBytes;
}

// ---- WorkImage ----

WorkImage& WorkImage::operator=(WorkImage&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = other.data_;
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    other.data_ = nullptr;
    other.width_ = other.height_ = other.stride_ = 0;
  }
  return *this;
}

bool WorkImage::Allocate(uint32_t width, uint32_t height) {
  Free();
  if (!FitsImageLimits(width, height)) return false;
  const uint32_t stride = WorkStride(width);
  data_ = static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, static_cast<size_t>(stride) * height));
  if (!data_) return false;
  width_ = width;
  height_ = height;
  stride_ = stride;
  if (stride != width) {
    for (uint32_t y = 0; y < height; ++y) std::memset(Row(y) + width, 0xFF, stride - width);
  }
  return true;
}

bool WorkImage::AllocateWhite(uint32_t width, uint32_t height) {
  if (!Allocate(width, height)) return false;
  std::memset(data_, 0xFF, static_cast<size_t>(stride_) * height_);
  return true;
}

void WorkImage::Free() {
  if (data_) LocalFree(data_);
  data_ = nullptr;
  width_ = height_ = stride_ = 0;
}

uint8_t* WorkImage::Release() {
  uint8_t* p = data_;
  data_ = nullptr;
  width_ = height_ = stride_ = 0;
  return p;
}

// ---- grey ----

void GreyMap::Init(int contrast, int brightness) {
  uint8_t level[256];
  plain_ = ColourAdjustTable(contrast, brightness, level);
  for (int v = 0; v < 256; ++v) {
    blue_[v] = static_cast<uint16_t>(kGreyWeightBlue * level[v]);
    green_[v] = static_cast<uint16_t>(kGreyWeightGreen * level[v]);
    red_[v] = static_cast<uint16_t>(kGreyWeightRed * level[v]);
  }
}

void GreyMap::Row(const uint8_t* bgr, uint8_t* grey, uint32_t width) const {
  if (plain_) {
    PlainGreyRow(bgr, grey, width);
    return;
  }
  for (uint32_t x = 0; x < width; ++x, bgr += 3) {
    grey[x] = static_cast<uint8_t>((blue_[bgr[0]] + green_[bgr[1]] + red_[bgr[2]]) >> kGreyShift);
  }
}

const uint8_t* GreyRows::Row(uint32_t y, uint8_t* scratch) const {
  if (image) return image->Row(y);
  page->grey.Row(page->BitmapRow(page->height - 1 - y), scratch, width);
  return scratch;
}

bool MakeGreyImage(const Page& page, uint32_t width, RasterImage& out) {
  RasterImage grey;
  if (!grey.Create(width, page.height, 8)) return false;
  for (uint32_t y = 0; y < page.height; ++y) {
    if (page.Cancelled()) return false;
    page.grey.Row(page.BitmapRow(page.height - 1 - y), grey.Row(y), width);
  }
  out = std::move(grey);
  return true;
}

// ---- 1-bit rows ----

void UnpackRow(const uint8_t* bits, uint32_t width, uint8_t* out) {
  uint32_t x = 0;
  for (; x + 8 <= width; x += 8) std::memcpy(out + x, &kExpand.bytes[bits[x >> 3]], 8);
  for (; x < width; ++x) out[x] = (bits[x >> 3] & (0x80u >> (x & 7))) ? 0xFF : 0x00;
}

bool BitsAllWhite(const uint8_t* bits, uint32_t width) {
  const uint32_t full = width / 8;
  for (uint32_t i = 0; i < full; ++i) {
    if (bits[i] != 0xFF) return false;
  }
  if (width & 7) {
    const uint8_t mask = static_cast<uint8_t>(0xFF00u >> (width & 7));
    if ((bits[full] & mask) != mask) return false;
  }
  return true;
}

BinaryRows BinaryRows::OfImage(const RasterImage& bits) {
  BinaryRows r(bits.Width(), bits.Height());
  r.image_ = &bits;
  return r;
}

BinaryRows BinaryRows::Threshold(const GreyRows& grey, bool bayer) {
  BinaryRows r(grey.width, grey.height);
  r.grey_ = grey;
  r.bayer_ = bayer;
  return r;
}

BinaryRows BinaryRows::Adaptive(AdaptiveRows& rows, uint32_t width, uint32_t height) {
  BinaryRows r(width, height);
  r.adaptive_ = &rows;
  return r;
}

BinaryRows BinaryRows::Diffusion(DiffusionRows& rows, uint32_t width, uint32_t height) {
  BinaryRows r(width, height);
  r.diffusion_ = &rows;
  return r;
}

bool BinaryRows::Prepare() {
  if (image_ || diffusion_) return true;
  try {
    if (!adaptive_) greyScratch_.assign(width_, 0);
    bitScratch_.assign((width_ + 7) / 8, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const uint8_t* BinaryRows::Row(uint32_t y) {
  if (image_) return image_->Row(y);
  if (diffusion_) return diffusion_->Row(y);
  uint8_t* out = bitScratch_.data();
  if (adaptive_) {
    adaptive_->Row(y, out);
    return out;
  }
  const uint32_t w = width_;
  if (!bayer_ && !grey_.image && grey_.page->grey.Plain()) {
    // Grey and threshold in one pass over the bitmap row.
    PlainThresholdRow(grey_.page->BitmapRow(grey_.page->height - 1 - y), out, w);
    return out;
  }
  const uint8_t* g = grey_.Row(y, greyScratch_.data());
  uint32_t x = 0;
  if (!bayer_) {
    // White when grey > 128: the high bit set and any other bit set.
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
    for (; x + 8 <= w; x += 8) {
      const uint64_t v = Load8(g + x);
      out[x >> 3] = static_cast<uint8_t>(GatherHighBits(v & ((v & kLow7) + kLow7) & kHigh));
    }
    if (x < w) {
      unsigned byte = 0;
      for (uint32_t i = 0; x + i < w; ++i) byte |= (g[x + i] > 128 ? 0x80u : 0u) >> i;
      out[x >> 3] = static_cast<uint8_t>(byte);
    }
  } else {
    const uint8_t* t = kBayer[y & 3];
    for (; x + 8 <= w; x += 8) {
      const uint8_t* p = g + x;
      out[x >> 3] = static_cast<uint8_t>(
          (p[0] > t[0]) << 7 | (p[1] > t[1]) << 6 | (p[2] > t[2]) << 5 | (p[3] > t[3]) << 4 |
          (p[4] > t[0]) << 3 | (p[5] > t[1]) << 2 | (p[6] > t[2]) << 1 | (p[7] > t[3]));
    }
    if (x < w) {
      unsigned byte = 0;
      for (uint32_t i = 0; x + i < w; ++i) byte |= (g[x + i] > t[i & 3] ? 0x80u : 0u) >> i;
      out[x >> 3] = static_cast<uint8_t>(byte);
    }
  }
  return out;
}

}  // namespace pipeline_detail
