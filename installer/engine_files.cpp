// The package files and their registration: architecture folder, driver directory, copies, the language
// monitor, the driver record and the printer.
#include <cstdarg>
#include <vector>

#include "installer/debugtrace.h"
#include "installer/engine.h"
#include "installer/enumerate.h"

bool InstallerDirFromModulePath(const WCHAR* modulePath, WCHAR* dir, size_t cap) {
  size_t len = WStrLen(modulePath), cut = 0, folder = 0;
  for (size_t i = 0; i < len; ++i)
    if (modulePath[i] == '\\' || modulePath[i] == '/') folder = cut, cut = i + 1;
  // The package holds one program per architecture, in the architecture folders beside the DLLs; the
  // installer directory of "<package>\amd64\lblinst32.exe" is the package's root.
  if (folder > 0 && cut - folder - 1 <= 5) {
    WCHAR name[6] = {};
    for (size_t i = folder; i + 1 < cut; ++i) name[i - folder] = modulePath[i];
    for (const WCHAR* arch : {TEXT("i386"), TEXT("amd64"), TEXT("arm"), TEXT("arm64")})
      if (WStrEqNoCase(name, arch)) cut = folder;
  }
  if (cut == 0 || cut >= cap) {
    if (cap) dir[0] = 0;
    return false;
  }
  for (size_t i = 0; i < cut; ++i) dir[i] = modulePath[i];
  dir[cut] = 0;
  return true;
}

const WCHAR* ArchitectureFolder() {
  SYSTEM_INFO si{};
  GetNativeSystemInfo(&si);
  switch (si.wProcessorArchitecture) {
    case 0: return TEXT("i386");
    case 5: return TEXT("arm");
    case 9: return TEXT("amd64");
    case 12: return TEXT("arm64");
    default: return nullptr;
  }
}

const WCHAR* EnvironmentArgument() {
  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = 6;
  v.dwMinorVersion = 0;
  v.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  if (VerifyVersionInfoW(&v, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask)) return nullptr;
  return TEXT("all");
}

bool DriverDirectory(WCHAR* dir, size_t cap) {
  BYTE buf[520] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buf, sizeof buf, &needed)) {
    DebugTrace("GetPrinterDriverDirectory failed, errcode:%d.", GetLastError());
    if (cap) dir[0] = 0;
    return false;
  }
  return WStrCopyN(dir, cap, reinterpret_cast<const WCHAR*>(buf), sizeof buf / sizeof(WCHAR));
}

bool FormatPath(WCHAR (&out)[MAX_PATH], const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = WFormatToV(out, MAX_PATH, fmt, ap);
  va_end(ap);
  if (n < 0) {
    DebugTrace("Path too long: %ws", out);
    out[0] = 0;
    return false;
  }
  return true;
}

bool PackageInfPath(const Engine& e, WCHAR (&out)[MAX_PATH]) {
  return FormatPath(out, TEXT("%wslblv6.inf"), e.installerDir);
}

namespace {

// Source in the architecture folder (or "dat" for the data file), destination in the driver directory.
bool SourceAndDestination(const Engine& e, const WCHAR* fileName, bool dataFile, WCHAR (&src)[MAX_PATH],
                          WCHAR (&dst)[MAX_PATH]) {
  WCHAR driverDir[MAX_PATH];
  if (!DriverDirectory(driverDir, MAX_PATH)) return false;
  if (dataFile) {
    if (!FormatPath(src, TEXT("%wsdat\\%ws"), e.installerDir, fileName)) return false;
  } else {
    const WCHAR* arch = ArchitectureFolder();
    if (!arch) {
      DebugTrace("Unsupported processor architecture, file:%ws not copied.", fileName);
      return false;
    }
    if (!FormatPath(src, TEXT("%ws%ws\\%ws"), e.installerDir, arch, fileName)) return false;
  }
  return FormatPath(dst, TEXT("%ws\\%ws"), driverDir, fileName);
}

bool PollPresent(bool (*present)(const WCHAR*), const WCHAR* name) {
  for (int i = 0; i < 5; ++i) {
    if (present(name)) return true;
    Sleep(1000);
  }
  return false;
}

}  // namespace

bool CopyDriverFile(const Engine& e, const WCHAR* fileName) {
  WCHAR src[MAX_PATH], dst[MAX_PATH];
  if (!SourceAndDestination(e, fileName, false, src, dst)) return false;
  BOOL removed = DeleteFileW(dst);
  DebugTrace("Remove file:%ws, %d, errcode:%d.", dst, removed, removed ? 0 : GetLastError());
  BOOL copied = CopyFileW(src, dst, FALSE);
  DebugTrace("CopyFile file:%ws to %ws, %d, errcode:%d.", src, dst, copied, copied ? 0 : GetLastError());
  return copied != FALSE;
}

bool IsDriverInstalled(const WCHAR* driverName) {
  DWORD count = 0;
  std::vector<BYTE> buf = DriverRecords(8, nullptr, &count);
  auto* drivers = reinterpret_cast<DRIVER_INFO_8W*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    if (WStrEq(drivers[i].pName, driverName)) return true;
  return false;
}

bool IsPrinterInstalled(const WCHAR* printerName) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &h, nullptr) || !h) return false;
  ClosePrinter(h);
  return true;
}

bool InstallPrinterLanguageMonitor() {
  MONITOR_INFO_2W info{};
  info.pName = const_cast<LPWSTR>(kMonitorName);
  info.pEnvironment = nullptr;
  info.pDLLName = const_cast<LPWSTR>(TEXT("lblmon.dll"));
  if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return true;
  DWORD err = GetLastError();
  if (err == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) return true;  // registered before
  DebugTrace("InstallPrinterLanguageMonitor failed, errcode:%d.", err);
  SetLastError(err);
  return false;
}

bool AddDriver(const InstallRecord& r) {
  WCHAR dependent[12] = TEXT("lblmon.dll");  // the list ends with two zero characters
  dependent[10] = 0;
  dependent[11] = 0;
  DRIVER_INFO_8W d{};
  d.cVersion = 3;
  d.pName = const_cast<LPWSTR>(r.model);
  d.pEnvironment = nullptr;
  d.pDriverPath = const_cast<LPWSTR>(TEXT("lbldrv6.dll"));
  d.pDataFile = const_cast<LPWSTR>(TEXT("lbldrv6.dat"));
  d.pConfigFile = const_cast<LPWSTR>(TEXT("lbldrv6ui.dll"));
  d.pHelpFile = nullptr;
  d.pDependentFiles = dependent;
  d.pMonitorName = const_cast<LPWSTR>(kMonitorName);
  d.pDefaultDataType = const_cast<LPWSTR>(TEXT("RAW"));
  d.pszHardwareID = const_cast<LPWSTR>(r.hardwareId);
  if (!AddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&d))) {
    DebugTrace("AddPrinterDriver failed, errcode:%d.", GetLastError());
    return false;
  }
  return PollPresent(IsDriverInstalled, r.model);
}

bool InstallDriverFiles(const Engine& e, const InstallRecord& r) {
  CopyDriverFile(e, TEXT("lbldrv6.dll"));
  CopyDriverFile(e, TEXT("lbldrv6ui.dll"));
  WCHAR src[MAX_PATH], dst[MAX_PATH];
  if (SourceAndDestination(e, TEXT("lbldrv6.dat"), true, src, dst)) {
    DeleteFileW(dst);
    BOOL copied = CopyFileW(src, dst, FALSE);
    DebugTrace("CopyFile file:%ws to %ws, %d, errcode:%d.", src, dst, copied, copied ? 0 : GetLastError());
  }
  CopyDriverFile(e, TEXT("lblmon.dll"));

  bool stepResult;
  if (InstallPrinterLanguageMonitor()) {
    if (!IsDriverInstalled(r.model) && !AddDriver(r)) return false;
    stepResult = true;
  } else {
    stepResult = false;  // the driver is not added; the printer step still runs
  }

  if (IsPrinterInstalled(r.printerName)) {
    DebugTrace("The printer %ws is already added.", r.printerName);
    return true;
  }
  PRINTER_INFO_2W p{};
  p.pPrinterName = const_cast<LPWSTR>(r.printerName);
  p.pPortName = const_cast<LPWSTR>(r.portName);
  p.pDriverName = const_cast<LPWSTR>(r.model);
  p.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
  p.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  p.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  if (!h) DebugTrace("AddPrinter failed, errcode:%d.", GetLastError());
  else ClosePrinter(h);
  if (PollPresent(IsPrinterInstalled, r.printerName)) return true;
  return stepResult;
}
