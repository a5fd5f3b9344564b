// Dithering to 1 bit. Rows run from stored row 0 upward and pixels left to right, so error
// diffusion carries error into higher stored rows (upward on the page).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "common/alloc.h"
#include "image/diffusion_bands.h"
#include "image/diffusion_kernels.h"
#include "image/image.h"
#include "image/image_internal.h"

using namespace image_detail;

namespace {

using namespace diffusion;

const uint8_t kOrdered4x4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
const uint8_t kBayer4x4[4][4] = {
    {0, 192, 48, 240}, {128, 64, 176, 112}, {32, 224, 16, 208}, {160, 96, 144, 80}};

class GreySource {
 public:
  explicit GreySource(const RasterImage& img) : img_(img) {
    GreyTable(img, table_);
    identity_ = img.Bpp() == 8 && IsIdentity(table_);
  }
  const uint8_t* Row(uint32_t y, uint8_t* scratch) const {
    return GreyRow(img_, y, table_, identity_, scratch);
  }

 private:
  const RasterImage& img_;
  uint8_t table_[256];
  bool identity_ = false;
};

#if defined(__SSE2__)
// Error diffusion into `out` (1 bit, all 0), a band of Lanes rows at a time (see diffusion_bands.h);
// `run` is the band loop of one instruction set.
template <typename Kernel, int Lanes>
bool DiffuseBands(RasterImage& img, RasterImage& out,
                  void (*run)(const BandBuffer<Kernel, Lanes>&, uint8_t*, const uint8_t*, uint32_t*)) {
  using S = BandShape<Kernel, Lanes>;
  using Buffer = BandBuffer<Kernel, Lanes>;
  const uint32_t w = img.Width(), h = img.Height();
  const Buffer shape(w);
  const size_t steps = static_cast<size_t>(shape.Steps()), span = shape.PaddedRow();
  LocalArray<uint8_t> buf = AllocArray<uint8_t>(shape.Bytes());
  LocalArray<uint8_t> active = AllocArray<uint8_t>(shape.Bytes());
  LocalArray<uint32_t> whites = AllocArray<uint32_t>(steps);
  LocalArray<uint8_t> padded = AllocArray<uint8_t>(span * Lanes);
  if (!buf || !active || !whites || !padded) return false;
  // Each lane's row between zeros; the zeros stay, only the row is replaced band by band.
  std::memset(padded.get(), 0, span * Lanes);
  auto lane = [&](uint32_t k) { return padded.get() + k * span + Buffer::kLead; };
  // Lane k owns column t - k x skew at step t; the receiving lanes never send.
  for (uint32_t k = 0; k < S::kOwned; ++k) std::memset(lane(k), 0xFF, w);
  FillBand<Kernel, Lanes>(shape, padded.get(), 0, active.get());
  const GreySource source(img);
  for (uint32_t y0 = 0; y0 < h; y0 += S::kOwned) {
    if (img.CancelRequested()) break;
    // The first kMaxDy lanes keep what the last band's receiving lanes got (their rows), the others
    // take fresh rows; lanes past the last row are zero.
    for (uint32_t k = y0 > 0 ? S::kMaxDy : 0; k < Lanes; ++k) {
      if (y0 + k < h) {
        // Converted rows are written straight into the lane; grey rows are copied.
        const uint8_t* g = source.Row(y0 + k, lane(k));
        if (g != lane(k)) std::memcpy(lane(k), g, w);
      } else {
        std::memset(lane(k), 0, w);
      }
    }
    FillBand<Kernel, Lanes>(shape, padded.get(), 0x80, buf.get());
    run(shape, buf.get(), active.get(), whites.get());
    for (uint32_t j = 0; j < S::kMaxDy; ++j) {
      const uint8_t* src = buf.get() + Buffer::At(static_cast<int>(S::kOwned + j), 0);
      uint8_t* dst = lane(j);
      for (uint32_t c = 0; c < w; ++c) dst[c] = src[static_cast<size_t>(c) * Lanes] ^ 0x80;
    }
    for (uint32_t k = 0; k < S::kOwned && y0 + k < h; ++k)
      LaneBits(whites.get() + k * S::kSkew, static_cast<int>(k), w, out.Row(y0 + k));
    img.SetProgress(Percent(std::min<uint32_t>(y0 + S::kOwned, h), h));
  }
  return true;
}

std::atomic<bool> g_wideAllowed{true};

bool WideBands() {
#if defined(LBL_HAVE_AVX2_BANDS)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 && g_wideAllowed.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

template <typename Kernel>
bool Diffuse(RasterImage& img, RasterImage& out) {
#if defined(LBL_HAVE_AVX2_BANDS)
  if (WideBands()) return DiffuseBands<Kernel, avx2::Vec::kLanes>(img, out, &avx2::RunBand<Kernel>);
#endif
  return DiffuseBands<Kernel, sse2::Vec::kLanes>(img, out, &sse2::RunBand<Kernel>);
}
#else
constexpr int kPad = kMaxReach;         // widest horizontal reach of any kernel
constexpr int kRing = kMaxRowsAhead + 1;  // current row and up to three rows ahead

// Error diffusion into `out` (1 bit, all 0), a row at a time. Working rows hold grey values with kPad spare columns
// on each side, which absorb error sent past the left and right edges; error for rows past the end
// goes to one more row that is never read.
template <typename Kernel>
bool Diffuse(RasterImage& img, RasterImage& out) {
  const uint32_t w = img.Width(), h = img.Height();
  const size_t span = static_cast<size_t>(w) + 2 * kPad;
  LocalArray<int> ring = AllocArray<int>(span * (kRing + 1));
  LocalArray<uint8_t> scratch = AllocArray<uint8_t>(w);
  if (!ring || !scratch) return false;
  const GreySource source(img);
  int* rows[kRing + 1];
  for (int i = 0; i <= kRing; ++i) rows[i] = ring.get() + span * i + kPad;
  std::fill_n(rows[kRing] - kPad, span, 0);
  auto load = [&](uint32_t y) {
    int* r = rows[y % kRing] - kPad;
    const uint8_t* g = source.Row(y, scratch.get());
    for (int i = 0; i < kPad; ++i) r[i] = r[kPad + w + i] = 0;
    for (uint32_t x = 0; x < w; ++x) r[kPad + x] = g[x];
  };
  for (uint32_t y = 0; y < std::min<uint32_t>(h, kRing); ++y) load(y);

  for (uint32_t y = 0; y < h; ++y) {
    if (img.CancelRequested()) break;
    int* next[kRing];
    for (uint32_t dy = 0; dy < kRing; ++dy) next[dy] = y + dy < h ? rows[(y + dy) % kRing] : rows[kRing];
    DiffuseRow<Kernel>(next, w, out.Row(y));
    if (y + kRing < h) load(y + kRing);
    img.SetProgress(Percent(y + 1, h));
  }
  return true;
}

#endif

bool Ordered(RasterImage& img, RasterImage& out, bool bayer) {
  const uint32_t w = img.Width(), h = img.Height();
  LocalArray<uint8_t> scratch = AllocArray<uint8_t>(w);
  if (!scratch) return false;
  const GreySource source(img);
  for (uint32_t y = 0; y < h; ++y) {
    if (img.CancelRequested()) break;
    const uint8_t* g = source.Row(y, scratch.get());
    uint8_t* dst = out.Row(y);
    for (uint32_t x = 0; x < w; ++x) {
      bool white;
      if (bayer) {
        white = g[x] > kBayer4x4[y & 3][x & 3];
      } else {
        const int c = 16 * g[x] / 255;
        white = c == 16 || kOrdered4x4[y & 3][x & 3] < c;
      }
      if (white) SetBit(dst, x);
    }
    img.SetProgress(Percent(y + 1, h));
  }
  return true;
}

}  // namespace

namespace image_detail {
bool AllowWideDiffusion(bool allowed) {
#if defined(__SSE2__)
  g_wideAllowed.store(allowed);
  return WideBands();
#else
  (void)allowed;
  return false;
#endif
}
}  // namespace image_detail

bool RasterImage::Dither(int method) {
  if (!IsValid()) {
    SetError(kMsgEmpty);
    return false;
  }
  RasterImage out;
  if (!CreateResult(*this, out, width_, height_, 1)) return false;
  bool ok;
  switch (method) {
    case kOrdered4x4: ok = Ordered(*this, out, false); break;
    case kBayer: ok = Ordered(*this, out, true); break;
    case kBurkes: ok = Diffuse<Burkes>(*this, out); break;
    case kStucki: ok = Diffuse<Stucki>(*this, out); break;
    case kJarvisJudiceNinke: ok = Diffuse<JarvisJudiceNinke>(*this, out); break;
    case kSierra: ok = Diffuse<Sierra>(*this, out); break;
    case kStevensonArce: ok = Diffuse<StevensonArce>(*this, out); break;
    default: ok = Diffuse<FloydSteinberg>(*this, out); break;
  }
  if (!ok) {
    SetError(kMsgMemory);
    return false;
  }
  TakePixels(std::move(out));
  return true;
}
