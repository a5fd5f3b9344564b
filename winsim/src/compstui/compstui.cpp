// compstui: CommonPropertySheetUIW and the ComPropSheet functions a driver calls back. The pages it
// collects are shown with comctl32's property sheet.
#include <compstui.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>

#include "comctl32/propsheet.h"

using namespace winsim::detail;

namespace {

struct Node {
  enum Kind { kPfn, kCps, kPage } kind;
  Node* parent = nullptr;
  std::vector<Node*> children;
  PFNPROPSHEETUI fn = nullptr;  // kPfn
  PROPSHEETUI_INFO info{};
  COMPROPSHEETUI cps{};  // kCps
  HPROPSHEETPAGE page = nullptr;  // kPage
  std::u16string title;
  bool hasFusion = false;  // CPSFUNC_SET_FUSION_CONTEXT: the activation context of the pages below
  HANDLE fusion = nullptr;
};

struct Session {
  std::vector<std::unique_ptr<Node>> nodes;
  Node* root = nullptr;
  Node* start = nullptr;
  HWND sheet = nullptr;
};

std::map<const Node*, Session*>& Owners() {
  static auto* m = new std::map<const Node*, Session*>;
  return *m;
}

Node* NodeOf(HANDLE h, Session** session = nullptr) {
  Guard g(Mutex());
  auto it = Owners().find(static_cast<const Node*>(h));
  if (it == Owners().end()) return nullptr;
  if (session) *session = it->second;
  return const_cast<Node*>(it->first);
}

Node* NewNode(Session* s, Node::Kind kind, Node* parent) {
  s->nodes.push_back(std::make_unique<Node>());
  Node* n = s->nodes.back().get();
  n->kind = kind;
  n->parent = parent;
  if (parent) parent->children.push_back(n);
  Guard g(Mutex());
  Owners()[n] = s;
  return n;
}

LONG_PTR CALLBACK ComPropSheet(HANDLE h, UINT fn, LPARAM l1, LPARAM l2);

// compstui's pages carry a PSPINFO right after the caller's PROPSHEETPAGEW.
HPROPSHEETPAGE MakePage(const PROPSHEETPAGEW& src, Node* owner, Node* pageNode) {
  if (src.dwSize < PROPSHEETPAGEW_V1_SIZE) return nullptr;
  auto* p = new _PSP;
  p->bytes.assign(reinterpret_cast<const BYTE*>(&src), reinterpret_cast<const BYTE*>(&src) + src.dwSize);
  size_t at = p->bytes.size();
  p->bytes.resize(std::max(at + sizeof(PSPINFO), sizeof(PROPSHEETPAGEW) + sizeof(PSPINFO)));
  PSPINFO info{sizeof(PSPINFO), 0, owner, pageNode, ComPropSheet};
  std::memcpy(p->bytes.data() + at, &info, sizeof info);
  auto* psp = p->psp();
  // A page without an activation context of its own is made in its parent's, the nearest one set.
  const bool carriesContext = src.dwSize >= offsetof(PROPSHEETPAGEW, hActCtx) + sizeof(HANDLE);
  if (carriesContext && !(psp->dwFlags & PSP_USEFUSIONCONTEXT)) {
    for (Node* n = owner; n; n = n->parent) {
      if (!n->hasFusion) continue;
      psp->dwFlags |= PSP_USEFUSIONCONTEXT;
      psp->hActCtx = n->fusion;
      break;
    }
  }
  if ((psp->dwFlags & PSP_USEREFPARENT) && psp->pcRefParent) ++*psp->pcRefParent;
  if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback) psp->pfnCallback(nullptr, PSPCB_ADDREF, psp);
  return p;
}

void CollectPages(Node* n, std::vector<Node*>* out) {
  for (Node* c : n->children) {
    if (c->kind == Node::kPage) out->push_back(c);
    else CollectPages(c, out);
  }
}

void CollectCps(Node* n, std::vector<Node*>* out) {
  for (Node* c : n->children) {
    if (c->kind == Node::kCps) out->push_back(c);
    CollectCps(c, out);
  }
}

LONG CallPfn(Node* n, WORD reason, LPARAM lp) {
  n->info.Reason = reason;
  return n->fn(&n->info, lp);
}

// CPSFUNC_SET_RESULT: every sheet function from `from` up to the first, until one answers below 1.
LONG_PTR SetResult(Node* from, HANDLE hSetResult, LRESULT result) {
  LONG_PTR count = 0;
  for (Node* n = from; n; n = n->parent) {
    if (n->kind != Node::kPfn) continue;
    SETRESULT_INFO sr{sizeof(SETRESULT_INFO), 0, hSetResult, result};
    ++count;
    if (CallPfn(n, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&sr)) < 1) break;
  }
  return count;
}

// The apply-now callbacks of the COMPROPSHEETUIs under n; those that applied report their result upward.
void ApplyNow(Node* n, HWND hDlg) {
  std::vector<Node*> all;
  CollectCps(n, &all);
  for (Node* c : all) {
    if (!c->cps.pfnCallBack) continue;
    CPSUICBPARAM p{.cbSize = sizeof(CPSUICBPARAM), .Reason = CPSUICB_REASON_APPLYNOW, .hDlg = hDlg,
                   .pOptItem = c->cps.pOptItem, .cOptItem = c->cps.cOptItem, .pCurItem = c->cps.pOptItem,
                   .UserData = c->cps.UserData, .Result = CPSUI_OK};
    if (c->cps.pfnCallBack(&p) == CPSUICB_ACTION_ITEMS_APPLIED) SetResult(c->parent, c, LRESULT(p.Result));
  }
}

LONG_PTR AddComPropSheetUI(Session* s, Node* parent, const COMPROPSHEETUI* cps, LPDWORD count) {
  if (!cps || cps->cbSize != sizeof(COMPROPSHEETUI)) return 0;
  if (!cps->hInstCaller) return 0;
  Node* c = NewNode(s, Node::kCps, parent);
  c->cps = *cps;
  DWORD added = 0;
  // A dialog page shows when at least one visible option item lives on it.
  for (WORD i = 0; cps->pDlgPage && i < cps->cDlgPage; ++i) {
    bool used = false;
    for (WORD k = 0; cps->pOptItem && k < cps->cOptItem; ++k)
      used |= cps->pOptItem[k].DlgPageIdx == i && !(cps->pOptItem[k].Flags & OPTIF_HIDE);
    if (!used) continue;
    const DLGPAGE& dp = cps->pDlgPage[i];
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.hInstance = cps->hInstCaller;
    if (dp.Flags & DPF_USE_HDLGTEMPLATE) {
      psp.dwFlags |= PSP_DLGINDIRECT;
      psp.pResource = static_cast<LPCDLGTEMPLATEW>(dp.hDlgTemplate);
    } else {
      psp.pszTemplate = MAKEINTRESOURCEW(dp.DlgTemplateID);
    }
    if (dp.pTabName) {
      psp.dwFlags |= PSP_USETITLE;
      psp.pszTitle = dp.pTabName;
    }
    psp.pfnDlgProc = dp.DlgProc;
    psp.lParam = LPARAM(cps->UserData);
    Node* pn = NewNode(s, Node::kPage, c);
    pn->page = MakePage(psp, c, pn);
    ++added;
  }
  if (count) *count = added;
  return reinterpret_cast<LONG_PTR>(c);
}

LONG_PTR AddPfn(Session* s, Node* parent, PFNPROPSHEETUI fn, LPARAM lp) {
  if (!fn) return 0;
  Node* n = NewNode(s, Node::kPfn, parent);
  n->fn = fn;
  n->info.cbSize = sizeof(PROPSHEETUI_INFO);
  n->info.Version = PROPSHEETUI_INFO_VERSION;
  n->info.Flags = PSUIINFO_UNICODE;
  n->info.hComPropSheet = n;
  n->info.pfnComPropSheet = ComPropSheet;
  n->info.lParamInit = lp;
  if (CallPfn(n, PROPSHEETUI_REASON_INIT, lp) < 1) {
    CallPfn(n, PROPSHEETUI_REASON_DESTROY, 0);
    auto& sib = parent->children;
    sib.erase(std::remove(sib.begin(), sib.end(), n), sib.end());
    return 0;
  }
  return reinterpret_cast<LONG_PTR>(n);
}

void DestroyPfns(Node* n, LPARAM lp) {
  for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) DestroyPfns(*it, lp);
  if (n->kind == Node::kPfn) CallPfn(n, PROPSHEETUI_REASON_DESTROY, lp);
}

LONG_PTR CALLBACK ComPropSheet(HANDLE h, UINT fn, LPARAM l1, LPARAM l2) {
  Session* s = nullptr;
  Node* n = NodeOf(h, &s);
  if (!n) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (fn) {
    case CPSFUNC_ADD_PROPSHEETPAGEW: {
      auto* psp = reinterpret_cast<const PROPSHEETPAGEW*>(l1);
      if (!psp) return 0;
      Node* pn = NewNode(s, Node::kPage, n);
      pn->page = MakePage(*psp, n, pn);
      if (!pn->page) {
        n->children.pop_back();
        return 0;
      }
      return reinterpret_cast<LONG_PTR>(pn);
    }
    case CPSFUNC_ADD_HPROPSHEETPAGE: {
      if (!l1) return 0;
      Node* pn = NewNode(s, Node::kPage, n);
      pn->page = reinterpret_cast<HPROPSHEETPAGE>(l1);
      return reinterpret_cast<LONG_PTR>(pn);
    }
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      return AddComPropSheetUI(s, n, reinterpret_cast<const COMPROPSHEETUI*>(l1), reinterpret_cast<LPDWORD>(l2));
    case CPSFUNC_ADD_PFNPROPSHEETUIW:
      return AddPfn(s, n, reinterpret_cast<PFNPROPSHEETUI>(l1), l2);
    case CPSFUNC_DELETE_HCOMPROPSHEET: {
      Node* d = NodeOf(reinterpret_cast<HANDLE>(l1));
      if (!d || !d->parent || s->sheet) return 0;  // pages cannot leave a sheet that is showing
      auto& sib = d->parent->children;
      sib.erase(std::remove(sib.begin(), sib.end(), d), sib.end());
      return 1;
    }
    case CPSFUNC_SET_HSTARTPAGE: {
      Node* p = NodeOf(reinterpret_cast<HANDLE>(l1));
      if (!p || p->kind != Node::kPage) return 0;
      s->start = p;
      return 1;
    }
    case CPSFUNC_GET_PAGECOUNT: {
      std::vector<Node*> pages;
      CollectPages(n, &pages);
      return LONG_PTR(pages.size());
    }
    case CPSFUNC_GET_HPSUIPAGES: {
      std::vector<Node*> pages;
      CollectPages(n, &pages);
      auto* out = reinterpret_cast<HANDLE*>(l1);
      LONG_PTR k = 0;
      for (; out && k < l2 && size_t(k) < pages.size(); ++k) out[k] = pages[size_t(k)];
      return k;
    }
    case CPSFUNC_SET_RESULT:
      return SetResult(n, reinterpret_cast<HANDLE>(l1), LRESULT(l2));
    case CPSFUNC_SET_PSUIPAGE_TITLEW: {
      Node* p = NodeOf(reinterpret_cast<HANDLE>(l1));
      if (!p || p->kind != Node::kPage || !l2) return 0;
      p->title = Wide(reinterpret_cast<LPCWSTR>(l2));
      return 1;
    }
    case CPSFUNC_DO_APPLY_CPSUI:
      ApplyNow(n, s->sheet ? PropSheet_GetCurrentPageHwnd(s->sheet) : nullptr);
      return 1;
    case CPSFUNC_SET_FUSION_CONTEXT:
      n->hasFusion = true;
      n->fusion = reinterpret_cast<HANDLE>(l1);
      return 1;
    case CPSFUNC_IGNORE_CPSUI_PSN_APPLY:
      return 1;
    default:
      SetLastError(ERROR_NOT_SUPPORTED);
      return 0;
  }
}

}  // namespace

extern "C" {

LONG WINAPI CommonPropertySheetUIW(HWND owner, PFNPROPSHEETUI fn, LPARAM lp, LPDWORD pResult) {
  if (!fn) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  Session s;
  // A holder node stands above the caller's function so that every function has a parent to hang on.
  Node* holder = NewNode(&s, Node::kCps, nullptr);
  Node* top = NewNode(&s, Node::kPfn, holder);
  top->fn = fn;
  top->info = PROPSHEETUI_INFO{sizeof(PROPSHEETUI_INFO), PROPSHEETUI_INFO_VERSION, PSUIINFO_UNICODE, 0,
                               top, ComPropSheet, lp, 0, 0};
  s.root = top;
  bool shown = false;
  auto finish = [&](LONG ret, LPARAM destroyParam) {
    DestroyPfns(top, destroyParam);
    if (pResult) *pResult = DWORD(top->info.Result);
    if (!shown) {  // the sheet releases the pages it showed; these never got there
      std::vector<Node*> left;
      CollectPages(holder, &left);
      for (Node* p : left) DestroyPropertySheetPage(p->page);
    }
    Guard g(Mutex());
    for (auto& n : s.nodes) Owners().erase(n.get());
    return ret;
  };
  CallPfn(top, PROPSHEETUI_REASON_BEFORE_INIT, lp);  // answer ignored
  if (CallPfn(top, PROPSHEETUI_REASON_INIT, lp) < 1) return finish(ERR_CPSUI_GETLASTERROR, 0);
  PROPSHEETUI_INFO_HEADER hdr{};
  hdr.cbSize = sizeof hdr;
  hdr.hWndParent = owner;
  if (CallPfn(top, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&hdr)) < 1)
    return finish(ERR_CPSUI_GETLASTERROR, 0);
  std::vector<Node*> pages;
  CollectPages(holder, &pages);
  if (pages.empty()) return finish(ERR_CPSUI_NO_PROPSHEETPAGE, 0);
  std::vector<HPROPSHEETPAGE> handles;
  UINT start = 0;
  for (Node* p : pages) {
    if (p == s.start) start = UINT(handles.size());
    handles.push_back(p->page);
  }
  std::u16string title = hdr.pTitle ? Wide(hdr.pTitle) : std::u16string();
  PROPSHEETHEADERW ph{};
  ph.dwSize = sizeof ph;
  ph.dwFlags = PSH_PROPTITLE;
  if (hdr.Flags & PSUIHDRF_NOAPPLYNOW) ph.dwFlags |= PSH_NOAPPLYNOW;
  if (!(hdr.Flags & PSUIHDRF_PROPTITLE)) ph.dwFlags &= ~DWORD(PSH_PROPTITLE);
  ph.hwndParent = hdr.hWndParent ? hdr.hWndParent : owner;
  ph.hInstance = hdr.hInst;
  ph.pszCaption = title.c_str();
  ph.nPages = UINT(handles.size());
  ph.nStartPage = start;
  ph.phpage = handles.data();
  INT_PTR r = RunPropertySheet(
      &ph, [&](HWND sheet, bool) { ApplyNow(holder, PropSheet_GetCurrentPageHwnd(sheet)); },
      [&](HWND sheet) { s.sheet = sheet; });
  s.sheet = nullptr;
  shown = true;
  LONG ret = r < 0                         ? ERR_CPSUI_CREATEPROPPAGE_FAILED
             : r == ID_PSREBOOTSYSTEM      ? CPSUI_REBOOTSYSTEM
             : r == ID_PSRESTARTWINDOWS    ? CPSUI_RESTARTWINDOWS
             : r > 0                       ? CPSUI_OK
                                           : CPSUI_CANCEL;
  return finish(ret, 1);
}

}  // extern "C"
