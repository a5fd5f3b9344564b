#include "ui/module.h"

#include <commdlg.h>

#include "common/wstr.h"

namespace {
HINSTANCE g_module = nullptr;
}  // namespace

HINSTANCE UiModule() { return g_module; }

void SetUiModule(HINSTANCE instance) { g_module = instance; }

int LoadUiString(UINT id, WCHAR* buf, int cap) {
  if (!buf || cap <= 0) return 0;
  buf[0] = 0;
  return LoadStringW(g_module, id, buf, cap);
}

bool ChooseExistingFile(HWND owner, UINT filterNameId, const WCHAR* pattern, WCHAR* path, DWORD chars) {
  WCHAR filter[64] = {};
  const int n = LoadUiString(filterNameId, filter, 48);
  WStrCopy(filter + n + 1, size_t(64 - n - 1), pattern);  // pairs of terminated strings, then one more 0
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = path;
  ofn.nMaxFile = chars;
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  return GetOpenFileNameW(&ofn) != FALSE;
}
