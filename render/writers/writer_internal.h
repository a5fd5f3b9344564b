// Shared helpers and the per-language tables of the writers (writer.cpp calls through them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/writers/writer.h"

namespace writers {

// False once the sink reports the job failed.
bool SendBytes(WriterContext& ctx, const void* data, size_t size);
bool SendText(WriterContext& ctx, const std::string& text);
bool SendText(WriterContext& ctx, const char* text);

// The settings' user command string `slot` in the ANSI code page, never cut short.
std::string UserCommandText(const PrinterDevmode& settings, int slot);

// The page size in tenths of a millimetre: SendPage's 32-bit values, else the settings'.
int32_t PageWidthTenths(const WriterContext& ctx);
int32_t PageLengthTenths(const WriterContext& ctx);

// Micrometres to dots at `resolution`: (R x (um / 100) + 127) / 254.
int32_t Dots(DWORD resolution, int32_t micrometres);
// The model resolution (D).
uint32_t ModelDpi(const WriterContext& ctx);
// Resolution of the raster the writers receive: the device resolution divided by InputDPI + 1.
// 0 when there is none to divide.
DWORD RasterDpi(const WriterContext& ctx);
const InstalledPaper& Paper(const WriterContext& ctx);

// The decisions every language makes from the paper, the settings and the model, side by side.
// The ribbon: a paper with settings of its own (a speed) decides by its media flags; else print
// mode 1 is direct thermal and 2 thermal transfer; anything else leaves the printer's choice.
enum class Ribbon { kPrinterChoice, kOff, kOn };
Ribbon RibbonChoice(const WriterContext& ctx);
// Speed and darkness in force: the paper's own when set, else the settings'; with
// `modelDefault` the model's default when neither is set.
uint32_t Speed(const WriterContext& ctx, bool modelDefault);
uint32_t Darkness(const WriterContext& ctx, bool modelDefault);

// The settings' print modes (PrintMode) that choose the ribbon; above these the printer's own
// setting stays, also for a paper with settings of its own.
constexpr uint32_t kPrintModeDirectThermal = 1;
constexpr uint32_t kPrintModeThermalTransfer = 2;

// The settings' post-print actions (PostAction).
constexpr uint32_t kPostActionNone = 0;
constexpr uint32_t kPostActionTear = 1;
constexpr uint32_t kPostActionPeel = 2;
constexpr uint32_t kPostActionCut = 3;
constexpr uint32_t kPostActionCutEvery = 4;  // cut every IntervalPages labels

// When the cutter cuts. PostAction 3 cuts after every label, or by PostActionOccurrence once after the
// job (1) or after every IntervalPages labels (2); PostAction 4 cuts after every IntervalPages labels.
// Every N of 1 (or 0) is every label.
enum class Cut { kNone, kEveryLabel, kJobEnd, kEveryN };
constexpr uint32_t kOccurrenceJobEnd = 1;
constexpr uint32_t kOccurrenceInterval = 2;
Cut CutOf(const PrinterDevmode& settings);
// The N of Cut::kEveryN.
uint32_t CutInterval(const PrinterDevmode& settings);
// A cut every N labels is counted here, over the job's pages and copies alike (WriterContext::labelsSinceCut,
// from 0 at the job's start): the printers' own counts do not span a job (a ZPL quantity belongs to one
// format, and every page copy is a format; a TSPL printer keeps its count from job to job). Called once per
// label sent; true when this label is the Nth since the last cut, and the count starts again.
bool CountLabelForCut(WriterContext& ctx);
// The job's end cuts: once after the job, or the labels a cut every N left on the roll.
bool CutAtJobEnd(const WriterContext& ctx);
// The cut a writer places after the user command `slot` (TSPL, ZPL): the Nth label of a cut every N
// after a page, what CutAtJobEnd asks for after the job.
bool CutAfterUserCommand(WriterContext& ctx, int slot);

// One language's half of the writers: what a job, a page copy and a user command are in it.
// Filled once per language; a job picks its table once (WriterContext::writer). An entry a
// language lacks is nullptr and sends nothing.
struct LanguageWriter {
  void (*jobHeader)(WriterContext& ctx);
  // The user command string `slot`; nullptr sends the text as it is.
  void (*userCommand)(WriterContext& ctx, int slot, const std::string& text);
  void (*pageHeader)(WriterContext& ctx);
  void (*formatStart)(WriterContext& ctx);
  void (*raster)(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows);
  void (*pageTrailer)(WriterContext& ctx);
  bool oneIsBlack;       // the raster goes out with 1 = black (the pipeline makes 1 = white)
  bool copiesInRaster;   // the raster operation repeats the copies itself (one page file each)
  bool countsCuts;       // cuts every N labels by counting them (WriterContext::labelsSinceCut): the copies
                         // of a page then differ
};

// The table of a language; nullptr for one the writers do not know.
const LanguageWriter* LanguageWriterFor(uint32_t language);
extern const LanguageWriter kTsplWriter;
extern const LanguageWriter kZplWriter;
extern const LanguageWriter kEscWriter;
extern const LanguageWriter kTwlWriter;

inline void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v);
  PutU16(p + 2, v >> 16);
}

// TSPL
constexpr DWORD kTsplBandRows = 280;
// "%d.%d" of a length in micrometres as millimetres (gap and black-mark lines).
std::string TsplMillimetres(int32_t micrometres);

// ZPL
constexpr DWORD kZplBandRows = 300;

// ESC
constexpr DWORD kEscBandRows = 24;

// TWL
constexpr size_t kTwlJobHeaderBytes = 7;
constexpr size_t kTwlPageHeaderBytes = 22;
constexpr size_t kTwlMarkerBytes = 8;
constexpr uint16_t kTwlCounterWrapAbove = 8999;

}  // namespace writers
