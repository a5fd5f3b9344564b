#include "installer/strings.h"

#include <windows.h>

#ifndef _WIN32
#include "winsim/machine.h"
#include "winsim/resources.h"
extern "C" const unsigned char lbl_inst_res[], lbl_inst_res_end[];
#endif

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

const WCHAR* InstallerString(UINT id) {
  // A few buffers in turn: callers pass two texts to one format (text and caption) now and then.
  constexpr int kBuffers = 8, kChars = 512;
  thread_local WCHAR buffers[kBuffers][kChars];
  thread_local int next = 0;
  WCHAR* out = buffers[next];
  next = (next + 1) % kBuffers;
  if (LoadStringW(InstallerModule(), id, out, kChars) <= 0) out[0] = 0;
  return out;
}
