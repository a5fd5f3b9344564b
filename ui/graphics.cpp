#include "ui/graphics.h"

#include <commctrl.h>
#include <prsht.h>

#include "common/wstr.h"
#include "image/image.h"
#include "ui/module.h"
#include "ui/sample.h"
#include "ui/sheets.h"
#include "ui/working_copy.h"

namespace {

constexpr int kBarOffset = 100;  // the bars run 0..200 for -100..100

struct GraphicsPage {
  PrinterContext* ctx = nullptr;
  GraphicsValues values{};
  bool initialised = false;
  bool original = false;
  RasterImage sample;  // resource 112 as loaded; empty when it did not load
  RasterImage shown;   // the last redraw, whose pixels the next one reuses
};

GraphicsPage* StateOf(HWND page) { return reinterpret_cast<GraphicsPage*>(GetWindowLongPtrW(page, DWLP_USER)); }

void ShowNumber(HWND page, int id, int value) {
  WCHAR text[16];
  WFormatTo(text, 16, TEXT("%d"), value);
  SetDlgItemTextW(page, id, text);
}

// Every read-back lands in the sheet's working copy too, so Page Setup's comparison and apply see it.
void ReadBack(HWND page, GraphicsPage* s) {
  s->values.Brightness = int(SendDlgItemMessageW(page, kGraphicsBrightnessBar, TBM_GETPOS, 0, 0)) - kBarOffset;
  s->values.Contrast = int(SendDlgItemMessageW(page, kGraphicsContrastBar, TBM_GETPOS, 0, 0)) - kBarOffset;
  for (const DitherButton& b : kDitherButtons) {
    if (GetDlgItem(page, b.Id) && IsDlgButtonChecked(page, b.Id) == BST_CHECKED) {
      s->values.DitherLevel = b.Level;
      break;
    }
  }
  s->values.InputDPI = IsDlgButtonChecked(page, kGraphicsLowResolution) == BST_CHECKED ? 1 : 0;
  if (PrinterDevmode* w = WorkingCopy(s->ctx)) PutGraphics(w, s->values);
}

void ShowButtons(HWND page, const GraphicsPage* s) {
  const int on = DitherButtonOf(s->values.DitherLevel);
  for (const DitherButton& b : kDitherButtons) {
    if (GetDlgItem(page, b.Id)) CheckDlgButton(page, b.Id, b.Id == on ? BST_CHECKED : BST_UNCHECKED);
  }
}

void Redraw(HWND page, GraphicsPage* s) {
  if (!s->sample.IsValid()) return;  // no sample: the picture stays empty
  if (!ProcessSample(s->sample, s->values.Contrast, s->values.Brightness, s->values.DitherLevel, s->original, s->shown))
    return;
  ShowPicture(page, kGraphicsSample, ImageToBitmap(s->shown));
}

void Report(HWND page, const GraphicsPage* s) { ReportWorkingCopyChange(page, s->ctx); }

void Open(HWND page, PrinterContext* ctx) {
  auto* s = new GraphicsPage;
  s->ctx = ctx;
  s->values = GraphicsOf(*WorkingCopy(ctx));
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
  for (int bar : {kGraphicsBrightnessBar, kGraphicsContrastBar}) {
    SendDlgItemMessageW(page, bar, TBM_SETRANGE, FALSE, MAKELPARAM(0, 200));
    SendDlgItemMessageW(page, bar, TBM_SETPAGESIZE, 0, 10);
    for (int tic = 10; tic < 200; tic += 10) SendDlgItemMessageW(page, bar, TBM_SETTIC, 0, tic);
  }
  CheckDlgButton(page, kGraphicsLowResolution, s->values.InputDPI ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kGraphicsOriginal, BST_UNCHECKED);
  ShowButtons(page, s);
  ShowNumber(page, kGraphicsBrightnessText, s->values.Brightness);
  ShowNumber(page, kGraphicsContrastText, s->values.Contrast);
  SendDlgItemMessageW(page, kGraphicsBrightnessBar, TBM_SETPOS, TRUE, s->values.Brightness + kBarOffset);
  SendDlgItemMessageW(page, kGraphicsContrastBar, TBM_SETPOS, TRUE, s->values.Contrast + kBarOffset);
  LoadSamplePicture(UiModule(), s->sample);
  Redraw(page, s);
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(0, kGraphicsInitialised), 0);
}

}  // namespace

GraphicsValues GraphicsOf(const PrinterDevmode& dm) {
  return GraphicsValues{dm.ColorAdjust.caBrightness, dm.ColorAdjust.caContrast, dm.DitherLevel, dm.InputDPI};
}

void PutGraphics(PrinterDevmode* to, const GraphicsValues& v) {
  PrinterDevmode& dm = *to;
  dm.ColorAdjust.caBrightness = SHORT(v.Brightness);
  dm.ColorAdjust.caContrast = SHORT(v.Contrast);
  dm.DitherLevel = v.DitherLevel;
  dm.InputDPI = v.InputDPI;
}

int DitherButtonOf(uint32_t level) {
  for (const DitherButton& b : kDitherButtons) {
    if (b.Level == level) return b.Id;
  }
  return 0;
}

INT_PTR CALLBACK GraphicsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  GraphicsPage* s = StateOf(page);
  switch (message) {
    case WM_INITDIALOG: return OpenSheetPage(page, lParam, Open);
    case WM_COMMAND: {
      if (!s) return FALSE;
      const int id = LOWORD(wParam);
      if (id == 0 && HIWORD(wParam) == kGraphicsInitialised && !lParam) {
        s->initialised = true;
        return TRUE;
      }
      if (!s->initialised || HIWORD(wParam) != BN_CLICKED) return FALSE;
      bool ours = id == kGraphicsOriginal || id == kGraphicsLowResolution;
      for (const DitherButton& b : kDitherButtons) ours = ours || b.Id == id;
      if (!ours) return FALSE;
      s->original = IsDlgButtonChecked(page, kGraphicsOriginal) == BST_CHECKED;
      ReadBack(page, s);
      if (id != kGraphicsLowResolution) Redraw(page, s);
      Report(page, s);
      return TRUE;
    }
    case WM_HSCROLL: {
      if (!s || !s->initialised) return FALSE;
      ReadBack(page, s);
      ShowNumber(page, kGraphicsBrightnessText, s->values.Brightness);
      ShowNumber(page, kGraphicsContrastText, s->values.Contrast);
      ShowButtons(page, s);
      Redraw(page, s);
      Report(page, s);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
      if (!s || !nm || (nm->code != UINT(PSN_APPLY) && nm->code != 1)) return FALSE;
      if (s->initialised) ReadBack(page, s);
      StoreWorkingCopy(s->ctx);
      SendMessageW(GetParent(page), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
      return TRUE;
    }
    case WM_DESTROY:
      if (s) {
        ShowPicture(page, kGraphicsSample, nullptr);
        SetWindowLongPtrW(page, DWLP_USER, 0);
        delete s;
      }
      return FALSE;
    default: return FALSE;
  }
}
