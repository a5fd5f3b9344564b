// user32: dialogs from DLGTEMPLATEEX / DLGTEMPLATE bytes, the dialog manager (DefDlgProcW) and the
// dialog item calls.
#include <cstring>

#include "user32/window.h"

using namespace winsim::detail;

namespace {

// Dialog units to pixels with the base units of the dialog's font: 4 horizontal units to the average
// character width, 8 vertical ones to the character height.
// MulDiv's rounding: to the nearest pixel, halves away from zero.
int Scale(int v, int num, int den) {
  const long long p = 2LL * v * num;
  return int(p >= 0 ? (p + den) / (2 * den) : -((-p + den) / (2 * den)));
}
struct BaseUnits {
  int x, y;
  int X(int v) const { return Scale(v, x, 4); }
  int Y(int v) const { return Scale(v, y, 8); }
};
BaseUnits BaseUnitsOf(const DialogFont& f) {
  const TextMetricsPx m = MetricsOf(f);
  return BaseUnits{m.aveWidth, m.height};
}
// A template without DS_SETFONT is laid out in the system font: 8 by 16 pixels on a 96-dpi screen.
constexpr BaseUnits kSystemFontUnits{8, 16};

struct Reader {
  const BYTE* p;
  WORD Word() {
    WORD v;
    std::memcpy(&v, p, 2);
    p += 2;
    return v;
  }
  DWORD Dword() {
    DWORD v;
    std::memcpy(&v, p, 4);
    p += 4;
    return v;
  }
  short Short() { return short(Word()); }
  // sz_Or_Ord: 0 = none, 0xFFFF + ordinal, or a NUL-terminated string.
  std::u16string SzOrOrd(WORD* ord) {
    *ord = 0;
    WORD first;
    std::memcpy(&first, p, 2);
    if (first == 0) {
      p += 2;
      return {};
    }
    if (first == 0xFFFF) {
      p += 2;
      *ord = Word();
      return {};
    }
    return Sz();
  }
  std::u16string Sz() {
    std::u16string s;
    for (;;) {
      WORD c = Word();
      if (!c) break;
      s.push_back(char16_t(c));
    }
    return s;
  }
  void AlignDword(const BYTE* base) {
    while ((p - base) % 4) ++p;
  }
};

std::u16string ClassFromOrdinal(WORD ord) {
  switch (ord) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return u"Static";
  }
}

// Dialog procedure stored in the window's extra bytes.
DLGPROC DlgProcOf(HWND h) { return reinterpret_cast<DLGPROC>(GetWindowLongPtrW(h, DWLP_DLGPROC)); }

// Controls that take part in tab order and default focus.
bool Focusable(HWND h) {
  auto w = FindWnd(h);
  if (!w || (w->style & WS_DISABLED) || !(w->style & WS_VISIBLE)) return false;
  if (IEquals(w->cls, u"Static")) return false;
  if (IEquals(w->cls, u"Button") && (w->style & BS_TYPEMASK) == BS_GROUPBOX) return false;
  return true;
}

LRESULT CALLBACK DialogClassProc(HWND h, UINT m, WPARAM wp, LPARAM lp) { return DefDlgProcW(h, m, wp, lp); }

struct DialogClass {
  DialogClass() { RegisterSystemClass(u"#32770", DialogClassProc, int(DWLP_USER + sizeof(LONG_PTR))); }
} const kDialogClass;

}  // namespace

namespace winsim::detail {

const DialogFont& TextFontOf(HWND h) {
  auto w = FindWnd(h);
  return w && w->textFont ? *w->textFont : DefaultDialogFont();
}

const void* LoadDialogTemplate(HINSTANCE inst, LPCWSTR name) {
  HRSRC r = FindResourceW(inst, name, RT_DIALOG);
  if (!r) return nullptr;
  HGLOBAL g = LoadResource(inst, r);
  return g ? LockResource(g) : nullptr;
}

HWND CreateDialogFromTemplate(HINSTANCE inst, const void* tmpl, HWND parent, DLGPROC proc, LPARAM param,
                              WORD templateId, bool asChild) {
  if (!tmpl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BYTE* base = static_cast<const BYTE*>(tmpl);
  Reader r{base};
  bool ex = false;
  DWORD style, exStyle;
  WORD count;
  if (reinterpret_cast<const WORD*>(base)[0] == 1 && reinterpret_cast<const WORD*>(base)[1] == 0xFFFF) {
    ex = true;
    r.Word(), r.Word(), r.Dword();  // version, signature, help id
    exStyle = r.Dword();
    style = r.Dword();
  } else {
    style = r.Dword();
    exStyle = r.Dword();
  }
  count = r.Word();
  short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
  WORD ord;
  r.SzOrOrd(&ord);  // menu
  std::u16string cls = r.SzOrOrd(&ord);
  if (cls.empty()) cls = u"#32770";
  std::u16string title = r.Sz();
  std::shared_ptr<const DialogFont> font;
  BaseUnits units = kSystemFontUnits;
  if (style & DS_SETFONT) {
    const int points = r.Word();
    int weight = 400;
    bool italic = false;
    if (ex) {
      weight = r.Word();
      italic = (r.Word() & 0xFF) != 0;  // italic byte, then the charset byte
    }
    font = std::make_shared<DialogFont>(ResolveDialogFont(r.Sz(), points, weight, italic));
    units = BaseUnitsOf(*font);
  }
  if (asChild) style = (style & ~DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE)) | WS_CHILD | DS_CONTROL;
  DWORD winStyle = style & ~DWORD(WS_VISIBLE);
  HWND dlg = CreateWindowExW(exStyle, cls.c_str(), title.c_str(), winStyle, units.X(x), units.Y(y), units.X(cx),
                             units.Y(cy), parent, nullptr, inst, nullptr);
  if (!dlg) return nullptr;
  if (auto w = FindWnd(dlg)) {
    w->isDialog = true;
    w->templateId = templateId;
    w->textFont = font;
    w->baseX = units.x, w->baseY = units.y;
    if (w->extra.size() < DWLP_USER + sizeof(LONG_PTR)) w->extra.resize(DWLP_USER + sizeof(LONG_PTR));
  }
  SetWindowLongPtrW(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  SendMessageW(dlg, WM_SETFONT, 0, FALSE);
  HWND firstTab = nullptr;
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword(base);
    DWORD iStyle, iEx, iId;
    if (ex) {
      r.Dword();  // help id
      iEx = r.Dword();
      iStyle = r.Dword();
    } else {
      iStyle = r.Dword();
      iEx = r.Dword();
    }
    short ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
    iId = ex ? r.Dword() : r.Word();
    WORD clsOrd;
    std::u16string icls = r.SzOrOrd(&clsOrd);
    if (icls.empty()) icls = ClassFromOrdinal(clsOrd);
    WORD textOrd;
    std::u16string text = r.SzOrOrd(&textOrd);
    WORD extraBytes = r.Word();
    const void* creation = extraBytes ? r.p : nullptr;
    r.p += extraBytes;
    HWND c = CreateWindowExW(iEx, icls.c_str(), text.c_str(), iStyle | WS_CHILD, units.X(ix), units.Y(iy),
                             units.X(icx), units.Y(icy), dlg, reinterpret_cast<HMENU>(INT_PTR(iId)), inst,
                             const_cast<void*>(creation));
    if (!c) {
      // As on Windows, a control of an unknown class fails the whole dialog.
      DestroyWindow(dlg);
      SetLastError(1411);
      return nullptr;
    }
    if (auto cw = FindWnd(c)) cw->textFont = font;
    SendMessageW(c, WM_SETFONT, 0, FALSE);  // the dialog's font, as the dialog manager gives it
    if (!firstTab && (iStyle & WS_TABSTOP) && Focusable(c)) firstTab = c;
  }
  LRESULT focusDefault = SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param);
  if (!FindWnd(dlg)) return nullptr;  // destroyed during WM_INITDIALOG
  if (style & WS_VISIBLE) ShowWindow(dlg, SW_SHOW);
  if (focusDefault && firstTab && !(style & WS_CHILD) && FindWnd(firstTab)) SetFocus(firstTab);
  return dlg;
}

}  // namespace winsim::detail

extern "C" {

LRESULT WINAPI DefDlgProcW(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  DLGPROC proc = DlgProcOf(h);
  INT_PTR handled = FALSE;
  if (proc) {
    SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
    handled = proc(h, m, wp, lp);
  }
  if (!FindWnd(h)) return handled;
  if (handled) {
    switch (m) {
      // These return the dialog procedure's own answer, not DWLP_MSGRESULT.
      case WM_INITDIALOG:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
        return handled;
      default:
        return GetWindowLongPtrW(h, DWLP_MSGRESULT);
    }
  }
  switch (m) {
    case WM_INITDIALOG:
      return FALSE;
    case WM_CLOSE:
      // The dialog manager turns closing into Cancel.
      PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
      return 0;
    case WM_ERASEBKGND: {
      // The dialog's background brush is what it answers to WM_CTLCOLORDLG.
      LRESULT brush = SendMessageW(h, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(h));
      RECT r;
      GetClientRect(h, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, brush ? reinterpret_cast<HBRUSH>(brush) : GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_SETFOCUS: {
      auto w = FindWnd(h);
      if (w && w->lastFocus && FindWnd(w->lastFocus)) SetFocus(w->lastFocus);
      return 0;
    }
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

HWND WINAPI CreateDialogParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  const void* t = LoadDialogTemplate(inst, name);
  if (!t) return nullptr;
  return CreateDialogFromTemplate(inst, t, parent, proc, param, IS_INTRESOURCE(name) ? LOWORD(name) : 0);
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE inst, LPCDLGTEMPLATEW t, HWND parent, DLGPROC proc, LPARAM param) {
  return CreateDialogFromTemplate(inst, t, parent, proc, param, 0);
}

static INT_PTR RunModal(HINSTANCE inst, const void* t, HWND parent, DLGPROC proc, LPARAM param, WORD id) {
  if (!t) return -1;
  // The owner is disabled while the dialog runs, as on Windows.
  bool ownerWasEnabled = parent && IsWindowEnabled(parent);
  if (ownerWasEnabled) EnableWindow(parent, FALSE);
  HWND dlg = CreateDialogFromTemplate(inst, t, parent, proc, param, id);
  if (!dlg) {
    if (ownerWasEnabled) EnableWindow(parent, TRUE);
    return -1;
  }
  auto w = FindWnd(dlg);
  if (!w->ended) ShowWindow(dlg, SW_SHOW);
  ModalLoop([&] { return w->ended || w->destroyed; });
  INT_PTR result = w->endResult;
  if (ownerWasEnabled) EnableWindow(parent, TRUE);
  if (FindWnd(dlg)) DestroyWindow(dlg);
  return result;
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
  return RunModal(inst, LoadDialogTemplate(inst, name), parent, proc, param, IS_INTRESOURCE(name) ? LOWORD(name) : 0);
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE inst, LPCDLGTEMPLATEW t, HWND parent, DLGPROC proc, LPARAM param) {
  return RunModal(inst, t, parent, proc, param, 0);
}

BOOL WINAPI EndDialog(HWND h, INT_PTR result) {
  auto w = FindWnd(h);
  if (!w || !w->isDialog) {
    SetLastError(1400);
    return FALSE;
  }
  w->endResult = result;
  w->ended = true;
  ShowWindow(h, SW_HIDE);
  PostMessageW(h, WM_NULL, 0, 0);  // wakes the modal loop
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND h, int id) {
  auto w = FindWnd(h);
  if (!w) {
    SetLastError(1400);
    return nullptr;
  }
  Guard g(Mutex());
  for (HWND c : w->children) {
    auto cw = FindWnd(c);
    if (cw && cw->id == id) return c;
  }
  SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
  return nullptr;
}

BOOL WINAPI SetDlgItemTextW(HWND h, int id, LPCWSTR s) {
  HWND c = GetDlgItem(h, id);
  return c ? SetWindowTextW(c, s) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND h, int id, LPWSTR s, int n) {
  HWND c = GetDlgItem(h, id);
  if (!c) {
    if (s && n > 0) s[0] = 0;
    return 0;
  }
  return UINT(GetWindowTextW(c, s, n));
}

BOOL WINAPI SetDlgItemInt(HWND h, int id, UINT v, BOOL isSigned) {
  auto t = IntText(isSigned ? (long long)INT(v) : (long long)v);
  return SetDlgItemTextW(h, id, t.c_str());
}

UINT WINAPI GetDlgItemInt(HWND h, int id, BOOL* ok, BOOL isSigned) {
  if (ok) *ok = FALSE;
  WCHAR buf[64];
  if (!GetDlgItemTextW(h, id, buf, 64) && !GetDlgItem(h, id)) return 0;
  // Leading and trailing blanks are skipped; anything else that is not a digit fails the conversion.
  const WCHAR* p = buf;
  while (*p == u' ' || *p == u'\t') ++p;
  bool neg = false;
  if (isSigned && *p == u'-') neg = true, ++p;
  if (*p < u'0' || *p > u'9') return 0;
  unsigned long long v = 0;
  while (*p >= u'0' && *p <= u'9') {
    v = v * 10 + unsigned(*p++ - u'0');
    if (v > 0xFFFFFFFFull) return 0;
  }
  while (*p == u' ' || *p == u'\t') ++p;
  if (*p) return 0;
  if (isSigned && (neg ? v > 0x80000000ull : v > 0x7FFFFFFFull)) return 0;
  if (ok) *ok = TRUE;
  return neg ? UINT(-(long long)v) : UINT(v);
}

BOOL WINAPI CheckDlgButton(HWND h, int id, UINT check) {
  HWND c = GetDlgItem(h, id);
  if (!c) return FALSE;
  SendMessageW(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND h, int id) {
  HWND c = GetDlgItem(h, id);
  return c ? UINT(SendMessageW(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND h, int first, int last, int check) {
  auto w = FindWnd(h);
  if (!w) return FALSE;
  std::vector<HWND> kids;
  {
    Guard g(Mutex());
    kids = w->children;
  }
  bool any = false;
  for (HWND c : kids) {
    int id = GetDlgCtrlID(c);
    if (id < first || id > last) continue;
    SendMessageW(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    any = true;
  }
  return any;
}

LRESULT WINAPI SendDlgItemMessageW(HWND h, int id, UINT m, WPARAM wp, LPARAM lp) {
  HWND c = GetDlgItem(h, id);
  return c ? SendMessageW(c, m, wp, lp) : 0;
}

BOOL WINAPI IsDialogMessageW(HWND, LPMSG m) {
  if (!m) return FALSE;
  DispatchMessageW(m);
  return TRUE;
}

BOOL WINAPI MapDialogRect(HWND h, LPRECT r) {
  auto w = FindWnd(h);
  if (!w || !w->isDialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!r) return FALSE;
  const BaseUnits u{w->baseX, w->baseY};
  r->left = u.X(r->left), r->right = u.X(r->right);
  r->top = u.Y(r->top), r->bottom = u.Y(r->bottom);
  return TRUE;
}

}  // extern "C"
