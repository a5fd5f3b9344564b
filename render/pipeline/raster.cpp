// Steps 6 to 9: scaling to the print width, the model's width limit, the reduction to 1 bit and
// back to the model's resolution.
//
// The grey image is only made when a step needs the whole of it (scaling, the adaptive threshold);
// otherwise the 1-bit rows are made from grey rows computed straight from the bitmap, and the crops
// of steps 6 and 7 only narrow the rows read.
#include <algorithm>

#include "common/debug.h"
#include "render/dither_mode.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

// The box around everything that is not white, widened by 10 pixels; a side that comes within 10
// pixels of the edge goes to the edge. The rule is the same for both ends of an axis, so stored
// rows serve as well as page rows. False for an all-white image.
bool ContentBox(const RasterImage& grey, ImageBox* box) {
  const int64_t w = grey.Width(), h = grey.Height();
  int64_t top = -1, bottom = -1, left = w, right = -1;
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* row = grey.Row(static_cast<uint32_t>(y));
    if (BytesAllWhite(row, static_cast<uint32_t>(w))) continue;
    if (bottom < 0) bottom = y;
    top = y;
    int64_t first = 0;
    while (row[first] == 0xFF) ++first;
    int64_t last = w - 1;
    while (row[last] == 0xFF) --last;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  if (top < 0) return false;
  auto widen = [](int64_t lo, int64_t hi, int64_t size, int64_t* outLo, int64_t* outHi) {
    lo -= 10;
    hi += 10;
    *outLo = lo < 10 ? 0 : lo;
    *outHi = size - 1 - hi < 10 ? size - 1 : hi;
  };
  int64_t x0, x1, y0, y1;
  widen(left, right, w, &x0, &x1);
  widen(bottom, top, h, &y0, &y1);
  *box = ImageBox{static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1 + 1),
                  static_cast<int32_t>(y1 + 1)};
  return true;
}

enum class Scale { kKeep, kResample, kRefuse };

// Resampling a bw x bh image to width p and height p * bh / bw. A size of zero fails in the image
// operations and changes nothing; a size beyond what an image may hold refuses the page.
Scale PlanScale(int64_t p, int64_t bw, int64_t bh, int64_t* height) {
  if (p < 1) return Scale::kKeep;
  if (p > RasterImage::kMaxSide) return Scale::kRefuse;
  *height = p * bh / bw;
  if (*height < 1) return Scale::kKeep;
  if (!FitsImageLimits(p, *height)) return Scale::kRefuse;
  return p == bw && *height == bh ? Scale::kKeep : Scale::kResample;
}

void RefuseScale(int64_t p, int64_t bw, int64_t bh) {
  DbgPrint(TEXT("RenderPageRaster: scaling %I64d x %I64d to a print width of %I64d dots is out of range; page not sent"),
           bw, bh, p);
}

}  // namespace

bool RunRaster(const Page& page, WorkImage& out) {
  const PrinterDevmode& s = *page.settings;
  const int64_t printWidth = page.resolution * s.PrintWidth / 25400;
  RasterImage grey;
  bool made = false;
  uint32_t width = page.width;  // columns in use while the grey image is not made

  auto make = [&]() {
    made = MakeGreyImage(page, width, grey);
    return made;
  };
  auto currentWidth = [&]() -> int64_t { return made ? grey.Width() : width; };
  // Crop to the left n columns; an empty crop fails and changes nothing.
  auto cropTo = [&](int64_t n) {
    if (n < 1 || n >= currentWidth()) return true;
    if (!made) {
      width = static_cast<uint32_t>(n);
      return true;
    }
    return grey.Crop(ImageBox{0, 0, static_cast<int32_t>(n), static_cast<int32_t>(grey.Height())});
  };
  auto scale = [&](int64_t bw, int64_t bh) {
    int64_t height = 0;
    switch (PlanScale(printWidth, bw, bh, &height)) {
      case Scale::kKeep: return true;
      case Scale::kRefuse: RefuseScale(printWidth, bw, bh); return false;
      case Scale::kResample: break;
    }
    if (!made && !make()) return false;
    return grey.Resample(static_cast<uint32_t>(printWidth), static_cast<uint32_t>(height));
  };

  // Step 6.
  const int64_t w = page.width, h = page.height;
  switch (s.PrintingScale) {
    case 1: {
      if (!make()) return false;
      ImageBox box;
      if (ContentBox(grey, &box)) {
        if (!grey.Crop(box)) return false;
        if (!scale(grey.Width(), grey.Height())) return false;
      }
      break;
    }
    case 2:
      if (!scale(w, h)) return false;
      break;
    case 3:
      if (printWidth < w && !scale(w, h)) return false;
      break;
    case 4:
      if (printWidth < w && !cropTo(printWidth)) return false;
      break;
    default:
      break;
  }
  // Step 7.
  if (s.dm.dmOrientation == DMORIENT_PORTRAIT) {
    const int64_t modelWidth = page.resolution * page.in->model->MaxWidth / 25400;
    if (modelWidth < currentWidth() && !cropTo(modelWidth)) return false;
  }

  // Step 8, then step 9.
  const DitherMode mode = DitherModeForLevel(page.level);
  if (mode.Kind == DitherKind::kAdaptiveThreshold) {
    // The box levels need the whole grey image first.
    if (!made && !make()) return false;
    AdaptiveRows adaptive;
    if (!adaptive.Prepare(page, grey)) return false;
    BinaryRows bits = BinaryRows::Adaptive(adaptive, grey.Width(), grey.Height());
    return ReduceToWork(page, bits, out);
  }
  GreyRows rows;
  rows.page = &page;
  rows.image = made ? &grey : nullptr;
  rows.width = made ? grey.Width() : width;
  rows.height = made ? grey.Height() : page.height;
  if (mode.Kind == DitherKind::kThreshold || mode.Value == RasterImage::kBayer) {
    BinaryRows bits = BinaryRows::Threshold(rows, mode.Kind != DitherKind::kThreshold);
    return ReduceToWork(page, bits, out);
  }
  // Every other method number is an error diffusion (the ordered 4 x 4 method is never a level's).
  DiffusionRows diffusion;
  if (!diffusion.Prepare(rows, mode.Value)) return false;
  BinaryRows bits = BinaryRows::Diffusion(diffusion, rows.width, rows.height);
  return ReduceToWork(page, bits, out);
}

}  // namespace pipeline_detail
