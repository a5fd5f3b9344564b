// Module load, InitializePrintMonitor2 and the function table.
#include "common/service_folder.h"
#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

volatile LONG g_leftoversDeleted = 0;

const FullMonitor2 kTable = [] {
  FullMonitor2 t{};
  t.cbSize = sizeof(FullMonitor2);
  t.pfnOpenPortEx = MonOpenPortEx;
  t.pfnStartDocPort = MonStartDocPort;
  t.pfnWritePort = MonWritePort;
  t.pfnReadPort = MonReadPort;
  t.pfnEndDocPort = MonEndDocPort;
  t.pfnClosePort = MonClosePort;
  t.pfnGetPrinterDataFromPort = MonGetPrinterDataFromPort;
  t.pfnShutdown = Shutdown;
  t.pfnSendRecvBidiDataFromPort = MonBidiSendRecv;
  return t;
}();

}  // namespace

void MonitorProcessAttach() {
  MonLog(TEXT("DLL PROCESS ATTACHED, Version: %hs\n"), kProductVersion);
  InitializeMonitorLock();
}

void MonitorProcessDetach() {
  ReleaseStatusState();
  ReleaseMonitorLocks();
}

void DeleteLeftoverPageFiles() {
  if (InterlockedExchange(&g_leftoversDeleted, 1)) return;
  // Only in the service's own folder: through a planted junction the names would be someone else's files.
  if (!IsTrustedFolder(LBLMON_FOLDER)) return;
  WString pattern = WFormat(TEXT("%s\\*.dat"), LBLMON_FOLDER);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsPageFileName(found.cFileName)) continue;
    WString path = WFormat(TEXT("%s\\%s"), LBLMON_FOLDER, found.cFileName);
    DeleteFileW(path.c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

void ResetMonitorState() {
  InterlockedExchange(&g_leftoversDeleted, 0);
  ResetStatusState();
  ResetDeliveryState();
}

const FullMonitor2* MonitorTable() { return &kTable; }

LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  if (!pMonitorInit || !pMonitorInit->hckRegistryRoot || !phMonitor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Here rather than at load: file work does not belong under the loader lock.
  DeleteLeftoverPageFiles();
  *phMonitor = nullptr;
  return const_cast<LPMONITOR2>(static_cast<const MONITOR2*>(&kTable));
}

VOID WINAPI Shutdown(HANDLE hMonitor) {
  MonLog(TEXT("Shutdown: Enter Shutdown, hMonitor:0x%x\n"), static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(hMonitor)));
}
