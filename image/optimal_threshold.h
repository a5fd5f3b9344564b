// The potential-difference candidate of the optimal threshold, shared by the image operations and
// the page pipeline's box thresholds so that both pick the same level.
#pragma once

#include <cstdint>

namespace optimal {

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
