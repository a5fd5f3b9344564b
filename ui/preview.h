// The drawn label preview of the Page Setup page and the stock editor (DrawObjects): a printer head
// with the stock coming out of it, scaled so that the model's print width spans 144 pixels.
#pragma once

#include <cstdint>

#include "common/model.h"
#include "common/paper.h"
#include "common/platform.h"
#include "ui/context.h"

// Which field the red arrow measures.
enum PreviewArrow : int { kArrowNone = 0, kArrowWidth = 1, kArrowLength = 2 };

constexpr int kPreviewBand = 144;          // pixels the print width maps onto
constexpr int kPreviewAreaHeight = 226;    // height of the drawing area below the origin
constexpr int kPreviewMarginX = 26;        // left edge of the band
constexpr int kPreviewOriginY = 34;
constexpr int kPreviewHeadHeight = 60;
// The client size the preview controls have (and the size of pictures drawn without a window).
constexpr int kPreviewWidth = kPreviewBand + 2 * kPreviewMarginX;
constexpr int kPreviewHeight = kPreviewOriginY + kPreviewAreaHeight;

// One preview drawing; all lengths in preview pixels.
struct PreviewRecord {
  uint32_t Type;       // stock flags & 0xF
  double BandWidth;    // E: the stock's total width
  double LabelLength;
  double X, Y;         // origin
  double LinerLeft, LinerRight;
  const WCHAR* Text;   // "123"
  int Angle;           // 0, 90, 180, 270
  bool Mirror;
  bool Negative;
  double GapHeight;    // gap or mark height
  double GapOffset;    // gap or mark offset
  int Arrow;           // PreviewArrow
};

// The print width the preview maps onto 144 pixels: the model's, else the settings' fallback (the
// width of the model's first paper, else MaxWidth). 0 when even that is 0.
int32_t PreviewPrintWidth(const ModelRecord* model);

// The drawing record of `stock` on `model`; false when the model has no width to scale by.
bool BuildPreviewRecord(const ModelRecord* model, const PaperRecord& stock, int arrow, int angle, bool mirror,
                        bool negative, PreviewRecord* out);

// Labels drawn for gap stock and page steps for continuous stock (each at least one step of a pixel).
int PreviewLabelCount(const PreviewRecord& r);
int PreviewPageSteps(const PreviewRecord& r);

// Draws `r` on `dc` (client area width x height) with GDI+.
void DrawPreviewOn(HDC dc, int width, int height, const PreviewRecord& r);

// Draws the preview of `stock` on `dc` (client area width x height); nothing without a model or a
// width to scale by.
void DrawStockPreview(HDC dc, int width, int height, const PaperRecord& stock, const PrinterContext* ctx, int arrow,
                      int angle, bool mirror, bool negative);

// Draws the preview of `stock` into `window` (the owner-drawn preview control); nothing without a
// stock, a model or a width to scale by.
void DrawObjects(HWND window, const PaperRecord* stock, const PrinterContext* ctx, int arrow, int angle, bool mirror,
                 bool negative);
