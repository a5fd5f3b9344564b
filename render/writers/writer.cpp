// Language dispatch, the per-page sequence and the helpers shared by the four writers.
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

}  // namespace writers

using namespace writers;

namespace {

bool Usable(const WriterContext& ctx) { return ctx.settings != nullptr && ctx.out != nullptr; }

void Unsupported() { DbgPrint(TEXT("Don't support print language.")); }

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
  void WritePageFile(int page, DWORD jobId, const void* data, DWORD size) override {
    out_->WritePageFile(page, jobId, data, size);
  }
  void Capture(const void* data, DWORD size) override { out_->Capture(data, size); }
  bool Usable() const { return usable_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  OutputSink* out_;
  std::vector<uint8_t> bytes_;
  bool usable_ = true;
};

void SendOneCopy(WriterContext& ctx, const uint8_t* raster, DWORD bytes, DWORD rows) {
  WriteUserCommand(ctx, kUserCommandPageStart);
  WritePageHeader(ctx);
  WriteFormatStart(ctx);
  WriteRaster(ctx, raster, bytes, rows);
  WritePageTrailer(ctx);
  WriteUserCommand(ctx, kUserCommandPageEnd);
}

}  // namespace

void WriteJobHeader(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  switch (ctx.settings->PrintLanguage) {
    case kLangTspl: TsplJobHeader(ctx); break;
    case kLangZpl: ZplJobHeader(ctx); break;
    case kLangEsc: EscJobHeader(ctx); break;
    case kLangTwl: TwlJobHeader(ctx); break;
    default: Unsupported(); break;
  }
}

void WriteUserCommand(WriterContext& ctx, int slot) {
  if (!Usable(ctx) || slot < 0 || slot >= kUserCommandSlots) return;
  uint32_t language = ctx.settings->PrintLanguage;
  if (language > kLangZpl) {
    Unsupported();
    return;
  }
  std::string text = UserCommandText(*ctx.settings, slot);
  if (language == kLangTwl) {
    TwlUserCommand(ctx, slot, text);
    return;
  }
  if (!text.empty() && !SendText(ctx, text)) return;
  if (language == kLangEsc) EscPostAction(ctx, slot);
}

void WritePageHeader(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  switch (ctx.settings->PrintLanguage) {
    case kLangTspl: TsplPageHeader(ctx); break;
    case kLangZpl: ZplPageHeader(ctx); break;
    case kLangEsc: EscPageHeader(ctx); break;
    case kLangTwl: break;
    default: Unsupported(); break;
  }
}

void WriteFormatStart(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  switch (ctx.settings->PrintLanguage) {
    case kLangZpl: ZplFormatStart(ctx); break;
    case kLangTspl:
    case kLangEsc:
    case kLangTwl: break;
    default: Unsupported(); break;
  }
}

void WriteRaster(WriterContext& ctx, const uint8_t* raster, DWORD bytes, DWORD rows) {
  if (!Usable(ctx)) return;
  uint32_t language = ctx.settings->PrintLanguage;
  if (language > kLangZpl) {
    Unsupported();
    return;
  }
  // An all-white page trimmed away by paper saving arrives with no rows: nothing to send.
  if (raster == nullptr || rows == 0) return;
  DWORD rowBytes = bytes / rows;
  if (rowBytes == 0) return;
  switch (language) {
    case kLangTspl: TsplRaster(ctx, raster, rowBytes, rows); break;
    case kLangZpl: ZplRaster(ctx, raster, rowBytes, rows); break;
    case kLangEsc: EscRaster(ctx, raster, rowBytes, rows); break;
    case kLangTwl: TwlRaster(ctx, raster, rowBytes, rows); break;
  }
}

void WritePageTrailer(WriterContext& ctx) {
  if (!Usable(ctx)) return;
  switch (ctx.settings->PrintLanguage) {
    case kLangTspl: TsplPageTrailer(ctx); break;
    case kLangZpl: ZplPageTrailer(ctx); break;
    case kLangEsc:
    case kLangTwl: break;
    default: Unsupported(); break;
  }
}

bool RasterIsInverted(uint32_t language) { return language != kLangTspl; }

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

bool SetPaperSizeFromRaster(WriterContext& ctx, DWORD widthDots, DWORD rows) {
  if (ctx.settings == nullptr) return true;
  const DWORD dpi = RasterDpi(ctx);
  if (dpi == 0) return true;  // nothing to measure with: the sizes stay
  const uint64_t width = uint64_t{widthDots} * 254 / dpi;
  const uint64_t length = uint64_t{rows} * 254 / dpi;
  // dmPaperWidth and dmPaperLength are 16-bit signed: a longer page would wrap to a wrong size.
  if (width > 0x7FFF || length > 0x7FFF) return false;
  ctx.settings->dm.dmPaperWidth = static_cast<short>(width);
  ctx.settings->dm.dmPaperLength = static_cast<short>(length);
  return true;
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

void SendPage(WriterContext& ctx, uint8_t* raster, DWORD bytes, DWORD widthDots, DWORD rows) {
  if (!Usable(ctx)) return;
  uint32_t language = ctx.settings->PrintLanguage;
  if (RasterIsInverted(language)) InvertRaster(raster, bytes);
  const bool sizeFits = SetPaperSizeFromRaster(ctx, widthDots, rows);
  if (language > kLangZpl) {
    Unsupported();
    return;
  }
  // A size that does not fit the fields the page is described with would reach the printer
  // wrapped to another size: the page is refused instead.
  if (!sizeFits && (language == kLangTspl || language == kLangZpl)) {
    DbgPrint(TEXT("Page of %u x %u dots is too large for the paper size fields; not sent."),
             static_cast<unsigned>(widthDots), static_cast<unsigned>(rows));
    return;
  }
  if (language == kLangTwl && !TwlPageFits(ctx, bytes, rows)) {
    DbgPrint(TEXT("Page of %u rows is too large for a TWL page block; not sent."), static_cast<unsigned>(rows));
    return;
  }
  if (language == kLangTwl) {
    // TWL repeats the copies inside the raster operation, one page file each.
    WriteUserCommand(ctx, kUserCommandPageStart);
    WriteRaster(ctx, raster, bytes, rows);
    WriteUserCommand(ctx, kUserCommandPageEnd);
    return;
  }
  const int copies = ctx.settings->dm.dmCopies;
  if (copies <= 0) return;
  if (copies == 1) {
    SendOneCopy(ctx, raster, bytes, rows);
    return;
  }
  // Every copy of a TSPL, ZPL or ESC page is the same bytes: the first is recorded as it goes out
  // and the others repeat it (the deflating and encoding of a ZPL page is most of its cost).
  OutputSink* out = ctx.out;
  RecordingSink recorder(out);
  ctx.out = &recorder;
  SendOneCopy(ctx, raster, bytes, rows);
  ctx.out = out;
  for (int copy = 1; copy < copies; ++copy) {
    if (!recorder.Usable()) {
      SendOneCopy(ctx, raster, bytes, rows);
    } else if (!recorder.Bytes().empty() && !SendBytes(ctx, recorder.Bytes().data(), recorder.Bytes().size())) {
      return;
    }
  }
}
