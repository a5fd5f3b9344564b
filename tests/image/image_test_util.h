// Builders and readers for the image operation tests. Pixel lists are given in stored order:
// stored row 0 (the bottom row of the picture) first.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

namespace imgtest {

// An 8-bit grey image from stored rows (row 0 first), w x h values.
inline RasterImage Grey(uint32_t w, uint32_t h, const std::vector<uint8_t>& values) {
  RasterImage img;
  EXPECT_TRUE(img.Create(w, h, 8));
  EXPECT_EQ(values.size(), static_cast<size_t>(w) * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) img.SetPixelIndex(x, y, values[y * w + x]);
  }
  return img;
}

inline RasterImage Uniform(uint32_t w, uint32_t h, uint8_t v) {
  return Grey(w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h, v));
}

// Pixel indices in stored order.
inline std::vector<uint8_t> Indices(const RasterImage& img) {
  std::vector<uint8_t> v;
  for (uint32_t y = 0; y < img.Height(); ++y) {
    for (uint32_t x = 0; x < img.Width(); ++x) v.push_back(img.GetPixelIndex(x, y));
  }
  return v;
}

inline std::vector<uint8_t> Greys(const RasterImage& img) {
  std::vector<uint8_t> v;
  for (uint32_t y = 0; y < img.Height(); ++y) {
    for (uint32_t x = 0; x < img.Width(); ++x) v.push_back(img.GetPixelGrey(x, y));
  }
  return v;
}

// Deterministic pseudo-random bytes.
struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed * 2654435761u + 12345u) {}
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

inline RasterImage RandomGrey(uint32_t w, uint32_t h, Rng& rng) {
  std::vector<uint8_t> v(static_cast<size_t>(w) * h);
  for (auto& b : v) b = static_cast<uint8_t>(rng.Next() >> 7);
  return Grey(w, h, v);
}

inline std::u16string Str(const WCHAR* s) {
  std::u16string out;
  for (; s && *s; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

}  // namespace imgtest
