// user32: scripted message boxes and popup menus, and the answer queues and call records that the
// other scripted system dialogs share.
#include <deque>
#include <map>

#include "user32/script.h"
#include "user32/window.h"

using namespace winsim::detail;
namespace ui = winsim::ui;

namespace {

struct Script {
  std::map<ScriptKind, std::deque<Answer>> queued;
  std::vector<ui::MessageBoxCall> boxes;
  std::vector<ui::FileDialogCall> files;
  std::vector<ui::FolderDialogCall> folders;
  std::vector<ui::MenuCall> menus;
  std::vector<ui::ProcessCall> processes;
  std::vector<std::string> unexpected;
  std::function<void(const std::string&)> hook;  // survives Reset
};
Script& Sc() {
  static auto* s = new Script;
  return *s;
}
void ResetScript() {
  auto hook = std::move(Sc().hook);
  Sc() = Script{};
  Sc().hook = std::move(hook);
}
const ResetRegistrar kReset(ResetScript);

void Queue(ScriptKind k, Answer a) {
  Guard g(Mutex());
  Sc().queued[k].push_back(std::move(a));
}

// Menus: items with ids, texts, flags and submenus.
struct Menu : Object {
  struct Item {
    UINT flags;
    UINT_PTR id;  // the submenu for MF_POPUP
    std::u16string text;
  };
  std::vector<Item> items;
};

std::shared_ptr<Menu> MenuOf(HMENU h) { return GetHandle<Menu>(reinterpret_cast<HANDLE>(h)); }

}  // namespace

namespace winsim::detail {

bool TakeAnswer(ScriptKind kind, const std::string& what, Answer* out) {
  std::function<void(const std::string&)> hook;
  {
    Guard g(Mutex());
    auto& q = Sc().queued[kind];
    if (!q.empty()) {
      *out = q.front();
      q.pop_front();
      return true;
    }
    Sc().unexpected.push_back(what);
    hook = Sc().hook;
  }
  if (hook) hook(what);
  return false;
}

void RecordMessageBox(const ui::MessageBoxCall& c) {
  Guard g(Mutex());
  Sc().boxes.push_back(c);
}
void RecordFileDialog(const ui::FileDialogCall& c) {
  Guard g(Mutex());
  Sc().files.push_back(c);
}
void RecordFolderDialog(const ui::FolderDialogCall& c) {
  Guard g(Mutex());
  Sc().folders.push_back(c);
}
void RecordMenu(const ui::MenuCall& c) {
  Guard g(Mutex());
  Sc().menus.push_back(c);
}
void RecordProcess(const ui::ProcessCall& c) {
  Guard g(Mutex());
  Sc().processes.push_back(c);
}
void ReportUnexpected(const std::string& what) {
  Answer ignored;
  TakeAnswer(ScriptKind(-1), what, &ignored);
}

}  // namespace winsim::detail

namespace winsim::ui {

static Answer Value(int v) {
  Answer a;
  a.value = v;
  return a;
}
static Answer Path(const std::u16string* path) {
  Answer a;
  a.cancel = !path;
  if (path) a.path = *path;
  return a;
}
void QueueMessageBox(int answer) { Queue(ScriptKind::MessageBox, Value(answer)); }
void QueueFileName(const std::u16string& path) { Queue(ScriptKind::File, Path(&path)); }
void QueueFileCancel() { Queue(ScriptKind::File, Path(nullptr)); }
void QueueFolder(const std::u16string& path) { Queue(ScriptKind::Folder, Path(&path)); }
void QueueFolderCancel() { Queue(ScriptKind::Folder, Path(nullptr)); }
void QueueMenuChoice(UINT id) { Queue(ScriptKind::Menu, Value(int(id))); }
void QueueProcess(DWORD exitCode, bool runs, DWORD error) {
  Answer a;
  a.exitCode = exitCode;
  a.runs = runs;
  a.error = error;
  Queue(ScriptKind::Process, a);
}
std::vector<MessageBoxCall> MessageBoxes() {
  Guard g(Mutex());
  return Sc().boxes;
}
std::vector<FileDialogCall> FileDialogs() {
  Guard g(Mutex());
  return Sc().files;
}
std::vector<FolderDialogCall> FolderDialogs() {
  Guard g(Mutex());
  return Sc().folders;
}
std::vector<MenuCall> Menus() {
  Guard g(Mutex());
  return Sc().menus;
}
std::vector<ProcessCall> Processes() {
  Guard g(Mutex());
  return Sc().processes;
}
std::vector<std::string> Unexpected() {
  Guard g(Mutex());
  return Sc().unexpected;
}
void SetUnexpectedHook(std::function<void(const std::string&)> hook) {
  Guard g(Mutex());
  Sc().hook = std::move(hook);
}

}  // namespace winsim::ui

extern "C" {

int WINAPI MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  ui::MessageBoxCall c{Wide(text), caption ? Wide(caption) : std::u16string(u"Error"), type, 0};
  Answer a;
  if (TakeAnswer(ScriptKind::MessageBox, "MessageBoxW: " + ToUtf8(c.text), &a)) c.answer = a.value;
  RecordMessageBox(c);
  return c.answer;
}

HMENU WINAPI CreatePopupMenu(void) { return reinterpret_cast<HMENU>(NewHandle(std::make_shared<Menu>())); }
HMENU WINAPI CreateMenu(void) { return CreatePopupMenu(); }

BOOL WINAPI AppendMenuW(HMENU h, UINT flags, UINT_PTR id, LPCWSTR text) {
  auto m = MenuOf(h);
  if (!m) {
    SetLastError(1401);  // ERROR_INVALID_MENU_HANDLE
    return FALSE;
  }
  Guard g(Mutex());
  m->items.push_back({flags, id, (flags & MF_SEPARATOR) || !text ? std::u16string() : Wide(text)});
  return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU h, int pos) {
  auto m = MenuOf(h);
  if (!m || pos < 0 || size_t(pos) >= m->items.size() || !(m->items[size_t(pos)].flags & MF_POPUP)) return nullptr;
  return reinterpret_cast<HMENU>(m->items[size_t(pos)].id);
}

int WINAPI GetMenuItemCount(HMENU h) {
  auto m = MenuOf(h);
  return m ? int(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU h, int pos) {
  auto m = MenuOf(h);
  if (!m || pos < 0 || size_t(pos) >= m->items.size() || (m->items[size_t(pos)].flags & MF_POPUP)) return UINT(-1);
  return UINT(m->items[size_t(pos)].id);
}

static Menu::Item* FindItem(const std::shared_ptr<Menu>& m, UINT which, UINT flags) {
  if (!m) return nullptr;
  if (flags & MF_BYPOSITION) return which < m->items.size() ? &m->items[which] : nullptr;
  for (auto& it : m->items) {
    if (!(it.flags & MF_POPUP) && it.id == which) return &it;
    if (it.flags & MF_POPUP)
      if (auto* sub = FindItem(MenuOf(reinterpret_cast<HMENU>(it.id)), which, flags)) return sub;
  }
  return nullptr;
}

DWORD WINAPI CheckMenuItem(HMENU h, UINT which, UINT check) {
  auto* it = FindItem(MenuOf(h), which, check);
  if (!it) return DWORD(-1);
  DWORD old = it->flags & MF_CHECKED;
  it->flags = (it->flags & ~UINT(MF_CHECKED)) | (check & MF_CHECKED);
  return old;
}

BOOL WINAPI EnableMenuItem(HMENU h, UINT which, UINT enable) {
  auto* it = FindItem(MenuOf(h), which, enable);
  if (!it) return -1;
  BOOL old = BOOL(it->flags & (MF_GRAYED | MF_DISABLED));
  it->flags = (it->flags & ~UINT(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return old;
}

BOOL WINAPI DestroyMenu(HMENU h) {
  auto m = TakeHandleOf<Menu>(reinterpret_cast<HANDLE>(h));
  if (!m) return FALSE;
  for (auto& it : m->items)
    if (it.flags & MF_POPUP) DestroyMenu(reinterpret_cast<HMENU>(it.id));
  return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU h, UINT flags, int, int, int, HWND owner, const RECT*) {
  auto m = MenuOf(h);
  if (!m) {
    SetLastError(1401);
    return FALSE;
  }
  ui::MenuCall c;
  c.flags = flags;
  for (auto& it : m->items) c.items.push_back((it.flags & MF_SEPARATOR) ? std::u16string(u"-") : it.text);
  std::string what = "TrackPopupMenu:";
  for (auto& t : c.items) what += " " + ToUtf8(t);
  Answer a;
  if (TakeAnswer(ScriptKind::Menu, what, &a)) {
    // A disabled item cannot be chosen; choosing one dismisses the menu.
    auto* it = a.value ? FindItem(m, UINT(a.value), MF_BYCOMMAND) : nullptr;
    if (it && !(it->flags & (MF_GRAYED | MF_DISABLED))) c.answer = UINT(a.value);
  }
  RecordMenu(c);
  if (!c.answer) return FALSE;
  if (flags & TPM_RETURNCMD) return BOOL(c.answer);
  if (!(flags & TPM_NONOTIFY) && owner) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(c.answer, 0), 0);
  return TRUE;
}

}  // extern "C"
