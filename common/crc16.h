// CRC-16 checksums. No Windows dependency: the build-time generators compile this file too.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR. Model "PnP ID"s and the
// USB hardware-ID checksum.
uint16_t Crc16Arc(const void* data, size_t len);

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, not reflected, no final XOR. ZPL graphic fields.
uint16_t Crc16Xmodem(const void* data, size_t len);

// Compile-time CRC-16/ARC of a text (without its terminator), for tables of model checksums.
constexpr uint16_t Crc16ArcText(const char* text) {
  uint16_t crc = 0;
  for (; *text; ++text) {
    crc ^= static_cast<uint8_t>(*text);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}
static_assert(Crc16ArcText("123456789") == 0xBB3D);
