// The seal of a saved machine (CRC-32, IEEE, of everything before its last four bytes), written out bit
// by bit here, for tests that edit a state and seal it again as the version that wrote it would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace statetest {

inline uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

inline void Reseal(std::vector<uint8_t>* state) {
  if (state->size() < 4) return;
  const uint32_t crc = Crc32(state->data(), state->size() - 4);
  for (int i = 0; i < 4; ++i) (*state)[state->size() - 4 + i] = uint8_t(crc >> (8 * i));
}

}  // namespace statetest
