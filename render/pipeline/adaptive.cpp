// Dither level 1: the adaptive threshold (method 0, 8-pixel boxes, no mask, bias 0, balance 0.5)
// of the grey page, one packed row at a time, with the image operations' arithmetic:
// - Each box's level is (L + G) / 2, L the box's optimal threshold and G the page's; both are
//   whole numbers and the balance is one half, so the double sum is exact and truncates to this.
// - The bilinear enlargement of the box levels samples x / 8 and y / 8 exactly: every weight is a
//   multiple of 1/8, every sum a multiple of 1/64, so a mask level is (N + 32) >> 6 for the
//   integer N = sum of (8 - ry or ry) x (8 - rx or rx) x level.
// - Box and page thresholds lie in 0..254 (a single level v gives v - 1, several a level below the
//   highest), so every mask level does too.
// - The optimal threshold of a box is computed as the image operations do it (the same sums,
//   the same double expressions in the same order, the same tie rules), for boxes of at most 64
//   pixels, where every exact sum fits 64 bits and converts to double without rounding.
#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "image/optimal_threshold.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

using optimal::kEntropyScale;
constexpr uint32_t kBox = 8;
constexpr int kMaxBoxPixels = 64;
// Bound on |estimate - exact| of a minimum-error score: each rough logarithm is off by less than
// 2e-5 (checked for every float from 1 to 2^29) and weighs at most 32, half the box's pixels; the
// single-precision sums add less than 1e-3.
constexpr double kMinErrorSlack = 0.01;

// ln n and round(n ln n x 2^20) for the counts of one box.
struct LogTable {
  double ln[kMaxBoxPixels + 1];
  int64_t nLn[kMaxBoxPixels + 1];
  LogTable() {
    ln[0] = 0;
    nLn[0] = 0;
    for (int n = 1; n <= kMaxBoxPixels; ++n) {
      ln[n] = std::log(static_cast<double>(n));
      nLn[n] = std::llround(static_cast<double>(n) * ln[n] * kEntropyScale);
    }
  }
};
const LogTable& Logs() {
  static const LogTable table;
  return table;
}

// ln x for x >= 1 within 2e-5: x = 2^e m with m in [1, 2), ln m = 2 atanh((m - 1) / (m + 1)) by
// its series to the seventh power (the rest is below 1.3e-5 for m < 2).
inline float RoughLn(float x) {
  const uint32_t bits = std::bit_cast<uint32_t>(x);
  const int e = static_cast<int>(bits >> 23) - 127;
  const float m = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
  const float t = (m - 1) / (m + 1), t2 = t * t;
  return static_cast<float>(e) * 0.69314718f + 2 * t * (1 + t2 * (1.0f / 3 + t2 * (1.0f / 5 + t2 * (1.0f / 7))));
}

double Variance(uint64_t n, uint64_t a, uint64_t q) {
  const uint64_t num = n * q - a * a;
  return static_cast<double>(num) / static_cast<double>(n) / static_cast<double>(n);
}

}  // namespace

int BoxThreshold(const int* level, const uint32_t* count, int m) {
  if (m <= 0 || m > kMaxBoxPixels) return -1;
  const int lo = level[0], hi = level[m - 1];
  if (lo == hi) return lo > 0 ? lo - 1 : 0;
  const LogTable& logs = Logs();
  uint64_t n[kMaxBoxPixels], a[kMaxBoxPixels], q[kMaxBoxPixels];
  int64_t e[kMaxBoxPixels];
  uint64_t sn = 0, sa = 0, sq = 0;
  int64_t se = 0;
  for (int j = 0; j < m; ++j) {
    const uint64_t h = count[j], i = static_cast<uint64_t>(level[j]);
    if (h == 0 || sn + h > kMaxBoxPixels) return -1;
    sn += h;
    sa += h * i;
    sq += h * i * i;
    se += logs.nLn[h];
    n[j] = sn;
    a[j] = sa;
    q[j] = sq;
    e[j] = se;
  }

  optimal::Best within, minError, entropy;
  // Minimum error: m ln(m / sqrt(s)) = m (2 ln n - ln(n q - a^2) / 2) is first estimated, within
  // kMinErrorSlack of the exact score, without divisions or logarithms of double precision; only
  // splits whose estimate comes that close to the best lower bound can be the first maximum, and
  // only they are scored exactly, in order.
  float estimate[kMaxBoxPixels];
  bool scored[kMaxBoxPixels];
  double floor = -HUGE_VAL;
  auto roughScore = [&logs](uint64_t cn, uint64_t ca, uint64_t cq) {
    return 2 * static_cast<float>(logs.ln[cn]) - 0.5f * RoughLn(static_cast<float>(cn * cq - ca * ca));
  };
  for (int j = 0; j + 1 < m; ++j) {
    const optimal::Split c = optimal::SplitAfter(j, n, a, q, sn, sa, sq, Variance);
    within.Offer(c.Within(), level[j]);
    scored[j] = c.s1 > 0 && c.s2 > 0;
    if (scored[j]) {
      const float v1 = roughScore(c.n1, c.a1, c.q1), v2 = roughScore(c.n2, c.a2, c.q2);
      estimate[j] = static_cast<float>(c.m2) * v2 + static_cast<float>(c.m1) * v1;
      floor = std::max(floor, estimate[j] - kMinErrorSlack);
    }
    entropy.Offer(c.Entropy(logs.ln[c.n1], logs.ln[c.n2], e[j], se), level[j]);
  }
  for (int j = 0; j + 1 < m; ++j) {
    if (!scored[j] || estimate[j] + kMinErrorSlack < floor) continue;
    minError.Offer(optimal::SplitAfter(j, n, a, q, sn, sa, sq, Variance).MinError(), level[j]);
  }

  // Box sums stay below 2^23, so the products fit 64 bits.
  auto less = [](uint64_t x0, uint64_t y0, uint64_t x1, uint64_t y1) { return x0 * y0 < x1 * y1; };
  const int potential = optimal::PotentialDifference(level, n, a, q, m, sn, sa, sq, less);
  return optimal::Choose({within.level, minError.level, entropy.level, potential}, 0, lo, hi);
}

bool AdaptiveRows::Prepare(const Page& page, const RasterImage& grey) {
  grey_ = &grey;
  const uint32_t w = grey.Width(), h = grey.Height();
  cols_ = (w + kBox - 1) / kBox;
  rows_ = (h + kBox - 1) / kBox;
  try {
    levels_.assign(static_cast<size_t>(cols_) * rows_, 0);
    for (int i = 0; i < 2; ++i) {
      across_[i].assign(w, 0);
      tag_[i] = -1;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  uint64_t pageHist[256] = {};
  uint32_t count[256] = {};
  uint8_t seen[256] = {};
  for (uint32_t by = 0; by < rows_; ++by) {
    if (page.Cancelled()) return false;
    const uint32_t y0 = by * kBox, n = std::min(kBox, h - y0);
    const uint8_t* band[kBox];
    for (uint32_t r = 0; r < n; ++r) band[r] = grey.Row(y0 + r);
    for (uint32_t bx = 0; bx < cols_; ++bx) {
      const uint32_t x0 = bx * kBox, x1 = std::min(x0 + kBox, w);
      uint8_t& out = levels_[static_cast<size_t>(by) * cols_ + bx];
      const uint8_t v = band[0][x0];
      if (x1 - x0 == kBox) {
        // A box of one level (most of a label): the level below it.
        const uint64_t all = 0x0101010101010101ull * v;
        bool uniform = true;
        for (uint32_t r = 0; r < n && uniform; ++r) uniform = Load8(band[r] + x0) == all;
        if (uniform) {
          pageHist[v] += kBox * n;
          out = static_cast<uint8_t>(v > 0 ? v - 1 : 0);
          continue;
        }
      }
      // Counts and a byte per level seen; the seen bytes read eight at a time give the levels in
      // ascending order.
      for (uint32_t r = 0; r < n; ++r) {
        for (uint32_t x = x0; x < x1; ++x) {
          const uint8_t g = band[r][x];
          ++count[g];
          seen[g] = 1;
        }
      }
      int level[kMaxBoxPixels];
      uint32_t counts[kMaxBoxPixels];
      int m = 0;
      for (int word = 0; word < 32; ++word) {
        uint64_t bytes = Load8(seen + 8 * word);
        if (!bytes) continue;
        std::memset(seen + 8 * word, 0, 8);
        for (; bytes; bytes &= bytes - 1) {
          const int g = 8 * word + std::countr_zero(bytes) / 8;
          level[m] = g;
          counts[m++] = count[g];
          pageHist[g] += count[g];
          count[g] = 0;
        }
      }
      const int local = BoxThreshold(level, counts, m);
      if (local < 0) return false;
      out = static_cast<uint8_t>(local);
    }
  }
  const int global = OptimalThresholdOfHistogram(pageHist, 0);
  if (global < 0) return false;
  // (1 - 0.5) L + 0.5 G, truncated.
  for (uint8_t& l : levels_) l = static_cast<uint8_t>((l + global) >> 1);
  return true;
}

// Level row i enlarged across: (8 - rx) L[c] + rx L[c + 1], the last column repeated.
const uint16_t* AdaptiveRows::Across(uint32_t i) {
  int slot = tag_[0] == i ? 0 : tag_[1] == i ? 1 : -1;
  if (slot >= 0) return across_[slot].data();
  slot = next_;
  next_ ^= 1;
  tag_[slot] = i;
  uint16_t* out = across_[slot].data();
  const uint8_t* l = &levels_[static_cast<size_t>(i) * cols_];
  const uint32_t w = grey_->Width();
  for (uint32_t x = 0; x < w; ++x) {
    const uint32_t c = x >> 3, rx = x & 7;
    const uint32_t c1 = std::min(c + 1, cols_ - 1);
    out[x] = static_cast<uint16_t>((8 - rx) * l[c] + rx * l[c1]);
  }
  return out;
}

void AdaptiveRows::Row(uint32_t y, uint8_t* bits) {
  const uint32_t i = y >> 3, ry = y & 7;
  const uint16_t* top = Across(i);
  const uint16_t* next = Across(std::min(i + 1, rows_ - 1));
  const uint8_t* g = grey_->Row(y);
  const uint32_t w = grey_->Width();
  const uint32_t wt = 8 - ry;
  uint32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    // Every level lies in 0..254, so white pixels stay white and black ones black.
    const uint64_t v = Load8(g + x);
    if (v == ~0ull || v == 0) {
      bits[x >> 3] = static_cast<uint8_t>(v);
      continue;
    }
    unsigned byte = 0;
    for (uint32_t k = 0; k < 8; ++k) {
      const uint32_t mask = (wt * top[x + k] + ry * next[x + k] + 32) >> 6;
      byte = byte << 1 | (g[x + k] > mask ? 1u : 0u);
    }
    bits[x >> 3] = static_cast<uint8_t>(byte);
  }
  if (x < w) {
    unsigned byte = 0;
    for (uint32_t k = 0; x + k < w; ++k) {
      const uint32_t mask = (wt * top[x + k] + ry * next[x + k] + 32) >> 6;
      byte |= (g[x + k] > mask ? 0x80u : 0u) >> k;
    }
    bits[x >> 3] = static_cast<uint8_t>(byte);
  }
}

}  // namespace pipeline_detail
