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

#include "image/bicubic.h"
#include "image/image.h"
#include "image/image_internal.h"

using namespace image_detail;

namespace {

// floor(v + 0.5) clamped to 0..255; below 1 and at or above 255 the floor is not needed.
inline uint8_t Round255(double v) {
  const double r = v + 0.5;
  return !(r >= 1.0) ? 0 : r >= 255.0 ? 255 : static_cast<uint8_t>(r);
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
      for (uint32_t x = 0; x < dw; ++x) {
        std::memcpy(d + 3 * static_cast<size_t>(x), s + 3 * static_cast<size_t>(column[x]), 3);
      }
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

void Resampler::AxisPlan::Add(uint32_t i, double w) {
  index.push_back(i);
  weight.push_back(w);
}

void Resampler::AxisPlan::Close() {
  first.push_back(static_cast<uint32_t>(index.size()));
  const size_t n = first.size();
  if (n >= 2) maxTaps = std::max(maxTaps, first[n - 1] - first[n - 2]);
}

void Resampler::Plan(Filter filter, uint32_t sw, uint32_t dw, uint32_t count, AxisPlan& plan) {
  plan.first.push_back(0);
  if (filter == Filter::kBicubic) {
    for (uint32_t d = 0; d < count; ++d) {
      uint32_t index[4];
      double w[4];
      bicubic::Taps(sw, dw, d, index, w);
      for (int k = 0; k < 4; ++k) plan.Add(index[k], w[k]);
      plan.Close();
    }
  } else if (dw >= sw) {  // bilinear
    for (uint32_t d = 0; d < count; ++d) {
      const double s = static_cast<double>(d) * sw / dw;
      const double fl = std::floor(s);
      const double f = s - fl;
      const uint32_t i = std::min(static_cast<uint32_t>(fl), sw - 1);
      plan.Add(i, 1.0 - f);
      plan.Add(std::min(i + 1, sw - 1), f);
      plan.Close();
    }
  } else {  // area average
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
}

bool Resampler::Init(const RasterImage& src, uint32_t dw, uint32_t dh, Filter filter,
                     uint32_t outW, uint32_t outH) {
  try {
    src_ = &src;
    outW_ = outW;
    Plan(filter, src.Width(), dw, outW, px_);
    Plan(filter, src.Height(), dh, outH, py_);
    // One grey channel when every palette entry is grey, else B, G, R.
    grey_ = src.Bpp() != 24;
    for (uint32_t i = 0; i < src.PaletteSize() && grey_; ++i) {
      const ImageColour& c = src.Palette()[i];
      grey_ = c.Red == c.Green && c.Green == c.Blue;
    }
    channels_ = grey_ ? 1 : 3;
    if (grey_) {
      for (uint32_t i = 0; i < src.PaletteSize(); ++i) greyOfIndex_[i] = src.Palette()[i].Red;
      for (int g = 0; g < 256; ++g) {
        const uint8_t v = static_cast<uint8_t>(g);
        toIndex_[g] = NearestIndex(src, v, v, v);
      }
    }
    cache_ = std::max<uint32_t>(py_.maxTaps, 1);
    rows_.assign(static_cast<size_t>(cache_) * outW * channels_, 0.0);
    tag_.assign(cache_, -1);
    acc_.assign(static_cast<size_t>(outW) * channels_, 0.0);
    values_.assign(static_cast<size_t>(src.Width()) * channels_, 0);
    indices_.assign(src.Width(), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void Resampler::Horizontal(uint32_t sy, double* h) {
  const RasterImage& src = *src_;
  const uint32_t sw = src.Width();
  const uint32_t* in = px_.index.data();
  const double* wt = px_.weight.data();
  if (grey_) {
    const uint8_t* idx = src.Row(sy);
    if (src.Bpp() == 1) {
      IndexRow(src, sy, indices_.data());
      idx = indices_.data();
    }
    if (px_.maxTaps == 4 && px_.index.size() == 4 * static_cast<size_t>(outW_)) {
      // Bicubic: the tap sum written out, in the same order as the loop below.
      for (uint32_t d = 0; d < outW_; ++d, in += 4, wt += 4) {
        h[d] = wt[0] * greyOfIndex_[idx[in[0]]] + wt[1] * greyOfIndex_[idx[in[1]]] +
               wt[2] * greyOfIndex_[idx[in[2]]] + wt[3] * greyOfIndex_[idx[in[3]]];
      }
      return;
    }
    for (uint32_t d = 0; d < outW_; ++d) {
      double sum = 0.0;
      for (uint32_t t = px_.first[d]; t < px_.first[d + 1]; ++t) {
        sum += wt[t] * greyOfIndex_[idx[in[t]]];
      }
      h[d] = sum;
    }
    return;
  }
  const uint8_t* v;
  if (src.Bpp() == 24) {
    v = src.Row(sy);
  } else {
    IndexRow(src, sy, indices_.data());
    const ImageColour* pal = src.Palette();
    for (uint32_t x = 0; x < sw; ++x) {
      const ImageColour& c = pal[indices_[x]];
      values_[3 * x] = c.Blue;
      values_[3 * x + 1] = c.Green;
      values_[3 * x + 2] = c.Red;
    }
    v = values_.data();
  }
  for (uint32_t d = 0; d < outW_; ++d) {
    for (uint32_t c = 0; c < 3; ++c) {
      double sum = 0.0;
      for (uint32_t t = px_.first[d]; t < px_.first[d + 1]; ++t) {
        sum += wt[t] * v[static_cast<size_t>(in[t]) * 3 + c];
      }
      h[static_cast<size_t>(d) * 3 + c] = sum;
    }
  }
}

const double* Resampler::Sums(uint32_t y) {
  const size_t count = acc_.size();
  double* sum = acc_.data();
  // The first tap assigns: 0 + w h would give the same values.
  for (uint32_t t = py_.first[y]; t < py_.first[y + 1]; ++t) {
    const uint32_t sy = py_.index[t];
    const uint32_t slot = sy % cache_;
    double* h = rows_.data() + static_cast<size_t>(slot) * outW_ * channels_;
    if (tag_[slot] != sy) {
      Horizontal(sy, h);
      tag_[slot] = sy;
    }
    const double w = py_.weight[t];
    if (t == py_.first[y]) {
      for (size_t k = 0; k < count; ++k) sum[k] = w * h[k];
    } else {
      for (size_t k = 0; k < count; ++k) sum[k] += w * h[k];
    }
  }
  return sum;
}

void Resampler::Row(uint32_t y, uint8_t* dst) {
  const double* sum = Sums(y);
  const uint32_t bpp = src_->Bpp();
  if (bpp == 24) {
    for (size_t k = 0; k < acc_.size(); ++k) dst[k] = Round255(sum[k]);
  } else if (grey_ && bpp == 8) {
    for (uint32_t x = 0; x < outW_; ++x) dst[x] = toIndex_[Round255(sum[x])];
  } else if (grey_) {
    for (uint32_t x = 0; x < outW_; ++x) {
      if (toIndex_[Round255(sum[x])]) SetBit(dst, x);
    }
  } else {
    uint8_t lastIndex = 0;
    int lastColour = -1;
    for (uint32_t x = 0; x < outW_; ++x) {
      const uint8_t b = Round255(sum[3 * x]), g = Round255(sum[3 * x + 1]),
                    r = Round255(sum[3 * x + 2]);
      const int colour = (r << 16) | (g << 8) | b;
      if (colour != lastColour) {
        lastIndex = NearestIndex(*src_, r, g, b);
        lastColour = colour;
      }
      if (bpp == 8) {
        dst[x] = lastIndex;
      } else if (lastIndex) {
        SetBit(dst, x);
      }
    }
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
  if (mode == kNearest) {
    bool ok;
    try {
      ok = NearestNeighbour(*this, newWidth, newHeight, out, *this);
    } catch (const std::bad_alloc&) {
      ok = false;
      out.SetError(kMsgMemory);
    }
    if (!ok) {
      SetError(out.LastError());
      return false;
    }
  } else {
    if (!CreateResult(*this, out, newWidth, newHeight, bpp_)) return false;
    if (bpp_ != 24) out.SetPalette(palette_, PaletteSize());
    Resampler resampler;
    const Resampler::Filter filter =
        mode == kBicubic ? Resampler::Filter::kBicubic : Resampler::Filter::kBilinearOrArea;
    if (!resampler.Init(*this, newWidth, newHeight, filter, newWidth, newHeight)) {
      SetError(kMsgMemory);
      return false;
    }
    for (uint32_t y = 0; y < newHeight; ++y) {
      if (CancelRequested()) break;
      resampler.Row(y, out.Row(y));
      SetProgress(Percent(y + 1, newHeight));
    }
  }
  TakePixels(std::move(out));
  return true;
}
