// Module entry of lbldrv6ui: only the instance is kept, for the catalogue and string resources.
#include "ui/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetUiModule(instance);
  return TRUE;
}
