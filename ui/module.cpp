#include "ui/module.h"

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
