// No C++ exception leaves lbldrv6ui: the spooler, compstui and the window manager call it through
// Windows frames, which the i686 toolchain's unwinder cannot cross, so a throw into them ends the host
// process. Every export, dialog procedure, sheet callback and thread start runs its body through Guarded.
#pragma once

#include <new>

#include "common/platform.h"

#include <compstui.h>

// The debug line for an exception other than std::bad_alloc caught at `where`, and ERROR_INTERNAL_ERROR.
void ReportEscapedException(const char* where, const char* what) noexcept;

// body(), or `failure` when it throws: std::bad_alloc sets ERROR_NOT_ENOUGH_MEMORY, anything else
// is reported with ReportEscapedException.
template <class R, class Body>
R Guarded(const char* where, R failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception& e) {
    ReportEscapedException(where, e.what());
  } catch (...) {
    ReportEscapedException(where, nullptr);
  }
  return failure;
}

// A dialog procedure run through Guarded: a throw is a message the procedure did not handle.
template <INT_PTR(CALLBACK* Proc)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK GuardedDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded("dialog procedure", INT_PTR(FALSE), [&] { return Proc(dlg, message, wParam, lParam); });
}

// The same for compstui's callback: a throw applies nothing.
template <LONG(APIENTRY* Callback)(PCPSUICBPARAM)>
LONG APIENTRY GuardedSheetCallback(PCPSUICBPARAM param) {
  return Guarded("sheet callback", LONG(CPSUICB_ACTION_NONE), [param] { return Callback(param); });
}
