// Step 9: the 1-bit page back to 8 bits, reduced by the resolution multiplier and turned back to
// top-down order.
//
// The image operations would widen the 1-bit image to 8 bits (indices 0 and 1 with black and white
// palette entries), resample it bicubically, flip it and read every pixel's grey level. Here the
// resample reads the packed rows directly, with the resampler's exact arithmetic (its tap plan, the
// sums in tap order in double precision, floor(v + 0.5) clamped to 0..255), so that the result is
// byte for byte the same:
// - A horizontal sum depends only on the four source bits of its taps: it is looked up in a table
//   of the 16 sums per destination column, computed with the same expression.
// - Writing a level back as the nearest palette index and reading its grey gives the level itself,
//   except 1, whose nearest entry is black (index 0 wins the tie with grey 2): 0 and 1 become 0.
// - A destination row whose four source rows are all white is white: each sum is 255 within
//   rounding error far below one half.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "image/bicubic.h"
#include "render/pipeline/internal.h"

namespace pipeline_detail {

namespace {

// Four taps per destination coordinate.
struct Taps {
  std::vector<uint32_t> index;
  std::vector<double> weight;

  void Plan(uint32_t sw, uint32_t dw) {
    index.resize(4 * static_cast<size_t>(dw));
    weight.resize(4 * static_cast<size_t>(dw));
    for (uint32_t d = 0; d < dw; ++d) bicubic::Taps(sw, dw, d, &index[4 * d], &weight[4 * d]);
  }
};

inline uint8_t LevelOf(double sum) {
  const double r = sum + 0.5;
  return !(r >= 2.0) ? 0 : r >= 255.0 ? 255 : static_cast<uint8_t>(r);
}

inline unsigned Bit(const uint8_t* row, uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }

class Reducer {
 public:
  Reducer(BinaryRows& rows, uint32_t dw, uint32_t dh) : rows_(rows), dw_(dw), dh_(dh) {}

  bool Init() {
    try {
      const uint32_t sw = rows_.Width();
      x_.Plan(sw, dw_);
      y_.Plan(rows_.Height(), dh_);
      sums_.resize(16 * static_cast<size_t>(dw_));
      window_.resize(dw_);
      const uint32_t rowBytes = (sw + 7) / 8;
      for (uint32_t d = 0; d < dw_; ++d) {
        const uint32_t* in = &x_.index[4 * d];
        const double* wt = &x_.weight[4 * d];
        for (unsigned m = 0; m < 16; ++m) {
          const double g0 = (m & 8) ? 255.0 : 0.0, g1 = (m & 4) ? 255.0 : 0.0;
          const double g2 = (m & 2) ? 255.0 : 0.0, g3 = (m & 1) ? 255.0 : 0.0;
          sums_[16 * d + m] = wt[0] * g0 + wt[1] * g1 + wt[2] * g2 + wt[3] * g3;
        }
        // Four consecutive taps inside the row's bytes are read as one 4-bit window.
        const bool consecutive = in[1] == in[0] + 1 && in[2] == in[0] + 2 && in[3] == in[0] + 3;
        window_[d] = consecutive && (in[0] >> 3) + 1 < rowBytes ? static_cast<int64_t>(in[0]) : -1;
      }
      white_.resize(dw_);
      for (uint32_t d = 0; d < dw_; ++d) white_[d] = sums_[16 * d + 15];
      for (int s = 0; s < 4; ++s) {
        slot_[s].buffer.resize(dw_);
        slot_[s].tag = -1;
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return rows_.Prepare();
  }

  bool Run(const Page& page, WorkImage& out) {
    if (!out.Allocate(dw_, dh_)) return false;
    for (uint32_t y = 0; y < dh_; ++y) {
      if (page.Cancelled()) return false;
      const uint32_t* in = &y_.index[4 * y];
      const double* wt = &y_.weight[4 * y];
      const Slot* s[4];
      bool white = true;
      for (int k = 0; k < 4; ++k) {
        s[k] = &Horizontal(in[k]);
        white = white && s[k]->white;
      }
      uint8_t* dst = out.Row(dh_ - 1 - y);
      if (white) {
        std::memset(dst, 0xFF, dw_);
        continue;
      }
      const double *h0 = s[0]->sums, *h1 = s[1]->sums, *h2 = s[2]->sums, *h3 = s[3]->sums;
      const double w0 = wt[0], w1 = wt[1], w2 = wt[2], w3 = wt[3];
      for (uint32_t d = 0; d < dw_; ++d) {
        double sum = w0 * h0[d];
        sum += w1 * h1[d];
        sum += w2 * h2[d];
        sum += w3 * h3[d];
        dst[d] = LevelOf(sum);
      }
    }
    return true;
  }

 private:
  struct Slot {
    std::vector<double> buffer;
    const double* sums = nullptr;
    bool white = false;
    int64_t tag = -1;
  };

  // The horizontal sums of source row sy, kept while the next destination rows need them.
  const Slot& Horizontal(uint32_t sy) {
    Slot& slot = slot_[sy & 3];
    if (slot.tag == sy) return slot;
    slot.tag = sy;
    const uint8_t* row = rows_.Row(sy);
    slot.white = BitsAllWhite(row, rows_.Width());
    if (slot.white) {
      slot.sums = white_.data();
      return slot;
    }
    double* h = slot.buffer.data();
    const uint32_t* in = x_.index.data();
    const double* table = sums_.data();
    for (uint32_t d = 0; d < dw_; ++d, in += 4, table += 16) {
      unsigned m;
      const int64_t x = window_[d];
      if (x >= 0) {
        const uint32_t b = static_cast<uint32_t>(x) >> 3;
        const unsigned pair = static_cast<unsigned>(row[b]) << 8 | row[b + 1];
        m = (pair >> (12 - (x & 7))) & 15u;
      } else {
        m = Bit(row, in[0]) << 3 | Bit(row, in[1]) << 2 | Bit(row, in[2]) << 1 | Bit(row, in[3]);
      }
      h[d] = table[m];
    }
    slot.sums = h;
    return slot;
  }

  BinaryRows& rows_;
  uint32_t dw_, dh_;
  Taps x_, y_;
  std::vector<double> sums_;     // 16 horizontal sums per destination column
  std::vector<int64_t> window_;  // first tap of a 4-bit window, or -1
  std::vector<double> white_;    // the sums of an all-white row
  Slot slot_[4];
};

// The packed rows of step 17 straight from the 1-bit rows: the same bits, the pixels past the width
// (white padding) set, a last group of fewer than eight dropped.
bool PackRows(const Page& page, BinaryRows& rows, PackedPage& out) {
  const uint32_t w = rows.Width(), h = rows.Height();
  const uint32_t rowBytes = WorkStride(w) / 8;
  const size_t bytes = static_cast<size_t>(rowBytes) * h;
  if (!rows.Prepare()) return false;
  try {
    out.blank.assign(h, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  PageBuffers* reuse = page.in->buffers;
  if (reuse && reuse->raster && reuse->rasterBytes >= bytes) {
    out.data = reuse->raster;
    out.borrowed = true;
  } else {
    auto* block = static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, bytes));
    if (!block) return false;
    if (reuse) {
      // The new, larger block is kept for the pages after this one.
      if (reuse->raster) LocalFree(reuse->raster);
      reuse->raster = block;
      reuse->rasterBytes = bytes;
      out.borrowed = true;
    } else {
      out.borrowed = false;
    }
    out.data = block;
  }
  const uint8_t pad = (w & 7) && w < rowBytes * 8 ? static_cast<uint8_t>(0xFFu >> (w & 7)) : 0;
  for (uint32_t y = 0; y < h; ++y) {
    if (page.Cancelled()) return false;
    const uint8_t* src = rows.Row(y);
    const uint32_t r = h - 1 - y;
    uint8_t* dst = out.data + static_cast<size_t>(r) * rowBytes;
    std::memcpy(dst, src, rowBytes);
    dst[rowBytes - 1] |= pad;
    out.blank[r] = BitsAllWhite(src, w);
  }
  out.width = w;
  out.height = h;
  out.rowBytes = rowBytes;
  out.made = true;
  return true;
}

}  // namespace

bool ReduceToWork(const Page& page, BinaryRows& rows, WorkImage& out) {
  const uint32_t w = rows.Width(), h = rows.Height();
  const uint32_t m = page.multiplier;
  const uint32_t dw = w / m, dh = h / m;
  // Nothing to reduce and nothing that turns or places the image: straight to packed rows.
  if (m == 1 && page.packed && WorkStride(w) / 8 > 0 && LayOutKeepsImage(page, w, h)) {
    return PackRows(page, rows, *page.packed);
  }
  // A resample to the same size changes nothing, and one to zero fails and changes nothing.
  if (m == 1 || dw == 0 || dh == 0) {
    if (!rows.Prepare() || !out.Allocate(w, h)) return false;
    for (uint32_t y = 0; y < h; ++y) {
      if (page.Cancelled()) return false;
      UnpackRow(rows.Row(y), w, out.Row(h - 1 - y));
    }
    return true;
  }
  Reducer reducer(rows, dw, dh);
  return reducer.Init() && reducer.Run(page, out);
}

}  // namespace pipeline_detail
