// The dithering level to method mapping. Kept free of the image operations so that anything can
// ask which method a level means without linking them.
#include "render/dither_mode.h"

uint32_t EffectiveDitherLevel(uint32_t level) { return level <= 9 ? level : 8; }

DitherMode DitherModeForLevel(uint32_t level) {
  switch (EffectiveDitherLevel(level)) {
    case 8: return DitherMode{DitherKind::kThreshold, kDitherThresholdLevel};
    case 1: return DitherMode{DitherKind::kAdaptiveThreshold, kAdaptiveMethod};
    default: return DitherMode{DitherKind::kDither, static_cast<int>(EffectiveDitherLevel(level))};
  }
}
