// The image record and its operations: the raster pipeline's grey working image, its 1-bit
// results, and the watermark canvas. Shared by the rendering and user-interface DLLs.
//
// Storage is bottom-up, as in a BMP file: stored row 0 is the bottom row of the picture, and every
// coordinate below (pixels, boxes, crop rectangles, mix positions) counts y in stored rows.
// Rows are padded to a multiple of 4 bytes. Reading outside the image gives nothing and writing
// outside it is ignored.
//
// Every operation returns success or failure. A failure leaves the image as it was and stores a
// short message (LastError). Row loops test the cancel flag once per row: a cancelled operation
// stops there and still installs its partial result (rows not reached stay 0) and returns true.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/platform.h"

// One palette entry, in BMP file order.
struct ImageColour {
  uint8_t Blue;
  uint8_t Green;
  uint8_t Red;
  uint8_t Reserved;
};
static_assert(sizeof(ImageColour) == 4);

// A rectangle in stored coordinates, half-open: Left <= x < Right, Bottom <= y < Top.
struct ImageBox {
  int32_t Left;
  int32_t Bottom;
  int32_t Right;
  int32_t Top;
};

// Grey level of a colour: (306 R + 601 G + 117 B) >> 10. Exact for grey colours.
constexpr uint8_t GreyOf(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((306u * r + 601u * g + 117u * b) >> 10);
}

// The optimal threshold of a 256-bin grey histogram (see RasterImage::OptimalThreshold).
int OptimalThresholdOfHistogram(const uint64_t histogram[256], int method);

class RasterImage {
 public:
  // Limits on any image this code allocates: each side and the pixel rows' byte count.
  static constexpr uint32_t kMaxSide = 1u << 17;
  static constexpr uint64_t kMaxBytes = 1ull << 30;

  // Error-diffusion and ordered dithering methods (any other number behaves as FloydSteinberg).
  enum DitherMethod : int {
    kFloydSteinberg = 0,
    kOrdered4x4 = 1,
    kBurkes = 2,
    kStucki = 3,
    kJarvisJudiceNinke = 4,
    kSierra = 5,
    kStevensonArce = 6,
    kBayer = 7,
  };

  // Simple resample modes.
  enum ResampleMode : int {
    kBilinearOrArea = 0,  // per axis: bilinear when the side grows or stays, area average when it shrinks
    kNearest = 1,
    kBicubic = 2,
  };

  RasterImage() = default;
  RasterImage(const RasterImage& other);  // deep copy; an allocation failure gives an empty image
  RasterImage& operator=(const RasterImage& other);
  RasterImage(RasterImage&& other) noexcept;
  RasterImage& operator=(RasterImage&& other) noexcept;
  ~RasterImage() = default;

  // ---- record ----
  bool IsValid() const { return bits_ != nullptr; }
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  uint32_t Bpp() const { return bpp_; }
  uint32_t Stride() const { return stride_; }
  uint8_t* Bits() { return bits_.get(); }
  const uint8_t* Bits() const { return bits_.get(); }
  uint8_t* Row(uint32_t y) { return bits_.get() + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(uint32_t y) const { return bits_.get() + static_cast<size_t>(y) * stride_; }
  // 2 entries at 1 bit, 256 at 8 bits, none at 24 bits.
  const ImageColour* Palette() const { return palette_; }
  uint32_t PaletteSize() const;
  // Replaces the first min(count, PaletteSize()) entries.
  bool SetPalette(const ImageColour* colours, uint32_t count);
  const WCHAR* LastError() const { return error_; }
  int Progress() const { return progress_.load(std::memory_order_relaxed); }
  void SetCancel(bool cancel) { cancel_.store(cancel, std::memory_order_relaxed); }
  bool CancelRequested() const { return cancel_.load(std::memory_order_relaxed); }
  void Destroy();

  // Stride of a row of `width` pixels at `bpp` bits, padded to 4 bytes.
  static uint32_t StrideFor(uint32_t width, uint32_t bpp);

  // ---- creation ----
  // Blank image (all pixel bytes 0) with bpp 1, 8 or 24; paletted images get the black/white or
  // the 256-level grey palette.
  bool Create(uint32_t width, uint32_t height, uint32_t bpp);
  // From a top-down array of rows (`rowStride` bytes apart). With flip, stored row 0 is the
  // array's last row; without, the array's first. bpp 1, 8 or 24 with the default palettes.
  bool CreateFromArray(const uint8_t* data, uint32_t width, uint32_t height, uint32_t bpp,
                       uint32_t rowStride, bool flip);

  // ---- pixels ----
  uint8_t GetPixelIndex(int32_t x, int32_t y) const;               // 0 outside and at 24 bits
  void SetPixelIndex(int32_t x, int32_t y, uint8_t index);         // 1 bit: any non-zero index is 1
  uint8_t GetPixelGrey(int32_t x, int32_t y) const;                // 0 outside
  // The grey levels of stored row y (Width() bytes), as GetPixelGrey gives them.
  void GetRowGrey(uint32_t y, uint8_t* out) const;
  ImageColour GetPixelColour(int32_t x, int32_t y) const;          // black outside
  void SetPixelColour(int32_t x, int32_t y, ImageColour c);        // paletted: nearest entry

  // ---- geometry ----
  // Bicubic (Keys, a = -0.5) resample; see resample.cpp for the exact arithmetic.
  bool Resample(uint32_t newWidth, uint32_t newHeight);
  bool ResampleSimple(uint32_t newWidth, uint32_t newHeight, int mode);
  // Keeps the pixels of `box` clipped to the image; an empty result fails.
  bool Crop(const ImageBox& box);
  bool Flip();
  // Copies `src` with its bottom-left pixel at (x, y); parts outside this image are dropped.
  bool Mix(const RasterImage& src, int32_t x, int32_t y);

  // ---- levels ----
  bool Clear(uint8_t level = 255);
  // Level table (b + 128) + (i - 128) * (100 + c) / 100 + 0.5 in float, truncated and clamped;
  // applied to every colour byte at 24 bits and to the palette of a paletted image.
  bool Light(int brightness, int contrast);
  // 1 -> 8 keeps the indices, with the 1-bit palette copied over the start of the grey palette;
  // to 24 writes each pixel's colour. The same depth is a no-op; a lower one fails.
  bool IncreaseBits(uint32_t bpp);

  // ---- reduction to 1 bit (result palette: 0 black, 1 white) ----
  bool Threshold(uint8_t level);             // white when grey > level
  bool ThresholdByMask(const RasterImage& mask);  // white when grey > the mask's grey; same size, 8 bits
  // Grey level 0..255, or -1 (empty image or box, method outside 0..4). Method 0 averages the
  // candidates; 1 within-class variance, 2 minimum error, 3 maximum entropy, 4 potential
  // difference. With a contrast mask only pixels whose mask index is non-zero are counted.
  int OptimalThreshold(int method, const ImageBox* box = nullptr,
                       const RasterImage* contrastMask = nullptr) const;
  bool AdaptiveThreshold(int method = 0, int boxSize = 8, const RasterImage* contrastMask = nullptr,
                         int bias = 0, double balance = 0.5);
  bool Dither(int method);

  // ---- files ----
  bool LoadBmp(const WCHAR* path);
  bool SaveBmp(const WCHAR* path) const;
  // From the bytes of a BMP file; see bmp.h for what is accepted.
  bool DecodeBmp(const uint8_t* data, size_t size);

  // Used by the file code and the implementation files.
  void SetError(const WCHAR* message) const { error_ = message; }
  void SetProgress(int percent) { progress_.store(percent, std::memory_order_relaxed); }
  // Installs `other`'s pixels and palette, keeping this record's cancel flag.
  void TakePixels(RasterImage&& other);

 private:
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t bpp_ = 0;
  uint32_t stride_ = 0;
  struct FreeBits {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t[], FreeBits> bits_;
  ImageColour palette_[256] = {};
  mutable const WCHAR* error_ = nullptr;
  std::atomic<int> progress_{0};
  std::atomic<bool> cancel_{false};
};
