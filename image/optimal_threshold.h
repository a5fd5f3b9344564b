// The scores and candidates of the optimal threshold, shared by the image operations and the page
// pipeline's box thresholds so that both pick the same level.
#pragma once

#include <cmath>
#include <cstdint>

namespace optimal {

// Entropy sums are of h ln h rounded to multiples of 2^-20.
inline constexpr double kEntropyScale = 1048576.0;

// The two classes of a split after bin j of running class sums n, a, q with totals sn, sa, sq:
// class 1 is bins 0..j, class 2 the rest.
struct Split {
  uint64_t n1, a1, q1, n2, a2, q2;
  double m1, m2;  // the class counts
  double s1, s2;  // the class variances

  // Within-class variance: maximise -(n1 s1 + n2 s2).
  double Within() const { return -(m1 * s1 + m2 * s2); }
  // Minimum error: maximise n2 ln(n2 / sqrt(s2)) + n1 ln(n1 / sqrt(s1)); only for s1, s2 > 0.
  double MinError() const { return m2 * std::log(m2 / std::sqrt(s2)) + m1 * std::log(m1 / std::sqrt(s1)); }
  // Maximum entropy H1 + H2, H = ln n - (sum of h ln h) / n, from ln n1, ln n2 and the scaled sums of
  // h ln h over class 1 (e1) and over all bins (e).
  double Entropy(double ln1, double ln2, int64_t e1, int64_t e) const {
    const double h1 = ln1 - static_cast<double>(e1) / kEntropyScale / m1;
    const double h2 = ln2 - static_cast<double>(e - e1) / kEntropyScale / m2;
    return h1 + h2;
  }
};

// `variance(n, a, q)` is a class's variance from its exact sums (the caller knows how wide they get).
template <class Variance>
Split SplitAfter(int j, const uint64_t* n, const uint64_t* a, const uint64_t* q, uint64_t sn, uint64_t sa,
                 uint64_t sq, Variance variance) {
  const uint64_t n1 = n[j], a1 = a[j], q1 = q[j];
  const uint64_t n2 = sn - n1, a2 = sa - a1, q2 = sq - q1;
  const double m1 = static_cast<double>(n1), m2 = static_cast<double>(n2);
  return {n1, a1, q1, n2, a2, q2, m1, m2, variance(n1, a1, q1), variance(n2, a2, q2)};
}

// The level of a candidate: the first with the highest score.
struct Best {
  int level = -1;
  double score = 0;

  void Offer(double candidateScore, int candidateLevel) {
    if (level < 0 || candidateScore > score) {
      score = candidateScore;
      level = candidateLevel;
    }
  }
};

// The threshold of `method` from the candidates (within-class variance, minimum error, maximum
// entropy, potential difference; -1 for none): method 0 averages those found. A result not strictly
// between the lowest and the highest level lo and hi is their middle.
inline int Choose(const int (&candidates)[4], int method, int lo, int hi) {
  int result;
  if (method == 0) {
    int sum = 0, count = 0;
    for (int c : candidates) {
      if (c >= 0) {
        sum += c;
        ++count;
      }
    }
    result = count ? sum / count : (lo + hi) / 2;
  } else {
    result = candidates[method - 1];
  }
  if (result <= lo || result >= hi) result = (lo + hi) / 2;
  return result;
}

// Over the m non-empty bins `level` (ascending) with running class sums n, a, q up to and including
// each bin and totals sn, sa, sq: the k in level[0] .. level[m - 1] - 1 that minimises
// |L - R| / (L + R). L grows and R shrinks with k, so that is the last k with L <= R or the one
// after it. less(d1, s0, d0, s1) tells d1 * s0 < d0 * s1 exactly (the caller knows how wide the
// products get).
template <class LessProducts>
int PotentialDifference(const int* level, const uint64_t* n, const uint64_t* a, const uint64_t* q, int m,
                        uint64_t sn, uint64_t sa, uint64_t sq, LessProducts less) {
  const int hi = level[m - 1];
  // Class 1 of k is bins level[0..j] with level[j] <= k.
  auto left = [&](int j, uint64_t k) { return k * k * n[j] + q[j] - 2 * k * a[j]; };
  auto right = [&](int j, uint64_t k) { return (sq - q[j]) + k * k * (sn - n[j]) - 2 * k * (sa - a[j]); };
  int seg = 0;  // last run whose first k has L <= R (the first always has L = 0)
  while (seg + 2 < m && left(seg + 1, level[seg + 1]) <= right(seg + 1, level[seg + 1])) ++seg;
  int low = level[seg], high = level[seg + 1] - 1;  // the last k with L <= R lies in here
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    if (left(seg, mid) <= right(seg, mid)) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  if (low + 1 < hi) {
    const int segNext = low + 1 == level[seg + 1] ? seg + 1 : seg;
    const uint64_t l0 = left(seg, low), r0 = right(seg, low);
    const uint64_t l1 = left(segNext, low + 1), r1 = right(segNext, low + 1);
    // |l1 - r1| / (l1 + r1) < (r0 - l0) / (l0 + r0), with l0 <= r0.
    const uint64_t d1 = l1 > r1 ? l1 - r1 : r1 - l1;
    if (less(d1, l0 + r0, r0 - l0, l1 + r1)) return low + 1;
  }
  return low;
}

}  // namespace optimal
