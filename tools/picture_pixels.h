// Picture pixels shared by the decoder modules of lbl print (lblpng.so, lbljpeg.so).
#pragma once

#include <sys/mman.h>

#include <cstdint>

#include "tools/viewer/png.h"

namespace lbl {

// The picture's pixels, asked for as huge pages before they are first touched: a label picture is
// megabytes, and faulting them in 4 KiB at a time costs more than decoding them.
inline void SizePicture(lblview::RgbImage* image, uint32_t width, uint32_t height) {
  const size_t bytes = size_t{width} * height * 3;
  image->width = width;
  image->height = height;
  image->rgb.reserve(bytes);
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto start = reinterpret_cast<uintptr_t>(image->rgb.data());
  const uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1), end = (start + bytes) & ~(kHuge - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
  image->rgb.resize(bytes);
}

}  // namespace lbl
