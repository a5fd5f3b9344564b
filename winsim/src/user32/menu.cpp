// user32: menus and menu resources (MENU and MENUEX templates).
#include <algorithm>
#include <cstring>
#include <vector>

#include "internal.h"

using namespace winsim::detail;

namespace {

struct MenuItem {
  UINT flags = 0;  // MF_ type and state bits
  UINT_PTR id = 0;
  HMENU sub = nullptr;
  std::u16string text;
};

struct Menu : Object {
  bool popup = false;
  std::vector<MenuItem> items;
};

std::shared_ptr<Menu> MenuOf(HMENU h) {
  auto m = GetHandle<Menu>(reinterpret_cast<HANDLE>(h));
  if (!m) SetLastError(ERROR_INVALID_MENU_HANDLE);
  return m;
}

HMENU NewMenu(bool popup) {
  auto m = std::make_shared<Menu>();
  m->popup = popup;
  return reinterpret_cast<HMENU>(NewHandle(m));
}

void Destroy(HMENU h) {
  auto m = TakeHandleOf<Menu>(reinterpret_cast<HANDLE>(h));
  if (!m) return;
  for (const MenuItem& item : m->items)
    if (item.sub) Destroy(item.sub);
}

// The item with the command id, searching submenus as Windows does; its menu in *owner.
MenuItem* FindItem(HMENU h, UINT id, UINT flags, std::shared_ptr<Menu>* owner) {
  auto m = GetHandle<Menu>(reinterpret_cast<HANDLE>(h));
  if (!m) return nullptr;
  if (flags & MF_BYPOSITION) {
    if (id >= m->items.size()) return nullptr;
    *owner = m;
    return &m->items[id];
  }
  for (MenuItem& item : m->items) {
    if (!item.sub && !(item.flags & MF_SEPARATOR) && UINT(item.id) == id) {
      *owner = m;
      return &item;
    }
    if (item.sub)
      if (MenuItem* found = FindItem(item.sub, id, flags, owner)) return found;
  }
  return nullptr;
}

// ---- templates --------------------------------------------------------------------------------
struct Reader {
  const uint8_t* p;
  size_t size, at = 0;
  bool ok = true;
  WORD Word() {
    if (size - at < 2) {
      ok = false;
      at = size;
      return 0;
    }
    const WORD v = WORD(p[at] | p[at + 1] << 8);
    at += 2;
    return v;
  }
  DWORD Dword() {
    const WORD lo = Word();
    return DWORD(lo) | DWORD(Word()) << 16;
  }
  std::u16string Text() {
    std::u16string s;
    for (WORD c = Word(); ok && c; c = Word()) s.push_back(char16_t(c));
    return s;
  }
  void Align4() { at = std::min(size, (at + 3) & ~size_t(3)); }
};

// MENUTEMPLATE items: flags, then (unless MF_POPUP) the id, then the text; MF_END ends a level.
bool ParseStandard(Reader& r, Menu& menu, int depth) {
  if (depth > 16) return false;
  for (;;) {
    MenuItem item;
    const WORD flags = r.Word();
    if (!(flags & MF_POPUP)) item.id = r.Word();
    item.text = r.Text();
    if (!r.ok) return false;
    item.flags = flags & ~UINT(MF_END);
    if (item.text.empty() && !(flags & MF_POPUP) && item.id == 0) item.flags |= MF_SEPARATOR;
    if (flags & MF_POPUP) {
      item.sub = NewMenu(true);
      if (!ParseStandard(r, *GetHandle<Menu>(reinterpret_cast<HANDLE>(item.sub)), depth + 1)) {
        Destroy(item.sub);
        return false;
      }
    }
    menu.items.push_back(std::move(item));
    if (flags & MF_END) return true;
  }
}

// MENUEX items: type, state, id, a WORD of flags (0x80 last, 0x01 popup) and the text, aligned to 4
// bytes; a popup's help id precedes its items.
bool ParseEx(Reader& r, Menu& menu, int depth) {
  if (depth > 16) return false;
  for (;;) {
    r.Align4();
    MenuItem item;
    const DWORD type = r.Dword(), state = r.Dword(), id = r.Dword();
    const WORD resInfo = r.Word();
    item.text = r.Text();
    if (!r.ok) return false;
    item.flags = (type & (MF_SEPARATOR | MF_OWNERDRAW | MF_MENUBARBREAK | MF_MENUBREAK)) |
                 (state & (MFS_GRAYED | MFS_CHECKED | MFS_DEFAULT));
    item.id = id;
    if (resInfo & 0x01) {
      r.Align4();
      r.Dword();  // help id
      item.flags |= MF_POPUP;
      item.sub = NewMenu(true);
      if (!ParseEx(r, *GetHandle<Menu>(reinterpret_cast<HANDLE>(item.sub)), depth + 1)) {
        Destroy(item.sub);
        return false;
      }
    }
    menu.items.push_back(std::move(item));
    if (resInfo & 0x80) return true;
  }
}

HMENU LoadTemplate(const void* data, size_t size) {
  Reader r{static_cast<const uint8_t*>(data), size};
  const WORD version = r.Word();
  const WORD offset = r.Word();
  if (!r.ok || version > 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HMENU h = NewMenu(false);
  auto menu = GetHandle<Menu>(reinterpret_cast<HANDLE>(h));
  bool ok;
  if (version == 0) {
    r.at = std::min(size, size_t(4) + offset);
    ok = r.at >= size || ParseStandard(r, *menu, 0);  // an empty template is an empty menu
  } else {
    r.at = std::min(size, size_t(4) + offset);
    ok = r.at >= size || ParseEx(r, *menu, 0);
  }
  if (!ok) {
    Destroy(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return h;
}

}  // namespace

extern "C" {

HMENU WINAPI CreateMenu(void) { return NewMenu(false); }

HMENU WINAPI CreatePopupMenu(void) { return NewMenu(true); }

BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
  Guard g(Mutex());
  auto m = MenuOf(hMenu);
  if (!m) return FALSE;
  MenuItem item;
  item.flags = uFlags & ~UINT(MF_BYPOSITION | MF_END);
  if (uFlags & MF_POPUP) {
    item.sub = reinterpret_cast<HMENU>(uIDNewItem);
    if (!GetHandle<Menu>(reinterpret_cast<HANDLE>(item.sub))) {
      SetLastError(ERROR_INVALID_MENU_HANDLE);
      return FALSE;
    }
    item.id = uIDNewItem;
  } else {
    item.id = uIDNewItem;
  }
  if (!(uFlags & (MF_SEPARATOR | MF_OWNERDRAW)) && lpNewItem) item.text = lpNewItem;
  m->items.push_back(std::move(item));
  return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
  Guard g(Mutex());
  auto m = GetHandle<Menu>(reinterpret_cast<HANDLE>(hMenu));
  if (!m || nPos < 0 || size_t(nPos) >= m->items.size()) return nullptr;
  return m->items[size_t(nPos)].sub;
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
  Guard g(Mutex());
  auto m = MenuOf(hMenu);
  return m ? int(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
  Guard g(Mutex());
  auto m = GetHandle<Menu>(reinterpret_cast<HANDLE>(hMenu));
  if (!m || nPos < 0 || size_t(nPos) >= m->items.size()) return UINT(-1);
  const MenuItem& item = m->items[size_t(nPos)];
  return item.sub ? UINT(-1) : UINT(item.id);
}

UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
  Guard g(Mutex());
  std::shared_ptr<Menu> owner;
  const MenuItem* item = FindItem(hMenu, uId, uFlags, &owner);
  if (!item) return UINT(-1);
  if (item->sub) {
    // A popup: the item count in the high byte's place, as Windows reports it.
    auto sub = GetHandle<Menu>(reinterpret_cast<HANDLE>(item->sub));
    return (UINT(sub ? sub->items.size() : 0) << 8) | (item->flags & 0xFF);
  }
  return item->flags;
}

int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags) {
  Guard g(Mutex());
  std::shared_ptr<Menu> owner;
  const MenuItem* item = FindItem(hMenu, uIDItem, flags, &owner);
  if (!item) {
    if (lpString && cchMax > 0) lpString[0] = 0;
    return 0;
  }
  const int len = int(item->text.size());
  if (!lpString || cchMax <= 0) return len;
  const int n = len < cchMax - 1 ? len : cchMax - 1;
  std::memcpy(lpString, item->text.data(), size_t(n) * sizeof(WCHAR));
  lpString[n] = 0;
  return n;
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
  Guard g(Mutex());
  if (!GetHandle<Menu>(reinterpret_cast<HANDLE>(hMenu))) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  Destroy(hMenu);
  return TRUE;
}

HMENU WINAPI LoadMenuIndirectW(const void* lpMenuTemplate) {
  if (!lpMenuTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(Mutex());
  return LoadTemplate(lpMenuTemplate, 0xFFFF);  // the template's own ends bound the walk
}

HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
  HRSRC res = FindResourceW(hInstance, lpMenuName, RT_MENU);
  if (!res) return nullptr;
  const void* data = LockResource(LoadResource(hInstance, res));
  const DWORD size = SizeofResource(hInstance, res);
  Guard g(Mutex());
  return LoadTemplate(data, size);
}

}  // extern "C"
