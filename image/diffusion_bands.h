// Error diffusion of a whole image many rows at a time, one row per byte lane of a vector (16 lanes
// with SSE2, 32 with AVX2 where the processor has it), with the same result as DiffuseRow over every
// row in turn.
//
// Each pixel's value waits for the error of the pixel before it, so one row at a time is a chain of
// dependent steps. Rows can run side by side if each starts `kSkew` columns after the row above it:
// lane k works on column t - k x kSkew at step t. The skew is 2 x reach + 1, which keeps the order
// in which every pixel receives its shares the order of the row-by-row loop (rows first, then
// columns). That matters because each share is clamped to 0..255 as it lands.
//
// The values stay bytes, stored as v - 128: a share is at most 111 (7 x 255 / 16), so "add, then
// clamp to 0..255" is one signed saturating add. The error's size m = |e| is at most 128; w x m /
// divisor is a high multiply by a constant checked below for every m. Of each band's lanes the last
// kMaxDy only receive: those rows carry what they received into the first lanes of the next band.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "image/diffusion_kernels.h"

#if defined(__SSE2__)
#include <immintrin.h>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LBL_HAVE_AVX2_BANDS 1
#endif

namespace diffusion {
namespace {

template <typename Kernel, int Lanes>
struct BandShape {
  static constexpr int kTapCount = sizeof Kernel::kTaps / sizeof(Tap);

  static constexpr int Reach() {
    int r = 0;
    for (const Tap& t : Kernel::kTaps) r = t.dx < -r ? -t.dx : t.dx > r ? t.dx : r;
    return r;
  }
  static constexpr int MaxDy() {
    int d = 0;
    for (const Tap& t : Kernel::kTaps) d = t.dy > d ? t.dy : d;
    return d;
  }
  // How far on the current row the window of values held in registers reaches.
  static constexpr int Window() {
    int d = 0;
    for (const Tap& t : Kernel::kTaps)
      if (t.dy == 0 && t.dx > d) d = t.dx;
    return d;
  }

  // The kernel's distinct weights, and for each tap the index of its weight.
  struct Weights {
    int count = 0;
    int w[kTapCount] = {};
    int of[kTapCount] = {};
  };
  static constexpr Weights MakeWeights() {
    Weights r;
    for (int i = 0; i < kTapCount; ++i) {
      int j = 0;
      while (j < r.count && r.w[j] != Kernel::kTaps[i].w) ++j;
      if (j == r.count) r.w[r.count++] = Kernel::kTaps[i].w;
      r.of[i] = j;
    }
    return r;
  }

  // (m x Multiplier(w)) >> 16 == w x m / divisor for every error size m the loop can meet.
  static constexpr uint16_t Multiplier(int w) {
    return static_cast<uint16_t>((w * 65536 + Kernel::kDivisor - 1) / Kernel::kDivisor);
  }
  static constexpr bool MultipliersExact() {
    for (int i = 0; i < kWeights.count; ++i) {
      const int w = kWeights.w[i];
      if (w >= Kernel::kDivisor || w * 255 / Kernel::kDivisor > 127) return false;
      for (int m = 0; m <= 128; ++m)
        if (((m * Multiplier(w)) >> 16) != w * m / Kernel::kDivisor) return false;
    }
    return true;
  }

  static constexpr int kLanes = Lanes;
  static constexpr int kReach = Reach();
  static constexpr int kMaxDy = MaxDy();
  static constexpr int kWindow = Window();
  static constexpr int kSkew = 2 * kReach + 1;
  static constexpr int kOwned = kLanes - kMaxDy;  // rows each band finishes
  static constexpr Weights kWeights = MakeWeights();
  static_assert(kWindow >= 1 && kWindow <= kReach && kMaxDy >= 1 && kMaxDy < kLanes && kLanes % 16 == 0);
  static_assert(MultipliersExact());
};

// The working buffer of a band: entry t (step t) at index t + kPad, kLanes bytes each.
template <typename Kernel, int Lanes>
class BandBuffer {
 public:
  using S = BandShape<Kernel, Lanes>;
  static constexpr int kPad = S::kReach;
  // Rows are filled sixteen entries at a time from zero-padded copies: column c of lane k's copy is
  // at kLead + c, and entry i reads kLead + i - kPad - k x skew.
  static constexpr int kLead = kPad + (Lanes - 1) * S::kSkew;

  explicit BandBuffer(uint32_t width)
      : steps_(static_cast<int>(width) + (Lanes - 1) * S::kSkew),
        entries_((static_cast<size_t>(kPad + steps_ + S::kReach + S::kMaxDy * S::kSkew + S::kWindow + 1) + 15) / 16 *
                 16) {}

  int Steps() const { return steps_; }
  size_t Entries() const { return entries_; }
  size_t Bytes() const { return entries_ * Lanes; }
  // Byte offset of lane k's column c.
  static size_t At(int k, int c) { return static_cast<size_t>(c + k * S::kSkew + kPad) * Lanes + k; }
  // Length of a padded row copy.
  size_t PaddedRow() const { return kLead + entries_ + 16; }

 private:
  int steps_;
  size_t entries_;
};

// r[k] byte j becomes r[j] byte k: four rounds of interleaving row i with row i + 8.
[[gnu::always_inline]] inline void Transpose16(__m128i r[16]) {
#pragma GCC unroll 4
  for (int round = 0; round < 4; ++round) {
    __m128i n[16];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
      n[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
      n[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
    }
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) r[i] = n[i];
  }
}

// Fills every entry of the band from the padded row copies (`padded`, one of shape.PaddedRow()
// bytes per lane), sixteen lanes at a time, each byte XORed with `flip`.
template <typename Kernel, int Lanes>
void FillBand(const BandBuffer<Kernel, Lanes>& shape, const uint8_t* padded, uint8_t flip, uint8_t* buf) {
  using Buffer = BandBuffer<Kernel, Lanes>;
  const size_t span = shape.PaddedRow();
  const __m128i bias = _mm_set1_epi8(static_cast<char>(flip));
  for (int g = 0; g < Lanes; g += 16) {
    for (size_t i0 = 0; i0 < shape.Entries(); i0 += 16) {
      __m128i r[16];
#pragma GCC unroll 16
      for (int k = 0; k < 16; ++k) {
        const int lane = g + k;
        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            padded + lane * span + Buffer::kLead + i0 - Buffer::kPad - static_cast<size_t>(lane) * Buffer::S::kSkew));
      }
      Transpose16(r);
#pragma GCC unroll 16
      for (int j = 0; j < 16; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + (i0 + j) * Lanes + g), _mm_xor_si128(r[j], bias));
    }
  }
}

// Row k's pixels from the per-step white masks: bit k of lane[c] for column c (lane = whites + k x
// skew), 1 for white, first pixel in the top bit.
inline void LaneBits(const uint32_t* lane, int k, uint32_t width, uint8_t* bits) {
  static constexpr auto kReverse = [] {
    struct Table {
      uint8_t v[256];
    } t{};
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) t.v[b] |= static_cast<uint8_t>(0x80 >> i);
    return t;
  }();
  const __m128i count = _mm_cvtsi32_si128(k);
  auto bit31 = [&](uint32_t c) {
    return _mm_slli_epi32(_mm_srl_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lane + c)), count), 31);
  };
  uint32_t c = 0;
  for (; c + 16 <= width; c += 16) {
    const __m128i words = _mm_packs_epi16(_mm_packs_epi32(bit31(c), bit31(c + 4)), _mm_packs_epi32(bit31(c + 8), bit31(c + 12)));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(words));  // bit j: column c + j
    bits[c >> 3] = kReverse.v[m & 0xFF];
    bits[(c >> 3) + 1] = kReverse.v[m >> 8];
  }
  unsigned byte = 0;
  for (uint32_t x = c; x < width; ++x) {
    byte = byte << 1 | ((lane[x] >> k) & 1u);
    if ((x & 7) == 7) bits[x >> 3] = static_cast<uint8_t>(byte);
  }
  if (width & 7) bits[width >> 3] = static_cast<uint8_t>(byte << (8 - (width & 7)));
}

}  // namespace

// ---- one set of byte-lane operations per instruction set ----

namespace sse2 {
namespace {
#define LBL_VEC [[gnu::always_inline]] static inline
struct Vec {
  using T = __m128i;
  static constexpr int kLanes = 16;
  LBL_VEC T Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  LBL_VEC void Store(uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
  LBL_VEC T Zero() { return _mm_setzero_si128(); }
  LBL_VEC T Bytes(char v) { return _mm_set1_epi8(v); }
  LBL_VEC T Words(short v) { return _mm_set1_epi16(v); }
  LBL_VEC T AddSat(T a, T b) { return _mm_adds_epi8(a, b); }
  LBL_VEC T Sub(T a, T b) { return _mm_sub_epi8(a, b); }
  LBL_VEC T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  LBL_VEC T And(T a, T b) { return _mm_and_si128(a, b); }
  LBL_VEC T Greater(T a, T b) { return _mm_cmpgt_epi8(a, b); }
  LBL_VEC T WidenLo(T a) { return _mm_unpacklo_epi8(a, _mm_setzero_si128()); }
  LBL_VEC T WidenHi(T a) { return _mm_unpackhi_epi8(a, _mm_setzero_si128()); }
  LBL_VEC T MulHi(T a, T b) { return _mm_mulhi_epu16(a, b); }
  LBL_VEC T Narrow(T lo, T hi) { return _mm_packus_epi16(lo, hi); }
  LBL_VEC uint32_t Mask(T a) { return static_cast<uint32_t>(_mm_movemask_epi8(a)); }
  // Lane k to lane k + N (zeros in).
  template <int N>
  LBL_VEC T Up(T a) {
    return _mm_slli_si128(a, N);
  }
};
#undef LBL_VEC
}  // namespace
#define LBL_BANDS_TARGET
#include "image/diffusion_bands_impl.h"
#undef LBL_BANDS_TARGET
}  // namespace sse2

#if defined(LBL_HAVE_AVX2_BANDS)
namespace avx2 {
namespace {
#define LBL_VEC [[gnu::always_inline]] __attribute__((target("avx2"))) static inline
struct Vec {
  using T = __m256i;
  static constexpr int kLanes = 32;
  LBL_VEC T Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  LBL_VEC void Store(uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
  LBL_VEC T Zero() { return _mm256_setzero_si256(); }
  LBL_VEC T Bytes(char v) { return _mm256_set1_epi8(v); }
  LBL_VEC T Words(short v) { return _mm256_set1_epi16(v); }
  LBL_VEC T AddSat(T a, T b) { return _mm256_adds_epi8(a, b); }
  LBL_VEC T Sub(T a, T b) { return _mm256_sub_epi8(a, b); }
  LBL_VEC T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  LBL_VEC T And(T a, T b) { return _mm256_and_si256(a, b); }
  LBL_VEC T Greater(T a, T b) { return _mm256_cmpgt_epi8(a, b); }
  // Unpacking and packing both work within each 128-bit half, so the lanes come back in place.
  LBL_VEC T WidenLo(T a) { return _mm256_unpacklo_epi8(a, _mm256_setzero_si256()); }
  LBL_VEC T WidenHi(T a) { return _mm256_unpackhi_epi8(a, _mm256_setzero_si256()); }
  LBL_VEC T MulHi(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  LBL_VEC T Narrow(T lo, T hi) { return _mm256_packus_epi16(lo, hi); }
  LBL_VEC uint32_t Mask(T a) { return static_cast<uint32_t>(_mm256_movemask_epi8(a)); }
  // Lane k to lane k + N across the two halves: the low half moved up (zeros below) supplies the
  // bytes that cross.
  template <int N>
  LBL_VEC T Up(T a) {
    return _mm256_alignr_epi8(a, _mm256_permute2x128_si256(a, a, 0x08), 16 - N);
  }
};
#undef LBL_VEC
}  // namespace
#define LBL_BANDS_TARGET __attribute__((target("avx2")))
#include "image/diffusion_bands_impl.h"
#undef LBL_BANDS_TARGET
}  // namespace avx2
#endif

}  // namespace diffusion

#endif  // __SSE2__
