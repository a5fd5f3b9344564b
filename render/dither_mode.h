// How a dithering level of the settings makes a grey image 1-bit. Shared by the page raster
// pipeline and the user-interface DLL's previews, so that a preview dithers as the printer page.
#pragma once

#include <cstdint>

class RasterImage;

enum class DitherKind : int {
  kThreshold,          // fixed threshold: white when grey > Value
  kAdaptiveThreshold,  // adaptive threshold, method Value, with the box, bias and balance below
  kDither,             // the image record's dither operation, method Value
};

struct DitherMode {
  DitherKind Kind;
  int Value;
};

constexpr int kDitherThresholdLevel = 128;
constexpr int kAdaptiveMethod = 0;
constexpr int kAdaptiveBoxSize = 8;
constexpr int kAdaptiveBias = 0;
constexpr double kAdaptiveBalance = 0.5;

// The settings' level as the renderer uses it: 0 to 9 unchanged, anything larger 8.
uint32_t EffectiveDitherLevel(uint32_t level);

// Level 8: threshold at 128; level 1: adaptive threshold; any other level (after
// EffectiveDitherLevel): the dither operation with the level as method number (7 is Bayer; 0, 9
// and numbers without a method of their own give Floyd and Steinberg).
DitherMode DitherModeForLevel(uint32_t level);

// Makes `image` 1-bit by `mode` with the image operations. False (image unchanged) on failure.
bool ApplyDitherMode(RasterImage& image, const DitherMode& mode);
