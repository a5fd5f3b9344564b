// The user-interface driver interface: MinGW-w64's winddiui.h carries the printer events and the
// property sheet records (compstui.h); the records and exports below are the rest of the WDK header,
// with its layouts.
#pragma once

#include <winddiui.h>

#ifndef DM_NOPERMISSION
#define DM_ADVANCED 0x10
#define DM_NOPERMISSION 0x20
#define DM_USER_DEFAULT 0x40
#endif

#ifndef CDM_CONVERT
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04
#endif

#ifndef DPS_NOPERMISSION
#define DPS_NOPERMISSION 0x0001
#endif

typedef struct _DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;

typedef struct _DEVICEPROPERTYHEADER {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;

typedef struct _DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

typedef struct _DRIVER_UPGRADE_INFO_1W {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
} DRIVER_UPGRADE_INFO_1W, *PDRIVER_UPGRADE_INFO_1W;

typedef struct _DRIVER_UPGRADE_INFO_2W {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
  LPWSTR pHelpFile;
  LPWSTR pDependentFiles;
  LPWSTR pMonitorName;
  LPWSTR pDefaultDataType;
  LPWSTR pszzPreviousNames;
} DRIVER_UPGRADE_INFO_2W, *PDRIVER_UPGRADE_INFO_2W;

#ifdef _WIN64
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 48, "DOCUMENTPROPERTYHEADER layout");
static_assert(sizeof(DEVQUERYPRINT_INFO) == 40, "DEVQUERYPRINT_INFO layout");
static_assert(sizeof(DRIVER_UPGRADE_INFO_2W) == 104, "DRIVER_UPGRADE_INFO_2W layout");
#endif

#ifdef __cplusplus
extern "C" {
#endif
DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap, VOID* pvOutput,
                                   PDEVMODEW pDevMode);
DWORD WINAPI DrvSplDeviceCaps(HANDLE hPrinter, PWSTR pDeviceName, WORD Capability, PVOID pOutput, DWORD cchBufSize,
                              PDEVMODEW pDevMode);
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, PLONG pcbNeeded, DWORD fMode);
BOOL WINAPI DrvUpgradePrinter(DWORD Level, LPBYTE pDriverUpgradeInfo);
BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo);
#ifdef __cplusplus
}
#endif
