// No C++ exception leaves lbldrv6ui: the spooler, compstui and the window manager call it through
// Windows frames, which the i686 toolchain's unwinder cannot cross, so a throw into them ends the host
// process. Every export, dialog procedure, sheet callback and thread start runs its body through Guarded.
#pragma once

#include "common/entry_guard.h"
#include "common/platform.h"

#include <compstui.h>

// The debug line for an exception other than std::bad_alloc caught at `where`.
void ReportEscapedException(const char* where, const char* what) noexcept;

// body(), or `failure` when it throws: std::bad_alloc sets ERROR_NOT_ENOUGH_MEMORY, anything else
// is reported with ReportEscapedException and sets ERROR_INTERNAL_ERROR (GuardWith).
template <class R, class Body>
R Guarded(const char* where, R failure, Body&& body) noexcept {
  return GuardWith([where](const char* what) { ReportEscapedException(where, what); }, failure, body);
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
