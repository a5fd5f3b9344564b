// The page raster pipeline: from the 24-bit page bitmap to the packed 1-bit raster.
#include "render/pipeline/pipeline.h"

#include <algorithm>
#include <cstring>

#include "common/debug.h"
#include "render/dither_mode.h"
#include "render/pipeline/internal.h"

using namespace pipeline_detail;

namespace {

// Paper saving on the packed rows: the kept rows move to the start of the block.
bool FinishPacked(const Page& page, PackedPage& packed, PageRaster* out) {
  uint32_t first = 0, end = 0;
  PaperSavingRows(page, packed.height, [&](uint32_t y) { return packed.blank[y] != 0; }, &first, &end);
  if (first > 0 && end > first) {
    std::memmove(packed.data, packed.data + static_cast<size_t>(first) * packed.rowBytes,
                 static_cast<size_t>(end - first) * packed.rowBytes);
  }
  out->width = packed.width;
  out->rows = end - first;
  out->bytes = out->rows * packed.rowBytes;
  out->data = packed.data;
  out->borrowed = packed.borrowed;
  return true;
}

}  // namespace

bool RenderPageRaster(const PipelineInput& in, PageRaster* out) {
  if (!out) return false;
  *out = PageRaster{};
  if (!in.settings || !in.model || !in.bits || in.width <= 0 || in.height <= 0 || in.resolution == 0) {
    DbgPrint(TEXT("RenderPageRaster: no page to render"));
    out->error = ERROR_INVALID_PARAMETER;
    return false;
  }
  Page page;
  page.in = &in;
  page.settings = in.settings;
  page.width = static_cast<uint32_t>(in.width);
  page.height = static_cast<uint32_t>(in.height);
  // The bitmap's rows lie bitsSize / height bytes apart.
  page.rowBytes = in.bitsSize / page.height;
  if (page.rowBytes < 3 * static_cast<size_t>(page.width) || !FitsImageLimits(page.width, page.height)) {
    DbgPrint(TEXT("RenderPageRaster: bitmap of %d x %d in %u bytes refused"), in.width, in.height, in.bitsSize);
    out->error = ERROR_INVALID_PARAMETER;
    return false;
  }
  const PrinterDevmode& s = *in.settings;
  page.resolution = in.resolution;
  // As the device resolution was worked out: an InputDPI below 0 counts as 0.
  page.multiplier = static_cast<uint32_t>(std::max(1, s.InputDPI + 1));
  page.level = EffectiveDitherLevel(s.DitherLevel);
  page.dumps = DumpsWanted(in.ppDataFlags);
  page.grey.Init(s.ColorAdjust.caContrast, s.ColorAdjust.caBrightness);
  if (page.dumps) DumpBitmap(page);

  // Without debug dumps (which want the 8-bit image) a page that steps 10 to 14 leave as it is
  // goes from its 1-bit rows straight to packed rows.
  PackedPage packed;
  if (!page.dumps) page.packed = &packed;
  WorkImage image;
  const bool made = (s.Flags & kFlagWatermark) ? RunWatermark(page, image) : RunRaster(page, image);
  if (packed.made) return FinishPacked(page, packed, out);
  if (packed.data && !packed.borrowed) LocalFree(packed.data);
  if (!made || !LayOut(page, image)) {
    // Every step fails only for want of memory, a size no image can have, or the engine's abort.
    out->error = page.Cancelled() ? ERROR_CANCELLED : ERROR_NOT_ENOUGH_MEMORY;
    DbgPrint(TEXT("RenderPageRaster: page of %d x %d not rendered (error %u)"), in.width, in.height,
             static_cast<unsigned>(out->error));
    return false;
  }
  uint32_t first = 0, end = 0;
  PaperSavingRows(page, image, &first, &end);
  if (page.dumps) DumpWork(image, first, end);

  // Packed rows go over the start of the working image, which becomes the raster.
  const uint32_t rowBytes = image.Stride() / 8;
  for (uint32_t r = 0; r < end - first; ++r) {
    PackNonZero(image.Row(first + r), image.Data() + static_cast<size_t>(r) * rowBytes, rowBytes);
  }
  out->width = image.Width();
  out->rows = end - first;
  out->bytes = out->rows * rowBytes;
  out->data = image.Release();
  return true;
}

void FreePageRaster(PageRaster* raster) {
  if (!raster) return;
  if (raster->data && !raster->borrowed) LocalFree(raster->data);
  *raster = PageRaster{};
}

void ReleasePageBuffers(PageBuffers* buffers) {
  if (!buffers) return;
  if (buffers->raster) LocalFree(buffers->raster);
  *buffers = PageBuffers{};
}
