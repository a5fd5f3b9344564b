// The image record: creation, pixel access, and the operations that move or map bytes.
#include "image/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "common/alloc.h"
#include "image/image_internal.h"

using namespace image_detail;

namespace {

void SetGreyPalette(ImageColour* pal) {
  for (int i = 0; i < 256; ++i) {
    const uint8_t v = static_cast<uint8_t>(i);
    pal[i] = ImageColour{v, v, v, 0};
  }
}

void SetMonoPalette(ImageColour* pal) {
  pal[0] = ImageColour{0, 0, 0, 0};
  pal[1] = ImageColour{255, 255, 255, 0};
}

}  // namespace

namespace image_detail {

void GreyTable(const RasterImage& img, uint8_t table[256]) {
  const uint32_t n = img.PaletteSize();
  const ImageColour* pal = img.Palette();
  for (uint32_t i = 0; i < 256; ++i) {
    table[i] = i < n ? GreyOf(pal[i].Red, pal[i].Green, pal[i].Blue) : 0;
  }
}

bool IsIdentity(const uint8_t table[256]) {
  for (int i = 0; i < 256; ++i) {
    if (table[i] != i) return false;
  }
  return true;
}

const uint8_t* GreyRow(const RasterImage& img, uint32_t y, const uint8_t table[256], bool identity,
                       uint8_t* scratch) {
  const uint8_t* row = img.Row(y);
  const uint32_t w = img.Width();
  switch (img.Bpp()) {
    case 8:
      if (identity) return row;
      for (uint32_t x = 0; x < w; ++x) scratch[x] = table[row[x]];
      break;
    case 24:
      for (uint32_t x = 0; x < w; ++x, row += 3) scratch[x] = GreyOf(row[2], row[1], row[0]);
      break;
    default:
      for (uint32_t x = 0; x < w; ++x) scratch[x] = table[GetBit(row, x)];
      break;
  }
  return scratch;
}

void IndexRow(const RasterImage& img, uint32_t y, uint8_t* out) {
  const uint8_t* row = img.Row(y);
  const uint32_t w = img.Width();
  if (img.Bpp() == 8) {
    std::memcpy(out, row, w);
    return;
  }
  uint32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    const unsigned b = row[x >> 3];
    for (unsigned i = 0; i < 8; ++i) out[x + i] = static_cast<uint8_t>((b >> (7 - i)) & 1u);
  }
  for (; x < w; ++x) out[x] = GetBit(row, x);
}

uint8_t NearestIndex(const RasterImage& img, uint8_t r, uint8_t g, uint8_t b) {
  const uint32_t n = img.PaletteSize();
  const ImageColour* pal = img.Palette();
  uint32_t best = 0;
  int bestDist = 1 << 30;
  for (uint32_t i = 0; i < n; ++i) {
    const int dr = pal[i].Red - r, dg = pal[i].Green - g, db = pal[i].Blue - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
      if (d == 0) break;
    }
  }
  return static_cast<uint8_t>(best);
}

}  // namespace image_detail

// ---- record -----------------------------------------------------------------------------------

void RasterImage::FreeBits::operator()(uint8_t* p) const {
  if (p) LocalFree(p);
}

RasterImage::RasterImage(const RasterImage& other) { *this = other; }

RasterImage& RasterImage::operator=(const RasterImage& other) {
  if (this == &other) return *this;
  Destroy();
  error_ = other.error_;
  if (!other.IsValid()) return *this;
  const size_t bytes = static_cast<size_t>(other.stride_) * other.height_;
  uint8_t* bits = static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, bytes));
  if (!bits) {
    error_ = kMsgMemory;
    return *this;
  }
  std::memcpy(bits, other.bits_.get(), bytes);
  bits_.reset(bits);
  width_ = other.width_;
  height_ = other.height_;
  bpp_ = other.bpp_;
  stride_ = other.stride_;
  std::memcpy(palette_, other.palette_, sizeof(palette_));
  return *this;
}

RasterImage::RasterImage(RasterImage&& other) noexcept { *this = std::move(other); }

RasterImage& RasterImage::operator=(RasterImage&& other) noexcept {
  if (this == &other) return *this;
  TakePixels(std::move(other));
  error_ = other.error_;
  cancel_.store(other.cancel_.load());
  progress_.store(other.progress_.load());
  return *this;
}

void RasterImage::TakePixels(RasterImage&& other) {
  width_ = other.width_;
  height_ = other.height_;
  bpp_ = other.bpp_;
  stride_ = other.stride_;
  bits_ = std::move(other.bits_);
  std::memcpy(palette_, other.palette_, sizeof(palette_));
  other.width_ = other.height_ = other.bpp_ = other.stride_ = 0;
}

void RasterImage::Destroy() {
  bits_.reset();
  width_ = height_ = bpp_ = stride_ = 0;
}

uint32_t RasterImage::PaletteSize() const {
  if (!IsValid()) return 0;
  return bpp_ == 1 ? 2u : bpp_ == 8 ? 256u : 0u;
}

bool RasterImage::SetPalette(const ImageColour* colours, uint32_t count) {
  const uint32_t n = std::min(count, PaletteSize());
  if (n == 0 || !colours) return false;
  std::memcpy(palette_, colours, n * sizeof(ImageColour));
  return true;
}

uint32_t RasterImage::StrideFor(uint32_t width, uint32_t bpp) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4);
}

// ---- creation ---------------------------------------------------------------------------------

bool RasterImage::Create(uint32_t width, uint32_t height, uint32_t bpp) {
  if (bpp != 1 && bpp != 8 && bpp != 24) {
    error_ = kMsgBpp;
    return false;
  }
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    error_ = kMsgSize;
    return false;
  }
  const uint32_t stride = StrideFor(width, bpp);
  const uint64_t bytes = static_cast<uint64_t>(stride) * height;
  if (bytes > kMaxBytes) {
    error_ = kMsgSize;
    return false;
  }
  // Zero-initialised: large blocks arrive as fresh zero pages, with no separate clearing pass.
  uint8_t* bits = static_cast<uint8_t*>(LocalAlloc(LMEM_ZEROINIT, static_cast<size_t>(bytes)));
  if (!bits) {
    error_ = kMsgMemory;
    return false;
  }
  bits_.reset(bits);
  width_ = width;
  height_ = height;
  bpp_ = bpp;
  stride_ = stride;
  std::memset(palette_, 0, sizeof(palette_));
  if (bpp == 8) SetGreyPalette(palette_);
  if (bpp == 1) SetMonoPalette(palette_);
  return true;
}

bool RasterImage::CreateFromArray(const uint8_t* data, uint32_t width, uint32_t height,
                                  uint32_t bpp, uint32_t rowStride, bool flip) {
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * bpp + 7) / 8;
  if (!data || rowStride < rowBytes) {
    error_ = kMsgSize;
    return false;
  }
  RasterImage out;
  if (!CreateResult(*this, out, width, height, bpp)) return false;
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t srcRow = flip ? height - 1 - y : y;
    std::memcpy(out.Row(y), data + static_cast<size_t>(srcRow) * rowStride, rowBytes);
  }
  TakePixels(std::move(out));
  progress_ = 100;
  return true;
}

// ---- pixels -----------------------------------------------------------------------------------

uint8_t RasterImage::GetPixelIndex(int32_t x, int32_t y) const {
  if (!IsValid() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
      static_cast<uint32_t>(y) >= height_) {
    return 0;
  }
  const uint8_t* row = Row(static_cast<uint32_t>(y));
  if (bpp_ == 8) return row[x];
  if (bpp_ == 1) return GetBit(row, static_cast<uint32_t>(x));
  return 0;
}

void RasterImage::SetPixelIndex(int32_t x, int32_t y, uint8_t index) {
  if (!IsValid() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
      static_cast<uint32_t>(y) >= height_) {
    return;
  }
  uint8_t* row = Row(static_cast<uint32_t>(y));
  if (bpp_ == 8) {
    row[x] = index;
  } else if (bpp_ == 1) {
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
    if (index) {
      row[x >> 3] |= mask;
    } else {
      row[x >> 3] &= static_cast<uint8_t>(~mask);
    }
  }
}

ImageColour RasterImage::GetPixelColour(int32_t x, int32_t y) const {
  if (!IsValid() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
      static_cast<uint32_t>(y) >= height_) {
    return ImageColour{0, 0, 0, 0};
  }
  if (bpp_ == 24) {
    const uint8_t* p = Row(static_cast<uint32_t>(y)) + static_cast<size_t>(x) * 3;
    return ImageColour{p[0], p[1], p[2], 0};
  }
  return palette_[GetPixelIndex(x, y)];
}

uint8_t RasterImage::GetPixelGrey(int32_t x, int32_t y) const {
  const ImageColour c = GetPixelColour(x, y);
  return GreyOf(c.Red, c.Green, c.Blue);
}

void RasterImage::GetRowGrey(uint32_t y, uint8_t* out) const {
  if (!IsValid() || y >= height_) return;
  uint8_t table[256];
  GreyTable(*this, table);
  const uint8_t* grey = GreyRow(*this, y, table, bpp_ == 8 && IsIdentity(table), out);
  if (grey != out) std::memcpy(out, grey, width_);
}

void RasterImage::SetPixelColour(int32_t x, int32_t y, ImageColour c) {
  if (!IsValid() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
      static_cast<uint32_t>(y) >= height_) {
    return;
  }
  if (bpp_ == 24) {
    uint8_t* p = Row(static_cast<uint32_t>(y)) + static_cast<size_t>(x) * 3;
    p[0] = c.Blue;
    p[1] = c.Green;
    p[2] = c.Red;
  } else {
    SetPixelIndex(x, y, NearestIndex(*this, c.Red, c.Green, c.Blue));
  }
}

// ---- geometry ---------------------------------------------------------------------------------

bool RasterImage::Crop(const ImageBox& box) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  const int64_t left = std::max<int64_t>(box.Left, 0);
  const int64_t bottom = std::max<int64_t>(box.Bottom, 0);
  const int64_t right = std::min<int64_t>(box.Right, width_);
  const int64_t top = std::min<int64_t>(box.Top, height_);
  if (right <= left || top <= bottom) {
    error_ = kMsgSize;
    return false;
  }
  RasterImage out;
  const uint32_t w = static_cast<uint32_t>(right - left);
  if (!CreateResult(*this, out, w, static_cast<uint32_t>(top - bottom), bpp_)) return false;
  std::memcpy(out.palette_, palette_, sizeof(palette_));
  for (uint32_t y = 0; y < out.height_; ++y) {
    if (CancelRequested()) break;
    const uint8_t* src = Row(static_cast<uint32_t>(bottom) + y);
    uint8_t* dst = out.Row(y);
    if (bpp_ == 1) {
      for (uint32_t x = 0; x < w; ++x) {
        if (GetBit(src, static_cast<uint32_t>(left) + x)) SetBit(dst, x);
      }
    } else {
      const size_t bytesPerPixel = bpp_ / 8;
      std::memcpy(dst, src + static_cast<size_t>(left) * bytesPerPixel, w * bytesPerPixel);
    }
    progress_ = Percent(y + 1, out.height_);
  }
  TakePixels(std::move(out));
  return true;
}

bool RasterImage::Flip() {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  LocalArray<uint8_t> tmp = AllocArray<uint8_t>(stride_);
  if (!tmp) {
    error_ = kMsgMemory;
    return false;
  }
  for (uint32_t y = 0; y < height_ / 2; ++y) {
    if (CancelRequested()) break;
    uint8_t* a = Row(y);
    uint8_t* b = Row(height_ - 1 - y);
    std::memcpy(tmp.get(), a, stride_);
    std::memcpy(a, b, stride_);
    std::memcpy(b, tmp.get(), stride_);
    progress_ = Percent(y + 1, height_ / 2);
  }
  return true;
}

bool RasterImage::Mix(const RasterImage& src, int32_t x, int32_t y) {
  if (!IsValid() || !src.IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  const bool copyIndex = bpp_ != 24 && src.bpp_ == bpp_;
  // Source columns that land inside this image.
  const int64_t sx0 = std::max<int64_t>(0, -static_cast<int64_t>(x));
  const int64_t sx1 = std::min<int64_t>(src.width_, static_cast<int64_t>(width_) - x);
  for (uint32_t sy = 0; sy < src.height_; ++sy) {
    if (CancelRequested()) break;
    const int64_t dy = static_cast<int64_t>(y) + sy;
    if (dy < 0) continue;
    if (dy >= height_) break;
    for (int64_t sx = sx0; sx < sx1; ++sx) {
      const int32_t dx = static_cast<int32_t>(x + sx);
      if (copyIndex) {
        SetPixelIndex(dx, static_cast<int32_t>(dy),
                      src.GetPixelIndex(static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
      } else {
        SetPixelColour(dx, static_cast<int32_t>(dy),
                       src.GetPixelColour(static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
      }
    }
    progress_ = Percent(sy + 1, src.height_);
  }
  return true;
}

// ---- levels -----------------------------------------------------------------------------------

bool RasterImage::Clear(uint8_t level) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  std::memset(bits_.get(), level, static_cast<size_t>(stride_) * height_);
  return true;
}

bool RasterImage::Light(int brightness, int contrast) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  uint8_t table[256];
  const float base = static_cast<float>(static_cast<int64_t>(brightness) + 128);
  const float gain = static_cast<float>(static_cast<int64_t>(contrast) + 100);
  for (int i = 0; i < 256; ++i) {
    const float v = base + static_cast<float>(i - 128) * gain / 100.0f + 0.5f;
    // Truncation toward zero, then clamping: anything below 1 ends at 0.
    table[i] = !(v >= 1.0f) ? 0 : v >= 255.0f ? 255 : static_cast<uint8_t>(static_cast<int>(v));
  }
  if (bpp_ != 24) {
    for (uint32_t i = 0; i < PaletteSize(); ++i) {
      palette_[i].Red = table[palette_[i].Red];
      palette_[i].Green = table[palette_[i].Green];
      palette_[i].Blue = table[palette_[i].Blue];
    }
    return true;
  }
  for (uint32_t y = 0; y < height_; ++y) {
    if (CancelRequested()) break;
    uint8_t* row = Row(y);
    for (uint32_t i = 0; i < stride_; ++i) row[i] = table[row[i]];
    progress_ = Percent(y + 1, height_);
  }
  return true;
}

bool RasterImage::IncreaseBits(uint32_t bpp) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  if (bpp == bpp_) return true;
  if ((bpp != 8 && bpp != 24) || bpp < bpp_) {
    error_ = kMsgBpp;
    return false;
  }
  RasterImage out;
  if (!CreateResult(*this, out, width_, height_, bpp)) return false;
  if (bpp == 8) {
    // Only 1 -> 8 gets here. The grey palette stays behind the two copied entries.
    out.palette_[0] = palette_[0];
    out.palette_[1] = palette_[1];
    for (uint32_t y = 0; y < height_; ++y) {
      if (CancelRequested()) break;
      IndexRow(*this, y, out.Row(y));
      progress_ = Percent(y + 1, height_);
    }
  } else {
    LocalArray<uint8_t> idx = AllocArray<uint8_t>(width_);
    if (!idx) {
      error_ = kMsgMemory;
      return false;
    }
    for (uint32_t y = 0; y < height_; ++y) {
      if (CancelRequested()) break;
      IndexRow(*this, y, idx.get());
      uint8_t* dst = out.Row(y);
      for (uint32_t x = 0; x < width_; ++x, dst += 3) {
        const ImageColour& c = palette_[idx[x]];
        dst[0] = c.Blue;
        dst[1] = c.Green;
        dst[2] = c.Red;
      }
      progress_ = Percent(y + 1, height_);
    }
  }
  TakePixels(std::move(out));
  return true;
}

// ---- thresholds -------------------------------------------------------------------------------

bool RasterImage::Threshold(uint8_t level) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  RasterImage out;
  LocalArray<uint8_t> scratch = AllocArray<uint8_t>(width_);
  if (!scratch || !out.Create(width_, height_, 1)) {
    error_ = scratch ? out.error_ : kMsgMemory;
    return false;
  }
  uint8_t table[256];
  GreyTable(*this, table);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  for (uint32_t y = 0; y < height_; ++y) {
    if (CancelRequested()) break;
    const uint8_t* grey = GreyRow(*this, y, table, identity, scratch.get());
    PackAbove(grey, [level](uint32_t) { return level; }, width_, out.Row(y));
    progress_ = Percent(y + 1, height_);
  }
  TakePixels(std::move(out));
  return true;
}

bool RasterImage::ThresholdByMask(const RasterImage& mask) {
  if (!IsValid()) {
    error_ = kMsgEmpty;
    return false;
  }
  if (!mask.IsValid() || mask.bpp_ != 8 || mask.width_ != width_ || mask.height_ != height_) {
    error_ = TEXT("invalid ThresholdMask");
    return false;
  }
  RasterImage out;
  LocalArray<uint8_t> scratch = AllocArray<uint8_t>(2 * static_cast<size_t>(width_));
  if (!scratch || !out.Create(width_, height_, 1)) {
    error_ = scratch ? out.error_ : kMsgMemory;
    return false;
  }
  uint8_t table[256], maskTable[256];
  GreyTable(*this, table);
  GreyTable(mask, maskTable);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  const bool maskIdentity = IsIdentity(maskTable);
  for (uint32_t y = 0; y < height_; ++y) {
    if (CancelRequested()) break;
    const uint8_t* grey = GreyRow(*this, y, table, identity, scratch.get());
    const uint8_t* level = GreyRow(mask, y, maskTable, maskIdentity, scratch.get() + width_);
    PackAbove(grey, [level](uint32_t x) { return level[x]; }, width_, out.Row(y));
    progress_ = Percent(y + 1, height_);
  }
  TakePixels(std::move(out));
  return true;
}
