#include "common/crc16.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeArcTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint16_t, 256> MakeXmodemTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i << 8);
    for (int k = 0; k < 8; ++k)
      c = (c & 0x8000) ? static_cast<uint16_t>((c << 1) ^ 0x1021) : static_cast<uint16_t>(c << 1);
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint16_t, 256> kArc = MakeArcTable();
constexpr std::array<uint16_t, 256> kXmodem = MakeXmodemTable();

}  // namespace

uint16_t Crc16Arc(const void* data, size_t len) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint16_t crc = 0;
  for (size_t i = 0; i < len; ++i) crc = static_cast<uint16_t>(kArc[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

uint16_t Crc16Xmodem(const void* data, size_t len) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint16_t crc = 0;
  for (size_t i = 0; i < len; ++i) crc = static_cast<uint16_t>(kXmodem[((crc >> 8) ^ p[i]) & 0xFF] ^ (crc << 8));
  return crc;
}
