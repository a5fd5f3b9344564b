// ESC: a raster command set in the manner of receipt printers. Pages go out as GS v 0 bands of
// 24 rows with a paper feed after each; the post-print action is made of feeds and cuts that
// follow the user command strings.
#include <cstring>
#include <memory>
#include <new>

#include "common/alloc.h"
#include "render/writers/writer_internal.h"

namespace writers {

namespace {

constexpr size_t kBandHeaderBytes = 8;
constexpr size_t kFeedBytes = 3;

// Feed by 25 mm: ESC K with the dots of 25 mm at the model resolution.
bool SendFeed25mm(WriterContext& ctx) {
  uint8_t cmd[] = {0x1B, 0x4B, static_cast<uint8_t>(ModelDpi(ctx) * 250 / 254), 0x00};
  return SendBytes(ctx, cmd, sizeof(cmd));
}

// Feed offset in dots at the model resolution.
int32_t FeedOffsetDots(const WriterContext& ctx) {
  return static_cast<int32_t>(int64_t{ctx.settings->FeedOffset / 100} * ModelDpi(ctx) / 254);
}

void JobHeader(WriterContext& ctx) {
  uint8_t cmd[] = {0x1F, 0x1B, 0x1F, 0x13, 0x14, static_cast<uint8_t>(Darkness(ctx, true))};
  SendBytes(ctx, cmd, sizeof(cmd));
}

// Feed by the feed offset and cut: GS V 66.
bool SendCut(WriterContext& ctx) {
  ctx.labelsSinceCut = 0;
  uint8_t cut[] = {0x1D, 0x56, 0x42, static_cast<uint8_t>(FeedOffsetDots(ctx))};
  return SendBytes(ctx, cut, sizeof(cut));
}

// ESC printers have no peeler: an action of 2 is a cut, after every label with an interval of 1 and
// once after the job with any other. Cuts of actions 3 and 4 follow the occurrence (CutOf).
bool CutAfterLabel(WriterContext& ctx) {
  const PrinterDevmode& s = *ctx.settings;
  if (s.PostAction == kPostActionPeel) return s.IntervalPages == 1;
  switch (CutOf(s)) {
    case Cut::kEveryLabel: return true;
    case Cut::kEveryN: return CountLabelForCut(ctx);
    default: return false;
  }
}

bool CutAfterJob(const WriterContext& ctx) {
  const PrinterDevmode& s = *ctx.settings;
  if (s.PostAction == kPostActionPeel) return s.IntervalPages != 1;
  return CutAtJobEnd(ctx);
}

// The user command string, then the feeds and cuts of the post-print action that follow it.
void UserCommand(WriterContext& ctx, int slot, const std::string& text) {
  if (!text.empty() && !SendText(ctx, text)) return;
  const PrinterDevmode& s = *ctx.settings;
  switch (slot) {
    case kUserCommandJobStart:
      if (s.PostAction == kPostActionTear) SendFeed25mm(ctx);
      break;
    case kUserCommandPageStart:
      if (s.PostAction >= kPostActionPeel) SendFeed25mm(ctx);
      break;
    case kUserCommandPageEnd:
      if (CutAfterLabel(ctx)) SendCut(ctx);
      break;
    case kUserCommandJobEnd:
      if (CutAfterJob(ctx)) {
        SendCut(ctx);
      } else if (s.PostAction == kPostActionTear) {
        // Tear: feed the label out to the tear bar in steps of 24 dots.
        static const uint8_t kFeed24[] = {0x1B, 0x4A, 0x18};
        int32_t feeds = (FeedOffsetDots(ctx) + 23) / 24;
        for (int32_t i = 0; i < feeds; ++i)
          if (!SendBytes(ctx, kFeed24, sizeof(kFeed24))) break;
      }
      break;
    default:
      break;
  }
}

void PageHeader(WriterContext& ctx) {
  const InstalledPaper& paper = Paper(ctx);
  // Dots at the resolution of the raster the printer receives, not of the (possibly multiplied) drawing.
  const DWORD dpi = RasterDpi(ctx);
  uint8_t cmd[8] = {0x1D, 0x57, 0, 0, 0x1D, 0x4C, 0, 0};
  PutU16(cmd + 2, static_cast<uint32_t>(Dots(dpi, paper.Width)));
  PutU16(cmd + 6, static_cast<uint32_t>(Dots(dpi, paper.ImageableArea.Left)));
  SendBytes(ctx, cmd, sizeof(cmd));
}

void Raster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows) {
  // Raster variant 1 feeds the band height after each band; the others send a zero feed.
  const uint8_t feed = ctx.settings->PrinterType == 1 ? 0x18 : 0x00;
  const size_t fullBand = size_t{rowBytes} * kEscBandRows;
  LocalArray<uint8_t> block = AllocArray<uint8_t>(kBandHeaderBytes + fullBand + kFeedBytes);
  if (!block) {
    ctx.error = ERROR_NOT_ENOUGH_MEMORY;
    return;
  }

  // Each band goes out as one block: GS v 0, the rows, ESC J.
  for (DWORD y = 0; y < rows; y += kEscBandRows) {
    DWORD height = rows - y < kEscBandRows ? rows - y : kEscBandRows;
    size_t data = size_t{height} * rowBytes;
    uint8_t* p = block.get();
    p[0] = 0x1D;
    p[1] = 0x76;
    p[2] = 0x30;
    p[3] = 0x00;
    PutU16(p + 4, rowBytes);
    PutU16(p + 6, height);
    std::memcpy(p + kBandHeaderBytes, raster + size_t{y} * rowBytes, data);
    p += kBandHeaderBytes + data;
    p[0] = 0x1B;
    p[1] = 0x4A;
    p[2] = feed;
    if (!SendBytes(ctx, block.get(), kBandHeaderBytes + data + kFeedBytes)) return;
  }
}

}  // namespace

const LanguageWriter kEscWriter = {.jobHeader = JobHeader, .userCommand = UserCommand,
                                   .pageHeader = PageHeader, .formatStart = nullptr, .raster = Raster,
                                   .pageTrailer = nullptr, .oneIsBlack = true, .copiesInRaster = false,
                                   .countsCuts = true};

}  // namespace writers
