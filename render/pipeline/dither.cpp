// A dithering level applied with the image operations, as the user-interface previews do it. Apart
// from the rest of the pipeline, so that linking it brings in nothing else of it.
#include <algorithm>

#include "render/dither_mode.h"
#include "image/image.h"

bool ApplyDitherMode(RasterImage& image, const DitherMode& mode) {
  switch (mode.Kind) {
    case DitherKind::kThreshold:
      return image.Threshold(static_cast<uint8_t>(std::clamp(mode.Value, 0, 255)));
    case DitherKind::kAdaptiveThreshold:
      return image.AdaptiveThreshold(mode.Value, kAdaptiveBoxSize, nullptr, kAdaptiveBias,
                                     kAdaptiveBalance);
    case DitherKind::kDither:
      return image.Dither(mode.Value);
  }
  return false;
}
