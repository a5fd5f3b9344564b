#include "tools/viewer/png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lblview {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t GetU32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

void Chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  PutU32(out, static_cast<uint32_t>(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  PutU32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// Signature, IHDR, one IDAT of the filtered rows (filter 0 each), IEND.
std::vector<uint8_t> Encode(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                            const std::vector<uint8_t>& filtered) {
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  uint8_t ihdr[13];
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    ihdr[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  ihdr[8] = depth;
  ihdr[9] = colourType;
  ihdr[10] = ihdr[11] = ihdr[12] = 0;
  Chunk(out, "IHDR", ihdr, sizeof ihdr);
  uLongf packed = compressBound(static_cast<uLong>(filtered.size()));
  std::vector<uint8_t> z(packed);
  compress2(z.data(), &packed, filtered.data(), static_cast<uLong>(filtered.size()), 6);
  Chunk(out, "IDAT", z.data(), packed);
  Chunk(out, "IEND", nullptr, 0);
  return out;
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

}  // namespace

std::vector<uint8_t> EncodeLabelPng(const Label& label) {
  const size_t stride = label.Stride();
  std::vector<uint8_t> rows;
  rows.reserve((stride + 1) * label.height);
  for (uint32_t y = 0; y < label.height; ++y) {
    rows.push_back(0);
    for (size_t x = 0; x < stride; ++x) rows.push_back(static_cast<uint8_t>(~label.bits[y * stride + x]));
  }
  return Encode(label.width, label.height, 1, 0, rows);
}

std::vector<uint8_t> EncodeRgbPng(const RgbImage& image) {
  const size_t stride = size_t{image.width} * 3;
  std::vector<uint8_t> rows;
  rows.reserve((stride + 1) * image.height);
  for (uint32_t y = 0; y < image.height; ++y) {
    rows.push_back(0);
    rows.insert(rows.end(), image.rgb.begin() + y * stride, image.rgb.begin() + (y + 1) * stride);
  }
  return Encode(image.width, image.height, 8, 2, rows);
}

bool DecodePng(const uint8_t* data, size_t size, RgbImage* out, std::string* error, uint64_t maxPixels) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return fail("not a PNG file (no PNG signature)");
  uint32_t width = 0, height = 0;
  uint8_t depth = 0, type = 0, interlace = 0;
  bool haveHeader = false, ended = false;
  std::vector<uint8_t> idat, palette, trns;
  for (size_t pos = 8; pos < size && !ended;) {
    if (size - pos < 12) return fail("PNG chunk cut short");
    const uint32_t length = GetU32(data + pos);
    if (length > size - pos - 12) return fail("PNG chunk runs past the end of the file");
    const uint8_t* type4 = data + pos + 4;
    const uint8_t* body = data + pos + 8;
    if (crc32(0, type4, length + 4) != GetU32(body + length)) return fail("PNG chunk with a bad CRC");
    const std::string name(reinterpret_cast<const char*>(type4), 4);
    if (!haveHeader && name != "IHDR") return fail("PNG file does not start with IHDR");
    if (name == "IHDR") {
      if (length != 13 || haveHeader) return fail("bad PNG IHDR chunk");
      width = GetU32(body);
      height = GetU32(body + 4);
      depth = body[8];
      type = body[9];
      interlace = body[12];
      if (body[10] != 0 || body[11] != 0) return fail("unknown PNG compression or filter method");
      haveHeader = true;
    } else if (name == "PLTE") {
      palette.assign(body, body + length);
    } else if (name == "tRNS") {
      trns.assign(body, body + length);
    } else if (name == "IDAT") {
      idat.insert(idat.end(), body, body + length);
    } else if (name == "IEND") {
      ended = true;
    } else if (!(type4[0] & 0x20)) {
      return fail("PNG chunk " + name + " is critical and not supported");
    }
    pos += 12 + size_t{length};
  }
  if (!haveHeader || !ended) return fail("PNG file without IHDR or IEND");
  if (interlace != 0) return fail("interlaced PNG files are not supported (save it without interlacing)");
  if (width == 0 || height == 0 || uint64_t{width} * height > maxPixels) return fail("PNG picture size out of range");
  int channels;
  switch (type) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 3: channels = 1; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return fail("unknown PNG colour type " + std::to_string(type));
  }
  const bool depthOk = type == 0 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                       : type == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                                   : (depth == 8 || depth == 16);
  if (!depthOk) return fail("PNG bit depth " + std::to_string(depth) + " is not valid for colour type " + std::to_string(type));
  if (type == 3 && (palette.empty() || palette.size() % 3 || palette.size() > 768)) return fail("PNG palette missing or bad");

  const size_t bitsPerPixel = size_t{depth} * channels;
  const size_t stride = (size_t{width} * bitsPerPixel + 7) / 8;
  const size_t bpp = std::max<size_t>(1, bitsPerPixel / 8);
  std::vector<uint8_t> raw((stride + 1) * height);
  uLongf rawSize = static_cast<uLongf>(raw.size());
  const int rc = uncompress(raw.data(), &rawSize, idat.data(), static_cast<uLong>(idat.size()));
  if (rc != Z_OK || rawSize != raw.size()) return fail("PNG image data is damaged or has the wrong size");

  // Undo the filters in place.
  std::vector<uint8_t> prev(stride, 0);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = raw.data() + y * (stride + 1);
    const uint8_t filter = row[0];
    uint8_t* cur = row + 1;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      switch (filter) {
        case 0: break;
        case 1: cur[i] = static_cast<uint8_t>(cur[i] + a); break;
        case 2: cur[i] = static_cast<uint8_t>(cur[i] + b); break;
        case 3: cur[i] = static_cast<uint8_t>(cur[i] + (a + b) / 2); break;
        case 4: cur[i] = static_cast<uint8_t>(cur[i] + Paeth(a, b, c)); break;
        default: return fail("unknown PNG row filter " + std::to_string(filter));
      }
    }
    std::memcpy(prev.data(), cur, stride);
  }

  RgbImage img;
  img.width = width;
  img.height = height;
  img.rgb.resize(size_t{width} * height * 3);
  const int maxSample = (1 << std::min<int>(depth, 8)) - 1;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = raw.data() + y * (stride + 1) + 1;
    // Sample k of the row, scaled to 8 bits (16-bit samples keep their high byte).
    auto sample = [&](size_t k) -> uint32_t {
      if (depth == 16) return row[k * 2];
      if (depth == 8) return row[k];
      const size_t bit = k * depth;
      return (row[bit / 8] >> (8 - depth - bit % 8)) & maxSample;
    };
    auto sample16 = [&](size_t k) -> uint32_t { return depth == 16 ? (uint32_t{row[k * 2]} << 8 | row[k * 2 + 1]) : sample(k); };
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t r, g, b, alpha = 255;
      const size_t k = size_t{x} * channels;
      if (type == 3) {
        const uint32_t index = sample(k);
        if (index * 3 + 2 >= palette.size()) return fail("PNG pixel names a colour beyond the palette");
        r = palette[index * 3];
        g = palette[index * 3 + 1];
        b = palette[index * 3 + 2];
        if (index < trns.size()) alpha = trns[index];
      } else if (type == 0 || type == 4) {
        const uint32_t v = depth < 8 ? sample(k) * 255 / maxSample : sample(k);
        r = g = b = v;
        if (type == 4) alpha = sample(k + 1);
        else if (trns.size() == 2 && sample16(k) == (uint32_t{trns[0]} << 8 | trns[1])) alpha = 0;
      } else {
        r = sample(k);
        g = sample(k + 1);
        b = sample(k + 2);
        if (type == 6) alpha = sample(k + 3);
        else if (trns.size() == 6 && sample16(k) == (uint32_t{trns[0]} << 8 | trns[1]) &&
                 sample16(k + 1) == (uint32_t{trns[2]} << 8 | trns[3]) && sample16(k + 2) == (uint32_t{trns[4]} << 8 | trns[5]))
          alpha = 0;
      }
      uint8_t* px = &img.rgb[(size_t{y} * width + x) * 3];
      // Over white, as the picture would print on a label.
      px[0] = static_cast<uint8_t>((r * alpha + 255 * (255 - alpha) + 127) / 255);
      px[1] = static_cast<uint8_t>((g * alpha + 255 * (255 - alpha) + 127) / 255);
      px[2] = static_cast<uint8_t>((b * alpha + 255 * (255 - alpha) + 127) / 255);
    }
  }
  *out = std::move(img);
  return true;
}

}  // namespace lblview
