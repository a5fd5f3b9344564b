// TSPL: plain-text media settings once per job; per page copy SIZE, CLS, BITMAP bands and PRINT.
// The raster goes out as the pipeline made it (1 = white): BITMAP mode 1 ORs it onto a clear page.
#include "common/wstr.h"
#include "render/writers/writer_internal.h"

namespace writers {

namespace {

const char* const kPostActionText[] = {
    "SET TEAR OFF\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n",
    "SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n",
    "SET TEAR OFF\r\nSET CUTTER OFF\r\nSET PEEL ON\r\n",
    "SET TEAR OFF\r\nSET PEEL OFF\r\nSET CUTTER ON\r\n",
};

}  // namespace

std::string TsplMillimetres(int32_t micrometres) {
  // Whole millimetres, then the micrometre remainder. A remainder below 100 is padded to three
  // digits (2050 is "2.050", not "2.50"); 0 stays a single digit ("3.0").
  int64_t v = micrometres;
  const char* sign = v < 0 ? "-" : "";
  if (v < 0) v = -v;
  long long whole = v / 1000;
  int rest = static_cast<int>(v % 1000);
  return rest == 0 ? FormatA("%s%lld.0", sign, whole) : FormatA("%s%lld.%03d", sign, whole, rest);
}

namespace {

void JobHeader(WriterContext& ctx) {
  const PrinterDevmode& s = *ctx.settings;
  const InstalledPaper& paper = Paper(ctx);

  switch (RibbonChoice(ctx)) {
    case Ribbon::kOff:
      if (!SendText(ctx, "SET RIBBON OFF\r\n")) return;
      break;
    case Ribbon::kOn:
      if (!SendText(ctx, "SET RIBBON ON\r\n")) return;
      break;
    case Ribbon::kPrinterChoice: break;
  }

  // Cuts the writer places itself (once after the job, every N labels) turn the cutter off and feed each
  // label to the tear-off position, where CUT cuts it (UserCommand); under the head it would be cut
  // through its printed end.
  switch (CutOf(s)) {
    case Cut::kEveryLabel:
      if (!SendText(ctx, kPostActionText[kPostActionCut])) return;
      break;
    case Cut::kEveryN:
    case Cut::kJobEnd:
      if (!SendText(ctx, kPostActionText[kPostActionTear])) return;
      break;
    case Cut::kNone:
      if (s.PostAction < kPostActionCut && !SendText(ctx, kPostActionText[s.PostAction])) return;
      break;
  }

  // Orientation and mirroring are already in the raster.
  if (!SendText(ctx, "DIRECTION 0,0\r\nREFERENCE 0,0\r\n")) return;

  uint32_t speed = Speed(ctx, false);
  if (speed != 0 && !SendText(ctx, FormatA("SPEED %.2f\r\n", speed / 100.0))) return;

  uint32_t darkness = Darkness(ctx, false);
  if (darkness != 0 && !SendText(ctx, FormatA("DENSITY %d\r\n", static_cast<int>(darkness) - 1))) return;

  float offset = static_cast<float>(s.FeedOffset) / 1000.0f;
  if (!SendText(ctx, FormatA("OFFSET %.2f mm\r\n", static_cast<double>(offset)))) return;

  switch (paper.Flags & kPaperMediaMask) {
    case kPaperGap:
      SendText(ctx, "GAP " + TsplMillimetres(paper.GapHeight) + " mm," + TsplMillimetres(paper.GapOffset) + " mm\r\n");
      break;
    case kPaperBlackMark:
      SendText(ctx, "BLINE " + TsplMillimetres(paper.GapHeight) + " mm," + TsplMillimetres(paper.GapOffset) + " mm\r\n");
      break;
    case kPaperContinuous:
    case kPaperContinuousUnfixed:
      SendText(ctx, "GAP 0 mm,0 mm\r\n");
      break;
    default:
      break;
  }
}

void PageHeader(WriterContext& ctx) {
  const int width = PageWidthTenths(ctx);
  const int length = PageLengthTenths(ctx);
  SendText(ctx, FormatA("SIZE %d.%d mm,%d.%d mm\r\nCLS\r\n", width / 10, width % 10, length / 10, length % 10));
}

void Raster(WriterContext& ctx, const uint8_t* raster, DWORD rowBytes, DWORD rows) {
  for (DWORD y = 0; y < rows; y += kTsplBandRows) {
    DWORD height = rows - y < kTsplBandRows ? rows - y : kTsplBandRows;
    if (!SendText(ctx, FormatA("\r\nBITMAP %d,%lu,%lu,%lu,1,", 0, static_cast<unsigned long>(y),
                               static_cast<unsigned long>(rowBytes), static_cast<unsigned long>(height))))
      return;
    if (!SendBytes(ctx, raster + size_t{y} * rowBytes, size_t{height} * rowBytes)) return;
  }
}

void PageTrailer(WriterContext& ctx) { SendText(ctx, FormatA("\r\nPRINT 1,%d\r\n", 1)); }

// The user's text, then the cuts the writer places: after every Nth label and at the job's end.
void UserCommand(WriterContext& ctx, int slot, const std::string& text) {
  if (!text.empty() && !SendText(ctx, text)) return;
  if (CutAfterUserCommand(ctx, slot)) SendText(ctx, "CUT\r\n");
}

}  // namespace

// 1 = white as the pipeline makes it: BITMAP mode 1 ORs the raster onto a cleared page.
const LanguageWriter kTsplWriter = {.jobHeader = JobHeader, .userCommand = UserCommand, .pageHeader = PageHeader,
                                    .formatStart = nullptr, .raster = Raster, .pageTrailer = PageTrailer,
                                    .oneIsBlack = false, .copiesInRaster = false, .countsCuts = true};

}  // namespace writers
