// Shared pieces of the lbl tool tests: a byte-stream builder for golden streams, pictures with
// boxes, and the label a page should print as (the drawing thresholded as the pipeline does).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/crc16.h"
#include "tools/input_image.h"
#include "tools/viewer/viewer.h"

namespace tooltest {

struct Bytes {
  std::string s;
  Bytes& operator()(const std::string& text) {
    s += text;
    return *this;
  }
  Bytes& b(std::initializer_list<int> bytes) {
    for (int v : bytes) s += static_cast<char>(v);
    return *this;
  }
  Bytes& u16(uint32_t v) { return b({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF)}); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& raw(const std::vector<uint8_t>& data) {
    s.append(data.begin(), data.end());
    return *this;
  }
  size_t size() const { return s.size(); }
  std::vector<uint8_t> v() const { return std::vector<uint8_t>(s.begin(), s.end()); }
};

inline std::string Base64(const std::vector<uint8_t>& in) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = uint32_t(in[i]) << 16 | (i + 1 < in.size() ? uint32_t(in[i + 1]) << 8 : 0) |
                 (i + 2 < in.size() ? in[i + 2] : 0);
    out += a[n >> 18 & 63];
    out += a[n >> 12 & 63];
    out += i + 1 < in.size() ? a[n >> 6 & 63] : '=';
    out += i + 2 < in.size() ? a[n & 63] : '=';
  }
  return out;
}

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::vector<uint8_t> out(size);
  compress(out.data(), &size, in.data(), static_cast<uLong>(in.size()));
  out.resize(size);
  return out;
}

// "^FOx,y^GFA,n,n,w,:Z64:" Base64 ":CRC\r\n" for `rows` packed rows of `rowBytes` (1 = black).
inline std::string ZplGraphic(int x, int y, const std::vector<uint8_t>& rows, size_t rowBytes) {
  const std::string text = Base64(Deflate(rows));
  char head[96], crc[16];
  std::snprintf(head, sizeof head, "^FO%d,%d^GFA,%zu,%zu,%zu,:Z64:", x, y, rows.size(), rows.size(), rowBytes);
  std::snprintf(crc, sizeof crc, ":%04X\r\n", Crc16Xmodem(text.data(), text.size()));
  return head + text + crc;
}

// Packed rows, 1 = black, with a black rectangle [x0, x1) x [y0, y1).
inline std::vector<uint8_t> Rows(size_t rowBytes, size_t rows, size_t x0, size_t x1, size_t y0, size_t y1,
                                 bool oneIsBlack = true) {
  std::vector<uint8_t> r(rowBytes * rows, oneIsBlack ? 0x00 : 0xFF);
  for (size_t y = y0; y < y1; ++y)
    for (size_t x = x0; x < x1; ++x) {
      uint8_t& b = r[y * rowBytes + x / 8];
      const uint8_t m = static_cast<uint8_t>(0x80 >> (x % 8));
      b = oneIsBlack ? (b | m) : (b & ~m);
    }
  return r;
}

inline size_t CountBlack(const lblview::Label& l, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
  size_t n = 0;
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x) n += l.Black(x, y);
  return n;
}

// A white picture with black boxes placed by a small generator, and a one-pixel frame.
inline lblview::RgbImage BoxPicture(uint32_t w, uint32_t h, uint32_t seed) {
  lblview::RgbImage p;
  p.width = w;
  p.height = h;
  p.rgb.assign(size_t{w} * h * 3, 255);
  auto black = [&](uint32_t x, uint32_t y) {
    uint8_t* px = &p.rgb[(size_t{y} * w + x) * 3];
    px[0] = px[1] = px[2] = 0;
  };
  for (uint32_t x = 0; x < w; ++x) black(x, 0), black(x, h - 1);
  for (uint32_t y = 0; y < h; ++y) black(0, y), black(w - 1, y);
  uint32_t s = seed * 2654435761u + 7;
  auto next = [&s] { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; };
  for (int i = 0; i < 12; ++i) {
    uint32_t x0 = next() % w, y0 = next() % h, bw = 1 + next() % std::max(1u, w / 4), bh = 1 + next() % std::max(1u, h / 4);
    for (uint32_t y = y0; y < std::min(h, y0 + bh); ++y)
      for (uint32_t x = x0; x < std::min(w, x0 + bw); ++x) black(x, y);
  }
  return p;
}

// What a page of `width` x `height` dots carrying `picture` should print as: drawn as lbl print
// draws it, then grey (15 B + 75 G + 38 R) >> 7 and black at 128 or below, as the pipeline's fixed threshold.
inline std::vector<bool> ExpectedPage(const lblview::RgbImage& picture, int32_t width, int32_t height, bool actualSize) {
  std::vector<uint8_t> bits(size_t(width) * height * 3, 0xFF);
  winsim::PageSurface surface{bits.data(), width, height, width * 3};
  lbl::DrawPicture(picture, surface, actualSize);
  std::vector<bool> black(size_t(width) * height);
  for (size_t i = 0; i < black.size(); ++i) {
    const uint8_t* px = &bits[i * 3];
    black[i] = ((15 * px[0] + 75 * px[1] + 38 * px[2]) >> 7) <= 128;
  }
  return black;
}

}  // namespace tooltest
