// Uninstall mode: printers (purged first), standard TCP/IP ports, the package's drivers and their files,
// the driver package, and the restart that finishes postponed deletions.
#include <atomic>
#include <vector>

#include "installer/debugtrace.h"
#include "installer/engine.h"
#include "installer/enumerate.h"
#include "installer/model.h"
#include "installer/strings.h"

#ifndef MOVEFILE_DELAY_UNTIL_REBOOT
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#endif
#ifndef SUOI_FORCEDELETE
#define SUOI_FORCEDELETE 0x00000001
#endif
#ifndef DPD_DELETE_UNUSED_FILES
#define DPD_DELETE_UNUSED_FILES 0x00000001
#define DPD_DELETE_SPECIFIC_VERSION 0x00000002
#endif
#ifndef INFINFO_INF_NAME_IS_ABSOLUTE
#define INFINFO_INF_NAME_IS_ABSOLUTE 2
#endif

namespace {

// Written and read only by the work thread of an uninstall run; atomic so that a later run on another
// thread sees a consistent value.
std::atomic<bool> g_reboot{false};

const WCHAR kMonitorFile[] = TEXT("lblmon.dll");

const WCHAR* BaseName(const WCHAR* path) {
  const WCHAR* base = path;
  for (const WCHAR* p = path; p && *p; ++p)
    if (*p == '\\' || *p == '/') base = p + 1;
  return base;
}

// Deletes one file, or has it deleted at the next restart when it is in use.
void DeleteOrPostpone(const WCHAR* path) {
  if (!path || !path[0] || DeleteFileW(path)) return;
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return;  // already gone
  if (MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) g_reboot = true;
}

// Whether any installed driver (every environment) names the language monitor.
bool MonitorStillNamed() {
  DWORD count = 0;
  std::vector<BYTE> buf = DriverRecords(3, TEXT("all"), &count);
  auto* d = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    if (d[i].pMonitorName && WStrEqNoCase(d[i].pMonitorName, kMonitorName)) return true;
  return false;
}

int Ask(const Engine& e, UINT text, UINT caption, UINT type) {
  if (e.host.ask) return e.host.ask(text, caption, type);
  return type == MB_OK ? IDOK : IDNO;
}

}  // namespace

bool RebootPending() { return g_reboot; }

void ResultWord(bool ok, WCHAR (&out)[21]) {
  WStrCopy(out, 21, InstallerString(ok ? IDS_OK : IDS_FAILED));
  for (size_t n = WStrLen(out); n > 0 && (out[n - 1] == '\r' || out[n - 1] == '\n');) out[--n] = 0;
}

bool DoRemovePrinter(const Engine& e, const WCHAR* printerName) {
  Log(e, InstallerString(IDS_REMOVE_PRINTER), printerName);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (!IsValidPrinterName(printerName) || !OpenPrinterW(const_cast<LPWSTR>(printerName), &h, &defaults) || !h) {
    DWORD err = IsValidPrinterName(printerName) ? GetLastError() : ERROR_INVALID_PRINTER_NAME;
    DebugTrace("DoRemovePrinter: OpenPrinter failed:%d", err);
    const bool gone = err == ERROR_INVALID_PRINTER_NAME || err == ERROR_PRINTER_NOT_FOUND;  // nothing to remove
    Log(e, InstallerString(gone ? IDS_NOT_FOUND : IDS_FAILED));
    return gone;
  }
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  if (needed >= sizeof(PRINTER_INFO_2W)) {
    std::vector<BYTE> buf(needed);
    if (GetPrinterW(h, 2, buf.data(), needed, &needed) && reinterpret_cast<PRINTER_INFO_2W*>(buf.data())->cJobs > 0 &&
        !SetPrinterW(h, 0, nullptr, PRINTER_CONTROL_PURGE))
      DebugTrace("DoRemovePrinter: Purge job failed");
  }
  bool ok = DeletePrinter(h) != FALSE;
  if (!ok) DebugTrace("DoRemovePrinter: DeletePrinter failed:%d", GetLastError());
  ClosePrinter(h);
  Sleep(500);
  Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  return ok;
}

bool RemoveMonitorIfUnused(const Engine& e) {
  if (MonitorStillNamed()) return true;
  Log(e, InstallerString(IDS_REMOVE_MONITOR), kMonitorName);
  // The registration goes first, so that the spooler never looks for a DLL that is gone.
  const bool removed = DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName)) != FALSE;
  const DWORD err = removed ? 0 : GetLastError();
  if (!removed) DebugTrace("DeleteMonitor failed, errcode:%d.", err);
  const bool ok = removed || err == ERROR_UNKNOWN_PRINT_MONITOR;
  WCHAR system[MAX_PATH], path[MAX_PATH];
  if (ok && GetSystemDirectoryW(system, MAX_PATH) && FormatPath(path, TEXT("%ws\\%ws"), system, kMonitorFile))
    DeleteOrPostpone(path);
  Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  return ok;
}

bool DoRemovePrinterDriver(const Engine& e, InstallRecord* records, size_t count) {
  bool all = true;
  for (size_t n = 0; n < count; ++n) {
    InstallRecord& r = records[n];
    bool seen = false;  // two selected printers of one model: the driver goes once
    for (size_t k = 0; k < n; ++k) seen = seen || WStrEq(records[k].model, r.model);
    if (seen || !r.model[0]) continue;  // no model: the printer was not found, so no driver is named
    bool ok = false;
    DWORD drivers = 0;
    std::vector<BYTE> buf = DriverRecords(3, EnvironmentArgument(), &drivers);
    auto* d = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
    DWORD err = ERROR_UNKNOWN_PRINTER_DRIVER;
    for (DWORD i = 0; i < drivers; ++i) {
      if (!WStrEq(d[i].pName, r.model)) continue;
      WStrCopy(r.environment, 30, d[i].pEnvironment);
      // The spooler removes the package's files that no other driver uses; another vendor's driver keeps
      // its files, which this program does not know.
      const DWORD flags = FindModel(r.model) ? DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION : 0;
      ok = DeletePrinterDriverExW(nullptr, r.environment, r.model, flags, d[i].cVersion) != FALSE;
      err = ok ? 0 : GetLastError();
      if (!ok && err == ERROR_INVALID_PARAMETER && flags) {
        // A spooler that takes none of these flags (Wine's) still removes the driver, leaving its files.
        ok = DeletePrinterDriverW(nullptr, r.environment, r.model) != FALSE;
        err = ok ? 0 : GetLastError();
        DebugTrace("DeletePrinterDriverEx refused its flags; DeletePrinterDriver: %d.", ok);
      }
      break;
    }
    DebugTrace("DoRemovePrinterDriver: DriverEnv:%ws, ModelName:%ws, bOK:%d", r.environment, r.model, ok);
    WCHAR result[21];
    ResultWord(ok, result);
    Log(e, InstallerString(IDS_REMOVE_DRIVER), r.model, result, int(err));
    if (ok && FindModel(r.model)) ok = RemoveMonitorIfUnused(e);
    all = all && ok;
  }
  return all;
}

namespace {

// The INF's value, with a "%key%" resolved through [Strings] as SetupAPI reads it.
void InfValue(const WCHAR* inf, const WCHAR* section, const WCHAR* key, WCHAR (&out)[51]) {
  GetPrivateProfileStringW(section, key, TEXT(""), out, 51, inf);
  size_t len = WStrLen(out);
  if (len > 2 && out[0] == '%' && out[len - 1] == '%') {
    WCHAR name[51];
    WStrCopyN(name, 51, out + 1, len - 2);
    GetPrivateProfileStringW(TEXT("Strings"), name, TEXT(""), out, 51, inf);
  }
}

// The name the package INF had before the driver store renamed it.
bool OriginalInfName(const WCHAR* inf, WCHAR (&out)[MAX_PATH]) {
  out[0] = 0;
  DWORD needed = 0;
  SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<BYTE> info(needed);
  auto* pinfo = reinterpret_cast<PSP_INF_INFORMATION>(info.data());
  if (!SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, pinfo, needed, &needed)) return false;
  SP_ORIGINAL_FILE_INFO_W original{};
  original.cbSize = sizeof original;
  if (!SetupQueryInfOriginalFileInformationW(pinfo, 0, nullptr, &original)) return false;
  return WStrCopyN(out, MAX_PATH, original.OriginalInfName, MAX_PATH);
}

}  // namespace

std::vector<WString> PackageInfs() {
  std::vector<WString> found;
  WCHAR windows[MAX_PATH], pattern[MAX_PATH];
  if (!GetWindowsDirectoryW(windows, MAX_PATH) || !FormatPath(pattern, TEXT("%ws\\INF\\oem*.inf"), windows))
    return found;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(pattern, &fd);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    WCHAR inf[MAX_PATH];
    if (WStrLen(fd.cFileName) > 20 || !FormatPath(inf, TEXT("%ws\\INF\\%ws"), windows, fd.cFileName)) continue;
    WCHAR provider[51], infClass[51], original[MAX_PATH];
    InfValue(inf, TEXT("Version"), TEXT("Provider"), provider);
    InfValue(inf, TEXT("Version"), TEXT("Class"), infClass);
    if (!WStrEq(provider, TEXT("Tarnwell")) || !WStrEqNoCase(infClass, TEXT("Printer"))) continue;
    if (!OriginalInfName(inf, original) || !WStrEqNoCase(BaseName(original), TEXT("lblv6.inf"))) continue;
    found.emplace_back(fd.cFileName);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return found;
}

void FindPackageInf(WCHAR (&infName)[21]) {
  infName[0] = 0;
  const std::vector<WString> all = PackageInfs();
  if (!all.empty()) WStrCopy(infName, 21, all.front().c_str());
}

bool RemoveDriverPackage(const Engine& e, const WCHAR* infName) {
  Log(e, InstallerString(IDS_DELETE_PACKAGE), infName);
  if (!infName || !infName[0]) {
    // No package of ours was found: nothing is uninstalled, whatever the user would answer.
    Log(e, InstallerString(IDS_FAILED));
    return false;
  }
  bool ok = SetupUninstallOEMInfW(infName, 0, nullptr) != FALSE;
  if (!ok && Ask(e, IDS_FORCE_REMOVE, IDS_PROMPT, MB_YESNO | MB_ICONQUESTION) == IDYES)
    ok = SetupUninstallOEMInfW(infName, SUOI_FORCEDELETE, nullptr) != FALSE;
  Log(e, InstallerString(ok ? IDS_OK : IDS_FAILED));
  return ok;
}

bool UninstallRun(Engine& e, InstallRecord* records, size_t count) {
  Ask(e, IDS_UNINSTALL_PROMPT, IDS_PROMPT, MB_OK | MB_ICONINFORMATION);
  g_reboot = false;
  WCHAR inf[21];
  FindPackageInf(inf);
  // The uninstall list knows only printer, model and port: a port whose monitor is the standard TCP/IP
  // one is a TCP/IP port, so "Delete Port" can remove it.
  for (size_t i = 0; i < count; ++i)
    if (records[i].portType != kPortTypeTcpIp && PortTypeFromMonitor(records[i].portName) == kPortTypeTcpIp)
      records[i].portType = kPortTypeTcpIp;
  bool ok = true;
  for (size_t i = 0; i < count; ++i) ok = DoRemovePrinter(e, records[i].printerName) && ok;
  if (e.deletePort) ok = DeleteTcpIpPort(e, records, count) && ok;
  if (e.removeDriver) ok = DoRemovePrinterDriver(e, records, count) && ok;
  if (e.removePackage) ok = RemoveDriverPackage(e, inf) && ok;
  if (g_reboot && Ask(e, IDS_REBOOT_QUESTION, IDS_REBOOT_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDYES &&
      e.host.startProcess)
    e.host.startProcess(TEXT("cmd.exe /c shutdown /r /t 0"));
  return ok;
}
