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
// Only the last one depends on k itself; the others give equal scores for every k inside a run of
// empty bins, so only k on non-empty bins is scored for them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "render/image/image.h"
#include "render/image/image_internal.h"

using namespace image_detail;

namespace {

using u128 = unsigned __int128;

constexpr double kEntropyScale = 1048576.0;  // 2^20

// Scores compared as a fraction num / den (den > 0), smaller is better.
struct Ratio {
  uint64_t num;
  uint64_t den;
};

bool Less(const Ratio& a, const Ratio& b) {
  return static_cast<u128>(a.num) * b.den < static_cast<u128>(b.num) * a.den;
}

// Class variance from exact sums: ((n q - a^2) / n) / n, and 0 exactly for a single level.
double Variance(uint64_t n, uint64_t a, uint64_t q) {
  const u128 num = static_cast<u128>(n) * q - static_cast<u128>(a) * a;
  return static_cast<double>(num) / static_cast<double>(n) / static_cast<double>(n);
}

const WCHAR* const kMsgNoThreshold = TEXT("no threshold for the image");

// Histogram of a box, reading grey rows from a band of `bandRows` rows starting at stored row
// `band0` (grey[r] is the grey row of stored row band0 + r, maskRow[r] the mask's indices).
void BoxHistogram(const uint8_t* const* grey, const uint8_t* const* maskRow, uint32_t rows,
                  uint32_t x0, uint32_t x1, uint64_t hist[256]) {
  std::memset(hist, 0, 256 * sizeof(uint64_t));
  for (uint32_t r = 0; r < rows; ++r) {
    const uint8_t* g = grey[r];
    if (maskRow) {
      const uint8_t* m = maskRow[r];
      for (uint32_t x = x0; x < x1; ++x) {
        if (m[x]) ++hist[g[x]];
      }
    } else {
      for (uint32_t x = x0; x < x1; ++x) ++hist[g[x]];
    }
  }
}

}  // namespace

int OptimalThresholdOfHistogram(const uint64_t histogram[256], int method) {
  if (method < 0 || method > 4) return -1;
  int lo = 0;
  while (lo < 256 && histogram[lo] == 0) ++lo;
  if (lo == 256) return -1;
  int hi = 255;
  while (histogram[hi] == 0) --hi;
  if (lo == hi) return lo > 0 ? lo - 1 : 0;

  uint64_t total = 0, sumTotal = 0, sqTotal = 0;
  int64_t entTotal = 0;
  int64_t ent[256] = {};
  for (int i = lo; i <= hi; ++i) {
    const uint64_t h = histogram[i];
    total += h;
    sumTotal += h * static_cast<uint64_t>(i);
    sqTotal += h * static_cast<uint64_t>(i * i);
    if (h > 1) {
      const double hd = static_cast<double>(h);
      ent[i] = std::llround(hd * std::log(hd) * kEntropyScale);
    }
    entTotal += ent[i];
  }

  int within = -1, minError = -1, entropy = -1, potential = -1;
  double bestWithin = 0, bestMinError = 0, bestEntropy = 0;
  Ratio bestPotential{0, 1};
  uint64_t n1 = 0, a1 = 0, q1 = 0;
  int64_t e1 = 0;
  // Potential terms: L(k) = k^2 n1 - 2k a1 + q1 and R(k) = q2 - 2k a2 + k^2 n2.
  for (int k = lo; k < hi; ++k) {
    const uint64_t h = histogram[k];
    n1 += h;
    a1 += h * static_cast<uint64_t>(k);
    q1 += h * static_cast<uint64_t>(k * k);
    e1 += ent[k];
    const uint64_t n2 = total - n1, a2 = sumTotal - a1, q2 = sqTotal - q1;
    const uint64_t kk = static_cast<uint64_t>(k);

    const uint64_t left = kk * kk * n1 + q1 - 2 * kk * a1;
    const uint64_t right = q2 + kk * kk * n2 - 2 * kk * a2;
    const Ratio measure = left + right == 0 ? Ratio{0, 1}
                                            : Ratio{left > right ? left - right : right - left,
                                                    left + right};
    if (potential < 0 || Less(measure, bestPotential)) {
      bestPotential = measure;
      potential = k;
    }

    if (h == 0) continue;  // same class statistics as the previous k, which wins the tie
    const double m1 = static_cast<double>(n1), m2 = static_cast<double>(n2);
    const double s1 = Variance(n1, a1, q1), s2 = Variance(n2, a2, q2);

    const double w = -(m1 * s1 + m2 * s2);
    if (within < 0 || w > bestWithin) {
      bestWithin = w;
      within = k;
    }
    if (s1 > 0 && s2 > 0) {
      const double m = m2 * std::log(m2 / std::sqrt(s2)) + m1 * std::log(m1 / std::sqrt(s1));
      if (minError < 0 || m > bestMinError) {
        bestMinError = m;
        minError = k;
      }
    }
    const double h1 = std::log(m1) - static_cast<double>(e1) / kEntropyScale / m1;
    const double h2 = std::log(m2) - static_cast<double>(entTotal - e1) / kEntropyScale / m2;
    if (entropy < 0 || h1 + h2 > bestEntropy) {
      bestEntropy = h1 + h2;
      entropy = k;
    }
  }

  int result;
  if (method == 0) {
    int sum = 0, count = 0;
    for (int c : {within, minError, entropy, potential}) {
      if (c >= 0) {
        sum += c;
        ++count;
      }
    }
    result = count ? sum / count : (lo + hi) / 2;
  } else {
    const int candidates[4] = {within, minError, entropy, potential};
    result = candidates[method - 1];
  }
  if (result <= lo || result >= hi) result = (lo + hi) / 2;
  return result;
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
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[width_]);
  if (!scratch) {
    SetError(kMsgMemory);
    return -1;
  }
  uint8_t table[256];
  GreyTable(*this, table);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  uint64_t hist[256] = {};
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* grey = GreyRow(*this, static_cast<uint32_t>(y), table, identity, scratch.get());
    const uint8_t* m = contrastMask ? contrastMask->Row(static_cast<uint32_t>(y)) : nullptr;
    for (int64_t x = x0; x < x1; ++x) {
      if (!m || m[x]) ++hist[grey[x]];
    }
  }
  const int t = OptimalThresholdOfHistogram(hist, method);
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
  std::unique_ptr<uint8_t[]> greyBuf(new (std::nothrow) uint8_t[static_cast<size_t>(band) * width_]);
  std::unique_ptr<const uint8_t*[]> greyRows(new (std::nothrow) const uint8_t*[band]);
  std::unique_ptr<const uint8_t*[]> maskRows(new (std::nothrow) const uint8_t*[band]);
  if (!greyBuf || !greyRows || !maskRows) {
    SetError(kMsgMemory);
    return false;
  }
  uint8_t table[256];
  GreyTable(*this, table);
  const bool identity = bpp_ == 8 && IsIdentity(table);
  uint64_t hist[256];
  for (uint32_t by = 0; by < rows; ++by) {
    if (CancelRequested()) return true;
    const uint32_t y0 = by * b;
    const uint32_t n = std::min(b, height_ - y0);
    for (uint32_t r = 0; r < n; ++r) {
      greyRows[r] = GreyRow(*this, y0 + r, table, identity, greyBuf.get() + static_cast<size_t>(r) * width_);
      if (contrastMask) maskRows[r] = contrastMask->Row(y0 + r);
    }
    uint8_t* out = levels.Row(by);
    for (uint32_t bx = 0; bx < cols; ++bx) {
      const uint32_t x0 = bx * b;
      BoxHistogram(greyRows.get(), contrastMask ? maskRows.get() : nullptr, n, x0,
                   std::min(x0 + b, width_), hist);
      const int local = OptimalThresholdOfHistogram(hist, method);
      if (local < 0) {
        SetError(kMsgNoThreshold);
        return false;
      }
      const double level = (1.0 - g) * local + g * global + bias;
      out[bx] = level <= 0.0 ? 0 : level >= 255.0 ? 255 : static_cast<uint8_t>(level);
    }
    SetProgress(Percent(by + 1, rows));
  }

  RasterImage mask;
  if (!ResampleBilinearRegion(levels, b * cols, b * rows, width_, height_, mask, *this)) {
    SetError(mask.LastError());
    return false;
  }
  return ThresholdByMask(mask);
}
