#include "tools/input_image.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/wstr.h"
#include "image/bmp.h"
#include "tools/picture_codecs.h"

namespace lbl {

namespace {

constexpr uint64_t kMaxPicturePixels = 1ull << 26;

// Source spans of each target pixel along one axis: first source index and the weights of the
// source pixels it covers (summing to 1).
struct Span {
  uint32_t first;
  std::vector<double> weights;
};

std::vector<Span> Spans(uint32_t source, uint32_t target) {
  std::vector<Span> spans(target);
  const double step = double(source) / target;
  for (uint32_t t = 0; t < target; ++t) {
    const double a = t * step, b = (t + 1) * step;
    Span& s = spans[t];
    s.first = static_cast<uint32_t>(a);
    for (uint32_t i = s.first; i < source && i < b; ++i) {
      const double w = std::min<double>(i + 1, b) - std::max<double>(i, a);
      if (w > 1e-12) s.weights.push_back(w / step);
    }
    if (s.weights.empty()) s.weights.push_back(1.0);
  }
  return spans;
}

}  // namespace

bool DecodePnm(const uint8_t* data, size_t size, RgbImage* out, std::string* error) {
  size_t pos = 0;
  auto fail = [error](const std::string& why) {
    *error = "PNM: " + why;
    return false;
  };
  if (size < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6') return fail("no P1 to P6 magic number");
  const int kind = data[1] - '0';
  pos = 2;
  // Header numbers, with comments from '#' to the end of the line.
  auto number = [&](uint64_t* v) {
    while (pos < size) {
      if (data[pos] == '#') {
        while (pos < size && data[pos] != '\n') ++pos;
      } else if (std::isspace(data[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    if (pos >= size || !std::isdigit(data[pos])) return false;
    *v = 0;
    while (pos < size && std::isdigit(data[pos])) {
      *v = *v * 10 + (data[pos++] - '0');
      if (*v > 1u << 30) return false;
    }
    return true;
  };
  uint64_t width = 0, height = 0, maxval = 1;
  if (!number(&width) || !number(&height)) return fail("bad width or height");
  if (kind != 1 && kind != 4 && (!number(&maxval) || maxval == 0 || maxval > 65535)) return fail("bad maximum value");
  if (width == 0 || height == 0 || width * height > kMaxPicturePixels) return fail("picture size out of range");
  const bool binary = kind >= 4;
  if (binary) {
    if (pos >= size || !std::isspace(data[pos])) return fail("no white space after the header");
    ++pos;  // exactly one
  }
  RgbImage img;
  img.width = static_cast<uint32_t>(width);
  img.height = static_cast<uint32_t>(height);
  img.rgb.resize(width * height * 3);
  const int channels = (kind == 3 || kind == 6) ? 3 : 1;
  const size_t sampleBytes = maxval > 255 ? 2 : 1;
  auto scale = [maxval](uint64_t v) { return static_cast<uint8_t>((std::min(v, maxval) * 255 + maxval / 2) / maxval); };
  for (uint64_t y = 0; y < height; ++y) {
    for (uint64_t x = 0; x < width; ++x) {
      uint8_t px[3];
      if (kind == 4) {
        const size_t at = pos + y * ((width + 7) / 8) + x / 8;
        if (at >= size) return fail("the pixel data ends early");
        px[0] = (data[at] & (0x80 >> (x % 8))) ? 0 : 255;
        px[1] = px[2] = px[0];
      } else if (kind == 1) {
        while (pos < size && (std::isspace(data[pos]) || data[pos] == '#')) {
          if (data[pos] == '#')
            while (pos < size && data[pos] != '\n') ++pos;
          else
            ++pos;
        }
        if (pos >= size || (data[pos] != '0' && data[pos] != '1')) return fail("the pixel data ends early or holds a bad bit");
        px[0] = px[1] = px[2] = data[pos++] == '1' ? 0 : 255;
      } else {
        for (int c = 0; c < channels; ++c) {
          uint64_t v = 0;
          if (binary) {
            if (size - pos < sampleBytes) return fail("the pixel data ends early");
            v = sampleBytes == 2 ? (uint64_t{data[pos]} << 8 | data[pos + 1]) : data[pos];
            pos += sampleBytes;
          } else if (!number(&v)) {
            return fail("the pixel data ends early or holds a bad number");
          }
          px[c] = scale(v);
        }
        if (channels == 1) px[1] = px[2] = px[0];
      }
      std::memcpy(&img.rgb[(y * width + x) * 3], px, 3);
    }
  }
  *out = std::move(img);
  return true;
}

bool DecodePicture(const uint8_t* data, size_t size, RgbImage* out, std::string* error) {
  if (size >= 8 && data[0] == 0x89 && std::memcmp(data + 1, "PNG", 3) == 0) {
    if (!DecodePngPicture(data, size, out, error, kMaxPicturePixels)) {
      *error = "PNG: " + *error;
      return false;
    }
    return true;
  }
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    if (!DecodeJpegPicture(data, size, out, error, kMaxPicturePixels)) {
      *error = "JPEG: " + *error;
      return false;
    }
    return true;
  }
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    RasterImage bmp;
    const WCHAR* why = nullptr;
    if (!ParseBmp(data, size, bmp, &why, kMaxPicturePixels)) {
      *error = "BMP: " + (why ? WideToUtf8(why) : std::string("not a bitmap this reader takes"));
      return false;
    }
    RgbImage img;
    img.width = bmp.Width();
    img.height = bmp.Height();
    img.rgb.resize(size_t{img.width} * img.height * 3);
    // The record is stored bottom-up.
    for (uint32_t y = 0; y < img.height; ++y)
      for (uint32_t x = 0; x < img.width; ++x) {
        const ImageColour c = bmp.GetPixelColour(static_cast<int32_t>(x), static_cast<int32_t>(img.height - 1 - y));
        uint8_t* px = &img.rgb[(size_t{y} * img.width + x) * 3];
        px[0] = c.Red;
        px[1] = c.Green;
        px[2] = c.Blue;
      }
    *out = std::move(img);
    return true;
  }
  if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6') return DecodePnm(data, size, out, error);
  *error = "not a PNG, JPEG, BMP or PNM picture";
  return false;
}

bool LoadPicture(const std::string& path, RgbImage* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!DecodePicture(bytes.data(), bytes.size(), out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

void DrawPicture(const RgbImage& picture, const winsim::PageSurface& surface, bool actualSize) {
  if (!surface.bits || surface.width <= 0 || surface.height <= 0 || picture.width == 0 || picture.height == 0) return;
  auto put = [&](uint32_t x, uint32_t y, const uint8_t* rgb) {
    uint8_t* px = surface.bits + size_t(y) * surface.stride + size_t(x) * 3;
    px[0] = rgb[2];  // the page bitmap is BGR
    px[1] = rgb[1];
    px[2] = rgb[0];
  };
  const uint32_t sw = static_cast<uint32_t>(surface.width), sh = static_cast<uint32_t>(surface.height);
  if (actualSize || (picture.width == sw && picture.height == sh)) {
    // Also a picture of the page's own size: fitting it is copying it.
    const uint32_t w = std::min(sw, picture.width), h = std::min(sh, picture.height);
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = &picture.rgb[size_t{y} * picture.width * 3];
      uint8_t* dst = surface.bits + size_t(y) * surface.stride;
      for (uint32_t x = 0; x < w; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    return;
  }
  const double scale = std::min(double(sw) / picture.width, double(sh) / picture.height);
  const uint32_t dw = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(picture.width * scale)), 1, sw);
  const uint32_t dh = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(picture.height * scale)), 1, sh);
  const uint32_t ox = (sw - dw) / 2, oy = (sh - dh) / 2;
  const std::vector<Span> xs = Spans(picture.width, dw), ys = Spans(picture.height, dh);
  for (uint32_t y = 0; y < dh; ++y) {
    const Span& sy = ys[y];
    for (uint32_t x = 0; x < dw; ++x) {
      const Span& sx = xs[x];
      double sum[3] = {0, 0, 0};
      for (size_t j = 0; j < sy.weights.size(); ++j) {
        const uint8_t* row = &picture.rgb[size_t(sy.first + j) * picture.width * 3];
        for (size_t i = 0; i < sx.weights.size(); ++i) {
          const double w = sy.weights[j] * sx.weights[i];
          const uint8_t* p = row + size_t(sx.first + i) * 3;
          sum[0] += w * p[0];
          sum[1] += w * p[1];
          sum[2] += w * p[2];
        }
      }
      const uint8_t rgb[3] = {static_cast<uint8_t>(std::clamp(std::lround(sum[0]), 0l, 255l)),
                              static_cast<uint8_t>(std::clamp(std::lround(sum[1]), 0l, 255l)),
                              static_cast<uint8_t>(std::clamp(std::lround(sum[2]), 0l, 255l))};
      put(ox + x, oy + y, rgb);
    }
  }
}

}  // namespace lbl
