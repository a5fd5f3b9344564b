// Error diffusion for the dither levels that use it, on grey rows made as they are needed, with
// the image operations' rules: rows in stored order and pixels left to right; a value below 129
// is black with error v, else white with error v - 255; each neighbour gets w x e / D truncated
// toward zero and is clamped to 0..255; error past the left and right edges goes to spare columns
// and error for rows past the top is dropped.
#include <algorithm>
#include <new>

#include "image/diffusion_kernels.h"
#include "render/pipeline/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pipeline_detail {

using namespace diffusion;

bool DiffusionRows::Prepare(const GreyRows& grey, int method) {
  grey_ = grey;
  method_ = method;
  span_ = grey.width + 2 * kPad;
  try {
    ring_.assign(static_cast<size_t>(span_) * (kRing + 1), 0);
    greyScratch_.assign(grey.width, 0);
    bits_.assign(static_cast<size_t>(kHistory) * RowBytes(), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Restart();
  return true;
}

void DiffusionRows::Restart() {
  next_ = 0;
  for (uint32_t y = 0; y < std::min<uint32_t>(grey_.height, kRing); ++y) Load(y);
}

int* DiffusionRows::RingRow(uint32_t slot) { return ring_.data() + static_cast<size_t>(slot) * span_ + kPad; }

void DiffusionRows::Load(uint32_t y) {
  int* r = RingRow(y % kRing);
  const uint8_t* g = grey_.Row(y, greyScratch_.data());
  for (int i = 1; i <= kPad; ++i) r[-i] = r[grey_.width - 1 + i] = 0;
  uint32_t x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x + 16 <= grey_.width; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x), _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x + 4), _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x + 8), _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x + 12), _mm_unpackhi_epi16(hi, zero));
  }
#endif
  for (; x < grey_.width; ++x) r[x] = g[x];
}

const uint8_t* DiffusionRows::Row(uint32_t y) {
  // Rows come out in order; one asked for again is kept for a few rows, else made again.
  if (y + kHistory < next_) Restart();
  while (next_ <= y) {
    const uint32_t h = grey_.height, row = next_;
    int* rows[kRing];
    for (uint32_t dy = 0; dy < kRing; ++dy) {
      // Error for rows past the top goes to a row that is never read.
      rows[dy] = row + dy < h ? RingRow((row + dy) % kRing) : RingRow(kRing);
    }
    uint8_t* bits = bits_.data() + static_cast<size_t>(row % kHistory) * RowBytes();
    switch (method_) {
      case RasterImage::kBurkes: DiffuseRow<Burkes>(rows, grey_.width, bits); break;
      case RasterImage::kStucki: DiffuseRow<Stucki>(rows, grey_.width, bits); break;
      case RasterImage::kJarvisJudiceNinke: DiffuseRow<JarvisJudiceNinke>(rows, grey_.width, bits); break;
      case RasterImage::kSierra: DiffuseRow<Sierra>(rows, grey_.width, bits); break;
      case RasterImage::kStevensonArce: DiffuseRow<StevensonArce>(rows, grey_.width, bits); break;
      default: DiffuseRow<FloydSteinberg>(rows, grey_.width, bits); break;
    }
    if (row + kRing < h) Load(row + kRing);
    ++next_;
  }
  return bits_.data() + static_cast<size_t>(y % kHistory) * RowBytes();
}

}  // namespace pipeline_detail
