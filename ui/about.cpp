#include "ui/about.h"

#include "common/wstr.h"
#include "ui/module.h"

#ifndef LBL_VERSION
#error "LBL_VERSION (the package version as text) comes from the build"
#endif

namespace {
#define LBL_WIDEN2(s) TEXT(s)
#define LBL_WIDEN(s) LBL_WIDEN2(s)
constexpr const WCHAR kVersion[] = LBL_WIDEN(LBL_VERSION);
constexpr COLORREF kWhite = RGB(255, 255, 255);
}  // namespace

const WCHAR* ProductVersionText() { return kVersion; }

int AboutPageText(int control, WCHAR* buf, int cap) {
  if (!buf || cap <= 0) return 0;
  buf[0] = 0;
  switch (control) {
    case kAboutProductControl: return LoadUiString(IDS_ABOUT_PRODUCT, buf, cap);
    case kAboutNoticeControl: return LoadUiString(IDS_ABOUT_NOTICE, buf, cap);
    case kAboutVersionControl: return WStrCopy(buf, size_t(cap), kVersion) ? int(WStrLen(buf)) : 0;
    default: return 0;
  }
}

HBRUSH AboutPageBrush() {
  static const HBRUSH brush = CreateSolidBrush(kWhite);
  return brush;
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      WCHAR text[256];
      for (int control : {kAboutProductControl, kAboutNoticeControl, kAboutVersionControl}) {
        AboutPageText(control, text, 256);
        SetDlgItemTextW(page, control, text);
      }
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), kWhite);
      return reinterpret_cast<INT_PTR>(AboutPageBrush());
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(AboutPageBrush());
    default: return FALSE;
  }
}
