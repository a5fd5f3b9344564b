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
Script& Sc() { return Lasting<Script>(); }
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

void RecordMessageBox(const ui::MessageBoxCall& c) { AppendLocked(Sc().boxes, c); }
void RecordFileDialog(const ui::FileDialogCall& c) { AppendLocked(Sc().files, c); }
void RecordFolderDialog(const ui::FolderDialogCall& c) { AppendLocked(Sc().folders, c); }
void RecordMenu(const ui::MenuCall& c) { AppendLocked(Sc().menus, c); }
void RecordProcess(const ui::ProcessCall& c) { AppendLocked(Sc().processes, c); }
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
std::vector<MessageBoxCall> MessageBoxes() { return CopyLocked(Sc().boxes); }
std::vector<FileDialogCall> FileDialogs() { return CopyLocked(Sc().files); }
std::vector<FolderDialogCall> FolderDialogs() { return CopyLocked(Sc().folders); }
std::vector<MenuCall> Menus() { return CopyLocked(Sc().menus); }
std::vector<ProcessCall> Processes() { return CopyLocked(Sc().processes); }
std::vector<std::string> Unexpected() { return CopyLocked(Sc().unexpected); }
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

// The menu is read through user32's own menu functions (user32/menu.cpp).
BOOL WINAPI TrackPopupMenu(HMENU h, UINT flags, int, int, int, HWND owner, const RECT*) {
  const int count = GetMenuItemCount(h);
  if (count < 0) {
    SetLastError(1401);  // ERROR_INVALID_MENU_HANDLE
    return FALSE;
  }
  ui::MenuCall c;
  c.flags = flags;
  for (int i = 0; i < count; ++i) {
    if (GetMenuState(h, UINT(i), MF_BYPOSITION) & MF_SEPARATOR) {
      c.items.push_back(u"-");
      continue;
    }
    WCHAR text[256];
    GetMenuStringW(h, UINT(i), text, 256, MF_BYPOSITION);
    c.items.push_back(Wide(text));
  }
  std::string what = "TrackPopupMenu:";
  for (auto& t : c.items) what += " " + ToUtf8(t);
  Answer a;
  if (TakeAnswer(ScriptKind::Menu, what, &a)) {
    // A disabled item cannot be chosen; choosing one dismisses the menu.
    const UINT state = a.value ? GetMenuState(h, UINT(a.value), MF_BYCOMMAND) : UINT(-1);
    if (state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED))) c.answer = UINT(a.value);
  }
  RecordMenu(c);
  if (!c.answer) return FALSE;
  if (flags & TPM_RETURNCMD) return BOOL(c.answer);
  if (!(flags & TPM_NONOTIFY) && owner) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(c.answer, 0), 0);
  return TRUE;
}

}  // extern "C"
