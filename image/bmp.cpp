// BMP reading and writing. The parser treats the file as hostile: every size is computed in
// 64 bits and checked against the buffer before any byte is read, and the picture size is capped
// before anything is allocated.
#include "image/bmp.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "image/image_internal.h"

using namespace image_detail;

namespace {

const WCHAR* const kMsgShort = TEXT("BMP file is too short");
const WCHAR* const kMsgNotBmp = TEXT("not a BMP file");
const WCHAR* const kMsgHeader = TEXT("unsupported BMP header");
const WCHAR* const kMsgFormat = TEXT("unsupported BMP format");
const WCHAR* const kMsgDims = TEXT("invalid BMP dimensions");
const WCHAR* const kMsgTooLarge = TEXT("BMP image is too large");
const WCHAR* const kMsgPalette = TEXT("invalid BMP palette");
const WCHAR* const kMsgOffset = TEXT("invalid BMP pixel offset");
const WCHAR* const kMsgTruncated = TEXT("BMP pixel data is truncated");
const WCHAR* const kMsgRle = TEXT("damaged BMP run-length data");

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

bool Fail(const WCHAR** error, const WCHAR* message) {
  if (error) *error = message;
  return false;
}

// Run-length data (RLE8 or RLE4) into an 8-bit image. Pixels past a row's end are dropped; a
// move past the top row ends the picture; an incomplete command fails.
bool DecodeRle(const uint8_t* p, size_t n, bool rle4, RasterImage& img) {
  const uint32_t w = img.Width(), h = img.Height();
  uint64_t x = 0, y = 0;  // moves may push x far past the row; only x < w is ever written
  size_t i = 0;
  auto put = [&](uint8_t v) {
    if (x < w) img.Row(static_cast<uint32_t>(y))[x] = v;
    ++x;
  };
  while (i + 2 <= n && y < h) {
    const uint8_t count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      const uint64_t run = std::min<uint64_t>(count, w > x ? w - x : 0);
      for (uint64_t k = 0; k < run; ++k) {
        put(rle4 ? static_cast<uint8_t>((k & 1) ? value & 0x0F : value >> 4) : value);
      }
      x += count - run;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of picture
        return true;
      case 2:  // move
        if (i + 2 > n) return false;
        x += p[i];
        y += p[i + 1];
        i += 2;
        break;
      default: {  // literal run, padded to an even byte count
        const size_t bytes = rle4 ? (value + 1u) / 2 : value;
        if (i + bytes > n) return false;
        for (uint32_t k = 0; k < value; ++k) {
          const uint8_t b = p[i + (rle4 ? k / 2 : k)];
          if (x >= w) break;
          put(rle4 ? static_cast<uint8_t>((k & 1) ? b & 0x0F : b >> 4) : b);
        }
        i += bytes + (bytes & 1);
        break;
      }
    }
  }
  // Data that ends without the end marker, or runs on above the top row, is accepted.
  return true;
}

}  // namespace

bool ParseBmp(const uint8_t* data, size_t size, RasterImage& out, const WCHAR** error,
              uint64_t maxPixels) {
  if (!data || size < 18) return Fail(error, kMsgShort);
  if (data[0] != 'B' || data[1] != 'M') return Fail(error, kMsgNotBmp);
  const uint64_t offBits = U32(data + 10);
  const uint32_t headerSize = U32(data + 14);
  int64_t width, height;
  uint32_t bpp, compression = kBiRgb, colours = 0, entrySize = 4, imageSize = 0;
  uint64_t paletteStart = 14 + static_cast<uint64_t>(headerSize);
  if (headerSize == 12) {
    if (size < 26) return Fail(error, kMsgShort);
    width = U16(data + 18);
    height = U16(data + 20);
    bpp = U16(data + 24);
    entrySize = 3;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == 124) {
    if (size < 14 + static_cast<uint64_t>(headerSize)) return Fail(error, kMsgShort);
    width = static_cast<int32_t>(U32(data + 18));
    height = static_cast<int32_t>(U32(data + 22));
    bpp = U16(data + 28);
    compression = U32(data + 30);
    imageSize = U32(data + 34);
    colours = U32(data + 46);
  } else {
    return Fail(error, kMsgHeader);
  }

  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return Fail(error, kMsgDims);
  if (width > RasterImage::kMaxSide || height > RasterImage::kMaxSide ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > maxPixels) {
    return Fail(error, kMsgTooLarge);
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return Fail(error, kMsgFormat);
  switch (compression) {
    case kBiRgb:
      break;
    case kBiRle8:
    case kBiRle4:
      if (topDown || bpp != (compression == kBiRle8 ? 8u : 4u)) return Fail(error, kMsgFormat);
      break;
    case kBiBitfields: {
      if (bpp != 32) return Fail(error, kMsgFormat);
      // Masks follow a 40-byte header, or sit inside the larger headers at the same place.
      if (headerSize == 40) paletteStart += 12;
      if (paletteStart > size) return Fail(error, kMsgShort);
      if (U32(data + 54) != 0x00FF0000u || U32(data + 58) != 0x0000FF00u ||
          U32(data + 62) != 0x000000FFu) {
        return Fail(error, kMsgFormat);
      }
      break;
    }
    default:
      return Fail(error, kMsgFormat);
  }

  const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  uint64_t paletteEnd = paletteStart;
  if (bpp <= 8) {
    const uint32_t maxColours = 1u << bpp;
    if (colours == 0) colours = maxColours;
    if (colours > maxColours) return Fail(error, kMsgPalette);
    paletteEnd = paletteStart + static_cast<uint64_t>(colours) * entrySize;
    if (paletteEnd > size) return Fail(error, kMsgShort);
  }
  if (offBits < paletteEnd || offBits > size) return Fail(error, kMsgOffset);

  RasterImage img;
  if (!img.Create(w, h, bpp == 1 ? 1 : bpp <= 8 ? 8 : 24)) {
    return Fail(error, img.LastError());
  }
  if (bpp <= 8) {
    ImageColour pal[256] = {};
    for (uint32_t i = 0; i < colours; ++i) {
      const uint8_t* e = data + paletteStart + static_cast<uint64_t>(i) * entrySize;
      pal[i] = ImageColour{e[0], e[1], e[2], 0};
    }
    img.SetPalette(pal, img.PaletteSize());
  }

  const uint8_t* pixels = data + offBits;
  const uint64_t available = size - offBits;
  if (compression == kBiRle8 || compression == kBiRle4) {
    const uint64_t n = imageSize != 0 && imageSize <= available ? imageSize : available;
    if (!DecodeRle(pixels, static_cast<size_t>(n), compression == kBiRle4, img)) {
      return Fail(error, kMsgRle);
    }
  } else {
    const uint64_t fileStride = (static_cast<uint64_t>(w) * bpp + 31) / 32 * 4;
    if (fileStride * h > available) return Fail(error, kMsgTruncated);
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = pixels + fileStride * (topDown ? h - 1 - y : y);
      uint8_t* dst = img.Row(y);
      switch (bpp) {
        case 1:
        case 8:
        case 24:
          std::memcpy(dst, src, img.Stride());
          break;
        case 4:
          for (uint32_t x = 0; x < w; ++x) {
            dst[x] = static_cast<uint8_t>((x & 1) ? src[x / 2] & 0x0F : src[x / 2] >> 4);
          }
          break;
        default:  // 32
          for (uint32_t x = 0; x < w; ++x) std::memcpy(dst + 3 * static_cast<size_t>(x), src + 4 * static_cast<size_t>(x), 3);
          break;
      }
    }
  }
  out.TakePixels(std::move(img));
  return true;
}

bool EncodeBmp(const RasterImage& img, std::vector<uint8_t>& out) {
  if (!img.IsValid()) return false;
  const uint32_t colours = img.PaletteSize();
  const uint32_t offBits = 14 + 40 + 4 * colours;
  const uint64_t pixelBytes = static_cast<uint64_t>(img.Stride()) * img.Height();
  const uint64_t total = offBits + pixelBytes;
  if (total > 0xFFFFFFFFu) return false;
  try {
    out.assign(static_cast<size_t>(total), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<uint32_t>(total));
  Put32(out, 10, offBits);
  Put32(out, 14, 40);
  Put32(out, 18, img.Width());
  Put32(out, 22, img.Height());
  Put16(out, 26, 1);
  Put16(out, 28, img.Bpp());
  Put32(out, 34, static_cast<uint32_t>(pixelBytes));
  Put32(out, 46, colours);
  for (uint32_t i = 0; i < colours; ++i) {
    const ImageColour& c = img.Palette()[i];
    out[54 + 4 * i] = c.Blue;
    out[55 + 4 * i] = c.Green;
    out[56 + 4 * i] = c.Red;
  }
  std::memcpy(out.data() + offBits, img.Bits(), static_cast<size_t>(pixelBytes));
  return true;
}

// ---- the record's file operations -------------------------------------------------------------

bool RasterImage::DecodeBmp(const uint8_t* data, size_t size) {
  const WCHAR* message = nullptr;
  if (!ParseBmp(data, size, *this, &message)) {
    SetError(message);
    return false;
  }
  return true;
}
