// The band loop for one instruction set: included by diffusion_bands.h once per set, inside that
// set's namespace, with its `Vec` operations and LBL_BANDS_TARGET. No include guard on purpose.
namespace {

template <typename Kernel, int I>
[[gnu::always_inline]] LBL_BANDS_TARGET inline void BandTap(int t, uint8_t* buf, typename Vec::T* win,
                                                            const typename Vec::T* share) {
  using S = BandShape<Kernel, Vec::kLanes>;
  constexpr Tap tap = Kernel::kTaps[I];
  constexpr int wi = S::kWeights.of[I];
  if constexpr (tap.dy == 0) {
    win[tap.dx] = Vec::AddSat(win[tap.dx], share[wi]);
  } else {
    // The row dy on is dy lanes up.
    uint8_t* p = buf + static_cast<size_t>(t + tap.dx + tap.dy * S::kSkew + BandBuffer<Kernel, Vec::kLanes>::kPad) *
                           Vec::kLanes;
    Vec::Store(p, Vec::AddSat(Vec::Load(p), Vec::template Up<tap.dy>(share[wi])));
  }
}

template <typename Kernel, size_t... I>
[[gnu::always_inline]] LBL_BANDS_TARGET inline void BandTaps(int t, uint8_t* buf, typename Vec::T* win,
                                                             const typename Vec::T* share, std::index_sequence<I...>) {
  (BandTap<Kernel, static_cast<int>(I)>(t, buf, win, share), ...);
}

// Each weight's share w x e / divisor, from |e| (lo and hi: its 16-bit halves) and e's sign (white).
template <typename Kernel, size_t... I>
[[gnu::always_inline]] LBL_BANDS_TARGET inline void BandShares(typename Vec::T lo, typename Vec::T hi,
                                                               typename Vec::T white, typename Vec::T* share,
                                                               std::index_sequence<I...>) {
  using S = BandShape<Kernel, Vec::kLanes>;
  ((share[I] = Vec::Narrow(Vec::MulHi(lo, Vec::Words(static_cast<short>(S::Multiplier(S::kWeights.w[I])))),
                           Vec::MulHi(hi, Vec::Words(static_cast<short>(S::Multiplier(S::kWeights.w[I]))))),
    share[I] = Vec::Sub(Vec::Xor(share[I], white), white)),
   ...);
}

// Runs one band over the buffer (values stored as v - 128): `active` has, per entry, 0xFF in the lanes
// whose pixel is real and owned by this band; `whites` gets, per step, bit k set when lane k's pixel
// is white.
template <typename Kernel>
LBL_BANDS_TARGET void RunBand(const BandBuffer<Kernel, Vec::kLanes>& shape, uint8_t* buf, const uint8_t* active,
                              uint32_t* whites) {
  using S = BandShape<Kernel, Vec::kLanes>;
  using T = typename Vec::T;
  constexpr int kPad = BandBuffer<Kernel, Vec::kLanes>::kPad;
  constexpr auto kTaps = std::make_index_sequence<S::kTapCount>();
  constexpr auto kWeightSeq = std::make_index_sequence<S::kWeights.count>();
  const T zero = Vec::Zero();
  const T bias = Vec::Bytes(static_cast<char>(0x80));
  auto entry = [&](int t) { return buf + static_cast<size_t>(t + kPad) * Vec::kLanes; };
  T win[S::kWindow + 1];
  for (int j = 0; j <= S::kWindow; ++j) win[j] = Vec::Load(entry(j));
  const int steps = shape.Steps();
  for (int t = 0; t < steps; ++t) {
    const T x = win[0];
    const T white = Vec::Greater(x, zero);  // v >= 129
    whites[t] = Vec::Mask(white);
    // |e|: v for black, 255 - v for white.
    const T m = Vec::And(Vec::Xor(x, Vec::Xor(white, bias)), Vec::Load(active + static_cast<size_t>(t + kPad) * Vec::kLanes));
    T share[S::kWeights.count];
    BandShares<Kernel>(Vec::WidenLo(m), Vec::WidenHi(m), white, share, kWeightSeq);
    BandTaps<Kernel>(t, buf, win, share, kTaps);
    for (int j = 0; j < S::kWindow; ++j) win[j] = win[j + 1];
    win[S::kWindow] = Vec::Load(entry(t + 1 + S::kWindow));
  }
}

}  // namespace
