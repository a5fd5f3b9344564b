// Grey conversion and the fixed threshold of bitmap rows at the plain weights (no contrast or
// brightness change), 32 pixels at a time with SSE2 where the target has it (both Windows builds
// and the Linux build do), else a pixel at a time. Both give the same bytes as GreyMap::Row.
#include "render/colour_adjust.h"
#include "render/pipeline/internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pipeline_detail {

namespace {

inline uint8_t PlainGrey(const uint8_t* bgr) { return WeightedGrey(bgr[0], bgr[1], bgr[2]); }

// Bits of a byte in reverse order: the vector mask has the first pixel lowest.
struct ReverseTable {
  uint8_t bytes[256];
  constexpr ReverseTable() : bytes() {
    for (int b = 0; b < 256; ++b) {
      int r = 0;
      for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
      bytes[b] = static_cast<uint8_t>(r);
    }
  }
};
constexpr ReverseTable kReverse;

#if defined(__SSE2__)

// 32 B, G, R pixels (96 bytes) as 32 grey bytes in two vectors. Solid runs, the most of a label,
// are answered at once: true when all 96 bytes are 255 (white) or all are 0 (black).
inline bool Grey32(const uint8_t* p, __m128i* lo, __m128i* hi) {
  __m128i a[6];
  for (int k = 0; k < 6; ++k) a[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
  const __m128i ones = _mm_set1_epi8(-1), zero = _mm_setzero_si128();
  const __m128i all = _mm_and_si128(_mm_and_si128(_mm_and_si128(a[0], a[1]), _mm_and_si128(a[2], a[3])),
                                    _mm_and_si128(a[4], a[5]));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, ones)) == 0xFFFF) {
    *lo = *hi = ones;
    return true;
  }
  const __m128i any = _mm_or_si128(_mm_or_si128(_mm_or_si128(a[0], a[1]), _mm_or_si128(a[2], a[3])),
                                   _mm_or_si128(a[4], a[5]));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF) {
    *lo = *hi = zero;
    return true;
  }
  // Four rounds of interleaving the first three vectors with the last three sort the bytes by
  // channel: blue, green, red of the even pixels, then of the odd pixels, in pixel order.
  for (int round = 0; round < 4; ++round) {
    __m128i b[6];
    for (int j = 0; j < 3; ++j) {
      b[2 * j] = _mm_unpacklo_epi8(a[j], a[j + 3]);
      b[2 * j + 1] = _mm_unpackhi_epi8(a[j], a[j + 3]);
    }
    for (int k = 0; k < 6; ++k) a[k] = b[k];
  }
  const __m128i wb = _mm_set1_epi16(kGreyWeightBlue), wg = _mm_set1_epi16(kGreyWeightGreen),
                wr = _mm_set1_epi16(kGreyWeightRed);
  // The weights sum to 128, so 255 x 128 = 32640: the sums fit 16 bits.
  auto grey = [&](__m128i b, __m128i g, __m128i r) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(b, wb), _mm_mullo_epi16(g, wg)),
                                      _mm_mullo_epi16(r, wr));
    return _mm_srli_epi16(sum, kGreyShift);
  };
  const __m128i evenLo = grey(_mm_unpacklo_epi8(a[0], zero), _mm_unpacklo_epi8(a[1], zero),
                              _mm_unpacklo_epi8(a[2], zero));
  const __m128i oddLo = grey(_mm_unpacklo_epi8(a[3], zero), _mm_unpacklo_epi8(a[4], zero),
                             _mm_unpacklo_epi8(a[5], zero));
  const __m128i evenHi = grey(_mm_unpackhi_epi8(a[0], zero), _mm_unpackhi_epi8(a[1], zero),
                              _mm_unpackhi_epi8(a[2], zero));
  const __m128i oddHi = grey(_mm_unpackhi_epi8(a[3], zero), _mm_unpackhi_epi8(a[4], zero),
                             _mm_unpackhi_epi8(a[5], zero));
  // Levels are below 256: the odd pixel's level in the high byte puts the pixels back in order.
  *lo = _mm_or_si128(evenLo, _mm_slli_epi16(oddLo, 8));
  *hi = _mm_or_si128(evenHi, _mm_slli_epi16(oddHi, 8));
  return false;
}

// Bit i of the result: grey byte i above 128.
inline uint32_t Above128(__m128i grey) {
  const __m128i flipped = _mm_xor_si128(grey, _mm_set1_epi8(static_cast<char>(0x80)));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(flipped, _mm_setzero_si128())));
}

#endif

}  // namespace

void PlainGreyRow(const uint8_t* bgr, uint8_t* grey, uint32_t width) {
  uint32_t x = 0;
#if defined(__SSE2__)
  for (; x + 32 <= width; x += 32) {
    __m128i lo, hi;
    Grey32(bgr + 3 * static_cast<size_t>(x), &lo, &hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x + 16), hi);
  }
#endif
  for (; x < width; ++x) grey[x] = PlainGrey(bgr + 3 * static_cast<size_t>(x));
}

void PlainThresholdRow(const uint8_t* bgr, uint8_t* bits, uint32_t width) {
  uint32_t x = 0;
#if defined(__SSE2__)
  for (; x + 32 <= width; x += 32) {
    __m128i lo, hi;
    uint8_t* out = bits + (x >> 3);
    if (Grey32(bgr + 3 * static_cast<size_t>(x), &lo, &hi)) {
      std::memset(out, bgr[3 * static_cast<size_t>(x)] ? 0xFF : 0x00, 4);
      continue;
    }
    const uint32_t m = Above128(lo) | Above128(hi) << 16;
    out[0] = kReverse.bytes[m & 0xFF];
    out[1] = kReverse.bytes[(m >> 8) & 0xFF];
    out[2] = kReverse.bytes[(m >> 16) & 0xFF];
    out[3] = kReverse.bytes[m >> 24];
  }
#endif
  // x is a multiple of 8 here; the bits of a last short byte past the width stay 0.
  for (; x < width; x += 8) {
    unsigned byte = 0;
    for (uint32_t i = 0; i < 8 && x + i < width; ++i) {
      byte |= (PlainGrey(bgr + 3 * static_cast<size_t>(x + i)) > 128 ? 0x80u : 0u) >> i;
    }
    bits[x >> 3] = static_cast<uint8_t>(byte);
  }
}

}  // namespace pipeline_detail
