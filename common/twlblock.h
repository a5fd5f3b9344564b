// The TWL page block as the printer reads it: a 22-byte "SIZ" header (media, paper width, page
// length, gap, gap offset, page counter, then 1D 76 30 00, row length L and row count, 16-bit
// little-endian) and the rows, each its count of black dots (16-bit) and L - 2 raster bytes. The one
// reader of the block, shared by the simulated TWL printer and the viewer.
//
// The shortest row is L = 2: a row of no raster bytes (a page of no width) is what the writer makes
// of it, and a well-formed block. L of 0 or 1 leaves no room for the dot count.
//
// Header only and free of the platform: winsim's printer and the tools use it alike.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr size_t kTwlBlockHeaderBytes = 22;
inline constexpr uint16_t kTwlShortestRowLength = 2;  // the dot count alone

enum class TwlBlockStatus {
  Page,      // a whole, consistent block
  Torn,      // the data ends inside the block
  Corrupt,   // a row's dot count does not match its bytes, or the header contradicts itself
  NotAPage,  // does not start with "SIZ"
};

// What is wrong with a block that is not a page, checked in this order.
enum class TwlBlockFault {
  None,
  NotSiz,         // NotAPage
  ShortHeader,    // Torn: fewer than 22 bytes
  ShortRows,      // Torn: fewer bytes than 22 + rows x L
  RasterCommand,  // Corrupt: bytes 14-17 are not 1D 76 30 00
  RowCount,       // Corrupt: the raster's row count (bytes 20-21) is not the page length (bytes 6-7)
  RowLength,      // Corrupt: L below 2
  DotCount,       // Corrupt: row `row` counts `stated` black dots and holds `counted`
};

struct TwlPageBlock {
  TwlBlockStatus status = TwlBlockStatus::NotAPage;
  TwlBlockFault fault = TwlBlockFault::NotSiz;
  size_t offset = 0;  // of the fault, from the block's start
  size_t used = 0;    // bytes the block spans: the whole block, or all of the data when torn
  // The header as it states itself (set from ShortRows on).
  uint8_t media = 0;  // 1 gap, 2 black mark, 0 continuous
  uint16_t paperWidth = 0, length = 0, gap = 0, gapOffset = 0, number = 0, rowLength = 0, rows = 0;
  const uint8_t* rowData = nullptr;  // the first row (its dot count), when the block is whole
  uint32_t row = 0, stated = 0, counted = 0;  // DotCount

  uint16_t RowBytes() const { return rowLength >= kTwlShortestRowLength ? uint16_t(rowLength - 2) : 0; }
  const uint8_t* RowBits(uint32_t y) const { return rowData + size_t(y) * rowLength + 2; }
};

inline uint16_t TwlU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// Reads the page block at the start of `data`.
inline TwlPageBlock ReadTwlPageBlock(const uint8_t* data, size_t size) {
  TwlPageBlock b;
  if (size < 3 || std::memcmp(data, "SIZ", 3) != 0) return b;
  auto fail = [&b](TwlBlockStatus status, TwlBlockFault fault, size_t offset) {
    b.status = status;
    b.fault = fault;
    b.offset = offset;
    return b;
  };
  if (size < kTwlBlockHeaderBytes) {
    b.used = size;
    return fail(TwlBlockStatus::Torn, TwlBlockFault::ShortHeader, 0);
  }
  b.media = data[3];
  b.paperWidth = TwlU16(data + 4);
  b.length = TwlU16(data + 6);
  b.gap = TwlU16(data + 8);
  b.gapOffset = TwlU16(data + 10);
  b.number = TwlU16(data + 12);
  b.rowLength = TwlU16(data + 18);
  b.rows = TwlU16(data + 20);
  const size_t total = kTwlBlockHeaderBytes + size_t(b.rows) * b.rowLength;
  if (size < total) {
    b.used = size;
    return fail(TwlBlockStatus::Torn, TwlBlockFault::ShortRows, 0);
  }
  b.used = total;
  static const uint8_t kRaster[4] = {0x1D, 0x76, 0x30, 0x00};
  if (std::memcmp(data + 14, kRaster, 4) != 0) return fail(TwlBlockStatus::Corrupt, TwlBlockFault::RasterCommand, 14);
  if (b.rows != b.length) return fail(TwlBlockStatus::Corrupt, TwlBlockFault::RowCount, 20);
  if (b.rowLength < kTwlShortestRowLength) return fail(TwlBlockStatus::Corrupt, TwlBlockFault::RowLength, 18);
  b.rowData = data + kTwlBlockHeaderBytes;
  const size_t rowBytes = b.RowBytes();
  const uint8_t* row = b.rowData;
  for (uint32_t y = 0; y < b.rows; ++y, row += b.rowLength) {
    uint32_t black = 0;
    for (size_t x = 0; x < rowBytes; ++x) black += uint32_t(std::popcount(row[2 + x]));
    if (TwlU16(row) != black) {
      b.row = y;
      b.stated = TwlU16(row);
      b.counted = black;
      return fail(TwlBlockStatus::Corrupt, TwlBlockFault::DotCount, size_t(row - data));
    }
  }
  b.status = TwlBlockStatus::Page;
  b.fault = TwlBlockFault::None;
  return b;
}
