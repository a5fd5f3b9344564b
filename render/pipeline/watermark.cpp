// The watermark path: the page and a lightened watermark picture are made 1-bit separately and
// every black dot of the watermark is added to the page. Used instead of steps 6 to 9.
#include <cmath>

#include "common/debug.h"
#include "common/wstr.h"
#include "render/dither_mode.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

enum class Mark { kDone, kFailed, kRefused };

// A size in pixels from a double, truncated; anything that cannot be an image side stays too big.
int64_t Pixels(double v) {
  if (!(v >= 1.0)) return 0;
  return v > 1e12 ? int64_t{1} << 40 : static_cast<int64_t>(v);
}

// Makes `page` (the 8-bit grey page in stored order) 1-bit with the watermark's black dots added.
// kFailed leaves `page` as it was.
Mark AddWatermark(const Page& page, RasterImage& grey, RasterImage& mark) {
  const PrinterDevmode& s = *page.settings;
  const int64_t w = page.width, h = page.height;
  const double scale = s.WatermarkScale;
  const int64_t mw = Pixels(static_cast<double>(w) * scale / 100);
  const int64_t mh = Pixels(static_cast<double>(w) / mark.Width() * mark.Height() * scale / 100);
  RasterImage canvas;
  // A watermark of no size draws nothing, and a white canvas stays white under every method.
  const bool draw = mw > 0 && mh > 0;
  if (draw) {
    if (!FitsImageLimits(mw, mh, mark.Bpp())) {
      DbgPrint(TEXT("RenderPageRaster: a watermark of %I64d x %I64d pixels is out of range; page not sent"), mw,
               mh);
      return Mark::kRefused;
    }
    if (!mark.ResampleSimple(static_cast<uint32_t>(mw), static_cast<uint32_t>(mh), RasterImage::kNearest))
      return Mark::kFailed;
    const int brightness = static_cast<int>(255 - (s.WatermarkBrightness - 50) * 2.55);
    if (!mark.Light(brightness, 0)) return Mark::kFailed;
    if (page.dumps) DumpImage(mark, TEXT("c:\\1\\image_watermark.bmp"));

    const int64_t markW = mark.Width(), markH = mark.Height();
    const int64_t left = markW < w ? (w - markW) * s.WatermarkX / 100 : 0;
    const int64_t bottom = markH < h ? (100 - s.WatermarkY) * (h - markH) / 100 : 0;
    if (!canvas.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24) || !canvas.Clear(255) ||
        !canvas.Mix(mark, static_cast<int32_t>(left), static_cast<int32_t>(bottom)) ||
        !canvas.Dither(static_cast<int>(page.level))) {
      return Mark::kFailed;
    }
    if (page.dumps) DumpImage(canvas, TEXT("c:\\1\\image_tmp.bmp"));
  }
  if (!ApplyDitherMode(grey, DitherModeForLevel(page.level))) return Mark::kFailed;
  if (page.dumps) DumpImage(grey, TEXT("c:\\1\\image_paper.bmp"));
  if (draw) {
    const uint32_t bytes = (grey.Width() + 7) / 8;
    for (uint32_t y = 0; y < grey.Height(); ++y) {
      uint8_t* dst = grey.Row(y);
      const uint8_t* src = canvas.Row(y);
      for (uint32_t i = 0; i < bytes; ++i) dst[i] &= src[i];
    }
  }
  if (page.dumps) DumpImage(grey, TEXT("c:\\1\\mixed2.bmp"));
  return Mark::kDone;
}

}  // namespace

bool RunWatermark(const Page& page, WorkImage& out) {
  WCHAR path[kWatermarkPathChars + 1];
  WStrCopyN(path, kWatermarkPathChars + 1, page.settings->WatermarkPath, kWatermarkPathChars);
  RasterImage mark;
  if (!mark.LoadBmp(path)) {
    // A watermark the spooler's account cannot read must not cost the page its greys or its size:
    // the page is made as without a watermark.
    DbgPrint(TEXT("RenderPageRaster: watermark \"%s\" not loaded: %s"), path,
             mark.LastError() ? mark.LastError() : TEXT("unknown error"));
    return RunRaster(page, out);
  }
  RasterImage grey;
  if (!MakeGreyImage(page, page.width, grey)) return false;
  if (AddWatermark(page, grey, mark) != Mark::kDone) return false;
  // Drawn at a multiple of the model resolution, the page goes back to it as in step 9.
  if (page.multiplier > 1 && grey.Bpp() == 1) {
    BinaryRows bits = BinaryRows::OfImage(grey);
    return ReduceToWork(page, bits, out);
  }
  const uint32_t w = grey.Width(), h = grey.Height();
  if (!out.Allocate(w, h)) return false;
  for (uint32_t y = 0; y < h; ++y) {
    if (grey.Bpp() == 1) {
      UnpackRow(grey.Row(y), w, out.Row(h - 1 - y));
    } else {
      std::memcpy(out.Row(h - 1 - y), grey.Row(y), w);
    }
  }
  return true;
}

}  // namespace pipeline_detail
