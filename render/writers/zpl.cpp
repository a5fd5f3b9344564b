// ZPL: a job format with the media settings, and per page copy a page-size format and a format
// holding the raster as deflated, Base64-encoded graphic fields of 300 rows each.
#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

#include "common/alloc.h"
#include "common/crc16.h"
#include "common/debug.h"
#include "common/wstr.h"
#include "render/writers/base64.h"
#include "render/writers/writer_internal.h"

namespace writers {

namespace {

// The media kinds ^MN names. Continuous-unfixed paper is read by the bits it shares with these
// (its own bit is left out), so a stock marked continuous and unfixed still gets ^MNN.
constexpr uint32_t kZplMediaBits = kPaperGap | kPaperBlackMark | kPaperContinuous;

void JobHeader(WriterContext& ctx) {
  const PrinterDevmode& s = *ctx.settings;
  const InstalledPaper& paper = Paper(ctx);
  std::string t = "^XA\r\n";

  switch (RibbonChoice(ctx)) {
    case Ribbon::kOff: t += "^MTD\r\n"; break;
    case Ribbon::kOn: t += "^MTT\r\n"; break;
    case Ribbon::kPrinterChoice: break;
  }

  uint32_t speed = Speed(ctx, true);
  if (speed >= 100) {
    t += FormatA("^PR%u\r\n", speed / 100);
  } else if (speed >= 25) {
    // Below one inch per second the print rate is a letter.
    t += FormatA("^PR%s\r\n", speed < 50 ? "Z" : speed < 75 ? "Y" : "X");
  }

  // 0 means the printer's own darkness: nothing to send.
  uint32_t darkness = Darkness(ctx, true);
  if (darkness != 0) t += FormatA("~SD%d\r\n", (static_cast<int>(darkness) - 1) * 2);

  switch (paper.Flags & kZplMediaBits) {
    case kPaperGap: t += "^MNY\r\n"; break;
    case kPaperBlackMark: t += "^MNM\r\n"; break;
    case kPaperContinuous: t += "^MNN\r\n"; break;
    default: break;
  }

  // The pause-and-cut count: a cut every N labels gives N, a cut after every label (or once, after the
  // job) 1; tear and peel keep the interval as stored.
  const Cut cut = CutOf(s);
  const uint32_t count = cut == Cut::kEveryN ? CutInterval(s) : cut != Cut::kNone ? 1u
                         : s.PostAction != kPostActionNone ? s.IntervalPages : 0u;
  t += FormatA("^PQ1,%u,1,Y\r\n", count);

  switch (s.PostAction) {
    case kPostActionTear: t += "^MMT,N\r\n"; break;
    case kPostActionPeel: t += "^MMP,N\r\n"; break;
    case kPostActionCut:
    case kPostActionCutEvery:
      // Cuts the writer places (once after the job, every N labels): the delayed cutter holds the labels
      // until ~JK (UserCommand).
      t += cut == Cut::kEveryLabel ? "^MMC,N\r\n" : "^MMD,N\r\n";
      break;
    default: break;
  }

  t += FormatA("^LT%lld\r\n", static_cast<long long>(int64_t{ModelDpi(ctx)} * s.FeedOffset / 25400));
  t += "^PMN\r\n^XZ\r\n\r\n";
  SendText(ctx, t);
}

void PageHeader(WriterContext& ctx) {
  // The printer receives the raster at the model resolution, also when the page was drawn at a
  // multiple of it (InputDPI): width and length describe that raster.
  int64_t r = RasterDpi(ctx);
  long long width = (r * PageWidthTenths(ctx) + 127) / 254;
  long long length = (r * PageLengthTenths(ctx) + 127) / 254;
  // A page that paper saving left without rows has no length: "^LL0" is no label length a printer
  // takes, and it would keep it for the labels after. Its stored length stays then.
  if (length == 0) {
    SendText(ctx, FormatA("^XA\r\n^PW%lld\r\n^PON\r\n^XZ\r\n\r\n", width));
    return;
  }
  SendText(ctx, FormatA("^XA\r\n^PW%lld\r\n^LL%lld\r\n^PON\r\n^XZ\r\n\r\n", width, length));
}

void FormatStart(WriterContext& ctx) { SendText(ctx, "^XA\r\n"); }

void Raster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows) {
  const size_t bandBytes = size_t{rowBytes} * kZplBandRows;
  const uLong bound = compressBound(static_cast<uLong>(bandBytes));
  // Every buffer is there before the first band goes: a band left out would print a wrong label.
  LocalArray<uint8_t> deflated = AllocArray<uint8_t>(bound);
  LocalArray<char> text = AllocArray<char>(Base64EncodedSize(bound));
  LocalArray<uint8_t> padded;  // the last band, filled up with white rows
  if (rows % kZplBandRows != 0) padded = AllocArray<uint8_t>(bandBytes);
  if (!deflated || !text || (rows % kZplBandRows != 0 && !padded)) {
    ctx.error = ERROR_NOT_ENOUGH_MEMORY;
    return;
  }
  // One deflate state for all bands, reset between them: the same stream as compress() makes, without
  // setting up (and clearing) its tables again for every band.
  z_stream zs{};
  if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) {
    ctx.error = ERROR_NOT_ENOUGH_MEMORY;
    return;
  }
  struct End {
    z_stream* zs;
    ~End() { deflateEnd(zs); }
  } end{&zs};

  const DWORD bands = (rows + kZplBandRows - 1) / kZplBandRows;
  for (DWORD band = 0; band < bands; ++band) {
    DWORD y = band * kZplBandRows;
    const uint8_t* src = raster + size_t{y} * rowBytes;
    if (rows - y < kZplBandRows) {
      size_t have = size_t{rows - y} * rowBytes;
      std::memcpy(padded.get(), src, have);
      std::memset(padded.get() + have, 0, bandBytes - have);
      src = padded.get();
    }
    zs.next_in = const_cast<Bytef*>(src);
    zs.avail_in = static_cast<uInt>(bandBytes);
    zs.next_out = deflated.get();
    zs.avail_out = static_cast<uInt>(bound);
    if (deflateReset(&zs) != Z_OK || deflate(&zs, Z_FINISH) != Z_STREAM_END) {
      // Only memory can fail here (the bound is enough room): the page stops, it is not cut.
      DbgPrint(TEXT("ZPL band at row %u could not be deflated; page not complete."), static_cast<unsigned>(y));
      ctx.error = ERROR_NOT_ENOUGH_MEMORY;
      return;
    }
    const size_t size = zs.total_out;
    size_t chars = Base64Encode(deflated.get(), size, text.get());

    unsigned long total = static_cast<unsigned long>(bandBytes);
    if (!SendText(ctx, FormatA("^FO%d,%lu^GFA,%lu,%lu,%lu,:Z64:", 0, static_cast<unsigned long>(y), total, total,
                               static_cast<unsigned long>(rowBytes))) ||
        !SendBytes(ctx, text.get(), chars) ||
        !SendText(ctx, FormatA(":%04X\r\n", Crc16Xmodem(text.get(), chars)))) {
      // The job has failed (its output is refused): this band and the rest of the page are dropped.
      DbgPrint(TEXT("ZPL band at row %u not sent: the job's output failed."), static_cast<unsigned>(y));
      return;
    }
  }
}

void PageTrailer(WriterContext& ctx) { SendText(ctx, "^XZ\r\n\r\n"); }

// The user's text, then the cuts the delayed cutter waits for: after every Nth label and at the job's end.
void UserCommand(WriterContext& ctx, int slot, const std::string& text) {
  if (!text.empty() && !SendText(ctx, text)) return;
  if (CutAfterUserCommand(ctx, slot)) SendText(ctx, "~JK\r\n");
}

}  // namespace

const LanguageWriter kZplWriter = {.jobHeader = JobHeader, .userCommand = UserCommand, .pageHeader = PageHeader,
                                   .formatStart = FormatStart, .raster = Raster, .pageTrailer = PageTrailer,
                                   .oneIsBlack = true, .copiesInRaster = false, .countsCuts = true};

}  // namespace writers
