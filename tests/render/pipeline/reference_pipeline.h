// A slow, literal implementation of the page raster pipeline, one step after the other on plain
// pixel arrays, against which the production pipeline is compared byte for byte. It uses the image
// operations where the pipeline hands its image to them and does every other step itself.
#pragma once

#include <cstdint>
#include <vector>

#include "render/pipeline/pipeline.h"

namespace reftest {

struct ReferenceRaster {
  bool ok = false;
  std::vector<uint8_t> bytes;
  uint32_t width = 0;
  uint32_t rows = 0;
};

ReferenceRaster ReferencePipeline(const PipelineInput& in);

}  // namespace reftest
