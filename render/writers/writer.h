// Printer command-language writers: TSPL, ZPL, ESC and TWL.
//
// The writers are plain functions over a WriterContext. Every byte they produce goes to an
// OutputSink, which the rendering DLL implements over the PDEV's output buffer, its capture file
// and the TWL page files; tests implement it as a recorder.
//
// Call order within a job (the entry points map one-to-one onto these calls):
//   DrvStartDoc, new job id:   WriteUserCommand(ctx, kUserCommandJobStart); WriteJobHeader(ctx);
//   DrvSendPage:               SendPage(ctx, raster, bytes, widthDots, rows);
//   DrvEndDoc, end of the job: WriteUserCommand(ctx, kUserCommandJobEnd);
// SendPage is the per-page sequence spelled out (raster inversion, paper size written back, and
// per copy: user command 1, page header, format start, raster, page trailer, user command 2).
#pragma once

#include <cstdint>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"

namespace writers {
struct LanguageWriter;
}

// Where the writers' bytes go.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Bytes for the spooler (through the output buffer). Returns the bytes taken, or -1 once the
  // job has failed; the writers then drop the rest of the current operation.
  virtual int32_t Send(const void* data, DWORD size) = 0;
  // TWL: one page file in c:\prtmonlog\pages. Page 0 holds job-level data (job header, user commands).
  // 0 when written (or nothing to write), else the error that kept the file from being written.
  virtual DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size) = 0;
  // TWL: appends the page-file data to the capture file when one is open. (The other languages
  // are captured when the output buffer is flushed, so they never call this.)
  virtual void Capture(const void* data, DWORD size) = 0;
  // TWL page numbers: the counter is advanced before each page copy and returned; at a job end it
  // goes back to 1 once above 8999. By default the process's counter (TwlPageCounter); the
  // rendering DLL keeps one per printer.
  virtual uint16_t NextTwlPage();
  virtual void EndTwlJob();
};

struct WriterContext {
  PrinterDevmode* settings = nullptr;     // merged settings; SendPage writes dmPaperWidth/dmPaperLength
  const InstalledPaper* paper = nullptr;  // current paper
  const ModelRecord* model = nullptr;     // XDpi is the model resolution
  DWORD resolution = 0;                   // device resolution: model resolution x (InputDPI + 1)
  DWORD jobId = 0;                        // TWL page file names
  OutputSink* out = nullptr;
  // The page SendPage describes, in tenths of a millimetre. dmPaperWidth/dmPaperLength are 16-bit
  // and keep a copy cut to 32767; -1: the writers take the settings' values.
  int32_t pageWidth = -1;
  int32_t pageLength = -1;
  // Why the current page could not be sent whole (ERROR_NOT_ENOUGH_MEMORY, a page file's write
  // error, ...); 0 while all is well. A failed spooler output is the PDEV's state, not this.
  DWORD error = 0;
  // Labels sent since the cutter last cut, for a cut every N labels that the writer counts (ESC, TSPL,
  // ZPL). The rendering DLL keeps it from page to page of a job.
  uint32_t labelsSinceCut = 0;
  // The language's table (writer_internal.h), picked from settings->PrintLanguage on first use;
  // nullptr until then, and for a language the writers do not know.
  const writers::LanguageWriter* writer = nullptr;
};

enum UserCommandSlot : int {
  kUserCommandJobStart = 0,
  kUserCommandPageStart = 1,
  kUserCommandPageEnd = 2,
  kUserCommandJobEnd = 3,
};

// Each operation calls the language's entry in the job's table (settings->PrintLanguage). An unknown language writes the debug line
// "Don't support print language." and sends nothing. Operations a language lacks (the ZPL format
// start for TSPL, say) send nothing.

// Job header (TSPL media settings, ZPL job format, ESC darkness, TWL job page file).
void WriteJobHeader(WriterContext& ctx);
// User command string `slot` (0 job start, 1 page start, 2 page end, 3 job end), sent whole in the
// ANSI code page; ESC follows it with the post-print action bytes of the slot.
void WriteUserCommand(WriterContext& ctx, int slot);
// TSPL SIZE/CLS, ZPL page-size format, ESC width and left edge.
void WritePageHeader(WriterContext& ctx);
// ZPL "^XA" before the raster.
void WriteFormatStart(WriterContext& ctx);
// The packed raster, `rows` rows of bytes/rows bytes each, most significant bit leftmost: 1 = white
// for TSPL, 1 = black for the others (see RasterIsInverted). 0 rows send nothing. TWL writes one
// page file and one marker per copy (settings->dm.dmCopies) and advances the page counter.
void WriteRaster(WriterContext& ctx, const uint8_t* raster, DWORD bytes, DWORD rows);
// TSPL PRINT, ZPL "^XZ".
void WritePageTrailer(WriterContext& ctx);

// True for every language but TSPL: the writer wants 1 = black.
bool RasterIsInverted(uint32_t language);
void InvertRaster(uint8_t* raster, DWORD bytes);
// The page size (tenths of a millimetre) from the raster size in dots at the model resolution,
// into ctx.pageWidth/pageLength and, cut to 32767, dmPaperWidth/dmPaperLength. Without a
// resolution the sizes stay.
void SetPaperSizeFromRaster(WriterContext& ctx, DWORD widthDots, DWORD rows);
// True when the rows, the row length and the paper's width, gap and gap offset in dots all fit the
// 16-bit fields of a TWL page block.
bool TwlPageFits(const WriterContext& ctx, DWORD bytes, DWORD rows);

// One page of DrvSendPage: takes the raster as the pipeline made it (1 = white), inverts it in
// place when the language wants that, writes the paper size back into the settings and sends the
// page once per copy (TWL: once, the writer repeats the copies). False, with ctx.error set, when
// the page could not be sent whole: a TWL page too large for its block is refused with a debug
// line before anything is sent (ERROR_NOT_SUPPORTED); no memory or an unwritten page file stops
// the page where it happened.
bool SendPage(WriterContext& ctx, uint8_t* raster, DWORD bytes, DWORD widthDots, DWORD rows);

// The process-wide TWL page counter of sinks that keep none of their own (starts at 1, incremented
// before each page copy, back to 1 at a job end once above 8999). Not locked.
uint16_t TwlPageCounter();
void SetTwlPageCounter(uint16_t value);
