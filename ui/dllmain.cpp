// Module entry of lbldrv6ui: the instance is kept, for the catalogue and string resources; the pages'
// activation context is dropped when the DLL is unloaded.
#include "ui/common_controls.h"
#include "ui/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) SetUiModule(instance);
  // At process exit (reserved set) the process's contexts go with it.
  if (reason == DLL_PROCESS_DETACH && !reserved) ReleaseUiActivationContext();
  return TRUE;
}
