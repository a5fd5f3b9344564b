// The page raster pipeline: the 24-bit page bitmap drawn by GDI becomes the packed 1-bit raster
// that the language writers send.
#pragma once

#include <cstdint>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"

// Blocks kept from one page to the next of a job, so that a page neither allocates nor faults in
// its raster again. Owned by the caller; ReleasePageBuffers frees them.
struct PageBuffers {
  uint8_t* raster = nullptr;  // LocalAlloc'd
  size_t rasterBytes = 0;
};
void ReleasePageBuffers(PageBuffers* buffers);

struct PipelineInput {
  const PrinterDevmode* settings;  // merged job settings
  const InstalledPaper* paper;     // current paper (media type bit 3: continuous of unfixed length)
  const ModelRecord* model;
  DWORD resolution;                // device resolution R = model dpi x (InputDPI + 1)
  DWORD ppDataFlags;               // bit 3: debug dumps into "c:\1" when that folder exists
  const uint8_t* bits;             // 24-bit BGR page bitmap, rows top-down
  int32_t width;                   // pixels
  int32_t height;                  // rows
  int32_t stride;                  // bytes per row of `bits`
  DWORD bitsSize;                  // total bytes of the bitmap (the source row length is bitsSize / height)
  // Per-row cancel check (the engine's abort); nullptr: never cancelled.
  bool (*cancelled)(void* context);
  void* cancelContext;
  PageBuffers* buffers;            // nullptr: every raster is a block of its own
};

struct PageRaster {
  uint8_t* data = nullptr;  // LocalAlloc'd (or borrowed); free with FreePageRaster
  DWORD bytes = 0;
  DWORD width = 0;          // pixels
  DWORD rows = 0;
  DWORD error = 0;          // why no raster was made: ERROR_NOT_ENOUGH_MEMORY, ERROR_CANCELLED, ...
  bool borrowed = false;    // data is PipelineInput::buffers' block: FreePageRaster leaves it there
};

// Runs every step of the pipeline. Packed rows hold floor(stride / 8) bytes, most significant bit
// leftmost, 1 = white. False when the page could not be made (nothing is to be sent); out->error says
// why. An all-white page that paper saving trims to nothing is made, with 0 rows.
bool RenderPageRaster(const PipelineInput& in, PageRaster* out);
void FreePageRaster(PageRaster* raster);
