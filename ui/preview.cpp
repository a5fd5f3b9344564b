#include "ui/preview.h"

#include <cmath>

#include <gdiplus.h>
#include "common/debug.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr ARGB kBackground = 0xFFF0F0F0;
constexpr ARGB kHeadFill = 0xFFC8C8C8;
constexpr ARGB kHeadOutline = 0xFFDCDCDC;
constexpr ARGB kHeadLight = 0xFF009999;
constexpr ARGB kHeadSlot = 0xFF3C3C3C;
constexpr ARGB kSlotFill = 0xFF505050;
constexpr ARGB kSlotOutline = 0xFF5A5A5A;
constexpr ARGB kBacking = 0xFFC8C8C8;
constexpr ARGB kBlack = 0xFF000000;
constexpr ARGB kWhite = 0xFFFFFFFF;
constexpr ARGB kArrow = 0xFFFF0000;
constexpr WCHAR kSampleText[] = TEXT("123");

// GDI+ objects freed when the drawing ends.
struct PenObj {
  GpPen* p = nullptr;
  PenObj(ARGB color, REAL width) { GdipCreatePen1(color, width, UnitPixel, &p); }
  ~PenObj() { if (p) GdipDeletePen(p); }
};
struct BrushObj {
  GpSolidFill* b = nullptr;
  explicit BrushObj(ARGB color) { GdipCreateSolidFill(color, &b); }
  ~BrushObj() { if (b) GdipDeleteBrush(b); }
};

void RoundRect(GpGraphics* g, double x, double y, double w, double h, double r, ARGB fill, ARGB line, REAL lineWidth) {
  GpPath* path = nullptr;
  if (GdipCreatePath(FillModeAlternate, &path) != Ok) return;
  const REAL d = REAL(2 * r);
  const REAL X = REAL(x), Y = REAL(y), W = REAL(w), H = REAL(h);
  GdipAddPathArc(path, X, Y, d, d, 180, 90);
  GdipAddPathArc(path, X + W - d, Y, d, d, 270, 90);
  GdipAddPathArc(path, X + W - d, Y + H - d, d, d, 0, 90);
  GdipAddPathArc(path, X, Y + H - d, d, d, 90, 90);
  GdipClosePathFigure(path);
  BrushObj brush(fill);
  PenObj pen(line, lineWidth);
  GdipFillPath(g, brush.b, path);
  GdipDrawPath(g, pen.p, path);
  GdipDeletePath(path);
}

void RoundLine(GpGraphics* g, ARGB color, REAL width, double x1, double y, double x2) {
  PenObj pen(color, width);
  GdipSetPenStartCap(pen.p, LineCapRound);
  GdipSetPenEndCap(pen.p, LineCapRound);
  GdipDrawLine(g, pen.p, REAL(x1), REAL(y), REAL(x2), REAL(y));
}

void DrawHead(GpGraphics* g, int width) {
  const double w = width, mid = width / 2.0;
  RoundRect(g, 0, 0, w, kPreviewHeadHeight, 6, kHeadFill, kHeadOutline, 3);
  RoundLine(g, kHeadLight, 10, mid - 13, 20, mid + 13);
  RoundLine(g, kHeadSlot, 2, mid - 80, 35, mid + 80);
  RoundRect(g, mid - 76, 38, mid + 54, 34, 4, kSlotFill, kSlotOutline, 2);
}

// "123" inside the label at (x, y) of width w and length h, turned and mirrored around its centre.
void DrawSample(GpGraphics* g, const PreviewRecord& r, double x, double y, double w, double h, ARGB color) {
  GpFontFamily* family = nullptr;
  if (GdipCreateFontFamilyFromName(TEXT("Arial"), nullptr, &family) != Ok) return;
  GpFont* font = nullptr;
  GdipCreateFont(family, 18, FontStyleRegular, UnitPoint, &font);
  const REAL cx = REAL(x + w / 2), cy = REAL(y + h / 2);
  GdipTranslateWorldTransform(g, cx, cy, MatrixOrderPrepend);
  GdipRotateWorldTransform(g, REAL(r.Angle), MatrixOrderPrepend);
  if (r.Mirror) GdipScaleWorldTransform(g, -1, 1, MatrixOrderPrepend);
  GdipTranslateWorldTransform(g, -cx, -cy, MatrixOrderPrepend);
  BrushObj brush(color);
  RectF at(REAL(x + (w - 48) / 2), REAL(y + (h - 25) / 2), 0, 0);
  if (font) GdipDrawString(g, r.Text ? r.Text : kSampleText, -1, font, &at, nullptr, brush.b);
  GdipResetWorldTransform(g);
  if (font) GdipDeleteFont(font);
  GdipDeleteFontFamily(family);
}

void DrawArrow(GpGraphics* g, double x1, double y1, double x2, double y2) {
  PenObj pen(kArrow, 4);
  GdipSetPenStartCap(pen.p, LineCapArrowAnchor);
  GdipSetPenEndCap(pen.p, LineCapArrowAnchor);
  GdipDrawLine(g, pen.p, REAL(x1), REAL(y1), REAL(x2), REAL(y2));
}

// Whole pixels of one repeat, at least one so that any stock gives a finite picture.
int Step(double pixels) {
  const double t = std::trunc(pixels);
  return t < 1 ? 1 : t > 1e6 ? 1000000 : int(t);
}

}  // namespace

int32_t PreviewPrintWidth(const ModelRecord* model) {
  if (!model) return 0;
  if (model->PrintWidth > 0) return model->PrintWidth;
  const int32_t fallback = ModelHasPapers(model) ? ModelPapers(model)[0].Width : model->MaxWidth;
  return fallback > 0 ? fallback : 0;
}

bool BuildPreviewRecord(const ModelRecord* model, const PaperRecord& stock, int arrow, int angle, bool mirror,
                        bool negative, PreviewRecord* out) {
  const int32_t printWidth = PreviewPrintWidth(model);
  if (printWidth <= 0 || !out) return false;
  const double scale = double(kPreviewBand) / printWidth;
  int alignment = model->PaperAlignment > 2 ? 0 : model->PaperAlignment;
  const double e = stock.Width * scale;
  const double x = alignment == 1   ? kPreviewMarginX
                   : alignment == 2 ? kPreviewBand - e + kPreviewMarginX
                                    : (kPreviewBand - e) / 2 + kPreviewMarginX;
  // A stored record may hold what the editor never saves: negative gaps, offsets and liners draw as none
  // (a negative gap would stack labels without end).
  auto atLeast0 = [](int32_t v) { return v < 0 ? 0.0 : double(v); };
  *out = PreviewRecord{.Type = stock.Flags & kPaperMediaMask, .BandWidth = e, .LabelLength = stock.Length * scale,
                       .X = x, .Y = kPreviewOriginY, .LinerLeft = atLeast0(stock.MarginLeft) * scale,
                       .LinerRight = atLeast0(stock.MarginRight) * scale, .Text = kSampleText, .Angle = angle,
                       .Mirror = mirror, .Negative = negative, .GapHeight = atLeast0(stock.GapHeight) * scale,
                       .GapOffset = atLeast0(stock.GapOffset) * scale, .Arrow = arrow};
  return true;
}

int PreviewLabelCount(const PreviewRecord& r) {
  const double n = std::ceil((kPreviewAreaHeight - r.GapHeight / 2) / Step(r.GapHeight + r.LabelLength));
  return n < 0 ? 0 : int(n);
}

int PreviewPageSteps(const PreviewRecord& r) {
  return int(std::ceil(double(kPreviewAreaHeight - 3) / Step(r.LabelLength)));
}

void DrawPreviewOn(HDC dc, int width, int height, const PreviewRecord& r) {
  DbgPrint(TEXT("Enter DrawObjects."));
  GpGraphics* g = nullptr;
  if (GdipCreateFromHDC(dc, &g) != Ok) {
    DbgPrint(TEXT("Exit DrawObjects."));
    return;
  }
  GdipSetSmoothingMode(g, SmoothingModeAntiAlias);
  (void)height;
  GdipGraphicsClear(g, kBackground);
  DrawHead(g, width);

  const ARGB labelColour = r.Negative ? kBlack : kWhite;
  const ARGB textColour = r.Negative ? kWhite : kBlack;
  const double e = r.BandWidth;
  const double left = r.X + r.LinerLeft;
  {
    BrushObj backing(kBacking);
    GdipFillRectangle(g, backing.b, REAL(r.X), REAL(r.Y), REAL(e + r.LinerLeft + r.LinerRight),
                      REAL(kPreviewAreaHeight));
  }
  double firstTop = r.Y;
  if (r.Type == kPaperGap) {
    const double pitch = r.GapHeight + r.LabelLength;
    double top = r.Y + r.GapHeight / 2;
    firstTop = top;
    const int labels = PreviewLabelCount(r);
    for (int i = 0; i < labels; ++i, top += pitch) {
      RoundRect(g, left, top, e, r.LabelLength, 8, labelColour, kBlack, 1);
      DrawSample(g, r, left, top, e, r.LabelLength, textColour);
    }
  } else {
    {
      BrushObj paper(labelColour);
      GdipFillRectangle(g, paper.b, REAL(left), REAL(r.Y), REAL(e), REAL(kPreviewAreaHeight));
    }
    PenObj dashed(kBlack, 1);
    GdipSetPenDashStyle(dashed.p, DashStyleDash);
    double line = r.Y + 3;
    firstTop = line;
    GdipDrawLine(g, dashed.p, REAL(left), REAL(line), REAL(left + e), REAL(line));
    const int steps = PreviewPageSteps(r);
    for (int i = 0; i < steps; ++i) {
      DrawSample(g, r, left, line, e, r.LabelLength, textColour);
      line += r.LabelLength;
      GdipDrawLine(g, dashed.p, REAL(left), REAL(line), REAL(left + e), REAL(line));
      if (r.Type == kPaperBlackMark) {
        const double markTop = line - r.GapOffset - r.GapHeight;
        BrushObj mark(textColour);
        PenObj outline(kBlack, 1);
        GdipFillRectangle(g, mark.b, REAL(left), REAL(markTop), REAL(e), REAL(r.GapHeight));
        GdipDrawRectangle(g, outline.p, REAL(left), REAL(markTop), REAL(e), REAL(r.GapHeight));
      }
    }
  }
  if (r.Arrow == kArrowWidth) DrawArrow(g, left, firstTop + 10, left + e, firstTop + 10);
  if (r.Arrow == kArrowLength) DrawArrow(g, left + 10, firstTop, left + 10, firstTop + r.LabelLength);
  GdipDeleteGraphics(g);
  DbgPrint(TEXT("Exit DrawObjects."));
}

void DrawStockPreview(HDC dc, int width, int height, const PaperRecord& stock, const PrinterContext* ctx, int arrow,
                      int angle, bool mirror, bool negative) {
  PreviewRecord r;
  if (!dc || !ctx || !BuildPreviewRecord(ctx->Model, stock, arrow, angle, mirror, negative, &r)) return;
  DrawPreviewOn(dc, width, height, r);
}

void DrawObjects(HWND window, const PaperRecord* stock, const PrinterContext* ctx, int arrow, int angle, bool mirror,
                 bool negative) {
  if (!window || !stock || !ctx) return;
  RECT client{};
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  if (!dc) return;
  DrawStockPreview(dc, client.right - client.left, client.bottom - client.top, *stock, ctx, arrow, angle, mirror,
                   negative);
  ReleaseDC(window, dc);
}
