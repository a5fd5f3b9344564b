// Module entry of lbldrv6: only the instance is kept; PDEVs and jobs start with GDI's calls.
#include "render/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetRenderModule(instance);
  return TRUE;
}
