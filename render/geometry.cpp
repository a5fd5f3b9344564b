#include "render/geometry.h"

#include <algorithm>
#include <cmath>

int32_t MicronsToDots(int32_t microns, DWORD resolution) {
  // 64-bit: a long label at a high input resolution overflows 32 bits before the division.
  return static_cast<int32_t>((int64_t{resolution} * (microns / 100) + 127) / 254);
}

PageGeometry ComputePageGeometry(const PaperRect& paper, const ModelRecord& model, int orientation) {
  const int32_t w = paper.Width, h = paper.Length;
  const int32_t left = std::max(paper.Area.Left, model.MarginLeft);
  const int32_t top = std::max(paper.Area.Top, model.MarginTop);
  const int32_t right = std::min(paper.Area.Right, w - model.MarginRight);
  const int32_t bottom = std::min(paper.Area.Bottom, h - model.MarginBottom);
  PageGeometry g;
  if (orientation == 2 || orientation == 4) {
    g = {h - bottom, left, bottom - top, right - left, h, w};
  } else {
    g = {left, top, right - left, bottom - top, w, h};
  }
  return g;
}

ULONG AspectXY(ULONG resolution) {
  // The integer square root, corrected to the exact ceiling; the same n as summing odd numbers
  // until the sum reaches 2 R^2, without a loop of R steps for absurd resolutions.
  const uint64_t target = 2 * uint64_t{resolution} * resolution;
  uint64_t n = static_cast<uint64_t>(std::sqrt(static_cast<double>(target)));
  while (n * n < target) ++n;
  while (n > 0 && (n - 1) * (n - 1) >= target) --n;
  return static_cast<ULONG>(n);
}
