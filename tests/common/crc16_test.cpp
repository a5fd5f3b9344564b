#include "common/crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

uint16_t Crc(uint16_t (*f)(const void*, size_t), const std::string& s) { return f(s.data(), s.size()); }

// Bit-at-a-time forms of the two CRCs, to check the table-driven ones on arbitrary data.
uint16_t ArcBitwise(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

uint16_t XmodemBitwise(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(p[i] << 8);
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : crc << 1;
  }
  return crc;
}

TEST(Crc16, CatalogueCheckValues) {
  EXPECT_EQ(Crc(Crc16Arc, "123456789"), 0xBB3D);
  EXPECT_EQ(Crc(Crc16Xmodem, "123456789"), 0x31C3);
  EXPECT_EQ(Crc(Crc16Arc, "TarnwellTW-QX"), 0xF1DD);
}

TEST(Crc16, EmptyInputIsInitialValue) {
  EXPECT_EQ(Crc16Arc("x", 0), 0);
  EXPECT_EQ(Crc16Xmodem(nullptr, 0), 0);
}

TEST(Crc16, ArcDependsOnEveryByteAndOrder) {
  EXPECT_NE(Crc(Crc16Arc, "TarnwellTW-KA"), Crc(Crc16Arc, "TarnwellTW-KA_"));
  EXPECT_NE(Crc(Crc16Arc, "ab"), Crc(Crc16Arc, "ba"));
  // Bytes above 0x7F index the upper half of the table.
  const uint8_t hi[] = {0x80, 0xFF, 0xA5};
  EXPECT_EQ(Crc16Arc(hi, 3), ArcBitwise(hi, 3));
}

TEST(Crc16, TableFormsMatchBitwiseOnRandomData) {
  std::mt19937 rng(12345);
  for (size_t len : {1u, 2u, 7u, 64u, 1000u}) {
    std::vector<uint8_t> d(len);
    for (auto& b : d) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(Crc16Arc(d.data(), len), ArcBitwise(d.data(), len)) << len;
    EXPECT_EQ(Crc16Xmodem(d.data(), len), XmodemBitwise(d.data(), len)) << len;
  }
}

}  // namespace
