// kernel32: LoadLibraryW for the system's own DLLs. A program loads them for their
// window classes (riched20.dll for "RichEdit20W"); winsim's classes exist from the start, so loading
// only gives the module a handle (the loader's FreeLibrary leaves such names registered).
#include <windows.h>

#include "internal.h"
#include "winsim/machine.h"

using namespace winsim::detail;

namespace {

const char16_t* const kSystemDlls[] = {u"RICHED20.DLL", u"MSFTEDIT.DLL", u"COMCTL32.DLL", u"COMDLG32.DLL",
                                       u"SHELL32.DLL",  u"USER32.DLL",   u"GDI32.DLL",    u"WINSPOOL.DRV",
                                       u"GDIPLUS.DLL",  u"SETUPAPI.DLL", u"NEWDEV.DLL",   u"WS2_32.DLL"};

std::u16string BaseName(std::u16string name) {
  size_t slash = name.find_last_of(u"\\/");
  if (slash != std::u16string::npos) name.erase(0, slash + 1);
  name = Upper(name);
  if (name.find(u'.') == std::u16string::npos) name += u".DLL";
  return name;
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR file) {
  if (!file || !*file) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (HMODULE loaded = GetModuleHandleW(file)) return loaded;
  const std::u16string base = BaseName(Wide(file));
  for (const char16_t* dll : kSystemDlls)
    if (base == dll) return winsim::RegisterModule(base);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // extern "C"
