#include "ui/working_copy.h"

#include <cstring>

#include <prsht.h>
#include "common/wstr.h"

namespace {

// Text fields compare up to their terminator (or their full size when they have none).
bool SameText(const WCHAR* a, const WCHAR* b, size_t cap) {
  const size_t n = WStrNLen(a, cap);
  return n == WStrNLen(b, cap) && std::memcmp(a, b, n * sizeof(WCHAR)) == 0;
}

bool SameCommands(const PrinterDevmode& a, const PrinterDevmode& b) {
  for (int i = 0; i < kUserCommandSlots; ++i)
    if (!SameText(a.UserCommands[i], b.UserCommands[i], kUserCommandChars)) return false;
  return true;
}

int BrightnessOf(const PrinterDevmode& s) { return s.ColorAdjust.caBrightness; }
int ContrastOf(const PrinterDevmode& s) { return s.ColorAdjust.caContrast; }

}  // namespace

PrinterDevmode* TakeWorkingCopy(PrinterContext* ctx) {
  if (!ctx) return nullptr;
  ctx->Working = ctx->Settings;
  ctx->WorkingTaken = true;
  return &ctx->Working;
}

PrinterDevmode* WorkingCopy(PrinterContext* ctx) {
  if (!ctx) return nullptr;
  return ctx->WorkingTaken ? &ctx->Working : TakeWorkingCopy(ctx);
}

PrinterDevmode* WorkingCopyOf(PrinterContext* ctx) { return ctx && ctx->WorkingTaken ? &ctx->Working : nullptr; }

bool SettingsDiffer(const PrinterDevmode& w, const PrinterDevmode& s) {
  if (!SameText(w.dm.dmFormName, s.dm.dmFormName, CCHFORMNAME)) return true;
  if (w.dm.dmOrientation != s.dm.dmOrientation || w.dm.dmCopies != s.dm.dmCopies) return true;
  if ((w.Flags & kFlagStoredMask) != (s.Flags & kFlagStoredMask)) return true;
  if (w.ShiftH != s.ShiftH || w.ShiftV != s.ShiftV || w.PrintWidth != s.PrintWidth ||
      w.PrintingScale != s.PrintingScale)
    return true;
  // Graphics Property.
  if (BrightnessOf(w) != BrightnessOf(s) || ContrastOf(w) != ContrastOf(s) || w.DitherLevel != s.DitherLevel ||
      w.InputDPI != s.InputDPI)
    return true;
  // Print Settings.
  if (w.PrintLanguage != s.PrintLanguage || w.PrintMode != s.PrintMode || w.Speed != s.Speed ||
      w.Darkness != s.Darkness || w.PostAction != s.PostAction || w.PostActionOccurrence != s.PostActionOccurrence ||
      w.IntervalPages != s.IntervalPages || w.FeedOffset != s.FeedOffset || w.PaperSaving != s.PaperSaving ||
          !SameCommands(w, s))
    return true;
  // WaterMark.
  if (!SameText(w.WatermarkPath, s.WatermarkPath, kWatermarkPathChars)) return true;
  return w.WatermarkBrightness != s.WatermarkBrightness || w.WatermarkScale != s.WatermarkScale ||
         w.WatermarkX != s.WatermarkX || w.WatermarkY != s.WatermarkY;
}

bool WorkingCopyDiffers(const PrinterContext* ctx) {
  if (!ctx || !ctx->WorkingTaken) return false;
  return SettingsDiffer(ctx->Working, ctx->Settings);
}

void CopyEditedFields(const PrinterDevmode& f, PrinterDevmode* t) {
  std::memcpy(t->dm.dmFormName, f.dm.dmFormName, sizeof t->dm.dmFormName);
  t->dm.dmOrientation = f.dm.dmOrientation;
  t->dm.dmCopies = f.dm.dmCopies;
  t->Flags = (t->Flags & ~kFlagStoredMask) | (f.Flags & kFlagStoredMask);
  t->ShiftH = f.ShiftH;
  t->ShiftV = f.ShiftV;
  t->PrintWidth = f.PrintWidth;
  t->PrintingScale = f.PrintingScale;
  t->ColorAdjust.caBrightness = f.ColorAdjust.caBrightness;
  t->ColorAdjust.caContrast = f.ColorAdjust.caContrast;
  t->DitherLevel = f.DitherLevel;
  t->InputDPI = f.InputDPI;
  t->PrintLanguage = f.PrintLanguage;
  t->PrintMode = f.PrintMode;
  t->Speed = f.Speed;
  t->Darkness = f.Darkness;
  t->PostAction = f.PostAction;
  t->PostActionOccurrence = f.PostActionOccurrence;
  t->IntervalPages = f.IntervalPages;
  t->FeedOffset = f.FeedOffset;
  t->PaperSaving = f.PaperSaving;
  std::memcpy(t->UserCommands, f.UserCommands, sizeof t->UserCommands);
  std::memcpy(t->WatermarkPath, f.WatermarkPath, sizeof t->WatermarkPath);
  t->WatermarkBrightness = f.WatermarkBrightness;
  t->WatermarkScale = f.WatermarkScale;
  t->WatermarkX = f.WatermarkX;
  t->WatermarkY = f.WatermarkY;
}

void StoreWorkingCopy(PrinterContext* ctx) {
  if (!ctx || !ctx->WorkingTaken) return;
  CopyEditedFields(ctx->Working, &ctx->Settings);
}

bool ReportWorkingCopyChange(HWND page, const PrinterContext* ctx) {
  const bool differs = WorkingCopyDiffers(ctx);
  HWND sheet = GetParent(page);
  if (sheet) SendMessageW(sheet, differs ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
  return differs;
}
