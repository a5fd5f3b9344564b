// user32: device-change notification registrations, and the serial-port settings dialog (a system
// dialog answered from the message-box queue of winsim/ui.h).
#include <memory>
#include <set>

#include <winbase.h>

#include "user32/script.h"

using namespace winsim::detail;

namespace {

std::set<void*> g_registrations;

void ResetDeviceNotifications() {
  for (void* r : g_registrations) delete static_cast<HWND*>(r);
  g_registrations.clear();
}
const ResetRegistrar kResetDeviceNotifications(ResetDeviceNotifications);

}  // namespace

extern "C" {

HDEVNOTIFY WINAPI RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD) {
  if (!recipient || !filter) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(Mutex());
  auto* r = new HWND(static_cast<HWND>(recipient));
  g_registrations.insert(r);
  return r;
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle) {
  Guard g(Mutex());
  auto it = g_registrations.find(handle);
  if (it == g_registrations.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete static_cast<HWND*>(*it);
  g_registrations.erase(it);
  return TRUE;
}

BOOL WINAPI CommConfigDialogW(LPCWSTR name, HWND, LPCOMMCONFIG cc) {
  if (!name || !cc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::ui::MessageBoxCall c{Wide(name) + u" Properties", Wide(name), MB_OKCANCEL, 0};
  Answer a;
  if (TakeAnswer(ScriptKind::MessageBox, "CommConfigDialogW: " + ToUtf8(c.text), &a)) c.answer = a.value;
  RecordMessageBox(c);
  if (c.answer != IDOK) {
    SetLastError(ERROR_CANCELLED);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
