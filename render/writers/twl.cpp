// TWL: the printer's own page language. Job header, user command strings and every page copy go
// into page files that the language monitor delivers; the spooler stream carries only an 8-byte
// marker per page copy, which the monitor takes as a status poll.
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "common/alloc.h"
#include "common/debug.h"
#include "render/writers/writer_internal.h"

namespace {

// For sinks without a counter of their own (the rendering DLL keeps one per printer).
uint16_t g_twlPageCounter = 1;

}  // namespace

uint16_t TwlPageCounter() { return g_twlPageCounter; }
void SetTwlPageCounter(uint16_t value) { g_twlPageCounter = value; }

namespace writers {

namespace {

void WriteJobLevel(WriterContext& ctx, const void* data, size_t size) {
  if (DWORD error = ctx.out->WritePageFile(0, ctx.jobId, data, static_cast<DWORD>(size))) {
    DbgPrint(TEXT("TWL job page file of job %u not written: error %u"), static_cast<unsigned>(ctx.jobId),
             static_cast<unsigned>(error));
    if (ctx.error == 0) ctx.error = error;
  }
  ctx.out->Capture(data, static_cast<DWORD>(size));
}

void JobHeader(WriterContext& ctx) {
  const PrinterDevmode& s = *ctx.settings;
  uint8_t header[kTwlJobHeaderBytes] = {0x1B, 0x73};
  header[2] = static_cast<uint8_t>(s.PostAction);
  PutU16(header + 3, static_cast<uint32_t>(int64_t{ModelDpi(ctx)} * s.FeedOffset / 25400));
  header[5] = static_cast<uint8_t>((static_cast<int32_t>(Speed(ctx, true)) + 50) / 100 - 2);
  header[6] = static_cast<uint8_t>(Darkness(ctx, true) - 1);
  WriteJobLevel(ctx, header, sizeof(header));
}

void UserCommand(WriterContext& ctx, int slot, const std::string& text) {
  if (!text.empty()) WriteJobLevel(ctx, text.data(), text.size());
  if (slot == kUserCommandJobEnd) ctx.out->EndTwlJob();
}

void Raster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows) {
  // The block's sizes are 16-bit: a page they cannot describe is not sent at all.
  if (!TwlPageFits(ctx, rowBytes * rows, rows)) {
    DbgPrint(TEXT("Page of %u rows is too large for a TWL page block; not sent."), static_cast<unsigned>(rows));
    ctx.error = ERROR_NOT_SUPPORTED;
    return;
  }
  const PrinterDevmode& s = *ctx.settings;
  const InstalledPaper& paper = Paper(ctx);
  const size_t rowLength = size_t{rowBytes} + 2;
  const size_t blockBytes = kTwlPageHeaderBytes + size_t{rows} * rowLength;

  // The block is the same for every copy but for the page number, so it is built once.
  LocalArray<uint8_t> block = AllocArray<uint8_t>(blockBytes);
  if (!block) {
    // No page file and no marker: the monitor would wait for a page that never comes.
    DbgPrint(TEXT("TWL page block of %u bytes: no memory; page not sent."), static_cast<unsigned>(blockBytes));
    ctx.error = ERROR_NOT_ENOUGH_MEMORY;
    return;
  }
  uint8_t* h = block.get();
  std::memcpy(h, "SIZ", 3);
  h[3] = (paper.Flags & kPaperGap) ? 1 : (paper.Flags & kPaperBlackMark) ? 2 : 0;
  // Dots at the resolution of the raster the printer receives, not of the (possibly multiplied) drawing.
  const DWORD dpi = RasterDpi(ctx);
  PutU16(h + 4, static_cast<uint32_t>(Dots(dpi, paper.Width)));
  PutU16(h + 6, rows);
  PutU16(h + 8, static_cast<uint32_t>(Dots(dpi, paper.GapHeight)));
  PutU16(h + 10, static_cast<uint32_t>(Dots(dpi, paper.GapOffset)));
  PutU16(h + 12, 0);
  h[14] = 0x1D;
  h[15] = 0x76;
  h[16] = 0x30;
  h[17] = 0x00;
  PutU16(h + 18, static_cast<uint32_t>(rowLength));
  PutU16(h + 20, rows);
  uint8_t* dst = h + kTwlPageHeaderBytes;
  const uint8_t* src = raster;
  for (DWORD y = 0; y < rows; ++y, src += rowBytes, dst += rowLength) {
    uint32_t black = 0;
    DWORD x = 0;
    for (; x + 8 <= rowBytes; x += 8) {  // a word at a time: the count is the row's hot loop
      uint64_t word;
      std::memcpy(&word, src + x, 8);
      black += static_cast<uint32_t>(std::popcount(word));
    }
    for (; x < rowBytes; ++x) black += static_cast<uint32_t>(std::popcount(src[x]));
    PutU16(dst, black);
    std::memcpy(dst + 2, src, rowBytes);
  }

  uint8_t marker[kTwlMarkerBytes] = {0x1D, 0x1D, 0x76, 0x76};
  PutU32(marker + 4, static_cast<uint32_t>(blockBytes));

  for (int copy = 0; copy < s.dm.dmCopies; ++copy) {
    const uint16_t page = ctx.out->NextTwlPage();
    PutU16(block.get() + 12, page);
    if (DWORD error = ctx.out->WritePageFile(page, ctx.jobId, block.get(), static_cast<DWORD>(blockBytes))) {
      // A marker without its file would be taken for a printed page.
      DbgPrint(TEXT("TWL page file %u of job %u not written: error %u"), static_cast<unsigned>(page),
               static_cast<unsigned>(ctx.jobId), static_cast<unsigned>(error));
      ctx.error = error;
      return;
    }
    ctx.out->Capture(block.get(), static_cast<DWORD>(blockBytes));
    SendBytes(ctx, marker, sizeof(marker));
  }
}

}  // namespace

// Job header, user commands and pages all go to page files; the spooler gets a marker per copy.
const LanguageWriter kTwlWriter = {.jobHeader = JobHeader, .userCommand = UserCommand, .pageHeader = nullptr,
                                   .formatStart = nullptr, .raster = Raster, .pageTrailer = nullptr,
                                   .oneIsBlack = true, .copiesInRaster = true, .countsCuts = false};

}  // namespace writers
