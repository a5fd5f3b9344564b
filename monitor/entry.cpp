// Module load, InitializePrintMonitor2, the function table and its entry points. Each entry point checks
// its arguments and the port handle and hands the work to the port, status and bidi functions.
#include <cstring>

#include "common/entry_guard.h"
#include "common/service_folder.h"
#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

volatile LONG g_leftoversDeleted = 0;

// MinGW-w64's FullMonitor2 adds pfnPowerEvent in a derived record, whose base members cannot be
// designated: the declared entries are filled as a MONITOR2.
const FullMonitor2 kTable = [] {
  FullMonitor2 t{};
  static_cast<MONITOR2&>(t) = {.cbSize = sizeof(FullMonitor2), .pfnOpenPortEx = MonOpenPortEx,
                               .pfnStartDocPort = MonStartDocPort, .pfnWritePort = MonWritePort,
                               .pfnReadPort = MonReadPort, .pfnEndDocPort = MonEndDocPort,
                               .pfnClosePort = MonClosePort,
                               .pfnGetPrinterDataFromPort = MonGetPrinterDataFromPort,
                               .pfnShutdown = Shutdown, .pfnSendRecvBidiDataFromPort = MonBidiSendRecv};
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

bool PagesFolderUsable() { return PreparePageFolder() && IsTrustedFolder(LBLMON_FOLDER); }

void DeleteLeftoverPageFiles() {
  if (InterlockedExchange(&g_leftoversDeleted, 1)) return;
  // Only in the service's own folder: through a planted junction the names would be someone else's files.
  if (!PagesFolderUsable()) return;
  WCHAR pattern[MAX_PATH];
  PageFilePathTo(TEXT("*.dat"), pattern, MAX_PATH);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !IsPageFileName(found.cFileName))
      continue;
    WCHAR path[MAX_PATH];
    if (PageFilePathTo(found.cFileName, path, MAX_PATH)) DeleteFileW(path);
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

void ResetMonitorState() {
  InterlockedExchange(&g_leftoversDeleted, 0);
  ResetStatusState();
  ResetDeliveryState();
}

const FullMonitor2* MonitorTable() { return &kTable; }

// Every entry point leaves its work to GuardEntry: no exception reaches the spooler.

LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  return GuardEntry("InitializePrintMonitor2", LPMONITOR2(nullptr), [&]() -> LPMONITOR2 {
    if (!pMonitorInit || !pMonitorInit->hckRegistryRoot || !phMonitor) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    // Here rather than at load: file work does not belong under the loader lock.
    DeleteLeftoverPageFiles();
    *phMonitor = nullptr;
    return const_cast<LPMONITOR2>(static_cast<const MONITOR2*>(&kTable));
  });
}

BOOL WINAPI MonOpenPortEx(HANDLE, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR, PHANDLE pHandle,
                          LPMONITOR2 pMonitor2) {
  return GuardEntry("MonOpenPortEx", BOOL(FALSE), [&]() -> BOOL {
    MonLog(TEXT("MonOpenPortEx: enter OpenPortEx\n"));
    // Only the bytes the port monitor says its table has: an older or shorter table ends there, and the
    // entries behind it stay empty.
    FullMonitor2 table{};
    if (pMonitor2) {
      const size_t reported = pMonitor2->cbSize;
      memcpy(&table, pMonitor2, reported < sizeof table ? reported : sizeof table);
    }
    if (!pMonitor2 || !table.pfnOpenPort || !table.pfnStartDocPort || !table.pfnWritePort || !table.pfnReadPort ||
        !table.pfnClosePort) {
      MonLog(TEXT("MonOpenPortEx: Invalid port monitors passed to OpenPortEx.\n"));
      SetLastError(ERROR_INVALID_PRINT_MONITOR);
      return FALSE;
    }
    if (!pHandle) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return OpenPort(hMonitorPort, pPortName, table, pHandle);
  });
}

BOOL WINAPI MonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  return GuardEntry("MonStartDocPort", BOOL(FALSE), [&]() -> BOOL {
    IniPort* port = PortFromHandle(hPort);
    if (!port || !pDocInfo || !pPrinterName || !*pPrinterName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (Level != 1) {
      SetLastError(ERROR_INVALID_LEVEL);
      return FALSE;
    }
    return StartPortDocument(port, pPrinterName, JobId, Level, pDocInfo);
  });
}

BOOL WINAPI MonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  return GuardEntry("MonWritePort", BOOL(FALSE), [&]() -> BOOL {
    IniPort* port = PortFromHandle(hPort);
    if (!port || !pcbWritten) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return WriteToPort(port, pBuffer, cbBuf, pcbWritten);
  });
}

BOOL WINAPI MonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  return GuardEntry("MonReadPort", BOOL(FALSE), [&]() -> BOOL {
    MonLog(TEXT("MonReadPort: Enter ReadPort, hPort:0x%x\n"), Hex32(hPort));
    IniPort* port = PortFromHandle(hPort);
    if (!port) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return port->portMonitorTable.pfnReadPort(port->hPort, pBuffer, cbBuffer, pcbRead);
  });
}

BOOL WINAPI MonEndDocPort(HANDLE hPort) {
  return GuardEntry("MonEndDocPort", BOOL(FALSE), [&]() -> BOOL {
    MonLog(TEXT("MonEndDocPort: Enter EndDocPort, hPort:0x%x\n"), Hex32(hPort));
    IniPort* port = PortFromHandle(hPort);
    if (!port) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return EndPortDocument(port);
  });
}

BOOL WINAPI MonClosePort(HANDLE hPort) {
  return GuardEntry("MonClosePort", BOOL(FALSE), [&]() -> BOOL {
    IniPort* port = PortFromHandle(hPort);
    if (!port) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return ClosePortHandle(port);
  });
}

BOOL WINAPI MonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                      DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                      LPDWORD lpcbReturned) {
  return GuardEntry("MonGetPrinterDataFromPort", BOOL(FALSE), [&]() -> BOOL {
    IniPort* port = PortFromHandle(hPort);
    if (!port) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return PortPrinterData(port, ControlID, pValueName, lpInBuffer, cbInBuffer, lpOutBuffer, cbOutBuffer,
                           lpcbReturned);
  });
}

DWORD WINAPI MonBidiSendRecv(HANDLE hPort, DWORD, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
                             PBIDI_RESPONSE_CONTAINER* ppResData) {
  constexpr DWORD kCaught = 0xFFFFFFFF;  // the guard's mark: the error is the last error it set
  const DWORD result = GuardEntry("MonBidiSendRecv", kCaught, [&]() -> DWORD {
    IniPort* port = PortFromHandle(hPort);
    if (!port || !ppResData) return ERROR_INVALID_PARAMETER;
    *ppResData = nullptr;
    MonLog(TEXT("MonBidiSendRecv: hPort:0x%x, Action:%ws\n"), Hex32(hPort), pAction);
    return BidiSendRecv(port, pAction, pReqData, ppResData);
  });
  return result == kCaught ? GetLastError() : result;
}

VOID WINAPI Shutdown(HANDLE hMonitor) {
  GuardEntry("Shutdown", [&] {
    MonLog(TEXT("Shutdown: Enter Shutdown, hMonitor:0x%x\n"), static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(hMonitor)));
  });
}
