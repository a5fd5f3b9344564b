// Colour correction of the page pipeline (contrast first, then brightness) as a table over one
// colour byte. Shared with the user-interface DLL's sample picture, so that the preview's levels
// are the printed page's.
#pragma once

#include <cstdint>

// table[v] = v after contrast and brightness (each -100..100): C = contrast x 255 / 100 (integer),
// F = (C + 255) x 259 / (66045 - C x 255), v' = (v - 128) x F + 128 truncated and clamped, then
// + brightness x 128 / 100 (integer), clamped to 0..255. Returns true when the table is the identity.
bool ColourAdjustTable(int contrast, int brightness, uint8_t table[256]);
