#include "installer/strings.h"

#include <windows.h>

#include <mutex>
#include <set>

#include "common/wstr.h"

#ifndef _WIN32
#include "winsim/machine.h"
#include "winsim/resources.h"
extern "C" const unsigned char lbl_inst_res[], lbl_inst_res_end[];
#endif

namespace {

// Texts loaded from the string table stay for the life of the process, each once, so that callers may
// keep the pointers (the log lines of a run, a message box's caption and text) as with the literals.
const WCHAR* Keep(const WCHAR* text, int length) {
  static std::mutex lock;
  static std::set<WString> kept;
  std::lock_guard<std::mutex> hold(lock);
  return kept.emplace(text, size_t(length)).first->c_str();
}

}  // namespace

HINSTANCE InstallerModule() {
#ifdef _WIN32
  return GetModuleHandleW(nullptr);
#else
  static const HINSTANCE module = [] {
    HMODULE m = winsim::RegisterModule(u"lblinst32.exe");
    winsim::AddResourceFile(m, lbl_inst_res, size_t(lbl_inst_res_end - lbl_inst_res));
    return m;
  }();
  return module;
#endif
}

// The program's string table in the user's UI language (the resource loader picks the language's block,
// English when it has none).
const WCHAR* InstallerString(UINT id) {
  const WCHAR* text = nullptr;
  const DWORD error = GetLastError();  // callers log a step's text before reading why it failed
  const int length = LoadStringW(InstallerModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  SetLastError(error);
  return length > 0 && text ? Keep(text, length) : TEXT("");
}
