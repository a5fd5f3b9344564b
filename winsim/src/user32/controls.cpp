// user32: the standard controls (BUTTON, EDIT, STATIC, COMBOBOX, LISTBOX) with the messages and
// notifications the pages use. The rich edit class shares the edit control.
#include <algorithm>
#include <cstring>
#include <utility>

#include <richedit.h>

#include "user32/window.h"

using namespace winsim::detail;

namespace {

DWORD StyleOf(HWND h) { return DWORD(GetWindowLongPtrW(h, GWL_STYLE)); }
std::u16string TextOf(HWND h) {
  auto w = FindWnd(h);
  Guard g(Mutex());
  return w ? w->text : std::u16string();
}
void StoreText(HWND h, std::u16string t) {
  auto w = FindWnd(h);
  if (!w) return;
  Guard g(Mutex());
  w->text = std::move(t);
  w->needsPaint = true;
}
LRESULT CopyOut(const std::u16string& s, LPARAM lp, size_t max = size_t(-1)) {
  if (!lp) return LRESULT(s.size());
  auto* out = reinterpret_cast<LPWSTR>(lp);
  size_t n = std::min(s.size(), max);
  std::memcpy(out, s.data(), n * sizeof(WCHAR));
  out[n] = 0;
  return LRESULT(n);
}

// ---- BUTTON ----------------------------------------------------------------------------------------
struct ButtonState : ControlState {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  HANDLE image = nullptr;
};

bool IsRadio(HWND h) {
  DWORD t = StyleOf(h) & BS_TYPEMASK;
  return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
}

// The auto radio buttons of h's group: from the WS_GROUP control at or before h up to the next one.
std::vector<HWND> RadioGroup(HWND h) {
  auto w = FindWnd(h);
  std::vector<HWND> sib;
  {
    auto p = FindWnd(w->parent);
    if (!p) return {h};
    Guard g(Mutex());
    sib = p->children;
  }
  auto it = std::find(sib.begin(), sib.end(), h);
  auto start = it;
  while (start != sib.begin() && !(StyleOf(*start) & WS_GROUP)) --start;
  std::vector<HWND> out;
  for (auto i = start; i != sib.end(); ++i) {
    if (i != start && (StyleOf(*i) & WS_GROUP)) break;
    if ((StyleOf(*i) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && FindWnd(*i)->cls == FindWnd(h)->cls) out.push_back(*i);
  }
  return out;
}

LRESULT CALLBACK ButtonProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<ButtonState>(h, m);
  switch (m) {
    case WM_CREATE: return 0;
    case BM_GETCHECK:
      return s ? s->check : 0;
    case BM_SETCHECK: {
      if (!s) return 0;
      DWORD t = StyleOf(h) & BS_TYPEMASK;
      UINT v = UINT(wp);
      if (v == BST_INDETERMINATE && t != BS_3STATE && t != BS_AUTO3STATE) v = BST_CHECKED;
      if (s->check != v) InvalidateRect(h, nullptr, TRUE);
      s->check = v;
      // A checked auto radio button takes the tab stop of its group.
      if (t == BS_AUTORADIOBUTTON && v == BST_CHECKED) SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR(StyleOf(h) | WS_TABSTOP));
      return 0;
    }
    case BM_GETSTATE:
      return s ? LRESULT(s->check | (s->pushed ? 0x0004 : 0)) : 0;
    case BM_SETSTATE:
      if (s) s->pushed = wp != 0;
      return 0;
    case BM_SETIMAGE: {
      if (!s) return 0;
      HANDLE old = s->image;
      s->image = reinterpret_cast<HANDLE>(lp);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_CLICK: {
      // A click as the mouse gives it: nothing for a disabled or hidden button.
      if (!IsWindowEnabled(h) || !IsWindowVisible(h) || !s) return 0;
      DWORD t = StyleOf(h) & BS_TYPEMASK;
      if (t == BS_AUTOCHECKBOX) {
        SendMessageW(h, BM_SETCHECK, s->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
      } else if (t == BS_AUTO3STATE) {
        SendMessageW(h, BM_SETCHECK, (s->check + 1) % 3, 0);
      } else if (t == BS_AUTORADIOBUTTON) {
        for (HWND o : RadioGroup(h))
          if (o != h) SendMessageW(o, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
      }
      if (t != BS_GROUPBOX) {
        if (IsRadio(h) || t == BS_AUTOCHECKBOX || t == BS_CHECKBOX || t == BS_AUTO3STATE || t == BS_3STATE ||
            t <= BS_DEFPUSHBUTTON || t == BS_OWNERDRAW)
          SetFocus(h);
        NotifyParent(h, BN_CLICKED);
      }
      return 0;
    }
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- EDIT (and rich edit) ---------------------------------------------------------------------------
struct EditState : ControlState {
  DWORD start = 0, end = 0;  // selection; the caret is at end
  DWORD limit = 0;
  bool modified = false;
  bool rich = false;
};

DWORD DefaultLimit(HWND h) { return (StyleOf(h) & ES_MULTILINE) ? 0xFFFFFFFFu : 0x7FFEu; }

// Replaces the selection with `in`, applying the limit. Returns false when nothing fitted.
bool EditReplace(HWND h, EditState* s, std::u16string in, bool notify) {
  std::u16string t = TextOf(h);
  DWORD a = std::min<DWORD>(std::min(s->start, s->end), DWORD(t.size()));
  DWORD b = std::min<DWORD>(std::max(s->start, s->end), DWORD(t.size()));
  DWORD limit = s->limit ? s->limit : DefaultLimit(h);
  size_t room = limit > t.size() - (b - a) ? limit - (t.size() - (b - a)) : 0;
  bool cut = in.size() > room;
  if (cut) in.resize(room);
  if (!(StyleOf(h) & ES_MULTILINE)) {
    auto nl = in.find_first_of(u"\r\n");
    if (nl != std::u16string::npos) in.resize(nl);
  }
  if (StyleOf(h) & ES_UPPERCASE)
    for (auto& c : in)
      if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  t.replace(a, b - a, in);
  s->start = s->end = a + DWORD(in.size());
  StoreText(h, t);
  s->modified = true;
  if (notify) {
    NotifyParent(h, EN_UPDATE);
    NotifyParent(h, EN_CHANGE);
  }
  if (cut) NotifyParent(h, EN_MAXTEXT);
  return !in.empty() || !cut;
}

LRESULT CALLBACK EditProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateOf<EditState>(h);
  switch (m) {
    case WM_CREATE: {
      auto st = std::make_shared<EditState>();
      auto w = FindWnd(h);
      st->rich = w && (IEquals(w->cls, RICHEDIT_CLASSW) || IEquals(w->cls, MSFTEDIT_CLASS));
      SetState(h, st);
      return 0;
    }
    case WM_SETTEXT: {
      StoreText(h, Wide(reinterpret_cast<LPCWSTR>(lp)));
      if (s) s->start = s->end = 0, s->modified = false;
      // Windows sends EN_CHANGE for WM_SETTEXT except to multi-line and rich edit controls.
      if (s && !s->rich && !(StyleOf(h) & ES_MULTILINE)) {
        NotifyParent(h, EN_UPDATE);
        NotifyParent(h, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_CHAR: {
      if (!s || (StyleOf(h) & ES_READONLY)) return 0;
      char16_t c = char16_t(wp);
      if (c == 8) {  // backspace
        if (s->start == s->end && s->end > 0) s->start = s->end - 1;
        if (s->start != s->end) EditReplace(h, s, u"", true);
        return 0;
      }
      if ((StyleOf(h) & ES_NUMBER) && (c < u'0' || c > u'9')) return 0;  // Windows beeps and drops it
      if (c == u'\r' && !(StyleOf(h) & ES_MULTILINE)) return 0;
      EditReplace(h, s, c == u'\r' ? std::u16string(u"\r\n") : std::u16string(1, c), true);
      return 0;
    }
    case EM_REPLACESEL:
      if (s) EditReplace(h, s, Wide(reinterpret_cast<LPCWSTR>(lp)), true);
      return 0;
    case EM_SETSEL: {
      if (!s) return 0;
      LONG len = LONG(TextOf(h).size());
      LONG a = LONG(wp), b = LONG(lp);
      if (a == -1) {  // removes the selection, caret stays
        s->start = s->end;
        return 0;
      }
      if (b < 0 || b > len) b = len;
      if (a < 0 || a > len) a = len;
      s->start = DWORD(a), s->end = DWORD(b);
      return 0;
    }
    case EM_GETSEL: {
      if (!s) return 0;
      DWORD a = std::min(s->start, s->end), b = std::max(s->start, s->end);
      if (wp) *reinterpret_cast<DWORD*>(wp) = a;
      if (lp) *reinterpret_cast<DWORD*>(lp) = b;
      return MAKELONG(std::min<DWORD>(a, 0xFFFF), std::min<DWORD>(b, 0xFFFF));
    }
    case EM_LIMITTEXT:
      if (s) s->limit = wp ? DWORD(wp) : ((StyleOf(h) & ES_MULTILINE) ? 0xFFFFFFFFu : 0x7FFFFFFEu);
      return 0;
    case EM_GETLIMITTEXT:
      return s ? LRESULT(s->limit ? s->limit : DefaultLimit(h)) : 0;
    case EM_SETREADONLY: {
      DWORD st = StyleOf(h);
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR(wp ? st | ES_READONLY : st & ~DWORD(ES_READONLY)));
      return TRUE;
    }
    case EM_GETMODIFY:
      return s && s->modified;
    case EM_SETMODIFY:
      if (s) s->modified = wp != 0;
      return 0;
    case EM_GETLINECOUNT: {
      auto t = TextOf(h);
      return 1 + LRESULT(std::count(t.begin(), t.end(), u'\n'));
    }
    case WM_SETFOCUS:
      if (s) s->start = 0, s->end = DWORD(TextOf(h).size());  // a single-line edit selects all on focus
      NotifyParent(h, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(h, EN_KILLFOCUS);
      return 0;
    case EM_SETBKGNDCOLOR:
    case EM_SETEVENTMASK:
    case EM_AUTOURLDETECT:
      return 0;
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- STATIC ----------------------------------------------------------------------------------------
struct StaticState : ControlState {
  HANDLE image = nullptr;
  HANDLE icon = nullptr;
};

LRESULT CALLBACK StaticProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<StaticState>(h, m);
  switch (m) {
    case WM_CREATE: return 0;
    case STM_SETIMAGE: {
      if (!s) return 0;
      HANDLE old = std::exchange(s->image, reinterpret_cast<HANDLE>(lp));
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: return s ? reinterpret_cast<LRESULT>(s->image) : 0;
    case STM_SETICON: return s ? reinterpret_cast<LRESULT>(std::exchange(s->icon, reinterpret_cast<HANDLE>(wp))) : 0;
    case STM_GETICON: return s ? reinterpret_cast<LRESULT>(s->icon) : 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      auto w = FindWnd(h);
      if ((StyleOf(h) & SS_TYPEMASK) == SS_OWNERDRAW) {
        DRAWITEMSTRUCT di{};
        di.CtlType = ODT_STATIC;
        di.CtlID = UINT(w->id);
        di.itemAction = ODA_DRAWENTIRE;
        di.hwndItem = h;
        di.hDC = dc;
        GetClientRect(h, &di.rcItem);
        SendMessageW(w->parent, WM_DRAWITEM, WPARAM(w->id), reinterpret_cast<LPARAM>(&di));
      } else if (w && w->parent) {
        // The parent chooses the colours and background brush of static text.
        LRESULT brush =
            SendMessageW(w->parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h));
        if (brush) FillRect(dc, &ps.rcPaint, reinterpret_cast<HBRUSH>(brush));
      }
      EndPaint(h, &ps);
      return 0;
    }
    default:
      return DefWindowProcW(h, m, wp, lp);
  }
}

// ---- COMBOBOX and LISTBOX ------------------------------------------------------------------------------
struct ListState : ControlState {
  struct Item {
    std::u16string text;
    LPARAM data = 0;
  };
  std::vector<Item> items;
  int cur = -1;
};

int FindItem(const ListState& s, WPARAM start, LPCWSTR what, bool exact) {
  std::u16string w = Upper(Wide(what));
  int n = int(s.items.size());
  if (!n) return -1;
  int from = (INT_PTR(start) < 0 || int(start) >= n) ? 0 : int(start) + 1;
  for (int k = 0; k < n; ++k) {
    int i = (from + k) % n;
    std::u16string t = Upper(s.items[size_t(i)].text);
    if (exact ? t == w : t.compare(0, w.size(), w) == 0) return i;
  }
  return -1;
}

int InsertSorted(ListState& s, std::u16string t) {
  auto key = Upper(t);
  size_t i = 0;
  while (i < s.items.size() && Upper(s.items[i].text) <= key) ++i;
  s.items.insert(s.items.begin() + long(i), {std::move(t), 0});
  if (s.cur >= int(i)) ++s.cur;
  return int(i);
}

// The messages both share, mapped onto one table: combo message -> list message.
struct ListMsgs {
  UINT add, insert, del, reset, count, getcur, setcur, gettext, gettextlen, find, findexact, select, getdata, setdata;
  int err;
};
constexpr ListMsgs kCombo{CB_ADDSTRING, CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT, CB_GETCOUNT,
                          CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_FINDSTRING,
                          CB_FINDSTRINGEXACT, CB_SELECTSTRING, CB_GETITEMDATA, CB_SETITEMDATA, CB_ERR};
constexpr ListMsgs kList{LB_ADDSTRING, LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT, LB_GETCOUNT,
                         LB_GETCURSEL, LB_SETCURSEL, LB_GETTEXT, LB_GETTEXTLEN, LB_FINDSTRING,
                         LB_FINDSTRINGEXACT, LB_SELECTSTRING, LB_GETITEMDATA, LB_SETITEMDATA, LB_ERR};

bool ListMessage(HWND h, ListState* s, const ListMsgs& k, bool sorted, UINT m, WPARAM wp, LPARAM lp, LRESULT* r) {
  int n = int(s->items.size());
  auto valid = [&](WPARAM i) { return INT_PTR(i) >= 0 && int(i) < n; };
  if (m == k.add) {
    auto t = Wide(reinterpret_cast<LPCWSTR>(lp));
    if (sorted) *r = InsertSorted(*s, t);
    else s->items.push_back({t, 0}), *r = n;
  } else if (m == k.insert) {
    int i = INT_PTR(wp) < 0 || int(wp) > n ? n : int(wp);
    if (INT_PTR(wp) >= 0 && int(wp) > n) {
      *r = k.err;
      return true;
    }
    s->items.insert(s->items.begin() + i, {Wide(reinterpret_cast<LPCWSTR>(lp)), 0});
    if (s->cur >= i) ++s->cur;
    *r = i;
  } else if (m == k.del) {
    if (!valid(wp)) {
      *r = k.err;
      return true;
    }
    s->items.erase(s->items.begin() + long(wp));
    if (s->cur == int(wp)) s->cur = -1;
    else if (s->cur > int(wp)) --s->cur;
    *r = n - 1;
  } else if (m == k.reset) {
    s->items.clear();
    s->cur = -1;
    *r = 0;
  } else if (m == k.count) {
    *r = n;
  } else if (m == k.getcur) {
    *r = s->cur;
  } else if (m == k.setcur) {
    // No notification: only the user's selections notify.
    s->cur = valid(wp) ? int(wp) : -1;
    *r = valid(wp) ? LRESULT(wp) : k.err;
  } else if (m == k.gettext) {
    *r = valid(wp) ? CopyOut(s->items[wp].text, lp) : k.err;
  } else if (m == k.gettextlen) {
    *r = valid(wp) ? LRESULT(s->items[wp].text.size()) : k.err;
  } else if (m == k.find || m == k.findexact) {
    int i = FindItem(*s, wp, reinterpret_cast<LPCWSTR>(lp), m == k.findexact);
    *r = i < 0 ? k.err : i;
  } else if (m == k.select) {
    int i = FindItem(*s, wp, reinterpret_cast<LPCWSTR>(lp), false);
    if (i >= 0) s->cur = i;
    *r = i < 0 ? k.err : i;
  } else if (m == k.getdata) {
    *r = valid(wp) ? s->items[wp].data : k.err;
  } else if (m == k.setdata) {
    if (!valid(wp)) {
      *r = k.err;
      return true;
    }
    s->items[wp].data = lp;
    *r = TRUE;
  } else {
    return false;
  }
  (void)h;
  return true;
}

// A drop-down combo box is as tall as its selection field; the height its creator gave is the height of
// the list it drops down.
void FitSelectionField(HWND h) {
  if ((StyleOf(h) & 3) == CBS_SIMPLE) return;
  auto w = FindWnd(h);
  if (!w) return;
  const int field = MetricsOf(TextFontOf(h)).height + 8;
  Guard g(Mutex());
  w->rect.bottom = w->rect.top + field;
}

LRESULT CALLBACK ComboProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<ListState>(h, m);
  switch (m) {
    case WM_CREATE: FitSelectionField(h); return 0;
    case WM_SETFONT:
      DefWindowProcW(h, m, wp, lp);
      FitSelectionField(h);
      return 0;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      // A drop-down list shows its selected item.
      if (s && (StyleOf(h) & 3) == CBS_DROPDOWNLIST) {
        std::u16string t = s->cur >= 0 ? s->items[size_t(s->cur)].text : std::u16string();
        if (m == WM_GETTEXTLENGTH) return LRESULT(t.size());
        return wp ? CopyOut(t, lp, size_t(wp) - 1) : 0;
      }
      return DefWindowProcW(h, m, wp, lp);
    case WM_SETFOCUS:
    case WM_KILLFOCUS: return NotifyFocus(h, m, CBN_SETFOCUS, CBN_KILLFOCUS);
    case CB_SHOWDROPDOWN:
      if (wp) NotifyParent(h, CBN_DROPDOWN);
      return TRUE;
    case CB_LIMITTEXT:
      return TRUE;
    default:
      break;
  }
  LRESULT r;
  if (s && ListMessage(h, s, kCombo, (StyleOf(h) & CBS_SORT) != 0, m, wp, lp, &r)) {
    // The edit part of an editable combo follows the selection.
    if ((m == CB_SETCURSEL || m == CB_SELECTSTRING) && (StyleOf(h) & 3) != CBS_DROPDOWNLIST) {
      auto w = FindWnd(h);
      Guard g(Mutex());
      w->text = s->cur >= 0 ? s->items[size_t(s->cur)].text : std::u16string();
    }
    return r;
  }
  return DefWindowProcW(h, m, wp, lp);
}

LRESULT CALLBACK ListBoxProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  auto* s = StateFor<ListState>(h, m);
  if (m == WM_CREATE) return 0;
  LRESULT r;
  if (s && ListMessage(h, s, kList, (StyleOf(h) & LBS_SORT) != 0, m, wp, lp, &r)) return r;
  return DefWindowProcW(h, m, wp, lp);
}

struct Classes {
  Classes() {
    RegisterSystemClass(u"Button", ButtonProc);
    RegisterSystemClass(u"Edit", EditProc);
    RegisterSystemClass(RICHEDIT_CLASSW, EditProc);
    RegisterSystemClass(MSFTEDIT_CLASS, EditProc);
    RegisterSystemClass(u"Static", StaticProc);
    RegisterSystemClass(u"ComboBox", ComboProc);
    RegisterSystemClass(u"ListBox", ListBoxProc);
  }
} const kClasses;

}  // namespace
