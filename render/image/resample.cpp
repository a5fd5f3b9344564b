// Resampling. Bicubic, bilinear and area averaging share one separable engine, so that the
// arithmetic is pinned down exactly (the driver's output is compared byte for byte):
//
//   For each axis, each destination coordinate d has a list of (source index, weight) taps.
//   A destination value is  sum_j wy_j * (sum_i wx_i * p(i, j)),  both sums taken in tap order
//   in double precision, rounded as floor(v + 0.5) and clamped to 0..255.
//
//   Bicubic: s = (d + 0.5) * sw / dw - 0.5, i = floor(s), f = s - i; taps i-1, i, i+1, i+2
//     (clamped to the edge) with weights K(1 + f), K(f), K(1 - f), K(2 - f), where K is Keys'
//     kernel with a = -0.5: K(t) = (1.5 t - 2.5) t t + 1 for t <= 1,
//     ((-0.5 t + 2.5) t - 4) t + 2 for 1 < t < 2, else 0.
//   Bilinear (a side that grows or stays): s = d * sw / dw, i = floor(s), f = s - i; taps i and
//     min(i + 1, sw - 1) with weights 1 - f and f.
//   Area average (a side that shrinks): the span [d * sw / dw, (d + 1) * sw / dw); every source
//     index i it overlaps is a tap with weight (overlap length) * dw / sw.
//
// Paletted images are interpolated on their palette colours (one channel when every entry is
// grey) and each result is written as the nearest palette entry (squared RGB distance, lowest
// index on ties). Nearest-neighbour copies indices: destination (x, y) takes source
// (x * sw / dw, y * sh / dh) in integers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "render/image/image.h"
#include "render/image/image_internal.h"

using namespace image_detail;

namespace {

struct AxisPlan {
  std::vector<uint32_t> first;   // first tap of coordinate d; taps of d are [first[d], first[d+1])
  std::vector<uint32_t> index;
  std::vector<double> weight;
  uint32_t maxTaps = 0;

  void Add(uint32_t i, double w) {
    index.push_back(i);
    weight.push_back(w);
  }
  void Close() {
    first.push_back(static_cast<uint32_t>(index.size()));
    const size_t n = first.size();
    if (n >= 2) maxTaps = std::max(maxTaps, first[n - 1] - first[n - 2]);
  }
};

double Keys(double t) {
  t = std::fabs(t);
  if (t <= 1.0) return (1.5 * t - 2.5) * t * t + 1.0;
  if (t < 2.0) return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
  return 0.0;
}

void PlanBicubic(uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan) {
  plan.first.push_back(0);
  const int64_t last = static_cast<int64_t>(sw) - 1;
  for (uint32_t d = 0; d < count; ++d) {
    const double s = (d + 0.5) * sw / dw - 0.5;
    const double fl = std::floor(s);
    const double f = s - fl;
    const int64_t i = static_cast<int64_t>(fl);
    const double w[4] = {Keys(1.0 + f), Keys(f), Keys(1.0 - f), Keys(2.0 - f)};
    for (int k = 0; k < 4; ++k) {
      plan.Add(static_cast<uint32_t>(std::clamp<int64_t>(i - 1 + k, 0, last)), w[k]);
    }
    plan.Close();
  }
}

void PlanBilinear(uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan) {
  plan.first.push_back(0);
  for (uint32_t d = 0; d < count; ++d) {
    const double s = static_cast<double>(d) * sw / dw;
    const double fl = std::floor(s);
    const double f = s - fl;
    const uint32_t i = std::min(static_cast<uint32_t>(fl), sw - 1);
    plan.Add(i, 1.0 - f);
    plan.Add(std::min(i + 1, sw - 1), f);
    plan.Close();
  }
}

void PlanArea(uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan) {
  plan.first.push_back(0);
  for (uint32_t d = 0; d < count; ++d) {
    const double s0 = static_cast<double>(d) * sw / dw;
    const double s1 = static_cast<double>(d + 1) * sw / dw;
    const uint32_t i0 = static_cast<uint32_t>(std::floor(s0));
    const uint32_t i1 = std::min(static_cast<uint32_t>(std::ceil(s1)), sw);
    for (uint32_t i = i0; i < i1; ++i) {
      const double overlap = std::min(i + 1.0, s1) - std::max(static_cast<double>(i), s0);
      if (overlap > 0.0) plan.Add(i, overlap * dw / sw);
    }
    plan.Close();
  }
}

enum class Filter { kBicubic, kBilinearOrArea };

void Plan(Filter filter, uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan) {
  if (filter == Filter::kBicubic) {
    PlanBicubic(sw, dw, count, plan);
  } else if (dw >= sw) {
    PlanBilinear(sw, dw, count, plan);
  } else {
    PlanArea(sw, dw, count, plan);
  }
}

inline uint8_t Round255(double v) {
  const double r = std::floor(v + 0.5);
  return r <= 0.0 ? 0 : r >= 255.0 ? 255 : static_cast<uint8_t>(r);
}

// Computes the region [0, outW) x [0, outH) of the dw x dh resample of src into out (created
// here, same depth and palette as src). Cancellation follows `owner`.
bool ResampleRegion(const RasterImage& src, uint32_t dw, uint32_t dh, Filter filter, uint32_t outW,
                    uint32_t outH, RasterImage& out, RasterImage& owner) {
  const uint32_t sw = src.Width(), sh = src.Height(), bpp = src.Bpp();
  if (!out.Create(outW, outH, bpp)) return false;
  if (bpp != 24) out.SetPalette(src.Palette(), src.PaletteSize());

  AxisPlan px, py;
  Plan(filter, sw, dw, outW, px);
  Plan(filter, sh, dh, outH, py);

  // Channel values of a source row: one grey channel for grey palettes, else B, G, R.
  bool greyPalette = bpp != 24;
  for (uint32_t i = 0; i < src.PaletteSize() && greyPalette; ++i) {
    const ImageColour& c = src.Palette()[i];
    greyPalette = c.Red == c.Green && c.Green == c.Blue;
  }
  const uint32_t channels = greyPalette ? 1 : 3;
  uint8_t toIndex[256];  // grey level -> nearest palette index
  if (greyPalette) {
    for (int g = 0; g < 256; ++g) {
      toIndex[g] = NearestIndex(src, static_cast<uint8_t>(g), static_cast<uint8_t>(g),
                                static_cast<uint8_t>(g));
    }
  }

  const uint32_t cache = std::max<uint32_t>(py.maxTaps, 1);
  std::vector<double> rows(static_cast<size_t>(cache) * outW * channels);
  std::vector<int64_t> tag(cache, -1);
  std::vector<double> acc(static_cast<size_t>(outW) * channels);
  std::vector<uint8_t> values(static_cast<size_t>(sw) * channels);
  std::vector<uint8_t> indices(sw);

  auto horizontal = [&](uint32_t sy, double* h) {
    const uint8_t* v;
    if (bpp == 24) {
      v = src.Row(sy);
    } else {
      IndexRow(src, sy, indices.data());
      const ImageColour* pal = src.Palette();
      if (greyPalette) {
        for (uint32_t x = 0; x < sw; ++x) values[x] = pal[indices[x]].Red;
      } else {
        for (uint32_t x = 0; x < sw; ++x) {
          const ImageColour& c = pal[indices[x]];
          values[3 * x] = c.Blue;
          values[3 * x + 1] = c.Green;
          values[3 * x + 2] = c.Red;
        }
      }
      v = values.data();
    }
    for (uint32_t d = 0; d < outW; ++d) {
      for (uint32_t c = 0; c < channels; ++c) {
        double sum = 0.0;
        for (uint32_t t = px.first[d]; t < px.first[d + 1]; ++t) {
          sum += px.weight[t] * v[static_cast<size_t>(px.index[t]) * channels + c];
        }
        h[static_cast<size_t>(d) * channels + c] = sum;
      }
    }
  };

  for (uint32_t y = 0; y < outH; ++y) {
    if (owner.CancelRequested()) break;
    std::fill(acc.begin(), acc.end(), 0.0);
    for (uint32_t t = py.first[y]; t < py.first[y + 1]; ++t) {
      const uint32_t sy = py.index[t];
      const uint32_t slot = sy % cache;
      double* h = rows.data() + static_cast<size_t>(slot) * outW * channels;
      if (tag[slot] != sy) {
        horizontal(sy, h);
        tag[slot] = sy;
      }
      const double w = py.weight[t];
      for (size_t k = 0; k < acc.size(); ++k) acc[k] += w * h[k];
    }
    uint8_t* dst = out.Row(y);
    if (bpp == 24) {
      for (size_t k = 0; k < acc.size(); ++k) dst[k] = Round255(acc[k]);
    } else {
      uint8_t lastIndex = 0;
      int lastColour = -1;
      for (uint32_t x = 0; x < outW; ++x) {
        uint8_t index;
        if (greyPalette) {
          index = toIndex[Round255(acc[x])];
        } else {
          const uint8_t b = Round255(acc[3 * x]), g = Round255(acc[3 * x + 1]),
                        r = Round255(acc[3 * x + 2]);
          const int colour = (r << 16) | (g << 8) | b;
          if (colour != lastColour) {
            lastIndex = NearestIndex(src, r, g, b);
            lastColour = colour;
          }
          index = lastIndex;
        }
        if (bpp == 8) {
          dst[x] = index;
        } else if (index) {
          SetBit(dst, x);
        }
      }
    }
    owner.SetProgress(Percent(y + 1, outH));
  }
  return true;
}

bool NearestNeighbour(const RasterImage& src, uint32_t dw, uint32_t dh, RasterImage& out,
                      RasterImage& owner) {
  const uint32_t sw = src.Width(), sh = src.Height(), bpp = src.Bpp();
  if (!out.Create(dw, dh, bpp)) return false;
  if (bpp != 24) out.SetPalette(src.Palette(), src.PaletteSize());
  std::vector<uint32_t> column(dw);
  for (uint32_t x = 0; x < dw; ++x) {
    column[x] = static_cast<uint32_t>(static_cast<uint64_t>(x) * sw / dw);
  }
  for (uint32_t y = 0; y < dh; ++y) {
    if (owner.CancelRequested()) break;
    const uint8_t* s = src.Row(static_cast<uint32_t>(static_cast<uint64_t>(y) * sh / dh));
    uint8_t* d = out.Row(y);
    if (bpp == 8) {
      for (uint32_t x = 0; x < dw; ++x) d[x] = s[column[x]];
    } else if (bpp == 24) {
      for (uint32_t x = 0; x < dw; ++x) std::memcpy(d + 3 * static_cast<size_t>(x), s + 3 * static_cast<size_t>(column[x]), 3);
    } else {
      for (uint32_t x = 0; x < dw; ++x) {
        if (GetBit(s, column[x])) SetBit(d, x);
      }
    }
    owner.SetProgress(Percent(y + 1, dh));
  }
  return true;
}

}  // namespace

namespace image_detail {

// The adaptive threshold's mask: the cut-out region of a bilinear enlargement.
bool ResampleBilinearRegion(const RasterImage& src, uint32_t dw, uint32_t dh, uint32_t outW,
                            uint32_t outH, RasterImage& out, RasterImage& owner) {
  try {
    return ResampleRegion(src, dw, dh, Filter::kBilinearOrArea, outW, outH, out, owner);
  } catch (const std::bad_alloc&) {
    out.SetError(kMsgMemory);
    return false;
  }
}

}  // namespace image_detail

bool RasterImage::Resample(uint32_t newWidth, uint32_t newHeight) {
  return ResampleSimple(newWidth, newHeight, kBicubic);
}

bool RasterImage::ResampleSimple(uint32_t newWidth, uint32_t newHeight, int mode) {
  if (!IsValid()) {
    SetError(kMsgEmpty);
    return false;
  }
  if (newWidth == 0 || newHeight == 0) {
    SetError(kMsgSize);
    return false;
  }
  if (mode != kBilinearOrArea && mode != kNearest && mode != kBicubic) {
    SetError(kMsgMode);
    return false;
  }
  if (newWidth == width_ && newHeight == height_) return true;
  RasterImage out;
  bool ok;
  try {
    if (mode == kNearest) {
      ok = NearestNeighbour(*this, newWidth, newHeight, out, *this);
    } else {
      const Filter filter = mode == kBicubic ? Filter::kBicubic : Filter::kBilinearOrArea;
      ok = ResampleRegion(*this, newWidth, newHeight, filter, newWidth, newHeight, out, *this);
    }
  } catch (const std::bad_alloc&) {
    out.SetError(kMsgMemory);
    ok = false;
  }
  if (!ok) {
    SetError(out.LastError() ? out.LastError() : kMsgMemory);
    return false;
  }
  TakePixels(std::move(out));
  return true;
}
