// Optimal and adaptive thresholds.
//
// The four candidates of the optimal threshold are computed so that splits with equal statistics
// give bit-identical scores, which is what makes "ties keep the smaller k" well defined:
// class counts n, sums a and sums of squares q are exact integers; the variance numerator
// n q - a^2 is exact (128-bit); the entropy uses per-bin h ln h rounded to 2^-20 and summed in
// integers, so a class's entropy depends only on its bins, not on how the sum was formed.
//   within-class variance: maximise -(n1 s1 + n2 s2), s = ((n q - a^2) / n) / n
//   minimum error:         maximise n2 ln(n2 / sqrt(s2)) + n1 ln(n1 / sqrt(s1)), both s > 0
//   maximum entropy:       maximise H1 + H2, H = ln n - (sum of h ln h) / n
//   potential difference:  minimise |L - R| / (L + R) (0 when L + R = 0), compared exactly
// The first three depend only on the classes, so every k inside a run of empty bins scores as the
// non-empty bin before it and loses the tie: only k on non-empty bins is scored. For the last,
// L grows and R shrinks strictly with k, so |L - R| / (L + R) falls until L - R changes sign and
// rises after: the minimum is at the last k with L <= R or the one after it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "common/alloc.h"
#include "image/image.h"
#include "image/image_internal.h"
#include "image/optimal_threshold.h"

using namespace image_detail;

namespace {

// Exact 64 x 64 -> 128-bit products; the i686 build has no 128-bit integer type.
#if defined(__SIZEOF_INT128__)
using u128 = unsigned __int128;
inline u128 Mul(uint64_t a, uint64_t b) { return static_cast<u128>(a) * b; }
inline u128 Sub(u128 a, u128 b) { return a - b; }
inline bool Less(u128 a, u128 b) { return a < b; }
inline double ToDouble(u128 v) { return static_cast<double>(v); }
#else
struct u128 {
  uint64_t hi, lo;
};
inline u128 Mul(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xFFFFFFFFu)};
}
inline u128 Sub(u128 a, u128 b) { return {a.hi - b.hi - (a.lo < b.lo ? 1 : 0), a.lo - b.lo}; }
inline bool Less(u128 a, u128 b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
// Rounded once, as the conversion of a native 128-bit integer is: the top 64 bits with the rest
// folded into a sticky bit below the rounding position.
inline double ToDouble(u128 v) {
  if (v.hi == 0) return static_cast<double>(v.lo);
  const int bits = 64 - __builtin_clzll(v.hi);
  uint64_t top, rest;
  if (bits == 64) {
    top = v.hi;
    rest = v.lo;
  } else {
    top = (v.hi << (64 - bits)) | (v.lo >> bits);
    rest = v.lo << (64 - bits);
  }
  return std::ldexp(static_cast<double>(top | (rest != 0 ? 1 : 0)), bits);
}
#endif

using optimal::kEntropyScale;
constexpr uint32_t kTableSize = 4096;

// ln n and round(n ln n * 2^20) for small counts (box histograms), the same values the direct
// computation gives.
struct LogTables {
  double ln[kTableSize];
  int64_t nLn[kTableSize];
  LogTables() {
    ln[0] = 0;
    nLn[0] = 0;
    for (uint32_t n = 1; n < kTableSize; ++n) {
      ln[n] = std::log(static_cast<double>(n));
      nLn[n] = std::llround(static_cast<double>(n) * ln[n] * kEntropyScale);
    }
  }
};
const LogTables& Tables() {
  static const LogTables tables;
  return tables;
}

double Ln(uint64_t n, const LogTables& t) {
  return n < kTableSize ? t.ln[n] : std::log(static_cast<double>(n));
}
int64_t NLnN(uint64_t n, const LogTables& t) {
  if (n < kTableSize) return t.nLn[n];
  const double d = static_cast<double>(n);
  return std::llround(d * std::log(d) * kEntropyScale);
}

// Class variance from exact sums: ((n q - a^2) / n) / n, and 0 exactly for a single level.
double Variance(uint64_t n, uint64_t a, uint64_t q) {
  const u128 num = Sub(Mul(n, q), Mul(a, a));
  return ToDouble(num) / static_cast<double>(n) / static_cast<double>(n);
}

const WCHAR* const kMsgNoThreshold = TEXT("no threshold for the image");

// The optimal threshold over the m non-empty bins `level` (ascending) with counts `count`.
int OptimalOfLevels(const int* level, const uint64_t* count, int m, int method) {
  if (method < 0 || method > 4 || m == 0) return -1;
  // Running class sums up to and including each non-empty bin.
  uint64_t n[256], a[256], q[256];
  int64_t e[256];
  const LogTables& tables = Tables();
  uint64_t sn = 0, sa = 0, sq = 0;
  int64_t se = 0;
  for (int j = 0; j < m; ++j) {
    const uint64_t h = count[j], i = static_cast<uint64_t>(level[j]);
    sn += h;
    sa += h * i;
    sq += h * i * i;
    se += NLnN(h, tables);
    n[j] = sn;
    a[j] = sa;
    q[j] = sq;
    e[j] = se;
  }
  const int lo = level[0], hi = level[m - 1];
  if (lo == hi) return lo > 0 ? lo - 1 : 0;

  optimal::Best within, minError, entropy;
  for (int j = 0; j + 1 < m; ++j) {
    const optimal::Split c = optimal::SplitAfter(j, n, a, q, sn, sa, sq, Variance);
    within.Offer(c.Within(), level[j]);
    if (c.s1 > 0 && c.s2 > 0) minError.Offer(c.MinError(), level[j]);
    entropy.Offer(c.Entropy(Ln(c.n1, tables), Ln(c.n2, tables), e[j], se), level[j]);
  }

  auto exactLess = [](uint64_t x0, uint64_t y0, uint64_t x1, uint64_t y1) { return Less(Mul(x0, y0), Mul(x1, y1)); };
  const int potential = optimal::PotentialDifference(level, n, a, q, m, sn, sa, sq, exactLess);
  return optimal::Choose({within.level, minError.level, entropy.level, potential}, method, lo, hi);
}

int Optimal(const uint64_t* histogram, int method) {
  int level[256];
  uint64_t count[256];
  int m = 0;
  for (int i = 0; i < 256; ++i) {
    if (histogram[i]) {
      level[m] = i;
      count[m++] = histogram[i];
    }
  }
  return OptimalOfLevels(level, count, m, method);
}

// A box histogram that remembers which bins it touched, so that small boxes need neither a
// 256-bin scan nor a 256-bin clear.
struct SparseHistogram {
  uint32_t count[256] = {};
  uint8_t used[256];
  int m = 0;

  void Add(uint8_t v) {
    if (count[v]++ == 0) used[m++] = v;
  }
  int Threshold(int method) {
    std::sort(used, used + m);
    int level[256];
    uint64_t c[256];
    for (int j = 0; j < m; ++j) {
      level[j] = used[j];
      c[j] = count[used[j]];
      count[used[j]] = 0;
    }
    const int t = OptimalOfLevels(level, c, m, method);
    m = 0;
    return t;
  }
};

// (1 - g) L + g G + bias, clamped to 0..255 and truncated.
uint8_t BoxLevel(int local, int global, double g, int bias) {
  const double level = (1.0 - g) * local + g * global + bias;
  return level <= 0.0 ? 0 : level >= 255.0 ? 255 : static_cast<uint8_t>(level);
}

}  // namespace

int OptimalThresholdOfHistogram(const uint64_t histogram[256], int method) {
  return Optimal(histogram, method);
}

int RasterImage::OptimalThreshold(int method, const ImageBox* box,
                                  const RasterImage* contrastMask) const {
  if (!IsValid()) {
    SetError(kMsgEmpty);
    return -1;
  }
  if (contrastMask && (!contrastMask->IsValid() || contrastMask->Bpp() != 8 ||
                       contrastMask->Width() != width_ || contrastMask->Height() != height_)) {
    SetError(TEXT("invalid ContrastMask"));
    return -1;
  }
  int64_t x0 = 0, y0 = 0, x1 = width_, y1 = height_;
  if (box) {
    x0 = std::max<int64_t>(box->Left, 0);
    y0 = std::max<int64_t>(box->Bottom, 0);
    x1 = std::min<int64_t>(box->Right, width_);
    y1 = std::min<int64_t>(box->Top, height_);
  }
  if (x1 <= x0 || y1 <= y0) {
    SetError(kMsgSize);
    return -1;
  }
  LocalArray<uint8_t> scratch = AllocArray<uint8_t>(width_);
  if (!scratch) {
    SetError(kMsgMemory);
    return -1;
  }
  uint8_t table[256];
  GreyTable(*this, table);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  // Four interleaved counters, so that runs of equal pixels do not wait on one another.
  uint64_t part[4][256] = {};
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* grey = GreyRow(*this, static_cast<uint32_t>(y), table, identity, scratch.get());
    if (contrastMask) {
      const uint8_t* m = contrastMask->Row(static_cast<uint32_t>(y));
      for (int64_t x = x0; x < x1; ++x) {
        if (m[x]) ++part[x & 3][grey[x]];
      }
    } else {
      int64_t x = x0;
      for (; x + 4 <= x1; x += 4) {
        ++part[0][grey[x]];
        ++part[1][grey[x + 1]];
        ++part[2][grey[x + 2]];
        ++part[3][grey[x + 3]];
      }
      for (; x < x1; ++x) ++part[0][grey[x]];
    }
  }
  uint64_t hist[256];
  for (int i = 0; i < 256; ++i) hist[i] = part[0][i] + part[1][i] + part[2][i] + part[3][i];
  const int t = Optimal(hist, method);
  if (t < 0) SetError(kMsgNoThreshold);
  return t;
}

bool RasterImage::AdaptiveThreshold(int method, int boxSize, const RasterImage* contrastMask,
                                    int bias, double balance) {
  if (!IsValid()) {
    SetError(kMsgEmpty);
    return false;
  }
  if (contrastMask && (!contrastMask->IsValid() || contrastMask->Bpp() != 8 ||
                       contrastMask->Width() != width_ || contrastMask->Height() != height_)) {
    SetError(TEXT("AdaptiveThreshold invalid ContrastMask"));
    return false;
  }
  // Beyond the largest image side every size gives a single box.
  const uint32_t b = static_cast<uint32_t>(std::clamp(boxSize, 8, 1 << 20));
  const double g = balance > 1.0 ? 1.0 : balance >= 0.0 ? balance : 0.0;
  const uint32_t cols = (width_ + b - 1) / b;
  const uint32_t rows = (height_ + b - 1) / b;

  const int global = OptimalThreshold(method, nullptr, contrastMask);
  if (global < 0) return false;

  RasterImage levels;
  if (!levels.Create(cols, rows, 8)) {
    SetError(levels.LastError());
    return false;
  }
  // Grey rows of one band of boxes.
  const uint32_t band = std::min(b, height_);
  LocalArray<uint8_t> greyBuf = AllocArray<uint8_t>(static_cast<size_t>(band) * width_);
  LocalArray<const uint8_t*> greyRows = AllocArray<const uint8_t*>(band);
  LocalArray<const uint8_t*> maskRows = AllocArray<const uint8_t*>(band);
  if (!greyBuf || !greyRows || !maskRows) {
    SetError(kMsgMemory);
    return false;
  }
  uint8_t table[256];
  GreyTable(*this, table);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  SparseHistogram hist;
  for (uint32_t by = 0; by < rows; ++by) {
    if (CancelRequested()) return true;
    const uint32_t y0 = by * b;
    const uint32_t n = std::min(b, height_ - y0);
    for (uint32_t r = 0; r < n; ++r) {
      greyRows[r] = GreyRow(*this, y0 + r, table, identity,
                            greyBuf.get() + static_cast<size_t>(r) * width_);
      if (contrastMask) maskRows[r] = contrastMask->Row(y0 + r);
    }
    uint8_t* out = levels.Row(by);
    for (uint32_t bx = 0; bx < cols; ++bx) {
      const uint32_t x0 = bx * b, x1 = std::min(x0 + b, width_);
      if (!contrastMask) {
        // A box of one level (most of a label) needs no histogram: the level below it.
        const uint8_t v = greyRows[0][x0];
        bool uniform = true;
        for (uint32_t r = 0; r < n && uniform; ++r) {
          const uint8_t* grey = greyRows[r];
          for (uint32_t x = x0; x < x1; ++x) uniform &= grey[x] == v;
        }
        if (uniform) {
          out[bx] = BoxLevel(v > 0 ? v - 1 : 0, global, g, bias);
          continue;
        }
      }
      for (uint32_t r = 0; r < n; ++r) {
        const uint8_t* grey = greyRows[r];
        if (contrastMask) {
          const uint8_t* m = maskRows[r];
          for (uint32_t x = x0; x < x1; ++x) {
            if (m[x]) hist.Add(grey[x]);
          }
        } else {
          for (uint32_t x = x0; x < x1; ++x) hist.Add(grey[x]);
        }
      }
      const int local = hist.Threshold(method);
      if (local < 0) {
        SetError(kMsgNoThreshold);
        return false;
      }
      out[bx] = BoxLevel(local, global, g, bias);
    }
    SetProgress(Percent(by + 1, rows));
  }

  // The box levels enlarged bilinearly to b x columns by b x rows, cut to the image and used as
  // a threshold mask: computed row by row, never stored.
  Resampler mask;
  RasterImage out;
  LocalArray<uint8_t> maskRow = AllocArray<uint8_t>(width_);
  if (!maskRow || !mask.Init(levels, b * cols, b * rows, Resampler::Filter::kBilinearOrArea, width_,
                             height_)) {
    SetError(kMsgMemory);
    return false;
  }
  if (!CreateResult(*this, out, width_, height_, 1)) return false;
  for (uint32_t y = 0; y < height_; ++y) {
    if (CancelRequested()) break;
    mask.Row(y, maskRow.get());  // indices of the grey palette: the levels themselves
    const uint8_t* grey = GreyRow(*this, y, table, identity, greyBuf.get());
    const uint8_t* level = maskRow.get();
    PackAbove(grey, [level](uint32_t x) { return level[x]; }, width_, out.Row(y));
    SetProgress(Percent(y + 1, height_));
  }
  TakePixels(std::move(out));
  return true;
}
