// Module entry of lblmon. Only the load message and the locks happen here; the clean-up of leftover page
// files waits for InitializePrintMonitor2, outside the loader lock.
#include "common/entry_guard.h"
#include "monitor/monitor.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  return GuardEntry("DllMain", BOOL(FALSE), [&] {
    if (reason == DLL_PROCESS_ATTACH) MonitorProcessAttach();
    // At process exit (reserved set) other threads are gone or frozen; nothing needs releasing then.
    if (reason == DLL_PROCESS_DETACH && !reserved) MonitorProcessDetach();
    return TRUE;
  });
}
