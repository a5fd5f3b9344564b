// comctl32: trackbar, up-down, progress bar, list view (report view) and the IP address control.
#include <algorithm>
#include <cstring>
#include <utility>

#include "user32/window.h"

using namespace winsim::detail;

namespace {

DWORD StyleOf(HWND h) { return DWORD(GetWindowLongPtrW(h, GWL_STYLE)); }
HWND ParentOf(HWND h) {
  auto w = FindWnd(h);
  return w ? w->parent : nullptr;
}

// ---- trackbar ----------------------------------------------------------------------------------------
struct TrackState : ControlState {
  LONG min = 0, max = 100, pos = 0, page = 20, line = 1;
  std::vector<LONG> tics;  // TBM_SETTIC marks between the ends
};

LRESULT CALLBACK TrackbarProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<TrackState>(h, m);
  auto clamp = [s](LONG v) { return std::max(s->min, std::min(s->max, v)); };
  switch (m) {
    case WM_CREATE: return 0;
    case TBM_GETPOS: return s ? s->pos : 0;
    case TBM_GETRANGEMIN: return s ? s->min : 0;
    case TBM_GETRANGEMAX: return s ? s->max : 0;
    case TBM_SETPOS:
      if (s) s->pos = clamp(LONG(lp));
      if (wp) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case TBM_SETRANGE:
      if (s) s->min = SHORT(LOWORD(lp)), s->max = SHORT(HIWORD(lp)), s->pos = clamp(s->pos);
      return 0;
    case TBM_SETRANGEMIN:
      if (s) s->min = LONG(lp), s->pos = clamp(s->pos);
      return 0;
    case TBM_SETRANGEMAX:
      if (s) s->max = LONG(lp), s->pos = clamp(s->pos);
      return 0;
    case TBM_SETPAGESIZE: {
      LONG old = s ? s->page : 0;
      if (s) s->page = LONG(lp);
      return old;
    }
    case TBM_GETPAGESIZE: return s ? s->page : 0;
    case TBM_SETLINESIZE: {
      LONG old = s ? s->line : 0;
      if (s) s->line = LONG(lp);
      return old;
    }
    case TBM_GETLINESIZE: return s ? s->line : 0;
    case TBM_SETTICFREQ: return 0;
    case TBM_SETTIC:
      // A mark outside the range is refused, as comctl32 does.
      if (!s || LONG(lp) < s->min || LONG(lp) > s->max) return FALSE;
      s->tics.push_back(LONG(lp));
      return TRUE;
    case TBM_GETNUMTICS: return s ? LRESULT(s->tics.size() + 2) : 0;  // the two ends and the marks
    default: return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- up-down ---------------------------------------------------------------------------------------
struct UpDownState : ControlState {
  LONG min = 100, max = 0, pos = 0;  // the documented default range runs from 100 down to 0
  HWND buddy = nullptr;
  int base = 10;
};

std::u16string Grouped(LONG v, bool thousands) {
  std::string d = std::to_string(v < 0 ? -(long long)v : (long long)v);
  std::string out = v < 0 ? "-" : "";
  for (size_t i = 0; i < d.size(); ++i) {
    if (thousands && i > 0 && (d.size() - i) % 3 == 0) out += ',';
    out += d[i];
  }
  return FromUtf8(out);
}

void WriteBuddy(HWND h, UpDownState* s) {
  if (!s->buddy || !(StyleOf(h) & UDS_SETBUDDYINT)) return;
  auto t = Grouped(s->pos, !(StyleOf(h) & UDS_NOTHOUSANDS));
  SetWindowTextW(s->buddy, t.c_str());
}

// Reads the buddy's number (thousands separators allowed); false when it is not one.
bool ReadBuddy(UpDownState* s, LONG* v) {
  if (!s->buddy) return false;
  WCHAR buf[64] = {};
  GetWindowTextW(s->buddy, buf, 64);
  std::string t;
  for (WCHAR* p = buf; *p; ++p)
    if (*p != u',') t.push_back(char(*p));
  if (t.empty()) return false;
  char* end;
  long x = strtol(t.c_str(), &end, 10);
  if (*end) return false;
  *v = LONG(x);
  return true;
}

// UDS_ALIGNRIGHT / UDS_ALIGNLEFT: the up-down moves inside that edge of its buddy, as tall as the buddy,
// and the buddy gives up the width it covers (less the 2-pixel border they share).
void AlignWithBuddy(HWND h, HWND buddy) {
  const DWORD style = StyleOf(h);
  if (!buddy || !(style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT))) return;
  auto w = FindWnd(h), b = FindWnd(buddy);
  if (!w || !b) return;
  const int width = w->rect.right - w->rect.left, height = b->rect.bottom - b->rect.top;
  RECT br = b->rect;
  int x;
  if (style & UDS_ALIGNRIGHT) {
    x = br.right - width;
    br.right -= width - 2;
  } else {
    x = br.left;
    br.left += width - 2;
  }
  MoveWindow(buddy, br.left, br.top, br.right - br.left, br.bottom - br.top, FALSE);
  MoveWindow(h, x, br.top, width, height, FALSE);
}

LRESULT CALLBACK UpDownProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateOf<UpDownState>(h);
  LONG lo = s ? std::min(s->min, s->max) : 0, hi = s ? std::max(s->min, s->max) : 0;
  switch (m) {
    case WM_CREATE: {
      auto st = std::make_shared<UpDownState>();
      if (StyleOf(h) & UDS_AUTOBUDDY) {
        // The buddy is the control created just before this one.
        auto p = FindWnd(ParentOf(h));
        if (p) {
          Guard g(Mutex());
          auto& c = p->children;
          auto it = std::find(c.begin(), c.end(), h);
          if (it != c.begin() && it != c.end()) st->buddy = *(it - 1);
        }
      }
      SetState(h, st);
      AlignWithBuddy(h, st->buddy);
      return 0;
    }
    case UDM_SETRANGE:
      if (s) s->max = SHORT(LOWORD(lp)), s->min = SHORT(HIWORD(lp));
      return 0;
    case UDM_SETRANGE32:
      if (s) s->min = LONG(wp), s->max = LONG(lp);
      return 0;
    case UDM_GETRANGE:
      return s ? MAKELONG(s->max, s->min) : 0;
    case UDM_GETRANGE32:
      if (s && wp) *reinterpret_cast<int*>(wp) = s->min;
      if (s && lp) *reinterpret_cast<int*>(lp) = s->max;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      if (!s) return 0;
      LONG old = s->pos;
      LONG v = m == UDM_SETPOS ? SHORT(LOWORD(lp)) : LONG(lp);
      s->pos = std::max(lo, std::min(hi, v));
      WriteBuddy(h, s);
      return old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32: {
      if (!s) return 0;
      bool err = false;
      if (StyleOf(h) & UDS_SETBUDDYINT) {
        LONG v;
        if (ReadBuddy(s, &v) && v >= lo && v <= hi) s->pos = v;
        else err = true;
      }
      if (m == UDM_GETPOS32) {
        if (lp) *reinterpret_cast<BOOL*>(lp) = err;
        return s->pos;
      }
      return MAKELONG(WORD(s->pos), err ? 1 : 0);
    }
    case UDM_SETBUDDY: {
      if (!s) return 0;
      HWND old = std::exchange(s->buddy, reinterpret_cast<HWND>(wp));
      AlignWithBuddy(h, s->buddy);
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return s ? reinterpret_cast<LRESULT>(s->buddy) : 0;
    case UDM_SETBASE: {
      int old = s ? s->base : 0;
      if (s && (wp == 10 || wp == 16)) s->base = int(wp);
      return old;
    }
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- progress bar ------------------------------------------------------------------------------------
struct ProgressState : ControlState {
  int low = 0, high = 100, pos = 0, step = 10;
};

LRESULT CALLBACK ProgressProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<ProgressState>(h, m);
  auto clamp = [s](int v) { return std::max(s->low, std::min(s->high, v)); };
  switch (m) {
    case WM_CREATE: return 0;
    case PBM_SETRANGE: {
      if (!s) return 0;
      LRESULT old = MAKELONG(s->low, s->high);
      s->low = LOWORD(lp), s->high = HIWORD(lp), s->pos = clamp(s->pos);
      return old;
    }
    case PBM_SETRANGE32: {
      if (!s) return 0;
      LRESULT old = MAKELONG(s->low, s->high);
      s->low = int(wp), s->high = int(lp), s->pos = clamp(s->pos);
      return old;
    }
    case PBM_GETRANGE:
      if (s && lp) *reinterpret_cast<PBRANGE*>(lp) = PBRANGE{s->low, s->high};
      return s ? (wp ? s->low : s->high) : 0;
    case PBM_SETPOS: {
      if (!s) return 0;
      int old = s->pos;
      s->pos = clamp(int(wp));
      InvalidateRect(h, nullptr, FALSE);
      return old;
    }
    case PBM_DELTAPOS: {
      if (!s) return 0;
      int old = s->pos;
      s->pos = clamp(s->pos + int(wp));
      return old;
    }
    case PBM_SETSTEP: {
      int old = s ? s->step : 0;
      if (s) s->step = int(wp);
      return old;
    }
    case PBM_STEPIT: {
      if (!s) return 0;
      int old = s->pos;
      int v = s->pos + s->step;
      // Stepping past the end wraps to the start of the range.
      s->pos = v > s->high ? s->low + (v - s->high) : v;
      return old;
    }
    case PBM_GETPOS:
      return s ? s->pos : 0;
    case PBM_SETMARQUEE:
      return TRUE;
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- list view ----------------------------------------------------------------------------------------
struct ListViewState : ControlState {
  struct Column {
    std::u16string text;
    int width = 0, fmt = 0;
  };
  struct Item {
    std::vector<std::u16string> texts;  // [0] item, then sub-items
    LPARAM lParam = 0;
    UINT state = 0;
    int image = 0;
  };
  std::vector<Column> columns;
  std::vector<Item> items;
  DWORD exStyle = 0;
};

void CopyText(const std::u16string& t, LPWSTR out, int cch) {
  if (!out || cch <= 0) return;
  size_t n = std::min(t.size(), size_t(cch - 1));
  std::memcpy(out, t.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

// Changes the state bits of one item, with LVN_ITEMCHANGING (a non-zero answer refuses) and
// LVN_ITEMCHANGED; single-selection lists drop the other selections first.
bool ChangeState(HWND h, ListViewState* s, int i, UINT state, UINT mask) {
  UINT old = s->items[size_t(i)].state;
  UINT next = (old & ~mask) | (state & mask);
  if (next == old) return true;
  // The notifications below may change the list; indexes are checked again after each.
  if ((next & LVIS_SELECTED) && !(old & LVIS_SELECTED) && (StyleOf(h) & LVS_SINGLESEL))
    for (int k = 0; k < int(s->items.size()); ++k)
      if (k != i && (s->items[size_t(k)].state & LVIS_SELECTED)) ChangeState(h, s, k, 0, LVIS_SELECTED);
  if ((next & LVIS_FOCUSED) && !(old & LVIS_FOCUSED))
    for (int k = 0; k < int(s->items.size()); ++k)
      if (k != i && (s->items[size_t(k)].state & LVIS_FOCUSED)) ChangeState(h, s, k, 0, LVIS_FOCUSED);
  if (size_t(i) >= s->items.size()) return false;
  old = s->items[size_t(i)].state;
  next = (old & ~mask) | (state & mask);
  NMLISTVIEW nm{};
  nm.iItem = i;
  nm.uNewState = next;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = s->items[size_t(i)].lParam;
  nm.hdr.code = LVN_ITEMCHANGING;
  if (NotifyParentHdr(h, &nm.hdr)) return false;
  if (StateOf<ListViewState>(h) != s || size_t(i) >= s->items.size()) return false;
  s->items[size_t(i)].state = next;
  nm.hdr.code = LVN_ITEMCHANGED;
  NotifyParentHdr(h, &nm.hdr);
  InvalidateRect(h, nullptr, FALSE);
  return true;
}

LRESULT CALLBACK ListViewProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<ListViewState>(h, m);
  if (m == WM_CREATE) return 0;
  if (!s) return DefWindowProcW(h, m, wp, lp);
  int n = int(s->items.size());
  auto valid = [&](WPARAM i) { return INT_PTR(i) >= 0 && int(i) < n; };
  switch (m) {
    case LVM_GETITEMCOUNT:
      return n;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = s->exStyle;
      DWORD mask = wp ? DWORD(wp) : 0xFFFFFFFFu;
      s->exStyle = (s->exStyle & ~mask) | (DWORD(lp) & mask);
      // Check boxes give every item the unchecked state image.
      if ((s->exStyle & LVS_EX_CHECKBOXES) && !(old & LVS_EX_CHECKBOXES))
        for (auto& it : s->items)
          if (!(it.state & LVIS_STATEIMAGEMASK)) it.state |= INDEXTOSTATEIMAGEMASK(1);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return s->exStyle;
    case LVM_INSERTCOLUMNW: {
      auto* c = reinterpret_cast<const LVCOLUMNW*>(lp);
      if (!c) return -1;
      ListViewState::Column col;
      if (c->mask & LVCF_TEXT) col.text = Wide(c->pszText);
      if (c->mask & LVCF_WIDTH) col.width = c->cx;
      if (c->mask & LVCF_FMT) col.fmt = c->fmt;
      int i = std::min(int(wp), int(s->columns.size()));
      s->columns.insert(s->columns.begin() + i, col);
      return i;
    }
    case LVM_SETCOLUMNW: {
      auto* c = reinterpret_cast<const LVCOLUMNW*>(lp);
      if (!c || wp >= s->columns.size()) return FALSE;
      if (c->mask & LVCF_TEXT) s->columns[wp].text = Wide(c->pszText);
      if (c->mask & LVCF_WIDTH) s->columns[wp].width = c->cx;
      return TRUE;
    }
    case LVM_GETCOLUMNW: {
      auto* c = reinterpret_cast<LVCOLUMNW*>(lp);
      if (!c || wp >= s->columns.size()) return FALSE;
      if (c->mask & LVCF_TEXT) CopyText(s->columns[wp].text, c->pszText, c->cchTextMax);
      if (c->mask & LVCF_WIDTH) c->cx = s->columns[wp].width;
      if (c->mask & LVCF_FMT) c->fmt = s->columns[wp].fmt;
      return TRUE;
    }
    case LVM_DELETECOLUMN:
      if (wp >= s->columns.size()) return FALSE;
      s->columns.erase(s->columns.begin() + long(wp));
      return TRUE;
    case LVM_SETCOLUMNWIDTH:
      if (wp >= s->columns.size()) return FALSE;
      s->columns[wp].width = SHORT(LOWORD(lp));
      return TRUE;
    case LVM_GETCOLUMNWIDTH:
      return wp < s->columns.size() ? s->columns[wp].width : 0;
    case LVM_INSERTITEMW: {
      auto* it = reinterpret_cast<const LVITEMW*>(lp);
      if (!it || it->iSubItem != 0) return -1;
      ListViewState::Item item;
      item.texts.push_back((it->mask & LVIF_TEXT) ? Wide(it->pszText) : std::u16string());
      if (it->mask & LVIF_PARAM) item.lParam = it->lParam;
      if (it->mask & LVIF_IMAGE) item.image = it->iImage;
      if (it->mask & LVIF_STATE) item.state = it->state & it->stateMask;
      if ((s->exStyle & LVS_EX_CHECKBOXES) && !(item.state & LVIS_STATEIMAGEMASK)) item.state |= INDEXTOSTATEIMAGEMASK(1);
      int i = std::max(0, std::min(it->iItem, n));
      s->items.insert(s->items.begin() + i, item);
      NMLISTVIEW nm{};
      nm.hdr.code = LVN_INSERTITEM;
      nm.iItem = i;
      NotifyParentHdr(h, &nm.hdr);
      return i;
    }
    case LVM_DELETEITEM: {
      if (!valid(wp)) return FALSE;
      NMLISTVIEW nm{};
      nm.hdr.code = LVN_DELETEITEM;
      nm.iItem = int(wp);
      nm.lParam = s->items[wp].lParam;
      NotifyParentHdr(h, &nm.hdr);
      s = StateOf<ListViewState>(h);
      if (!s || wp >= s->items.size()) return FALSE;
      s->items.erase(s->items.begin() + long(wp));
      return TRUE;
    }
    case LVM_DELETEALLITEMS: {
      NMLISTVIEW nm{};
      nm.hdr.code = LVN_DELETEALLITEMS;
      nm.iItem = -1;
      // A non-zero answer asks for no LVN_DELETEITEM per item.
      bool each = !NotifyParentHdr(h, &nm.hdr);
      s = StateOf<ListViewState>(h);
      if (!s) return FALSE;
      if (each)
        for (int i = int(s->items.size()) - 1; i >= 0; --i) {
          NMLISTVIEW d{};
          d.hdr.code = LVN_DELETEITEM;
          d.iItem = i;
          d.lParam = s->items[size_t(i)].lParam;
          NotifyParentHdr(h, &d.hdr);
        }
      s->items.clear();
      return TRUE;
    }
    case LVM_SETITEMW: {
      auto* it = reinterpret_cast<const LVITEMW*>(lp);
      if (!it || it->iItem < 0 || it->iItem >= n) return FALSE;
      auto& item = s->items[size_t(it->iItem)];
      if (it->mask & LVIF_TEXT) {
        if (item.texts.size() <= size_t(it->iSubItem)) item.texts.resize(size_t(it->iSubItem) + 1);
        item.texts[size_t(it->iSubItem)] = Wide(it->pszText);
      }
      if (it->iSubItem == 0) {
        if (it->mask & LVIF_PARAM) item.lParam = it->lParam;
        if (it->mask & LVIF_IMAGE) item.image = it->iImage;
        if (it->mask & LVIF_STATE) return ChangeState(h, s, it->iItem, it->state, it->stateMask);
      }
      return TRUE;
    }
    case LVM_GETITEMW: {
      auto* it = reinterpret_cast<LVITEMW*>(lp);
      if (!it || it->iItem < 0 || it->iItem >= n) return FALSE;
      auto& item = s->items[size_t(it->iItem)];
      if (it->mask & LVIF_TEXT) {
        std::u16string t = size_t(it->iSubItem) < item.texts.size() ? item.texts[size_t(it->iSubItem)] : u"";
        CopyText(t, it->pszText, it->cchTextMax);
      }
      if (it->mask & LVIF_PARAM) it->lParam = item.lParam;
      if (it->mask & LVIF_IMAGE) it->iImage = item.image;
      if (it->mask & LVIF_STATE) it->state = item.state & it->stateMask;
      return TRUE;
    }
    case LVM_SETITEMTEXTW: {
      auto* it = reinterpret_cast<const LVITEMW*>(lp);
      if (!it || !valid(wp)) return FALSE;
      auto& item = s->items[wp];
      if (item.texts.size() <= size_t(it->iSubItem)) item.texts.resize(size_t(it->iSubItem) + 1);
      item.texts[size_t(it->iSubItem)] = Wide(it->pszText);
      return TRUE;
    }
    case LVM_GETITEMTEXTW: {
      auto* it = reinterpret_cast<LVITEMW*>(lp);
      if (!it || !valid(wp)) return 0;
      auto& item = s->items[wp];
      std::u16string t = size_t(it->iSubItem) < item.texts.size() ? item.texts[size_t(it->iSubItem)] : u"";
      CopyText(t, it->pszText, it->cchTextMax);
      return LRESULT(std::min(t.size(), size_t(std::max(it->cchTextMax - 1, 0))));
    }
    case LVM_SETITEMSTATE: {
      auto* it = reinterpret_cast<const LVITEMW*>(lp);
      if (!it) return FALSE;
      if (INT_PTR(wp) == -1) {
        for (int i = 0; i < n; ++i) ChangeState(h, s, i, it->state, it->stateMask);
        return TRUE;
      }
      if (!valid(wp)) return FALSE;
      return ChangeState(h, s, int(wp), it->state, it->stateMask);
    }
    case LVM_GETITEMSTATE:
      return valid(wp) ? LRESULT(s->items[wp].state & UINT(lp)) : 0;
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(s->items.begin(), s->items.end(), [](auto& i) { return (i.state & LVIS_SELECTED) != 0; });
    case LVM_GETNEXTITEM: {
      UINT flags = LOWORD(lp);
      for (int i = INT_PTR(wp) < 0 ? 0 : int(wp) + 1; i < n; ++i) {
        UINT st = s->items[size_t(i)].state;
        if ((flags & LVNI_SELECTED) && !(st & LVIS_SELECTED)) continue;
        if ((flags & LVNI_FOCUSED) && !(st & LVIS_FOCUSED)) continue;
        return i;
      }
      return -1;
    }
    case LVM_FINDITEMW: {
      auto* f = reinterpret_cast<const LVFINDINFOW*>(lp);
      if (!f) return -1;
      for (int i = INT_PTR(wp) < 0 ? 0 : int(wp) + 1; i < n; ++i) {
        auto& item = s->items[size_t(i)];
        if ((f->flags & LVFI_PARAM) && item.lParam == f->lParam) return i;
        if ((f->flags & LVFI_STRING) && IEquals(item.texts[0], Wide(f->psz))) return i;
      }
      return -1;
    }
    case LVM_ENSUREVISIBLE:
      return TRUE;
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- IP address -----------------------------------------------------------------------------------------
struct IpState : ControlState {
  int field[4] = {-1, -1, -1, -1};  // -1 blank
  BYTE lo[4] = {0, 0, 0, 0}, hi[4] = {255, 255, 255, 255};
};

std::u16string IpText(const IpState& s) {
  std::string t;
  for (int i = 0; i < 4; ++i) {
    if (i) t += '.';
    if (s.field[i] >= 0) t += std::to_string(s.field[i]);
  }
  return FromUtf8(t);
}

LRESULT CALLBACK IpProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<IpState>(h, m);
  auto sync = [&] {
    auto w = FindWnd(h);
    Guard g(Mutex());
    w->text = IpText(*s);
  };
  switch (m) {
    case WM_CREATE: return 0;
    case IPM_CLEARADDRESS:
      if (s) std::fill(s->field, s->field + 4, -1), sync();
      return 0;
    case IPM_SETADDRESS:
      if (!s) return 0;
      for (int i = 0; i < 4; ++i) s->field[i] = int((DWORD(lp) >> (24 - 8 * i)) & 0xFF);
      sync();
      return TRUE;
    case IPM_GETADDRESS: {
      if (!s) return 0;
      DWORD a = 0;
      int count = 0;
      for (int i = 0; i < 4; ++i) {
        a = (a << 8) | DWORD(std::max(s->field[i], 0));
        count += s->field[i] >= 0;
      }
      if (lp) *reinterpret_cast<DWORD*>(lp) = a;
      return count;
    }
    case IPM_ISBLANK:
      return s && std::all_of(s->field, s->field + 4, [](int f) { return f < 0; });
    case IPM_SETRANGE:
      if (!s || wp > 3) return FALSE;
      s->lo[wp] = BYTE(lp & 0xFF), s->hi[wp] = BYTE((lp >> 8) & 0xFF);
      return TRUE;
    case IPM_SETFOCUS:
      SetFocus(h);
      return 0;
    case WM_SETTEXT: {
      if (!s) return FALSE;
      // "a.b.c.d"; missing or non-numeric fields stay blank, values above 255 become 255.
      std::u16string t = Wide(reinterpret_cast<LPCWSTR>(lp));
      int f = 0, v = -1;
      std::fill(s->field, s->field + 4, -1);
      for (size_t i = 0; i <= t.size() && f < 4; ++i) {
        char16_t c = i < t.size() ? t[i] : u'.';
        if (c >= u'0' && c <= u'9') {
          v = std::min(255, (v < 0 ? 0 : v) * 10 + (c - u'0'));
        } else if (c == u'.') {
          s->field[f++] = v;
          v = -1;
        }
      }
      sync();
      return TRUE;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: return NotifyFocus(h, m, EN_SETFOCUS, EN_KILLFOCUS);
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// The ICC_* classes InitCommonControlsEx was asked for, by version (5, 6) of the caller's controls.
DWORD* Initialised() {
  static DWORD flags[2] = {0, 0};
  return flags;
}
void ResetInitialised() { Initialised()[0] = Initialised()[1] = 0; }
const ResetRegistrar kResetInitialised(ResetInitialised);

struct Classes {
  Classes() {
    RegisterSystemClass(TRACKBAR_CLASSW, TrackbarProc);
    RegisterSystemClass(UPDOWN_CLASSW, UpDownProc);
    RegisterSystemClass(PROGRESS_CLASSW, ProgressProc);
    RegisterSystemClass(WC_LISTVIEWW, ListViewProc);
    RegisterSystemClass(WC_IPADDRESSW, IpProc);
  }
} const kClasses;

}  // namespace

namespace winsim::detail {

DWORD InitialisedCommonControls(int version) {
  Guard g(Mutex());
  return Initialised()[version == 6 ? 1 : 0];
}

// User actions of the driving API that belong to these controls.

// Moves a trackbar as a drag does: TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK to the parent.
bool SlideTrackbar(HWND h, LONG pos) {
  auto* s = StateOf<TrackState>(h);
  if (!s || !IsWindowEnabled(h)) return false;
  s->pos = std::max(s->min, std::min(s->max, pos));
  UINT msg = (StyleOf(h) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  HWND p = ParentOf(h);
  LPARAM me = reinterpret_cast<LPARAM>(h);
  SendMessageW(p, msg, MAKEWPARAM(TB_THUMBTRACK, s->pos), me);
  SendMessageW(p, msg, MAKEWPARAM(TB_THUMBPOSITION, s->pos), me);
  SendMessageW(p, msg, MAKEWPARAM(TB_ENDTRACK, 0), me);
  return true;
}

// One click on an up-down arrow (up: towards max).
bool SpinUpDown(HWND h, bool up) {
  auto* s = StateOf<UpDownState>(h);
  if (!s || !IsWindowEnabled(h)) return false;
  LONG lo = std::min(s->min, s->max), hi = std::max(s->min, s->max);
  if (StyleOf(h) & UDS_SETBUDDYINT) {
    LONG v;
    if (ReadBuddy(s, &v)) s->pos = std::max(lo, std::min(hi, v));
  }
  int delta = (up == (s->max >= s->min)) ? 1 : -1;
  NMUPDOWN nm{};
  nm.hdr.code = UDN_DELTAPOS;
  nm.iPos = s->pos;
  nm.iDelta = delta;
  if (NotifyParentHdr(h, &nm.hdr)) return true;  // the parent refused the change
  s = StateOf<UpDownState>(h);
  if (!s) return false;
  LONG next = s->pos + nm.iDelta;
  if (next > hi) next = (StyleOf(h) & UDS_WRAP) ? lo : hi;
  if (next < lo) next = (StyleOf(h) & UDS_WRAP) ? hi : lo;
  s->pos = next;
  WriteBuddy(h, s);
  UINT msg = (StyleOf(h) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
  SendMessageW(ParentOf(h), msg, MAKEWPARAM(SB_THUMBPOSITION, WORD(s->pos)), reinterpret_cast<LPARAM>(h));
  SendMessageW(ParentOf(h), msg, MAKEWPARAM(SB_ENDSCROLL, WORD(s->pos)), reinterpret_cast<LPARAM>(h));
  return true;
}

// Sets the fields of an IP address control as typing does: IPN_FIELDCHANGED per changed field, EN_CHANGE.
bool TypeIpAddress(HWND h, const std::u16string& text) {
  auto* s = StateOf<IpState>(h);
  if (!s || !IsWindowEnabled(h)) return false;
  int before[4];
  std::copy(s->field, s->field + 4, before);
  SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  for (int i = 0; i < 4; ++i) {
    if (s->field[i] == before[i]) continue;
    NMIPADDRESS nm{};
    nm.hdr.code = IPN_FIELDCHANGED;
    nm.iField = i;
    nm.iValue = s->field[i];
    NotifyParentHdr(h, &nm.hdr);
    s = StateOf<IpState>(h);
    if (!s) return false;
    // The parent may clamp the value it is told about.
    if (nm.iValue != s->field[i]) s->field[i] = std::max(-1, std::min(255, nm.iValue));
    NotifyParent(h, EN_CHANGE);
  }
  return true;
}

// Selection and check state of a list view item as the mouse changes it.
bool SetListViewItemState(HWND h, int item, UINT state, UINT mask) {
  auto* s = StateOf<ListViewState>(h);
  if (!s || item < 0 || item >= int(s->items.size()) || !IsWindowEnabled(h)) return false;
  return ChangeState(h, s, item, state, mask);
}

}  // namespace winsim::detail

extern "C" {

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* p) {
  if (!p || p->dwSize != sizeof(*p)) return FALSE;
  Guard g(Mutex());
  Initialised()[CommonControls6Active() ? 1 : 0] |= p->dwICC;
  return TRUE;
}
void WINAPI InitCommonControls(void) {}

}  // extern "C"
