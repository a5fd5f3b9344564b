// The pipeline written out step by step, pixel by pixel. Working images are plain top-down byte
// arrays with rows of (width + 3) / 4 * 4 bytes whose pad bytes are white; every step that makes a
// new image starts it all white.
#include "tests/render/pipeline/reference_pipeline.h"

#include <algorithm>

#include "common/devmode.h"
#include "image/image.h"

namespace reftest {

namespace {

struct Work {
  int64_t w = 0, h = 0, stride = 0;
  std::vector<uint8_t> px;

  Work() = default;
  Work(int64_t width, int64_t height) : w(width), h(height), stride((width + 3) / 4 * 4) {
    px.assign(static_cast<size_t>(stride * height), 0xFF);
  }
  uint8_t& at(int64_t x, int64_t y) { return px[static_cast<size_t>(y * stride + x)]; }
};

bool Fits(int64_t w, int64_t h, uint32_t bpp) {
  if (w < 1 || h < 1 || w > RasterImage::kMaxSide || h > RasterImage::kMaxSide) return false;
  return static_cast<uint64_t>(RasterImage::StrideFor(static_cast<uint32_t>(w), bpp)) * h <=
         RasterImage::kMaxBytes;
}

int Clamp255(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v); }

int64_t Dots(int64_t r, int64_t microns, int64_t m) { return (r * (microns / 100) + 127) / 254 / m; }

Work FromImage(const RasterImage& img) {
  Work out(img.Width(), img.Height());
  for (int64_t y = 0; y < out.h; ++y) {
    for (int64_t x = 0; x < out.w; ++x) {
      out.at(x, y) = img.GetPixelGrey(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
  }
  return out;
}

// Step 8 on an 8-bit image.
bool OneBit(RasterImage& img, uint32_t level) {
  if (level == 8) return img.Threshold(128);
  if (level == 1) return img.AdaptiveThreshold(0, 8, nullptr, 0, 0.5);
  return img.Dither(static_cast<int>(level));
}

enum class Result { kOk, kFail };

// Resample to width p, height p * bh / bw, as step 6 does it.
Result ScaleTo(RasterImage& img, int64_t p) {
  if (p < 1) return Result::kOk;
  if (p > RasterImage::kMaxSide) return Result::kFail;
  const int64_t height = p * img.Height() / img.Width();
  if (height < 1) return Result::kOk;
  if (!Fits(p, height, 8)) return Result::kFail;
  img.Resample(static_cast<uint32_t>(p), static_cast<uint32_t>(height));
  return Result::kOk;
}

Work QuarterClockwise(Work& a) {
  Work b(a.h, a.w);
  for (int64_t y = 0; y < b.h; ++y) {
    for (int64_t x = 0; x < b.w; ++x) b.at(x, y) = a.at(y, a.h - 1 - x);
  }
  return b;
}

Work Half(Work& a) {
  Work b(a.w, a.h);
  for (int64_t y = 0; y < b.h; ++y) {
    for (int64_t x = 0; x < b.w; ++x) b.at(x, y) = a.at(a.w - 1 - x, a.h - 1 - y);
  }
  return b;
}

// False with `mark` empty when the picture cannot be loaded.
bool LoadWatermark(const PipelineInput& in, RasterImage& mark) {
  WCHAR path[kWatermarkPathChars + 1] = {};
  for (int i = 0; i < kWatermarkPathChars && in.settings->WatermarkPath[i]; ++i) path[i] = in.settings->WatermarkPath[i];
  return mark.LoadBmp(path);
}

bool Watermark(const PipelineInput& in, uint32_t level, RasterImage& mark, Work& work) {
  const PrinterDevmode& s = *in.settings;
  RasterImage page;
  page.CreateFromArray(work.px.data(), static_cast<uint32_t>(work.w), static_cast<uint32_t>(work.h), 8,
                       static_cast<uint32_t>(work.stride), true);
  const int64_t m = std::max(1, s.InputDPI + 1);

  const int64_t w = work.w, h = work.h;
  const double mwd = static_cast<double>(w) * s.WatermarkScale / 100;
  const double mhd = static_cast<double>(w) / mark.Width() * mark.Height() * s.WatermarkScale / 100;
  const int64_t mw = mwd >= 1 ? (mwd > 1e12 ? int64_t{1} << 40 : static_cast<int64_t>(mwd)) : 0;
  const int64_t mh = mhd >= 1 ? (mhd > 1e12 ? int64_t{1} << 40 : static_cast<int64_t>(mhd)) : 0;
  RasterImage canvas;
  canvas.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24);
  canvas.Clear(255);
  if (mw > 0 && mh > 0) {
    if (!Fits(mw, mh, mark.Bpp())) return false;
    mark.ResampleSimple(static_cast<uint32_t>(mw), static_cast<uint32_t>(mh), RasterImage::kNearest);
    mark.Light(static_cast<int>(255 - (s.WatermarkBrightness - 50) * 2.55), 0);
    const int64_t left = mark.Width() < w ? (w - mark.Width()) * s.WatermarkX / 100 : 0;
    const int64_t bottom = mark.Height() < h ? (100 - s.WatermarkY) * (h - mark.Height()) / 100 : 0;
    for (int64_t y = 0; y < mark.Height(); ++y) {
      for (int64_t x = 0; x < mark.Width(); ++x) {
        canvas.SetPixelColour(static_cast<int32_t>(left + x), static_cast<int32_t>(bottom + y),
                              mark.GetPixelColour(static_cast<int32_t>(x), static_cast<int32_t>(y)));
      }
    }
  }
  canvas.Dither(static_cast<int>(level));
  OneBit(page, level);
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) {
      if (canvas.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y)) == 0) {
        page.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y), 0);
      }
    }
  }
  page.IncreaseBits(8);
  // Back to the model resolution as in step 9 (a resample to the same size changes nothing).
  page.Resample(page.Width() / static_cast<uint32_t>(m), page.Height() / static_cast<uint32_t>(m));
  page.Flip();
  work = FromImage(page);
  return true;
}

}  // namespace

ReferenceRaster ReferencePipeline(const PipelineInput& in) {
  ReferenceRaster result;
  const PrinterDevmode& s = *in.settings;
  const ModelRecord& model = *in.model;
  const int64_t w0 = in.width, h0 = in.height;
  const size_t rowLen = in.bitsSize / static_cast<uint32_t>(h0);
  if (rowLen < 3 * static_cast<size_t>(w0) || !Fits(w0, h0, 8)) return result;
  const int64_t r = in.resolution;
  const int64_t m = std::max(1, s.InputDPI + 1);

  // Step 2, on a copy of the bitmap's pixels.
  std::vector<uint8_t> bgr(in.bits, in.bits + rowLen * h0);
  const int64_t c = s.ColorAdjust.caContrast * 255 / 100;
  const double f = static_cast<double>((c + 255) * 259) / static_cast<double>(66045 - c * 255);
  const int64_t offset = s.ColorAdjust.caBrightness * 128 / 100;
  for (int64_t y = 0; y < h0; ++y) {
    for (int64_t i = 0; i < 3 * w0; ++i) {
      uint8_t& v = bgr[y * rowLen + i];
      const int contrasted = Clamp255(static_cast<int64_t>((v - 128) * f + 128));
      v = static_cast<uint8_t>(Clamp255(contrasted + offset));
    }
  }
  // Step 3.
  Work work(w0, h0);
  for (int64_t y = 0; y < h0; ++y) {
    for (int64_t x = 0; x < w0; ++x) {
      const uint8_t* p = &bgr[y * rowLen + 3 * x];
      work.at(x, y) = static_cast<uint8_t>((15 * p[0] + 75 * p[1] + 38 * p[2]) >> 7);
    }
  }
  // Step 4.
  const uint32_t level = s.DitherLevel > 9 ? 8 : s.DitherLevel;

  // A watermark that cannot be loaded leaves the page to steps 6 to 9, as without one.
  RasterImage mark;
  if ((s.Flags & kFlagWatermark) && LoadWatermark(in, mark)) {
    if (!Watermark(in, level, mark, work)) return result;
  } else {
    RasterImage img;
    img.CreateFromArray(work.px.data(), static_cast<uint32_t>(w0), static_cast<uint32_t>(h0), 8,
                        static_cast<uint32_t>(work.stride), true);
    // Step 6.
    const int64_t p = r * s.PrintWidth / 25400;
    if (s.PrintingScale == 1) {
      int64_t top = -1, bottom = -1, left = -1, right = -1;
      for (int64_t y = 0; y < h0; ++y) {
        for (int64_t x = 0; x < w0; ++x) {
          if (work.at(x, y) == 255) continue;
          if (top < 0) top = y;
          bottom = y;
          if (left < 0 || x < left) left = x;
          if (x > right) right = x;
        }
      }
      if (top >= 0) {
        top -= 10;
        left -= 10;
        bottom += 10;
        right += 10;
        if (top < 10) top = 0;
        if (left < 10) left = 0;
        if (h0 - 1 - bottom < 10) bottom = h0 - 1;
        if (w0 - 1 - right < 10) right = w0 - 1;
        // Page row y is stored row h - 1 - y.
        img.Crop(ImageBox{static_cast<int32_t>(left), static_cast<int32_t>(h0 - 1 - bottom),
                          static_cast<int32_t>(right + 1), static_cast<int32_t>(h0 - top)});
        if (ScaleTo(img, p) == Result::kFail) return result;
      }
    } else if (s.PrintingScale == 2 || (s.PrintingScale == 3 && p < w0)) {
      if (ScaleTo(img, p) == Result::kFail) return result;
    } else if (s.PrintingScale == 4 && p < w0) {
      img.Crop(ImageBox{0, 0, static_cast<int32_t>(std::max<int64_t>(p, INT32_MIN)),
                        static_cast<int32_t>(img.Height())});
    }
    // Step 7.
    if (s.dm.dmOrientation == 1) {
      const int64_t limit = r * model.MaxWidth / 25400;
      if (limit < img.Width()) {
        img.Crop(ImageBox{0, 0, static_cast<int32_t>(std::max<int64_t>(limit, INT32_MIN)),
                          static_cast<int32_t>(img.Height())});
      }
    }
    // Step 8.
    if (!OneBit(img, level)) return result;
    // Step 9.
    img.IncreaseBits(8);
    img.Resample(img.Width() / static_cast<uint32_t>(m), img.Height() / static_cast<uint32_t>(m));
    img.Flip();
    work = FromImage(img);
  }

  // Step 10.
  const int orientation = s.dm.dmOrientation;
  if (s.Flags & kFlagMirror) {
    Work a = work;
    for (int64_t y = 0; y < work.h; ++y) {
      for (int64_t x = 0; x < work.w; ++x) {
        if (orientation == 2) work.at(x, y) = a.at(x, work.h - 1 - y);
        if (orientation == 1) work.at(x, y) = a.at(work.w - 1 - x, y);
      }
    }
  }
  // Step 11.
  const bool bit7 = (s.Flags & kFlagRotate180) != 0;
  if (orientation == 2) {
    work = QuarterClockwise(work);
    if (!bit7) work = Half(work);
  } else if (orientation == 1 && bit7) {
    work = Half(work);
  }
  // Step 12.
  if (s.PrintLanguage == kLangTspl && (s.Flags & kFlagOutDir0)) work = Half(work);
  // Step 13.
  if (s.Flags & kFlagNegative) {
    for (int64_t y = 0; y < work.h; ++y) {
      for (int64_t x = 0; x < work.w; ++x) work.at(x, y) = static_cast<uint8_t>(255 - work.at(x, y));
    }
  }
  // Step 14.
  int64_t cw = work.w, ch = work.h;
  if (s.PrintLanguage == kLangTwl) {
    cw = Dots(r, model.MaxWidth, m);
    ch = Dots(r, model.MaxLength, m);
  }
  int64_t align = 0;
  if (work.w < cw) {
    if ((s.Flags & 0x70) == 0x20) align = (cw - work.w) / 2;
    if ((s.Flags & 0x70) == 0x40) align = cw - work.w;
  }
  const int64_t sx = Dots(r, s.ShiftH, m), sy = Dots(r, s.ShiftV, m);
  if (!(sx + work.w <= 0 || sy + work.h <= 0 || sx >= cw || sy >= ch)) {
    const int64_t newH = std::min(sy + work.h, ch);
    if (!Fits(cw, newH, 8)) return result;
    Work placed(cw, newH);
    const int64_t x = align + sx;
    for (int64_t row = std::max<int64_t>(sy, 0), src = sy < 0 ? -sy : 0; row < newH; ++row, ++src) {
      for (int64_t i = x < 0 ? -x : 0; i < work.w; ++i) {
        if (x + i >= cw) break;
        placed.at(x + i, row) = work.at(i, src);
      }
    }
    work = placed;
  }
  // Step 15.
  uint32_t mode = s.PaperSaving;
  if (in.paper && (in.paper->Flags & 8) && mode == 0) mode = 3;
  auto blank = [&](int64_t y) {
    for (int64_t x = 0; x < work.w; ++x) {
      if (work.at(x, y) != 255) return false;
    }
    return true;
  };
  int64_t first = 0, end = work.h;
  if (mode >= 1 && mode <= 3) {
    int64_t t = 0;
    if (mode == 1 || mode == 3) {
      while (t < work.h && blank(t)) ++t;
    }
    int64_t b = work.h;
    if (mode == 2 || mode == 3) {
      int64_t last = -1;
      for (int64_t y = 0; y < work.h; ++y) {
        if (!blank(y)) last = y;
      }
      b = std::min(std::max(last + 1, t + 21), work.h);
    }
    first = t <= 10 ? t : t - 10;
    end = work.h - b <= 10 ? b : b + 10;
  }
  // Step 17.
  const int64_t rowBytes = work.stride / 8;
  for (int64_t y = first; y < end; ++y) {
    for (int64_t i = 0; i < rowBytes; ++i) {
      uint8_t byte = 0;
      for (int k = 0; k < 8; ++k) {
        if (work.at(8 * i + k, y) != 0) byte |= static_cast<uint8_t>(0x80 >> k);
      }
      result.bytes.push_back(byte);
    }
  }
  result.ok = true;
  result.width = static_cast<uint32_t>(work.w);
  result.rows = static_cast<uint32_t>(end - first);
  return result;
}

}  // namespace reftest
