// The bicubic taps of one destination coordinate, shared by the image operations' resampler and the
// page pipeline's reduction so that both produce the same bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace bicubic {

// Keys' cubic kernel with a = -0.5.
inline double Keys(double t) {
  t = std::fabs(t);
  if (t <= 1.0) return (1.5 * t - 2.5) * t * t + 1.0;
  if (t < 2.0) return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
  return 0.0;
}

// Destination coordinate d of dw reads source samples i - 1 .. i + 2 (clamped to the edge) of sw,
// with s = (d + 0.5) * sw / dw - 0.5, i = floor(s), f = s - i and weights K(1 + f), K(f),
// K(1 - f), K(2 - f).
inline void Taps(uint32_t sw, uint32_t dw, uint32_t d, uint32_t index[4], double weight[4]) {
  const int64_t last = static_cast<int64_t>(sw) - 1;
  const double s = (d + 0.5) * sw / dw - 0.5;
  const double fl = std::floor(s);
  const double f = s - fl;
  const int64_t i = static_cast<int64_t>(fl);
  weight[0] = Keys(1.0 + f);
  weight[1] = Keys(f);
  weight[2] = Keys(1.0 - f);
  weight[3] = Keys(2.0 - f);
  for (int k = 0; k < 4; ++k) index[k] = static_cast<uint32_t>(std::clamp<int64_t>(i - 1 + k, 0, last));
}

}  // namespace bicubic
