// CRC-16 checksums. No Windows dependency: the build-time generators compile this file too.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR. Model "PnP ID"s and the
// USB hardware-ID checksum.
uint16_t Crc16Arc(const void* data, size_t len);

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, not reflected, no final XOR. ZPL graphic fields.
uint16_t Crc16Xmodem(const void* data, size_t len);
