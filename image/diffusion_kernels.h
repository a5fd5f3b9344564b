// The error-diffusion kernels, shared by the image operations' dither and the page pipeline's fast
// path so that both spread error the same way. Each kernel is its divisor and its taps: a neighbour
// dx columns right and dy rows on (dy = +1 is the next row in processing order) gets w x e / kDivisor.
#pragma once

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

}  // namespace diffusion
