#include "ui/watermark.h"

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>

#include "common/wstr.h"
#include "image/image.h"
#include "ui/module.h"
#include "ui/sheets.h"
#include "ui/working_copy.h"
#include "ui/sample.h"

namespace {

struct WatermarkPage {
  PrinterContext* ctx = nullptr;
  WatermarkValues values{};
  bool initialised = false;
  // The picture of `picturePath`, loaded and reduced once per file (a file that did not load is not
  // tried again on every move of a bar); choosing a file loads it afresh.
  WatermarkPicture picture;
  WCHAR picturePath[kWatermarkPathChars] = {};
  bool pictureRead = false;
};

struct Bar {
  int Id;
  int Max;
};
constexpr Bar kBars[] = {{kWmBrightness, 255}, {kWmScale, 100}, {kWmHorizontal, 100}, {kWmVertical, 100}};

WatermarkPage* StateOf(HWND page) { return reinterpret_cast<WatermarkPage*>(GetWindowLongPtrW(page, DWLP_USER)); }

int16_t BarPos(HWND page, int id) { return int16_t(SendDlgItemMessageW(page, id, TBM_GETPOS, 0, 0)); }

void ReadBack(HWND page, WatermarkPage* s) {
  WatermarkValues& v = s->values;
  v.Enabled = IsDlgButtonChecked(page, kWmEnable) == BST_CHECKED;
  GetDlgItemTextW(page, kWmPath, v.Path, kWatermarkPathChars);
  v.Brightness = BarPos(page, kWmBrightness);
  v.Scale = BarPos(page, kWmScale);
  v.X = BarPos(page, kWmHorizontal);
  v.Y = BarPos(page, kWmVertical);
}

void Preview(HWND page, WatermarkPage* s) {
  const WatermarkValues& v = s->values;
  if (!v.Enabled || !v.Path[0]) {
    ShowPicture(page, kWmPreview, nullptr);  // no watermark: no picture
    return;
  }
  RECT client{};
  GetClientRect(GetDlgItem(page, kWmPreview), &client);
  const int width = client.right - client.left, height = client.bottom - client.top;
  if (!s->pictureRead || !WStrEq(s->picturePath, v.Path)) {
    LoadWatermarkPicture(v.Path, width, &s->picture);
    WStrCopy(s->picturePath, kWatermarkPathChars, v.Path);
    s->pictureRead = true;
  }
  RasterImage preview;
  // A file that does not load leaves the preview white.
  DrawWatermarkPreview(s->picture, width, height, v.Brightness, v.Scale, v.X, v.Y, preview);
  if (preview.IsValid()) ShowPicture(page, kWmPreview, ImageToBitmap(preview));
}

void Refresh(HWND page, WatermarkPage* s) {
  ReadBack(page, s);
  EnableWindow(GetDlgItem(page, kWmBrowse), s->values.Enabled);
  Preview(page, s);
  const bool changed = !SameWatermark(s->values, WatermarkFromSettings(s->ctx));
  SendMessageW(GetParent(page), changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
}

void Browse(HWND page) {
  WCHAR name[kWatermarkPathChars] = {};
  if (ChooseExistingFile(page, IDS_FILTER_WATERMARK, TEXT("*.bmp"), name, kWatermarkPathChars))
    SetDlgItemTextW(page, kWmPath, name);
}

void Open(HWND page, PrinterContext* ctx) {
  auto* s = new WatermarkPage;
  s->ctx = ctx;
  s->values = WatermarkFromSettings(ctx);
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
  const WatermarkValues& v = s->values;
  const int16_t positions[] = {v.Brightness, v.Scale, v.X, v.Y};
  for (size_t i = 0; i < 4; ++i) {
    SendDlgItemMessageW(page, kBars[i].Id, TBM_SETRANGE, FALSE, MAKELPARAM(0, kBars[i].Max));
    SendDlgItemMessageW(page, kBars[i].Id, TBM_SETPAGESIZE, 0, 10);
    SendDlgItemMessageW(page, kBars[i].Id, TBM_SETPOS, TRUE, positions[i]);
  }
  CheckDlgButton(page, kWmEnable, v.Enabled ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(page, kWmBrowse), v.Enabled);
  SetDlgItemTextW(page, kWmPath, v.Path);
  s->initialised = true;
}

}  // namespace

WatermarkValues WatermarkFromSettings(const PrinterContext* ctx) {
  const PrinterDevmode& dm = ctx->Settings;
  WatermarkValues v{};
  v.Enabled = (dm.Flags & kFlagWatermark) != 0;
  WStrCopyN(v.Path, kWatermarkPathChars, dm.WatermarkPath, kWatermarkPathChars - 1);
  v.Brightness = dm.WatermarkBrightness;
  v.Scale = dm.WatermarkScale;
  v.X = dm.WatermarkX;
  v.Y = dm.WatermarkY;
  return v;
}

bool SameWatermark(const WatermarkValues& a, const WatermarkValues& b) {
  return a.Enabled == b.Enabled && WStrEq(a.Path, b.Path) && a.Brightness == b.Brightness && a.Scale == b.Scale &&
         a.X == b.X && a.Y == b.Y;
}

void StoreWatermark(PrinterDevmode* to, const WatermarkValues& v) {
  PrinterDevmode& dm = *to;
  dm.Flags = v.Enabled ? (dm.Flags | kFlagWatermark) : (dm.Flags & ~kFlagWatermark);
  WStrCopy(dm.WatermarkPath, kWatermarkPathChars, v.Path);
  dm.WatermarkBrightness = v.Brightness;
  dm.WatermarkScale = v.Scale;
  dm.WatermarkX = v.X;
  dm.WatermarkY = v.Y;
}

INT_PTR CALLBACK WatermarkPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  WatermarkPage* s = StateOf(page);
  switch (message) {
    case WM_INITDIALOG: return OpenSheetPage(page, lParam, Open);
    case WM_COMMAND:
      if (!s || !s->initialised) return FALSE;
      if (LOWORD(wParam) == kWmBrowse && HIWORD(wParam) == BN_CLICKED) {
        Browse(page);
        s->pictureRead = false;  // a file chosen is read again, also under the same name
      }
      Refresh(page, s);
      return TRUE;
    case WM_HSCROLL:
      if (!s || !s->initialised) return FALSE;
      Refresh(page, s);
      return TRUE;
    case WM_TIMER:
      if (!s || wParam != kWmActivateTimer) return FALSE;
      KillTimer(page, kWmActivateTimer);
      Refresh(page, s);
      return TRUE;
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
      if (!s || !nm) return FALSE;
      if (nm->code == UINT(PSN_SETACTIVE)) {
        SetTimer(page, kWmActivateTimer, kWmActivateDelay, nullptr);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      if (nm->code != UINT(PSN_APPLY) && nm->code != 1) return FALSE;
      ReadBack(page, s);
      // Into the working copy too: Page Setup's apply writes all of it back, and must not bring old values.
      StoreWatermark(&s->ctx->Settings, s->values);
      if (PrinterDevmode* w = WorkingCopyOf(s->ctx)) StoreWatermark(w, s->values);
      SendMessageW(GetParent(page), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
      return TRUE;
    }
    case WM_DESTROY:
      if (s) {
        KillTimer(page, kWmActivateTimer);
        ShowPicture(page, kWmPreview, nullptr);
        SetWindowLongPtrW(page, DWLP_USER, 0);
        delete s;
      }
      return FALSE;
    default: return FALSE;
  }
}
