#include "common/twlblock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "winsim/twlprinter.h"

namespace {

// A block of `rows` rows of `rowBytes` bytes, each byte `fill`, with the dot counts it needs.
std::vector<uint8_t> Block(uint16_t rows, uint16_t rowBytes, uint8_t fill = 0xF0, uint16_t page = 2) {
  std::vector<uint8_t> b = {'S', 'I', 'Z', 1};
  auto u16 = [&b](unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  u16(rowBytes * 8);
  u16(rows);
  u16(24);
  u16(0);
  u16(page);
  b.insert(b.end(), {0x1D, 0x76, 0x30, 0x00});
  u16(rowBytes + 2u);
  u16(rows);
  for (unsigned y = 0; y < rows; ++y) {
    u16(rowBytes * unsigned(__builtin_popcount(fill)));
    b.insert(b.end(), rowBytes, fill);
  }
  return b;
}

TEST(TwlBlock, ReadsAWholeBlock) {
  const std::vector<uint8_t> data = Block(3, 2, 0xFF, 9);
  const TwlPageBlock b = ReadTwlPageBlock(data.data(), data.size());
  ASSERT_EQ(b.status, TwlBlockStatus::Page);
  EXPECT_EQ(b.used, data.size());
  EXPECT_EQ(b.number, 9);
  EXPECT_EQ(b.RowBytes(), 2);
  EXPECT_EQ(b.RowBits(2)[1], 0xFF);
}

// The writer makes a row of L = raster bytes + 2: a page of no width gives rows of the dot count alone.
TEST(TwlBlock, TheShortestRowIsItsDotCount) {
  const std::vector<uint8_t> empty = Block(3, 0);
  const TwlPageBlock b = ReadTwlPageBlock(empty.data(), empty.size());
  EXPECT_EQ(b.status, TwlBlockStatus::Page);
  EXPECT_EQ(b.RowBytes(), 0);
  EXPECT_EQ(b.used, kTwlBlockHeaderBytes + 3 * 2);

  for (uint8_t length : {0, 1}) {
    std::vector<uint8_t> cut = Block(0, 0);
    cut[18] = length;
    const TwlPageBlock c = ReadTwlPageBlock(cut.data(), cut.size());
    EXPECT_EQ(c.status, TwlBlockStatus::Corrupt) << int(length);
    EXPECT_EQ(c.fault, TwlBlockFault::RowLength);
    EXPECT_EQ(c.offset, 18u);
  }

  // The simulated printer prints it, as it prints any well-formed block.
  winsim::TwlPrinterDevice printer;
  DWORD written = 0;
  ASSERT_TRUE(printer.OnWrite(empty.data(), DWORD(empty.size()), &written));
  ASSERT_EQ(printer.PrintedPages().size(), 1u);
  EXPECT_EQ(printer.PrintedPages()[0].rows, 3);
  EXPECT_EQ(printer.PrintedPages()[0].rowBytes, 0);
  EXPECT_EQ(printer.TornBlocks(), 0u);
}

TEST(TwlBlock, TornBeforeCorrupt) {
  std::vector<uint8_t> data = Block(4, 3);
  data[14] = 0;  // no raster command: corrupt, unless the data ends first
  EXPECT_EQ(ReadTwlPageBlock(data.data(), data.size()).fault, TwlBlockFault::RasterCommand);
  const TwlPageBlock torn = ReadTwlPageBlock(data.data(), data.size() - 1);
  EXPECT_EQ(torn.status, TwlBlockStatus::Torn);
  EXPECT_EQ(torn.fault, TwlBlockFault::ShortRows);
  EXPECT_EQ(torn.used, data.size() - 1);
  EXPECT_EQ(ReadTwlPageBlock(data.data(), 21).fault, TwlBlockFault::ShortHeader);
  EXPECT_EQ(ReadTwlPageBlock(data.data(), 2).status, TwlBlockStatus::NotAPage);

  std::vector<uint8_t> rows = Block(4, 3);
  rows[6] = 5;  // the page length disagrees with the raster's rows
  EXPECT_EQ(ReadTwlPageBlock(rows.data(), rows.size()).fault, TwlBlockFault::RowCount);

  std::vector<uint8_t> dots = Block(4, 3);
  const size_t row2 = kTwlBlockHeaderBytes + 2 * 5;
  dots[row2] ^= 1;
  const TwlPageBlock d = ReadTwlPageBlock(dots.data(), dots.size());
  EXPECT_EQ(d.fault, TwlBlockFault::DotCount);
  EXPECT_EQ(d.offset, row2);
  EXPECT_EQ(d.row, 2u);
  EXPECT_EQ(d.counted, 12u);
}

}  // namespace
