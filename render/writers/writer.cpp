// The calls through the language tables, the per-page sequence and the helpers shared by the four writers.
#include "render/writers/writer.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/debug.h"
#include "common/wstr.h"
#include "render/writers/writer_internal.h"

namespace writers {

bool SendBytes(WriterContext& ctx, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    // The sink takes DWORD counts; a page never comes near that, but stay exact if it does.
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    int32_t taken = ctx.out->Send(p, chunk);
    if (taken < 0) return false;
    if (taken == 0) return false;  // a sink that takes nothing would loop forever
    p += taken;
    size -= static_cast<size_t>(taken);
  }
  return true;
}

bool SendText(WriterContext& ctx, const std::string& text) { return SendBytes(ctx, text.data(), text.size()); }
bool SendText(WriterContext& ctx, const char* text) { return SendBytes(ctx, text, std::strlen(text)); }

std::string UserCommandText(const PrinterDevmode& settings, int slot) {
  // The field may lack a terminator; WideToAnsi stops at its end. The result is sent as one
  // block of whatever length the conversion gives, so nothing is cut.
  return WideToAnsi(settings.UserCommands[slot], kUserCommandChars);
}

int32_t PageWidthTenths(const WriterContext& ctx) {
  return ctx.pageWidth >= 0 ? ctx.pageWidth : ctx.settings->dm.dmPaperWidth;
}

int32_t PageLengthTenths(const WriterContext& ctx) {
  return ctx.pageLength >= 0 ? ctx.pageLength : ctx.settings->dm.dmPaperLength;
}

int32_t Dots(DWORD resolution, int32_t micrometres) {
  return static_cast<int32_t>((int64_t{resolution} * (micrometres / 100) + 127) / 254);
}

uint32_t ModelDpi(const WriterContext& ctx) { return ctx.model ? ctx.model->XDpi : 0; }

DWORD RasterDpi(const WriterContext& ctx) {
  const int multiplier = ctx.settings ? ctx.settings->InputDPI + 1 : 1;
  return multiplier > 0 ? ctx.resolution / static_cast<DWORD>(multiplier) : 0;
}

const InstalledPaper& Paper(const WriterContext& ctx) {
  static const InstalledPaper kNone{};
  return ctx.paper ? *ctx.paper : kNone;
}

Ribbon RibbonChoice(const WriterContext& ctx) {
  const uint32_t mode = ctx.settings->PrintMode;
  if (mode > kPrintModeThermalTransfer) return Ribbon::kPrinterChoice;
  // A paper with settings of its own also decides the ribbon.
  if (Paper(ctx).Speed != 0) return (Paper(ctx).Flags & kPaperThermalTransfer) ? Ribbon::kOn : Ribbon::kOff;
  if (mode == kPrintModeDirectThermal) return Ribbon::kOff;
  if (mode == kPrintModeThermalTransfer) return Ribbon::kOn;
  return Ribbon::kPrinterChoice;
}

uint32_t Speed(const WriterContext& ctx, bool modelDefault) {
  if (Paper(ctx).Speed != 0) return static_cast<uint32_t>(Paper(ctx).Speed);
  if (ctx.settings->Speed != 0 || !modelDefault || !ctx.model) return ctx.settings->Speed;
  return ctx.model->Speed;
}

uint32_t Darkness(const WriterContext& ctx, bool modelDefault) {
  if (Paper(ctx).Darkness != 0) return static_cast<uint32_t>(Paper(ctx).Darkness);
  if (ctx.settings->Darkness != 0 || !modelDefault || !ctx.model) return ctx.settings->Darkness;
  return ctx.model->Darkness;
}

Cut CutOf(const PrinterDevmode& s) {
  if (s.PostAction == kPostActionCutEvery) return CutInterval(s) > 1 ? Cut::kEveryN : Cut::kEveryLabel;
  if (s.PostAction != kPostActionCut) return Cut::kNone;
  if (s.PostActionOccurrence == kOccurrenceJobEnd) return Cut::kJobEnd;
  if (s.PostActionOccurrence == kOccurrenceInterval && CutInterval(s) > 1) return Cut::kEveryN;
  return Cut::kEveryLabel;
}

uint32_t CutInterval(const PrinterDevmode& s) { return s.IntervalPages > 1 ? s.IntervalPages : 1; }

bool CountLabelForCut(WriterContext& ctx) {
  if (++ctx.labelsSinceCut < CutInterval(*ctx.settings)) return false;
  ctx.labelsSinceCut = 0;
  return true;
}

bool CutAtJobEnd(const WriterContext& ctx) {
  const Cut cut = CutOf(*ctx.settings);
  return cut == Cut::kJobEnd || (cut == Cut::kEveryN && ctx.labelsSinceCut > 0);
}

bool CutAfterUserCommand(WriterContext& ctx, int slot) {
  if (slot == kUserCommandPageEnd) return CutOf(*ctx.settings) == Cut::kEveryN && CountLabelForCut(ctx);
  return slot == kUserCommandJobEnd && CutAtJobEnd(ctx);
}

const LanguageWriter* LanguageWriterFor(uint32_t language) {
  switch (language) {
    case kLangTwl: return &kTwlWriter;
    case kLangEsc: return &kEscWriter;
    case kLangTspl: return &kTsplWriter;
    case kLangZpl: return &kZplWriter;
    default: return nullptr;
  }
}

}  // namespace writers

using namespace writers;

namespace {

bool Usable(const WriterContext& ctx) { return ctx.settings != nullptr && ctx.out != nullptr; }

// The job's table, picked on first use. An unknown language writes the debug line every time.
const LanguageWriter* Table(WriterContext& ctx) {
  if (!ctx.writer) ctx.writer = LanguageWriterFor(ctx.settings->PrintLanguage);
  if (!ctx.writer) DbgPrint(TEXT("Don't support print language."));
  return ctx.writer;
}

// Passes everything on and keeps a copy of the spooler bytes, so that a copy of a page whose bytes
// repeat the first is sent again without running the writer. The copy is unusable when the sink
// refused anything or no memory was left for it.
class RecordingSink : public OutputSink {
 public:
  explicit RecordingSink(OutputSink* out) : out_(out) {}
  int32_t Send(const void* data, DWORD size) override {
    const int32_t taken = out_->Send(data, size);
    if (taken <= 0) {
      usable_ = false;
    } else if (usable_) {
      try {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + taken);
      } catch (const std::bad_alloc&) {
        usable_ = false;
        std::vector<uint8_t>().swap(bytes_);
      }
    }
    return taken;
  }
  DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size) override {
    return out_->WritePageFile(page, jobId, data, size);
  }
  void Capture(const void* data, DWORD size) override { out_->Capture(data, size); }
  uint16_t NextTwlPage() override { return out_->NextTwlPage(); }
  void EndTwlJob() override { out_->EndTwlJob(); }
  bool Usable() const { return usable_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  OutputSink* out_;
  std::vector<uint8_t> bytes_;
  bool usable_ = true;
};

// One copy; a raster that could not be made whole (ctx.error) ends the page without its trailer.
void SendOneCopy(WriterContext& ctx, const uint8_t* raster, DWORD bytes, DWORD rows) {
  WriteUserCommand(ctx, kUserCommandPageStart);
  WritePageHeader(ctx);
  WriteFormatStart(ctx);
  WriteRaster(ctx, raster, bytes, rows);
  if (ctx.error != 0) return;
  WritePageTrailer(ctx);
  WriteUserCommand(ctx, kUserCommandPageEnd);
}

}  // namespace

void WriteJobHeader(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  if (const LanguageWriter* w = Table(ctx)) w->jobHeader(ctx);
}

void WriteUserCommand(WriterContext& ctx, int slot) {
  if (!Usable(ctx) || slot < 0 || slot >= kUserCommandSlots) return;
  const LanguageWriter* w = Table(ctx);
  if (!w) return;
  // The count of a cut every N labels starts with the job.
  if (slot == kUserCommandJobStart && w->countsCuts) ctx.labelsSinceCut = 0;
  std::string text = UserCommandText(*ctx.settings, slot);
  if (w->userCommand) {
    w->userCommand(ctx, slot, text);
  } else if (!text.empty()) {
    SendText(ctx, text);
  }
}

void WritePageHeader(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  const LanguageWriter* w = Table(ctx);
  if (w && w->pageHeader) w->pageHeader(ctx);
}

void WriteFormatStart(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  const LanguageWriter* w = Table(ctx);
  if (w && w->formatStart) w->formatStart(ctx);
}

void WriteRaster(WriterContext& ctx, const uint8_t* raster, DWORD bytes, DWORD rows) {
  if (!Usable(ctx)) return;
  const LanguageWriter* w = Table(ctx);
  if (!w) return;
  // An all-white page trimmed away by paper saving arrives with no rows: nothing to send.
  if (raster == nullptr || rows == 0) return;
  DWORD rowBytes = bytes / rows;
  if (rowBytes == 0) return;
  w->raster(ctx, raster, rowBytes, rows);
}

void WritePageTrailer(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  const LanguageWriter* w = Table(ctx);
  if (w && w->pageTrailer) w->pageTrailer(ctx);
}

bool RasterIsInverted(uint32_t language) {
  // A language without a writer is inverted like most: nothing of it is sent anyway.
  const LanguageWriter* w = LanguageWriterFor(language);
  return w == nullptr || w->oneIsBlack;
}

void InvertRaster(uint8_t* raster, DWORD bytes) {
  if (raster == nullptr) return;
  DWORD i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t v;
    std::memcpy(&v, raster + i, 8);
    v = ~v;
    std::memcpy(raster + i, &v, 8);
  }
  for (; i < bytes; ++i) raster[i] = static_cast<uint8_t>(~raster[i]);
}

void SetPaperSizeFromRaster(WriterContext& ctx, DWORD widthDots, DWORD rows) {
  if (ctx.settings == nullptr) return;
  const DWORD dpi = RasterDpi(ctx);
  if (dpi == 0) return;  // nothing to measure with: the sizes stay
  auto tenths = [dpi](DWORD dots) {
    const uint64_t v = uint64_t{dots} * 254 / dpi;
    return static_cast<int32_t>(v > 0x7FFFFFFF ? 0x7FFFFFFF : v);
  };
  ctx.pageWidth = tenths(widthDots);
  ctx.pageLength = tenths(rows);
  // The 16-bit fields cannot hold a long list paper; the writers read the 32-bit size.
  ctx.settings->dm.dmPaperWidth = static_cast<short>(ctx.pageWidth > 0x7FFF ? 0x7FFF : ctx.pageWidth);
  ctx.settings->dm.dmPaperLength = static_cast<short>(ctx.pageLength > 0x7FFF ? 0x7FFF : ctx.pageLength);
}

bool TwlPageFits(const WriterContext& ctx, DWORD bytes, DWORD rows) {
  if (rows == 0) return true;
  const InstalledPaper& paper = Paper(ctx);
  auto fits = [](int64_t v) { return v >= 0 && v <= 0xFFFF; };
  // Gap and gap offset may be read as signed by the printer: either reading of 16 bits will do.
  auto fitsSigned = [](int64_t v) { return v >= -0x8000 && v <= 0xFFFF; };
  return fits(rows) && fits(int64_t{bytes / rows} + 2) && fits(Dots(ctx.resolution, paper.Width)) &&
         fitsSigned(Dots(ctx.resolution, paper.GapHeight)) && fitsSigned(Dots(ctx.resolution, paper.GapOffset));
}

bool SendPage(WriterContext& ctx, uint8_t* raster, DWORD bytes, DWORD widthDots, DWORD rows) {
  ctx.error = 0;
  if (!Usable(ctx)) return true;
  if (RasterIsInverted(ctx.settings->PrintLanguage)) InvertRaster(raster, bytes);
  SetPaperSizeFromRaster(ctx, widthDots, rows);
  const LanguageWriter* w = Table(ctx);
  if (!w) return true;
  if (w->copiesInRaster) {
    // The TWL block's sizes are 16-bit: a page they cannot describe is refused before any of it goes.
    if (!TwlPageFits(ctx, bytes, rows)) {
      DbgPrint(TEXT("Page of %u rows is too large for a TWL page block; not sent."), static_cast<unsigned>(rows));
      ctx.error = ERROR_NOT_SUPPORTED;
      return false;
    }
    WriteUserCommand(ctx, kUserCommandPageStart);
    if (ctx.error == 0) WriteRaster(ctx, raster, bytes, rows);
    if (ctx.error == 0) WriteUserCommand(ctx, kUserCommandPageEnd);
    return ctx.error == 0;
  }
  const int copies = ctx.settings->dm.dmCopies;
  if (copies <= 0 || ctx.error != 0) return ctx.error == 0;
  if (copies == 1 || (w->countsCuts && CutOf(*ctx.settings) == Cut::kEveryN)) {
    for (int copy = 0; copy < copies && ctx.error == 0; ++copy) SendOneCopy(ctx, raster, bytes, rows);
    return ctx.error == 0;
  }
  // Every copy of a TSPL, ZPL or ESC page is the same bytes: the first is recorded as it goes out
  // and the others repeat it (the deflating and encoding of a ZPL page is most of its cost).
  OutputSink* out = ctx.out;
  RecordingSink recorder(out);
  ctx.out = &recorder;
  SendOneCopy(ctx, raster, bytes, rows);
  ctx.out = out;
  for (int copy = 1; copy < copies && ctx.error == 0; ++copy) {
    if (!recorder.Usable()) {
      SendOneCopy(ctx, raster, bytes, rows);
    } else if (!recorder.Bytes().empty() && !SendBytes(ctx, recorder.Bytes().data(), recorder.Bytes().size())) {
      break;
    }
  }
  return ctx.error == 0;
}

uint16_t OutputSink::NextTwlPage() {
  SetTwlPageCounter(static_cast<uint16_t>(TwlPageCounter() + 1));
  return TwlPageCounter();
}

void OutputSink::EndTwlJob() {
  if (TwlPageCounter() > kTwlCounterWrapAbove) SetTwlPageCounter(1);
}
