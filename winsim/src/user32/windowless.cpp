// user32 on a machine that has no windows yet: every window handle is invalid, as it would be on
// Windows for a handle that names no window.
#include "internal.h"

namespace {
template <class T>
T InvalidWindow(T result) {
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return result;
}
}  // namespace

extern "C" {

BOOL WINAPI SetDlgItemTextW(HWND, int, LPCWSTR) { return InvalidWindow(FALSE); }
LRESULT WINAPI SendMessageW(HWND, UINT, WPARAM, LPARAM) { return InvalidWindow(LRESULT(0)); }
LONG_PTR WINAPI SetWindowLongPtrW(HWND, int, LONG_PTR) { return InvalidWindow(LONG_PTR(0)); }
LONG_PTR WINAPI GetWindowLongPtrW(HWND, int) { return InvalidWindow(LONG_PTR(0)); }

}  // extern "C"
