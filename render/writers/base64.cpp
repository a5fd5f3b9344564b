#include "render/writers/base64.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

size_t Base64Encode(const uint8_t* data, size_t size, char* out) {
  char* p = out;
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    p[0] = kAlphabet[v >> 18];
    p[1] = kAlphabet[(v >> 12) & 63];
    p[2] = kAlphabet[(v >> 6) & 63];
    p[3] = kAlphabet[v & 63];
    p += 4;
  }
  size_t rest = size - i;
  if (rest > 0) {
    uint32_t v = uint32_t{data[i]} << 16;
    if (rest == 2) v |= uint32_t{data[i + 1]} << 8;
    p[0] = kAlphabet[v >> 18];
    p[1] = kAlphabet[(v >> 12) & 63];
    p[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    p[3] = '=';
    p += 4;
  }
  return static_cast<size_t>(p - out);
}
