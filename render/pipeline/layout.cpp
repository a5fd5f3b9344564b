// Steps 10 to 15: mirror, turns, negative and placement, done as one pass that reads every output
// pixel from the image before the steps; then the rows that paper saving keeps.
#include <algorithm>
#include <functional>
#include <utility>

#include "common/debug.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

// Where a pixel (x, y) of a derived image comes from: (ax x + bx y + cx, ay x + by y + cy).
struct Map {
  int64_t ax = 1, bx = 0, cx = 0;
  int64_t ay = 0, by = 1, cy = 0;

  // The image made by reading this one at g(x, y).
  void Then(const Map& g) {
    const Map f = *this;
    ax = f.ax * g.ax + f.bx * g.ay;
    bx = f.ax * g.bx + f.bx * g.by;
    cx = f.ax * g.cx + f.bx * g.cy + f.cx;
    ay = f.ay * g.ax + f.by * g.ay;
    by = f.ay * g.bx + f.by * g.by;
    cy = f.ay * g.cx + f.by * g.cy + f.cy;
  }
  bool Identity() const { return ax == 1 && bx == 0 && cx == 0 && ay == 0 && by == 1 && cy == 0; }
};

// The image being turned, as the map from its pixels to the original's and its size.
struct Shape {
  Map map;
  int64_t w, h;

  void ReverseRows() { map.Then(Map{1, 0, 0, 0, -1, h - 1}); }
  void ReverseColumns() { map.Then(Map{-1, 0, w - 1, 0, 1, 0}); }
  // New (x, y) = old (y, h - 1 - x).
  void QuarterClockwise() {
    map.Then(Map{0, 1, 0, -1, 0, h - 1});
    std::swap(w, h);
  }
  // New (x, y) = old (w - 1 - x, h - 1 - y).
  void Half() { map.Then(Map{-1, 0, w - 1, 0, -1, h - 1}); }
};

// Rows [srcRow, srcRow + rows) and columns [srcCol, srcCol + cols) of the turned image go to
// (dstCol, dstRow) of the output.
struct Region {
  int64_t srcRow = 0, srcCol = 0, dstRow = 0, dstCol = 0, rows = 0, cols = 0;
};

constexpr int64_t kBlock = 64;

bool Copy(const Page& page, const WorkImage& src, const Map& f, const Region& r, uint8_t mask,
          WorkImage& dst) {
  if (f.ay == 0) {
    // Output rows are source rows, read forward or backward.
    for (int64_t i = 0; i < r.rows; ++i) {
      if (page.Cancelled()) return false;
      const int64_t y = r.srcRow + i;
      const uint8_t* s = src.Row(static_cast<uint32_t>(f.by * y + f.cy)) + (f.ax * r.srcCol + f.cx);
      uint8_t* d = dst.Row(static_cast<uint32_t>(r.dstRow + i)) + r.dstCol;
      if (f.ax == 1 && mask == 0) {
        std::memcpy(d, s, static_cast<size_t>(r.cols));
      } else if (f.ax == 1) {
        for (int64_t j = 0; j < r.cols; ++j) d[j] = s[j] ^ mask;
      } else {
        for (int64_t j = 0; j < r.cols; ++j) d[j] = s[-j] ^ mask;
      }
    }
    return true;
  }
  // Output rows are source columns: copied in square blocks, so that both sides stay in cache.
  const ptrdiff_t step = static_cast<ptrdiff_t>(f.ay) * src.Stride();
  for (int64_t i0 = 0; i0 < r.rows; i0 += kBlock) {
    if (page.Cancelled()) return false;
    const int64_t i1 = std::min(i0 + kBlock, r.rows);
    for (int64_t j0 = 0; j0 < r.cols; j0 += kBlock) {
      const int64_t j1 = std::min(j0 + kBlock, r.cols);
      for (int64_t i = i0; i < i1; ++i) {
        const int64_t y = r.srcRow + i;
        const int64_t x0 = r.srcCol + j0;
        const uint8_t* s = src.Row(static_cast<uint32_t>(f.ay * x0 + f.cy)) + (f.bx * y + f.cx);
        uint8_t* d = dst.Row(static_cast<uint32_t>(r.dstRow + i)) + r.dstCol + j0;
        for (int64_t j = 0; j < j1 - j0; ++j, s += step) d[j] = *s ^ mask;
      }
    }
  }
  return true;
}

}  // namespace

namespace {

// Steps 10 to 14 worked out for an image of w x h: the turned image's map, the mask of the
// negative, the output size and the region copied.
struct Plan {
  Shape shape;
  uint8_t mask = 0;
  int64_t outW = 0, outH = 0;
  Region r;
  bool covers = false;

  bool KeepsImage() const { return covers && mask == 0 && shape.map.Identity(); }
};

Plan PlanLayOut(const Page& page, int64_t width, int64_t height) {
  const PrinterDevmode& s = *page.settings;
  const uint32_t flags = s.Flags;
  const int orientation = s.dm.dmOrientation;
  const bool rotate = (flags & kFlagRotate180) != 0;

  Shape shape{Map{}, width, height};
  // Step 10.
  if (flags & kFlagMirror) {
    if (orientation == DMORIENT_LANDSCAPE) shape.ReverseRows();
    if (orientation == DMORIENT_PORTRAIT) shape.ReverseColumns();
  }
  // Step 11.
  if (orientation == DMORIENT_LANDSCAPE) {
    shape.QuarterClockwise();
    if (!rotate) shape.Half();
  } else if (orientation == DMORIENT_PORTRAIT && rotate) {
    shape.Half();
  }
  // Step 12.
  if (s.PrintLanguage == kLangTspl && (flags & kFlagOutDir0)) shape.Half();
  // Step 13.
  const uint8_t mask = (flags & kFlagNegative) ? 0xFF : 0x00;

  // Step 14.
  const int64_t iw = shape.w, ih = shape.h;
  int64_t cw = iw, ch = ih;
  if (s.PrintLanguage == kLangTwl) {
    cw = page.DotsOverM(page.in->model->MaxWidth);
    ch = page.DotsOverM(page.in->model->MaxLength);
  }
  int64_t offset = 0;
  if (iw < cw) {
    const uint32_t align = flags & kFlagAlignMask;
    if (align == kFlagAlignCentre) offset = (cw - iw) / 2;
    if (align == kFlagAlignRight) offset = cw - iw;
  }
  const int64_t sx = page.DotsOverM(s.ShiftH), sy = page.DotsOverM(s.ShiftV);
  int64_t outW = iw, outH = ih;
  Region r;
  r.rows = ih;
  r.cols = iw;
  if (!(sx + iw <= 0 || sy + ih <= 0 || sx >= cw || sy >= ch)) {
    outW = cw;
    outH = std::min(sy + ih, ch);
    r.srcRow = sy < 0 ? -sy : 0;
    r.dstRow = std::max<int64_t>(sy, 0);
    r.rows = outH - r.dstRow;
    const int64_t x = offset + sx;
    r.srcCol = x < 0 ? -x : 0;
    r.dstCol = std::max<int64_t>(x, 0);
    r.cols = std::max<int64_t>(0, std::min(iw - r.srcCol, cw - r.dstCol));
  }
  const bool covers = r.srcRow == 0 && r.srcCol == 0 && r.dstRow == 0 && r.dstCol == 0 &&
                      r.rows == outH && r.cols == outW && outW == iw && outH == ih;
  return Plan{shape, mask, outW, outH, r, covers};
}

}  // namespace

bool LayOutKeepsImage(const Page& page, uint32_t width, uint32_t height) {
  return PlanLayOut(page, width, height).KeepsImage();
}

bool LayOut(const Page& page, WorkImage& image) {
  const Plan plan = PlanLayOut(page, image.Width(), image.Height());
  if (plan.KeepsImage()) return true;
  const int64_t outW = plan.outW, outH = plan.outH;
  if (!FitsImageLimits(outW, outH)) {
    DbgPrint(TEXT("RenderPageRaster: a canvas of %I64d x %I64d dots is out of range; page not sent"), outW,
             outH);
    return false;
  }
  WorkImage out;
  const bool ok = plan.covers ? out.Allocate(static_cast<uint32_t>(outW), static_cast<uint32_t>(outH))
                              : out.AllocateWhite(static_cast<uint32_t>(outW), static_cast<uint32_t>(outH));
  if (!ok) {
    // Without memory for the turned and placed copy the page goes out as it was, not at all.
    DbgPrint(TEXT("RenderPageRaster: no memory to turn and place a page of %u x %u; sent as it is"), image.Width(),
             image.Height());
    return true;
  }
  if (!Copy(page, image, plan.shape.map, plan.r, plan.mask, out)) return false;
  image = std::move(out);
  return true;
}

void PaperSavingRows(const Page& page, const WorkImage& image, uint32_t* first, uint32_t* end) {
  const uint32_t w = image.Width();
  PaperSavingRows(page, image.Height(), [&](uint32_t y) { return BytesAllWhite(image.Row(y), w); }, first, end);
}

void PaperSavingRows(const Page& page, uint32_t h, const std::function<bool(uint32_t)>& blank, uint32_t* first,
                     uint32_t* end) {
  *first = 0;
  *end = h;
  uint32_t mode = page.settings->PaperSaving;
  if (mode == 0 && page.in->paper && (page.in->paper->Flags & kPaperContinuousUnfixed)) mode = 3;
  if (mode < 1 || mode > 3) return;
  uint32_t top = 0;
  if (mode != 2) {
    while (top < h && blank(top)) ++top;
  }
  uint32_t bottom = h;
  if (mode != 1) {
    while (bottom > 0 && blank(bottom - 1)) --bottom;
    // The floor below the leading blank rows stays inside the image.
    bottom = std::min(std::max(bottom, top + 21), h);
  }
  *first = top <= 10 ? top : top - 10;
  *end = h - bottom <= 10 ? bottom : bottom + 10;
}

}  // namespace pipeline_detail
