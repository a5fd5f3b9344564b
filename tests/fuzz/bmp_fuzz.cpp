// Fuzz target: BMP parsing of user-chosen files, then the operations the watermark path runs on
// what was parsed. A parsed image must survive an encode/parse round trip unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/bmp.h"
#include "image/image.h"

namespace {

// Small enough that every accepted input is processed quickly; the limit logic is the same.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;
constexpr uint64_t kOpsMaxPixels = 1u << 14;

bool SamePixels(const RasterImage& a, const RasterImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Bpp() != b.Bpp()) return false;
  if (std::memcmp(a.Bits(), b.Bits(), static_cast<size_t>(a.Stride()) * a.Height()) != 0) {
    return false;
  }
  return std::memcmp(a.Palette(), b.Palette(), a.PaletteSize() * sizeof(ImageColour)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RasterImage img;
  const WCHAR* error = nullptr;
  if (!ParseBmp(data, size, img, &error, kFuzzMaxPixels)) {
    if (!error || img.IsValid()) std::abort();  // failures explain themselves and touch nothing
    return 0;
  }

  std::vector<uint8_t> encoded;
  if (!EncodeBmp(img, encoded)) std::abort();
  RasterImage again;
  if (!ParseBmp(encoded.data(), encoded.size(), again, &error, kFuzzMaxPixels) ||
      !SamePixels(img, again)) {
    std::abort();
  }

  if (static_cast<uint64_t>(img.Width()) * img.Height() > kOpsMaxPixels) return 0;
  // The watermark path: nearest-neighbour scaling, lightening, placing on a canvas, dithering.
  const uint8_t selector = size ? data[size - 1] : 0;
  RasterImage mark = img;
  if (!mark.ResampleSimple(img.Width() / 2 + 1, img.Height() + 3, 1)) std::abort();
  if (!mark.Light(static_cast<int>(selector) - 128, 0)) std::abort();
  RasterImage canvas;
  if (!canvas.Create(mark.Width() + 5, mark.Height() + 2, 24) || !canvas.Clear(255)) std::abort();
  if (!canvas.Mix(mark, static_cast<int32_t>(selector % 7) - 3, 1)) std::abort();
  if (!canvas.Dither(selector % 10)) std::abort();
  // Bicubic on whatever depth and palette the file had.
  if (!img.Resample(img.Width() + 1, img.Height() / 2 + 1)) std::abort();
  if (img.OptimalThreshold(selector % 5) < 0) std::abort();
  return 0;
}
