// winsim: the spooler side of print monitors (winsplp.h), with the Windows layouts: the monitor tables,
// MONITORINIT and the router's bidirectional response memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winspool.h>

// ---- print monitors -----------------------------------------------------------------------
typedef struct _COMMTIMEOUTS* LPCOMMTIMEOUTS;
typedef struct _POWERBROADCAST_SETTING POWERBROADCAST_SETTING;
typedef HANDLE HKEYMONITOR;

typedef struct _MONITORREG {
  DWORD cbSize;
  LONG(WINAPI* fpCreateKey)(HANDLE hcKey, LPCWSTR pszSubKey, DWORD dwOptions, REGSAM samDesired,
                            PSECURITY_ATTRIBUTES pSecurityAttributes, PHANDLE phckResult, PDWORD pdwDisposition,
                            HANDLE hSpooler);
  LONG(WINAPI* fpOpenKey)(HANDLE hcKey, LPCWSTR pszSubKey, REGSAM samDesired, PHANDLE phkResult, HANDLE hSpooler);
  LONG(WINAPI* fpCloseKey)(HANDLE hcKey, HANDLE hSpooler);
  LONG(WINAPI* fpDeleteKey)(HANDLE hcKey, LPCWSTR pszSubKey, HANDLE hSpooler);
  LONG(WINAPI* fpEnumKey)(HANDLE hcKey, DWORD dwIndex, LPWSTR pszName, PDWORD pcchName,
                          PFILETIME pftLastWriteTime, HANDLE hSpooler);
  LONG(WINAPI* fpQueryInfoKey)(HANDLE hcKey, PDWORD pcSubKeys, PDWORD pcbKey, PDWORD pcValues, PDWORD pcbValue,
                               PDWORD pcbData, PDWORD pcbSecurityDescriptor, PFILETIME pftLastWriteTime,
                               HANDLE hSpooler);
  LONG(WINAPI* fpSetValue)(HANDLE hcKey, LPCWSTR pszValue, DWORD dwType, const BYTE* pData, DWORD cbData,
                           HANDLE hSpooler);
  LONG(WINAPI* fpDeleteValue)(HANDLE hcKey, LPCWSTR pszValue, HANDLE hSpooler);
  LONG(WINAPI* fpEnumValue)(HANDLE hcKey, DWORD dwIndex, LPWSTR pszValue, PDWORD pcbValue, PDWORD pType,
                            PBYTE pData, PDWORD pcbData, HANDLE hSpooler);
  LONG(WINAPI* fpQueryValue)(HANDLE hcKey, LPCWSTR pszValue, PDWORD pType, PBYTE pData, PDWORD pcbData,
                             HANDLE hSpooler);
} MONITORREG, *PMONITORREG;

typedef struct _MONITORINIT {
  DWORD cbSize;
  HANDLE hSpooler;
  HKEYMONITOR hckRegistryRoot;
  PMONITORREG pMonitorReg;
  BOOL bLocal;
  LPCWSTR pszServerName;
} MONITORINIT, *PMONITORINIT;

// The port monitor table of the first monitor interface (no monitor handle argument).
typedef struct _MONITOR {
  BOOL(WINAPI* pfnEnumPorts)(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                             LPDWORD pcReturned);
  BOOL(WINAPI* pfnOpenPort)(LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI* pfnOpenPortEx)(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle, struct _MONITOR* pMonitor);
  BOOL(WINAPI* pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI* pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI* pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI* pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI* pfnAddPort)(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI* pfnAddPortEx)(LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI* pfnConfigurePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnDeletePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                          DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                          LPDWORD lpcbReturned);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI* pfnXcvOpenPort)(LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI* pfnXcvDataPort)(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                                PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded);
  BOOL(WINAPI* pfnXcvClosePort)(HANDLE hXcv);
} MONITOR, *LPMONITOR;

// The monitor table of the second interface, with every entry of the current SDK (pfnPowerEvent last).
typedef struct _MONITOR2 {
  DWORD cbSize;
  BOOL(WINAPI* pfnEnumPorts)(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                             LPDWORD pcbNeeded, LPDWORD pcReturned);
  BOOL(WINAPI* pfnOpenPort)(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI* pfnOpenPortEx)(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName,
                              PHANDLE pHandle, struct _MONITOR2* pMonitor2);
  BOOL(WINAPI* pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI* pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI* pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI* pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI* pfnAddPort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI* pfnAddPortEx)(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI* pfnConfigurePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnDeletePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                          DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                          LPDWORD lpcbReturned);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI* pfnXcvOpenPort)(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI* pfnXcvDataPort)(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                                PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded);
  BOOL(WINAPI* pfnXcvClosePort)(HANDLE hXcv);
  VOID(WINAPI* pfnShutdown)(HANDLE hMonitor);
  DWORD(WINAPI* pfnSendRecvBidiDataFromPort)(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction,
                                             PBIDI_REQUEST_CONTAINER pReqData,
                                             PBIDI_RESPONSE_CONTAINER* ppResData);
  DWORD(WINAPI* pfnNotifyUsedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR* ppszPorts);
  DWORD(WINAPI* pfnNotifyUnusedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR* ppszPorts);
  DWORD(WINAPI* pfnPowerEvent)(HANDLE hMonitor, DWORD event, POWERBROADCAST_SETTING* pSettings);
} MONITOR2, *LPMONITOR2, *PMONITOR2;

#define MONITOR2_SIZE_WIN2K (sizeof(DWORD) + (sizeof(PVOID) * 18))

// 92 bytes in the 32-bit build, 184 in the 64-bit one.
static_assert(sizeof(MONITOR2) == (sizeof(void*) == 8 ? 184 : 92));
static_assert(offsetof(MONITOR2, pfnOpenPortEx) == 3 * sizeof(void*));
static_assert(offsetof(MONITOR2, pfnGetPrinterDataFromPort) == 13 * sizeof(void*));
static_assert(offsetof(MONITOR2, pfnShutdown) == 18 * sizeof(void*));
static_assert(offsetof(MONITOR2, pfnSendRecvBidiDataFromPort) == 19 * sizeof(void*));
static_assert(offsetof(MONITOR2, pfnPowerEvent) == 22 * sizeof(void*));
static_assert(offsetof(MONITOR, pfnGetPrinterDataFromPort) == 12 * sizeof(void*));
static_assert(sizeof(MONITOR) == 17 * sizeof(void*));
static_assert(sizeof(MONITORINIT) == (sizeof(void*) == 8 ? 48 : 24));
static_assert(offsetof(MONITORINIT, hckRegistryRoot) == 2 * sizeof(void*));

extern "C" {
// Exported by a language or port monitor; called once by the spooler after loading it.
LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor);

// Bidirectional response memory: the spooler releases what a monitor hands back.
PBIDI_RESPONSE_CONTAINER WINAPI RouterAllocBidiResponseContainer(DWORD Count);
PVOID WINAPI RouterAllocBidiMem(size_t NumBytes);
DWORD WINAPI RouterFreeBidiResponseContainer(PBIDI_RESPONSE_CONTAINER pData);
VOID WINAPI RouterFreeBidiMem(PVOID pMemPointer);
}
