#include "ui/common_controls.h"

#include <commctrl.h>

#include <mutex>

#include "ui/module.h"

namespace {

std::mutex g_lock;
bool g_made = false;
HINSTANCE g_madeFor = nullptr;  // the module whose manifest the context holds
HANDLE g_context = nullptr;

HANDLE MakeContext() {
  ACTCTXW ac{};
  ac.cbSize = sizeof ac;
  ac.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  ac.hModule = UiModule();
  ac.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
  HANDLE context = CreateActCtxW(&ac);
  if (context == INVALID_HANDLE_VALUE) {
    OutputDebugStringW(TEXT("lbldrv6ui: no activation context from the DLL's manifest; the pages use the process's controls"));
    context = nullptr;
  }
  // The classes the pages use, registered for the comctl32 the context binds (the documented step
  // before creating common controls).
  ULONG_PTR cookie = 0;
  const bool active = context && ActivateActCtx(context, &cookie);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  if (active) DeactivateActCtx(0, cookie);
  return context;
}

}  // namespace

HANDLE UiActivationContext() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!g_made || g_madeFor != UiModule()) {
    if (g_context) ReleaseActCtx(g_context);
    g_context = MakeContext();
    g_madeFor = UiModule();
    g_made = true;
  }
  return g_context;
}

void UseUiActivationContext(PROPSHEETPAGEW* page) {
  if (HANDLE context = UiActivationContext()) {
    page->dwFlags |= PSP_USEFUSIONCONTEXT;
    page->hActCtx = context;
  }
}

void ReleaseUiActivationContext() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_context) ReleaseActCtx(g_context);
  g_context = nullptr;
  g_made = false;
}
