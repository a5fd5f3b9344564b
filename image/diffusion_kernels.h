// The error-diffusion kernels and the row loop, shared by the image operations' dither and the page
// pipeline's fast path so that both spread error the same way. Each kernel is its divisor and its taps:
// a neighbour dx columns right and dy rows on (dy = +1 is the next row in processing order) gets
// w x e / kDivisor, truncated toward zero, and is clamped to 0..255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace diffusion {

// Internal linkage, as where each user defined its own: every user's loops see the taps as
// constants of its own translation unit.
namespace {

struct Tap {
  int dx;
  int dy;
  int w;
};

struct FloydSteinberg {
  static constexpr int kDivisor = 16;
  static constexpr Tap kTaps[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
};
struct Burkes {
  static constexpr int kDivisor = 32;
  static constexpr Tap kTaps[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
};
struct Stucki {
  static constexpr int kDivisor = 42;
  static constexpr Tap kTaps[] = {{1, 0, 8},  {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                                  {2, 1, 2},  {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},  {1, 2, 2}, {2, 2, 1}};
};
struct JarvisJudiceNinke {
  static constexpr int kDivisor = 48;
  static constexpr Tap kTaps[] = {{1, 0, 7},  {2, 0, 5},  {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
                                  {2, 1, 3},  {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5},  {1, 2, 3}, {2, 2, 1}};
};
struct Sierra {
  static constexpr int kDivisor = 32;
  static constexpr Tap kTaps[] = {{1, 0, 5},  {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                                  {1, 1, 4},  {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
};
struct StevensonArce {
  static constexpr int kDivisor = 200;
  static constexpr Tap kTaps[] = {{2, 0, 32},  {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12},
                                  {0, 2, 26},  {2, 2, 12},  {-3, 3, 5},  {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}};
};

}  // namespace

// The widest reach of any kernel to either side and the most rows it looks ahead.
constexpr int kMaxReach = 3;
constexpr int kMaxRowsAhead = 3;

namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Eight values from p on that are all 255 (1) or all 0 (0), else -1: such a group is white or black
// without error, so it only sets its byte.
inline int Solid8(const int* p) {
#if defined(__SSE2__)
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
  const __m128i white = _mm_set1_epi32(255);
  if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(a, white), _mm_cmpeq_epi32(b, white))) == 0xFFFF) return 1;
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a, b), _mm_setzero_si128())) == 0xFFFF) return 0;
  return -1;
#else
  bool white = true, black = true;
  for (int i = 0; i < 8; ++i) {
    white = white && p[i] == 255;
    black = black && p[i] == 0;
  }
  return white ? 1 : black ? 0 : -1;
#endif
}

// The pixel's error to one tap, resolved when compiled: taps on the current row go to the register
// window (win[k] is the pixel k columns on), the others to their row in memory.
template <typename Kernel, size_t I>
inline void SpreadTap(int e, int x, int* win, int* const* rows) {
  constexpr Tap t = Kernel::kTaps[I];
  static_assert(t.dy > 0 || (t.dx >= 1 && t.dx <= 2), "a tap on the current row lies 1 or 2 columns on");
  if constexpr (t.dy == 0) {
    win[t.dx] = Clamp255(win[t.dx] + t.w * e / Kernel::kDivisor);
  } else {
    int* p = rows[t.dy] + x + t.dx;
    *p = Clamp255(*p + t.w * e / Kernel::kDivisor);
  }
}

template <typename Kernel, size_t... I>
inline void Spread(int e, int x, int* win, int* const* rows, std::index_sequence<I...>) {
  (SpreadTap<Kernel, I>(e, x, win, rows), ...);
}

// One row: rows[0] the current row, rows[dy] the rows ahead (a row nobody reads for those past the
// end), each with kMaxReach spare columns on both sides; `bits` gets the row, 1 for white, first pixel
// in the top bit. A value below 129 is black with error v, else white with error v - 255. The current
// row's next three values stay in registers: the error a pixel sends its right neighbours is what the
// next pixel waits for.
template <typename Kernel>
void DiffuseRow(int* const* rows, uint32_t width, uint8_t* bits) {
  constexpr auto kTaps = std::make_index_sequence<sizeof Kernel::kTaps / sizeof(Tap)>();
  int* cur = rows[0];
  int win[3] = {cur[0], cur[1], cur[2]};
  unsigned byte = 0;
  for (uint32_t x = 0; x < width; ++x) {
    if ((x & 7) == 0 && x + 8 <= width) {
      cur[x] = win[0];
      cur[x + 1] = win[1];
      cur[x + 2] = win[2];
      const int solid = Solid8(cur + x);
      if (solid >= 0) {
        bits[x >> 3] = solid ? 0xFF : 0x00;
        x += 7;
        win[0] = cur[x + 1];
        win[1] = cur[x + 2];
        win[2] = cur[x + 3];
        continue;
      }
    }
    const int v = win[0];
    const int white = v >= 129;
    const int e = v - (white ? 255 : 0);
    byte = byte << 1 | static_cast<unsigned>(white);
    if ((x & 7) == 7) bits[x >> 3] = static_cast<uint8_t>(byte);
    if (e != 0) Spread<Kernel>(e, static_cast<int>(x), win, rows, kTaps);
    win[0] = win[1];
    win[1] = win[2];
    win[2] = cur[x + 3];
  }
  if (width & 7) bits[width >> 3] = static_cast<uint8_t>(byte << (8 - (width & 7)));
}

}  // namespace

}  // namespace diffusion
