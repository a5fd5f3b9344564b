// Colour correction of the page pipeline (contrast first, then brightness) as a table over one
// colour byte. Shared with the user-interface DLL's sample picture, so that the preview's levels
// are the printed page's.
#pragma once

#include <cstdint>

// table[v] = v after contrast and brightness (each -100..100): C = contrast x 255 / 100 (integer),
// F = (C + 255) x 259 / (66045 - C x 255), v' = (v - 128) x F + 128 truncated and clamped, then
// + brightness x 128 / 100 (integer), clamped to 0..255. Returns true when the table is the identity.
bool ColourAdjustTable(int contrast, int brightness, uint8_t table[256]);

// The page's grey of a blue, green, red pixel: (15 B + 75 G + 38 R) >> 7. The weights sum to 128, so
// 255 stays 255 and the sums fit 16 bits.
constexpr unsigned kGreyWeightBlue = 15, kGreyWeightGreen = 75, kGreyWeightRed = 38, kGreyShift = 7;
static_assert(kGreyWeightBlue + kGreyWeightGreen + kGreyWeightRed == 1u << kGreyShift);

inline uint8_t WeightedGrey(uint8_t blue, uint8_t green, uint8_t red) {
  return static_cast<uint8_t>((kGreyWeightBlue * blue + kGreyWeightGreen * green + kGreyWeightRed * red) >> kGreyShift);
}
