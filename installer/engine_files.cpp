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
  if (WStrCopyN(dir, cap, reinterpret_cast<const WCHAR*>(buf), sizeof buf / sizeof(WCHAR))) return true;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return false;
}

bool FormatPath(WCHAR (&out)[MAX_PATH], const WCHAR* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = WFormatToV(out, MAX_PATH, fmt, ap);
  va_end(ap);
  if (n < 0) {
    DebugTrace("Path too long: %ws", out);
    out[0] = 0;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);  // the caller reports why, not an earlier call's error
    return false;
  }
  return true;
}

bool PackageInfPath(const Engine& e, WCHAR (&out)[MAX_PATH]) {
  return FormatPath(out, TEXT("%wslblv6.inf"), e.installerDir);
}

namespace {

const WCHAR* const kDriverFiles[] = {TEXT("lbldrv6.dll"), TEXT("lbldrv6ui.dll"), TEXT("lblmon.dll")};
const WCHAR kDataFile[] = TEXT("lbldrv6.dat");
const WCHAR kMonitorFile[] = TEXT("lblmon.dll");

// A file of the architecture folder, or of "dat" for the data file.
bool SourcePath(const Engine& e, const WCHAR* fileName, WCHAR (&src)[MAX_PATH]) {
  if (WStrEqNoCase(fileName, kDataFile)) return FormatPath(src, TEXT("%wsdat\\%ws"), e.installerDir, fileName);
  const WCHAR* arch = ArchitectureFolder();
  if (!arch) {
    DebugTrace("Unsupported processor architecture, file:%ws not copied.", fileName);
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return FormatPath(src, TEXT("%ws%ws\\%ws"), e.installerDir, arch, fileName);
}

bool Exists(const WCHAR* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Copies src over dst without ever leaving dst missing or half written: the copy goes to a temporary
// name beside dst first, the old file is set aside, and the copy takes its place.
bool ReplaceFile(const WCHAR* src, const WCHAR* dst, InstallChanges* changes) {
  WCHAR fresh[MAX_PATH], aside[MAX_PATH];
  if (!FormatPath(fresh, TEXT("%ws.lblnew"), dst) || !FormatPath(aside, TEXT("%ws.lblold"), dst)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  DeleteFileW(fresh);
  BOOL copied = CopyFileW(src, fresh, FALSE);
  DebugTrace("CopyFile file:%ws to %ws, %d, errcode:%d.", src, fresh, copied, copied ? 0 : GetLastError());
  if (!copied) return false;
  const bool existed = Exists(dst);
  if (existed) {
    DeleteFileW(aside);
    if (!MoveFileExW(dst, aside, MOVEFILE_REPLACE_EXISTING)) {
      const DWORD err = GetLastError();
      DebugTrace("Set aside file:%ws, errcode:%d.", dst, err);
      DeleteFileW(fresh);
      SetLastError(err);
      return false;
    }
  }
  if (!MoveFileExW(fresh, dst, MOVEFILE_REPLACE_EXISTING)) {
    const DWORD err = GetLastError();
    DebugTrace("Replace file:%ws, errcode:%d.", dst, err);
    if (existed) MoveFileExW(aside, dst, MOVEFILE_REPLACE_EXISTING);
    DeleteFileW(fresh);
    SetLastError(err);
    return false;
  }
  if (changes) changes->files.push_back({WString(dst), existed ? WString(aside) : WString()});
  else if (existed) DeleteFileW(aside);
  return true;
}

bool PollPresent(bool (*present)(const WCHAR*), const WCHAR* name) {
  for (int i = 0; i < 5; ++i) {
    if (present(name)) return true;
    Sleep(1000);
  }
  return false;
}

}  // namespace

bool PackageFilesPresent(const Engine& e) {
  for (const WCHAR* f : {kDriverFiles[0], kDriverFiles[1], kDriverFiles[2], kDataFile}) {
    WCHAR src[MAX_PATH];
    if (!SourcePath(e, f, src)) return false;
    if (!Exists(src)) {
      DebugTrace("Missing package file:%ws.", src);
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
  }
  return true;
}

bool CopyDriverFile(const Engine& e, const WCHAR* fileName, InstallChanges* changes) {
  WCHAR src[MAX_PATH], dir[MAX_PATH], dst[MAX_PATH];
  if (!SourcePath(e, fileName, src)) return false;
  if (!Exists(src)) {
    DebugTrace("Missing package file:%ws.", src);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (!DriverDirectory(dir, MAX_PATH) || !FormatPath(dst, TEXT("%ws\\%ws"), dir, fileName)) return false;
  if (!ReplaceFile(src, dst, changes)) return false;
  // The spooler loads a monitor from the system directory only.
  if (!WStrEqNoCase(fileName, kMonitorFile)) return true;
  WCHAR system[MAX_PATH];
  if (!GetSystemDirectoryW(system, MAX_PATH) || !FormatPath(dst, TEXT("%ws\\%ws"), system, fileName)) return false;
  return ReplaceFile(src, dst, changes);
}

void CommitFileChanges(InstallChanges& changes) {
  for (const FileChange& f : changes.files)
    if (!f.backup.empty() && !DeleteFileW(f.backup.c_str()) && Exists(f.backup.c_str()))
      MoveFileExW(f.backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  changes.files.clear();
}

void RestoreFileChanges(InstallChanges& changes) {
  for (auto f = changes.files.rbegin(); f != changes.files.rend(); ++f) {
    const BOOL ok = f->backup.empty() ? DeleteFileW(f->path.c_str())
                                      : MoveFileExW(f->backup.c_str(), f->path.c_str(), MOVEFILE_REPLACE_EXISTING);
    DebugTrace("Restore file:%ws, %d, errcode:%d.", f->path.c_str(), ok, ok ? 0 : GetLastError());
  }
  changes.files.clear();
}

namespace {

// The installed driver's level 8 record, which lives in `buf`; nullptr when there is none.
const DRIVER_INFO_8W* FindDriverRecord(const WCHAR* driverName, std::vector<BYTE>* buf) {
  DWORD count = 0;
  *buf = DriverRecords(8, nullptr, &count);
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_8W*>(buf->data());
  for (DWORD i = 0; i < count; ++i)
    if (WStrEq(drivers[i].pName, driverName)) return &drivers[i];
  return nullptr;
}

}  // namespace

bool IsDriverInstalled(const WCHAR* driverName) {
  std::vector<BYTE> buf;
  return FindDriverRecord(driverName, &buf) != nullptr;
}

WString DriverHardwareId(const WCHAR* driverName) {
  std::vector<BYTE> buf;
  const DRIVER_INFO_8W* driver = FindDriverRecord(driverName, &buf);
  return driver && driver->pszHardwareID ? WString(driver->pszHardwareID) : WString();
}

bool IsPrinterInstalled(const WCHAR* printerName) {
  // An empty name would open the print server, not a printer.
  if (!IsValidPrinterName(printerName)) return false;
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &h, nullptr) || !h) return false;
  ClosePrinter(h);
  return true;
}

bool IsMonitorInstalled() {
  DWORD count = 0;
  std::vector<BYTE> buf = EnumerateRecords(&count, [](BYTE* b, DWORD bytes, DWORD* needed, DWORD* n) {
    return EnumMonitorsW(nullptr, 1, b, bytes, needed, n);
  });
  auto* monitors = reinterpret_cast<MONITOR_INFO_1W*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    if (WStrEqNoCase(monitors[i].pName, kMonitorName)) return true;
  return false;
}

bool InstallPrinterLanguageMonitor() {
  MONITOR_INFO_2W info{};
  info.pName = const_cast<LPWSTR>(kMonitorName);
  info.pEnvironment = nullptr;
  info.pDLLName = const_cast<LPWSTR>(kMonitorFile);
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
  d.pDataFile = const_cast<LPWSTR>(kDataFile);
  d.pConfigFile = const_cast<LPWSTR>(TEXT("lbldrv6ui.dll"));
  d.pHelpFile = nullptr;
  d.pDependentFiles = dependent;
  d.pMonitorName = const_cast<LPWSTR>(kMonitorName);
  d.pDefaultDataType = const_cast<LPWSTR>(TEXT("RAW"));
  d.pszHardwareID = const_cast<LPWSTR>(r.hardwareId);
  d.dwlDriverVersion = ParseVersion(kPackageVersion);  // what the upgrade page compares
  if (!AddPrinterDriverExW(nullptr, 8, reinterpret_cast<LPBYTE>(&d), APD_COPY_NEW_FILES)) {
    DWORD err = GetLastError();
    DebugTrace("AddPrinterDriver failed, errcode:%d.", err);
    SetLastError(err);
    return false;
  }
  if (PollPresent(IsDriverInstalled, r.model)) return true;
  SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
  return false;
}

DWORD InstallDriverFiles(const Engine& e, const InstallRecord& r, InstallChanges& changes) {
  // A step that failed without saying why still fails the run.
  auto why = [] {
    const DWORD err = GetLastError();
    return err ? err : DWORD(ERROR_INVALID_FUNCTION);
  };
  // Nothing installed is touched unless every file is there to replace it.
  if (!PackageFilesPresent(e)) return why();
  for (const WCHAR* f : {kDriverFiles[0], kDriverFiles[1], kDataFile, kDriverFiles[2]})
    if (!CopyDriverFile(e, f, &changes)) return why();
  if (!IsMonitorInstalled()) {
    if (!InstallPrinterLanguageMonitor()) return why();
    changes.monitorAdded = true;
  }
  if (!IsDriverInstalled(r.model)) {
    if (!AddDriver(r)) return why();
    changes.driverAdded = true;
  }
  return ERROR_SUCCESS;
}
