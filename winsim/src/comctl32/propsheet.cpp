// comctl32: property sheets and wizards. The sheet is a headless window holding its pages (dialogs
// created from the pages' templates as its children) and its own buttons.
#include <algorithm>
#include <cstring>

#include "comctl32/propsheet.h"

using namespace winsim::detail;

namespace {

LRESULT Notify(HWND sheet, HWND page, UINT code, LPARAM lp = 0) {
  if (!page) return 0;
  PSHNOTIFY n{};
  n.hdr.hwndFrom = sheet;
  n.hdr.idFrom = 0;
  n.hdr.code = code;
  n.lParam = lp;
  return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

bool IsWizard(const SheetState* s) { return (s->flags & (PSH_WIZARD | PSH_WIZARD97)) != 0; }

HWND CreatePageWindow(HWND sheet, SheetState* s, int i) {
  auto& sp = s->pages[size_t(i)];
  if (sp.hwnd) return sp.hwnd;
  PROPSHEETPAGEW* psp = sp.page->psp();
  if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback && !psp->pfnCallback(nullptr, PSPCB_CREATE, psp))
    return nullptr;
  const void* t = (psp->dwFlags & PSP_DLGINDIRECT) ? static_cast<const void*>(psp->pResource)
                                                   : LoadDialogTemplate(psp->hInstance, psp->pszTemplate);
  // The page's own activation context, when it brings one, decides the version of its controls.
  ULONG_PTR cookie = 0;
  const bool activated = (psp->dwFlags & PSP_USEFUSIONCONTEXT) && ActivateActCtx(psp->hActCtx, &cookie);
  HWND h = CreateDialogFromTemplate(psp->hInstance, t, sheet, psp->pfnDlgProc, reinterpret_cast<LPARAM>(psp),
                                    PageTemplateId(sp.page), true);
  if (activated) DeactivateActCtx(0, cookie);
  if (auto* again = SheetOf(sheet)) {
    if (size_t(i) < again->pages.size()) again->pages[size_t(i)].hwnd = h;
  }
  return h;
}

void UpdateApply(HWND sheet, SheetState* s) {
  bool any = std::any_of(s->pages.begin(), s->pages.end(), [](auto& p) { return p.changed; });
  if (HWND b = GetDlgItem(sheet, kIdApplyNow)) EnableWindow(b, any);
}

// Shows page i. sendKill: the current page is asked first (PSN_KILLACTIVE). dir: +1/-1 for wizard skips.
bool SetCurSel(HWND sheet, int i, bool sendKill, int dir = 1) {
  auto* s = SheetOf(sheet);
  if (!s || i < 0 || i >= int(s->pages.size())) return false;
  int old = s->current;
  if (sendKill && old >= 0 && old != i && Notify(sheet, s->pages[size_t(old)].hwnd, PSN_KILLACTIVE)) return false;
  for (int guard = 0; guard < int(s->pages.size()) + 1; ++guard) {
    HWND page = CreatePageWindow(sheet, s, i);
    s = SheetOf(sheet);
    if (!s) return false;
    if (!page) return false;
    s->current = i;
    LRESULT r = Notify(sheet, page, PSN_SETACTIVE);
    s = SheetOf(sheet);
    if (!s) return false;
    if (r == 0) break;
    // -1: this page does not want to be shown; go on in the same direction. Otherwise a template id.
    int next = -1;
    if (r == -1) next = i + dir;
    else
      for (int k = 0; k < int(s->pages.size()); ++k)
        if (LRESULT(PageTemplateId(s->pages[size_t(k)].page)) == r ||
            reinterpret_cast<LRESULT>(s->pages[size_t(k)].page->psp()->pszTemplate) == r)
          next = k;
    if (next < 0 || next >= int(s->pages.size())) {
      s->current = old;
      return false;
    }
    i = next;
  }
  for (int k = 0; k < int(s->pages.size()); ++k)
    if (s->pages[size_t(k)].hwnd) ShowWindow(s->pages[size_t(k)].hwnd, k == i ? SW_SHOW : SW_HIDE);
  return true;
}

bool Apply(HWND sheet, bool ok) {
  auto* s = SheetOf(sheet);
  if (!s) return false;
  if (s->current >= 0 && Notify(sheet, s->pages[size_t(s->current)].hwnd, PSN_KILLACTIVE)) return false;
  s = SheetOf(sheet);
  for (int i = 0; s && i < int(s->pages.size()); ++i) {
    HWND page = s->pages[size_t(i)].hwnd;
    if (!page) continue;  // pages never shown get no PSN_APPLY
    LRESULT r = Notify(sheet, page, PSN_APPLY, ok);
    s = SheetOf(sheet);
    if (r == PSNRET_INVALID_NOCHANGEPAGE) return false;
    if (r == PSNRET_INVALID) {
      SetCurSel(sheet, i, false);
      return false;
    }
  }
  if (!s) return false;
  if (s->afterApply) s->afterApply(sheet, ok);
  if ((s = SheetOf(sheet)) == nullptr) return false;
  for (auto& p : s->pages) p.changed = false;
  s->saved = true;
  UpdateApply(sheet, s);
  return true;
}

void Cancel(HWND sheet) {
  auto* s = SheetOf(sheet);
  if (!s) return;
  if (s->current >= 0 && Notify(sheet, s->pages[size_t(s->current)].hwnd, PSN_QUERYCANCEL)) return;
  s = SheetOf(sheet);
  for (size_t i = 0; s && i < s->pages.size(); ++i) {
    Notify(sheet, s->pages[i].hwnd, PSN_RESET);
    s = SheetOf(sheet);
  }
  if (s) s->ended = true;
}

int IndexById(SheetState* s, LRESULT id) {
  for (int k = 0; k < int(s->pages.size()); ++k)
    if (LRESULT(PageTemplateId(s->pages[size_t(k)].page)) == id ||
        reinterpret_cast<LRESULT>(s->pages[size_t(k)].page->psp()->pszTemplate) == id)
      return k;
  return -1;
}

// PSM_SETCURSEL and PSM_REMOVEPAGE name a page by its handle (lp), else by its index (wp).
int IndexOfPageArg(const SheetState* s, WPARAM wp, LPARAM lp) {
  int i = int(wp);
  if (lp)
    for (int k = 0; k < int(s->pages.size()); ++k)
      if (s->pages[size_t(k)].page == reinterpret_cast<HPROPSHEETPAGE>(lp)) i = k;
  return i;
}

void WizardStep(HWND sheet, bool next) {
  auto* s = SheetOf(sheet);
  if (!s || s->current < 0) return;
  LRESULT r = Notify(sheet, s->pages[size_t(s->current)].hwnd, next ? PSN_WIZNEXT : PSN_WIZBACK);
  if (!(s = SheetOf(sheet)) || r == -1) return;
  int target = r == 0 ? s->current + (next ? 1 : -1) : IndexById(s, r);
  if (target < 0 || target >= int(s->pages.size())) return;
  SetCurSel(sheet, target, true, next ? 1 : -1);
}

void WizardFinish(HWND sheet) {
  auto* s = SheetOf(sheet);
  if (!s || s->current < 0) return;
  if (Notify(sheet, s->pages[size_t(s->current)].hwnd, PSN_WIZFINISH)) return;
  if ((s = SheetOf(sheet)) == nullptr) return;
  s->saved = true;
  s->ended = true;
}

void SetWizButtons(HWND sheet, DWORD f) {
  auto* s = SheetOf(sheet);
  if (!s) return;
  s->wizButtons = f;
  EnableWindow(GetDlgItem(sheet, kIdWizBack), (f & PSWIZB_BACK) != 0);
  EnableWindow(GetDlgItem(sheet, kIdWizNext), (f & PSWIZB_NEXT) != 0);
  bool finish = (f & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  HWND fin = GetDlgItem(sheet, kIdWizFinish);
  ShowWindow(GetDlgItem(sheet, kIdWizNext), finish ? SW_HIDE : SW_SHOW);
  ShowWindow(fin, finish ? SW_SHOW : SW_HIDE);
  EnableWindow(fin, (f & PSWIZB_FINISH) != 0);
}

void PressButton(HWND sheet, int b) {
  switch (b) {
    case PSBTN_BACK: WizardStep(sheet, false); break;
    case PSBTN_NEXT: WizardStep(sheet, true); break;
    case PSBTN_FINISH: WizardFinish(sheet); break;
    case PSBTN_OK:
      if (Apply(sheet, true))
        if (auto* s = SheetOf(sheet)) s->ended = true;
      break;
    case PSBTN_APPLYNOW: Apply(sheet, false); break;
    case PSBTN_CANCEL: Cancel(sheet); break;
    default: break;
  }
}

void ReleasePages(SheetState* s) {
  for (auto& p : s->pages) DestroyPropertySheetPage(p.page);
  s->pages.clear();
}

LRESULT CALLBACK SheetProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = SheetOf(h);
  if (!s) return DefWindowProcW(h, m, wp, lp);
  auto indexOf = [s](HWND page) {
    for (int k = 0; k < int(s->pages.size()); ++k)
      if (s->pages[size_t(k)].hwnd == page) return k;
    return -1;
  };
  switch (m) {
    case WM_COMMAND: {
      auto w = FindWnd(reinterpret_cast<HWND>(lp));
      if (!w || w->parent != h) return 0;  // only the sheet's own buttons
      switch (LOWORD(wp)) {
        case IDOK: PressButton(h, PSBTN_OK); break;
        case IDCANCEL: PressButton(h, PSBTN_CANCEL); break;
        case kIdApplyNow: PressButton(h, PSBTN_APPLYNOW); break;
        case kIdWizBack: PressButton(h, PSBTN_BACK); break;
        case kIdWizNext: PressButton(h, PSBTN_NEXT); break;
        case kIdWizFinish: PressButton(h, PSBTN_FINISH); break;
        default: break;
      }
      return 0;
    }
    case WM_CLOSE:
      PressButton(h, PSBTN_CANCEL);
      return 0;
    case WM_NCDESTROY:
      // After the pages' own WM_DESTROY: they may still read their PROPSHEETPAGEW there.
      ReleasePages(s);
      return 0;
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
      int i = indexOf(reinterpret_cast<HWND>(wp));
      if (i >= 0) s->pages[size_t(i)].changed = m == PSM_CHANGED;
      UpdateApply(h, s);
      return TRUE;
    }
    case PSM_SETCURSEL: return SetCurSel(h, IndexOfPageArg(s, wp, lp), true);
    case PSM_SETCURSELID: {
      int i = IndexById(s, lp);
      return i >= 0 && SetCurSel(h, i, true);
    }
    case PSM_ADDPAGE: {
      if (!lp) return FALSE;
      s->pages.push_back(SheetPage{reinterpret_cast<HPROPSHEETPAGE>(lp), nullptr, false});
      return TRUE;
    }
    case PSM_REMOVEPAGE: {
      const int i = IndexOfPageArg(s, wp, lp);
      if (i < 0 || i >= int(s->pages.size())) return FALSE;
      SheetPage p = s->pages[size_t(i)];
      s->pages.erase(s->pages.begin() + i);
      if (p.hwnd) DestroyWindow(p.hwnd);
      DestroyPropertySheetPage(p.page);
      if ((s = SheetOf(h)) == nullptr) return TRUE;
      if (s->current == i) {
        s->current = -1;
        if (!s->pages.empty()) SetCurSel(h, std::min(i, int(s->pages.size()) - 1), false);
      } else if (s->current > i) {
        --s->current;
      }
      return TRUE;
    }
    case PSM_GETCURRENTPAGEHWND:
      return s->ended || s->current < 0 ? 0 : reinterpret_cast<LRESULT>(s->pages[size_t(s->current)].hwnd);
    case PSM_INDEXTOHWND:
      return wp < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wp].hwnd) : 0;
    case PSM_HWNDTOINDEX:
      return indexOf(reinterpret_cast<HWND>(wp));
    case PSM_IDTOINDEX:
      return IndexById(s, lp);
    case PSM_INDEXTOID:
      return wp < s->pages.size() ? LRESULT(PageTemplateId(s->pages[wp].page)) : 0;
    case PSM_SETWIZBUTTONS:
      SetWizButtons(h, DWORD(lp));
      return 0;
    case PSM_PRESSBUTTON:
      PressButton(h, int(wp));
      return 0;
    case PSM_APPLY:
      return Apply(h, false);
    case PSM_CANCELTOCLOSE:
      EnableWindow(GetDlgItem(h, IDCANCEL), FALSE);
      SetWindowTextW(GetDlgItem(h, IDOK), u"Close");
      return 0;
    case PSM_QUERYSIBLINGS:
      for (size_t k = 0; k < s->pages.size(); ++k) {
        if (!s->pages[k].hwnd) continue;
        LRESULT r = SendMessageW(s->pages[k].hwnd, PSM_QUERYSIBLINGS, wp, lp);
        if (r) return r;
        if ((s = SheetOf(h)) == nullptr) return 0;
      }
      return 0;
    case PSM_REBOOTSYSTEM:
      s->result |= ID_PSREBOOTSYSTEM;
      return 0;
    case PSM_RESTARTWINDOWS:
      s->result |= ID_PSRESTARTWINDOWS;
      return 0;
    case PSM_SETTITLEW: {
      std::u16string t = IS_INTRESOURCE(reinterpret_cast<LPCWSTR>(lp)) ? std::u16string() : Wide(reinterpret_cast<LPCWSTR>(lp));
      if (wp & PSH_PROPTITLE) t += u" Properties";
      SetWindowTextW(h, t.c_str());
      return 0;
    }
    case PSM_SETFINISHTEXTW: {
      HWND fin = GetDlgItem(h, kIdWizFinish);
      SetWindowTextW(fin, reinterpret_cast<LPCWSTR>(lp));
      ShowWindow(fin, SW_SHOW);
      EnableWindow(fin, TRUE);
      ShowWindow(GetDlgItem(h, kIdWizNext), SW_HIDE);
      ShowWindow(GetDlgItem(h, kIdWizBack), SW_HIDE);
      return 0;
    }
    case PSM_GETRESULT:
      return s->ended ? (s->saved ? (s->result ? s->result : 1) : 0) : -1;
    case PSM_ISDIALOGMESSAGE:
      return FALSE;
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

struct SheetClass {
  SheetClass() { RegisterSystemClass(u"WinsimPropertySheet", SheetProc); }
} const kSheetClass;

HWND AddButton(HWND sheet, int id, const char16_t* text, int x, DWORD style = WS_VISIBLE) {
  return CreateWindowExW(0, u"Button", text, WS_CHILD | WS_TABSTOP | style, x, 330, 75, 23, sheet,
                         reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
}

}  // namespace

namespace winsim::detail {

SheetState* SheetOf(HWND sheet) { return StateOf<SheetState>(sheet); }

WORD PageTemplateId(HPROPSHEETPAGE page) {
  if (!page) return 0;
  auto* psp = page->psp();
  if (psp->dwFlags & PSP_DLGINDIRECT) return 0;
  return IS_INTRESOURCE(psp->pszTemplate) ? LOWORD(psp->pszTemplate) : 0;
}

INT_PTR RunPropertySheet(LPCPROPSHEETHEADERW ph, std::function<void(HWND, bool)> afterApply,
                         std::function<void(HWND)> onCreated) {
  if (!ph || ph->dwSize < offsetof(PROPSHEETHEADERW, pfnCallback)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::u16string caption = IS_INTRESOURCE(ph->pszCaption) ? std::u16string() : Wide(ph->pszCaption);
  if (ph->dwFlags & PSH_PROPTITLE) caption += u" Properties";
  HWND sheet = CreateWindowExW(WS_EX_CONTROLPARENT, u"WinsimPropertySheet", caption.c_str(),
                               WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 420, 370, ph->hwndParent, nullptr,
                               ph->hInstance, nullptr);
  if (!sheet) return -1;
  auto st = std::make_shared<SheetState>();
  st->flags = ph->dwFlags;
  st->inst = ph->hInstance;
  st->afterApply = std::move(afterApply);
  st->onCreated = std::move(onCreated);
  const BYTE* next = reinterpret_cast<const BYTE*>(ph->ppsp);
  for (UINT i = 0; i < ph->nPages; ++i) {
    HPROPSHEETPAGE p;
    if (ph->dwFlags & PSH_PROPSHEETPAGE) {
      auto* psp = reinterpret_cast<LPCPROPSHEETPAGEW>(next);
      p = CreatePropertySheetPageW(psp);
      next += psp->dwSize;
    } else {
      p = ph->phpage[i];
    }
    if (p) st->pages.push_back(SheetPage{p, nullptr, false});
  }
  SetState(sheet, st);
  if (IsWizard(st.get())) {
    AddButton(sheet, kIdWizBack, u"< &Back", 90);
    AddButton(sheet, kIdWizNext, u"&Next >", 165);
    AddButton(sheet, kIdWizFinish, u"Finish", 165, 0);
    AddButton(sheet, IDCANCEL, u"Cancel", 250);
    SetWizButtons(sheet, PSWIZB_BACK | PSWIZB_NEXT);
  } else {
    AddButton(sheet, IDOK, u"OK", 90);
    AddButton(sheet, IDCANCEL, u"Cancel", 170);
    if (!(ph->dwFlags & PSH_NOAPPLYNOW)) AddButton(sheet, kIdApplyNow, u"&Apply", 250, WS_VISIBLE | WS_DISABLED);
  }
  if ((ph->dwFlags & PSH_USECALLBACK) && ph->pfnCallback) ph->pfnCallback(sheet, PSCB_INITIALIZED, 0);
  for (int i = 0; i < int(st->pages.size()); ++i)
    if (st->pages[size_t(i)].page->psp()->dwFlags & PSP_PREMATURE) CreatePageWindow(sheet, st.get(), i);
  int start = 0;
  if (ph->dwFlags & PSH_USEPSTARTPAGE) {
    for (int i = 0; i < int(st->pages.size()); ++i) {
      auto* psp = st->pages[size_t(i)].page->psp();
      if ((psp->dwFlags & PSP_USETITLE) && !IS_INTRESOURCE(psp->pszTitle) && !IS_INTRESOURCE(ph->pStartPage) &&
          IEquals(Wide(psp->pszTitle), Wide(ph->pStartPage)))
        start = i;
    }
  } else if (ph->nStartPage < st->pages.size()) {
    start = int(ph->nStartPage);
  }
  if (!st->pages.empty()) SetCurSel(sheet, start, false);
  if (st->onCreated) st->onCreated(sheet);
  ShowWindow(sheet, SW_SHOW);
  if (ph->dwFlags & PSH_MODELESS) return reinterpret_cast<INT_PTR>(sheet);
  HWND owner = ph->hwndParent;
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  auto w = FindWnd(sheet);
  ModalLoop([&] { return st->ended || w->destroyed; });
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  INT_PTR result = st->saved ? (st->result ? st->result : 1) : 0;
  if (FindWnd(sheet)) DestroyWindow(sheet);
  return result;
}

}  // namespace winsim::detail

extern "C" {

HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW psp) {
  if (!psp || psp->dwSize < PROPSHEETPAGEW_V1_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* p = new _PSP;
  p->bytes.assign(reinterpret_cast<const BYTE*>(psp), reinterpret_cast<const BYTE*>(psp) + psp->dwSize);
  if (psp->dwSize < sizeof(PROPSHEETPAGEW)) p->bytes.resize(sizeof(PROPSHEETPAGEW));
  p->psp()->dwSize = psp->dwSize;
  if ((psp->dwFlags & PSP_USEREFPARENT) && psp->pcRefParent) ++*psp->pcRefParent;
  if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback) psp->pfnCallback(nullptr, PSPCB_ADDREF, p->psp());
  return p;
}

BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE p) {
  if (!p) return FALSE;
  auto* psp = p->psp();
  if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback) psp->pfnCallback(nullptr, PSPCB_RELEASE, psp);
  if ((psp->dwFlags & PSP_USEREFPARENT) && psp->pcRefParent) --*psp->pcRefParent;
  delete p;
  return TRUE;
}

INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW ph) { return RunPropertySheet(ph, nullptr); }

}  // extern "C"
