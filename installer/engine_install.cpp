// Install mode: the checks of the record, the standard TCP/IP port, the driver from the driver package
// (or from the package files), the printer, the result log with the system's reason for a failure, the
// printer-properties command, and the undoing of a failed run.
#include <algorithm>
#include <cstdarg>
#include <new>

#include "installer/debugtrace.h"
#include "installer/engine.h"
#include "installer/enumerate.h"
#include "installer/guard.h"
#include "installer/model.h"
#include "installer/strings.h"

#include <newdev.h>
#ifdef _WIN32
// MinGW-w64's winspool.h lacks it; its import library has it.
extern "C" __declspec(dllimport) HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                                                                DWORD);
#endif
#ifndef UPDP_SILENT_UPLOAD
#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#endif
#ifndef DPD_DELETE_UNUSED_FILES
#define DPD_DELETE_UNUSED_FILES 0x00000001
#define DPD_DELETE_SPECIFIC_VERSION 0x00000002
#endif

// ---- input checks -----------------------------------------------------------------------------------------

bool IsValidPrinterName(const WCHAR* name) {
  if (!name || !name[0]) return false;
  const size_t len = WStrNLen(name, kMaxPrinterNameChars + 1);
  if (len > kMaxPrinterNameChars) return false;
  for (size_t i = 0; i < len; ++i)
    if (name[i] == ',' || name[i] == '\\') return false;
  return true;
}

bool IsDottedIpv4(const WCHAR* text) {
  if (!text) return false;
  int parts = 0, digits = 0, value = 0;
  for (size_t i = 0;; ++i) {
    const WCHAR c = text[i];
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (++digits > 3 || value > 255) return false;
      continue;
    }
    if ((c != '.' && c != 0) || digits == 0) return false;
    ++parts;
    digits = value = 0;
    if (c == 0) return parts == 4;
    if (parts == 4) return false;
  }
}

DWORD CheckInstallRecord(const InstallRecord& r) {
  if (!IsValidPrinterName(r.printerName)) return ERROR_INVALID_PRINTER_NAME;
  if (!FindModel(r.model)) return ERROR_UNKNOWN_PRINTER_DRIVER;  // the package carries no other driver
  if (!r.portName[0]) return ERROR_UNKNOWN_PORT;
  if (r.portType == kPortTypeTcpIp && (!IsDottedIpv4(r.ipAddress) || r.tcpPort == 0 || r.tcpPort > 65535 ||
                                      WStrNLen(r.portName, kMaxTcpIpPortNameChars + 1) > kMaxTcpIpPortNameChars))
    return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

// ---- the result log ---------------------------------------------------------------------------------------

void Log(const Engine& e, const WCHAR* fmt, ...) {
  if (!e.host.appendLog) return;
  va_list ap;
  va_start(ap, fmt);
  WString text = WFormatV(fmt, ap);
  va_end(ap);
  // The result log takes 100 characters at a time; a line cut short still ends its line.
  constexpr size_t kLineChars = 100;
  if (text.size() > kLineChars) {
    const bool lineEnd = text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n';
    size_t keep = lineEnd ? kLineChars - 2 : kLineChars;
    // A character of two UTF-16 units is kept whole or not at all.
    if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
    if (lineEnd) text += TEXT("\r\n");
  }
  e.host.appendLog(text.c_str());
}

namespace {

// The system's text for an error, with its number; one line.
void LogSystemMessage(const Engine& e, DWORD error) {
  WCHAR message[256] = {};
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, message,
                                 256, nullptr);
  size_t len = n ? WStrLen(message) : 0;
  while (len > 0 && (message[len - 1] == '\r' || message[len - 1] == '\n' || message[len - 1] == ' ')) message[--len] = 0;
  if (len) Log(e, InstallerString(IDS_SYSTEM_ERROR), int(error), message);
  else Log(e, InstallerString(IDS_ERROR_CODE), int(error));
}

// Why the last call failed, never 0.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD err = GetLastError();
  return err ? err : fallback;
}

}  // namespace

void LogInstallFailure(const Engine& e, DWORD error) {
  Log(e, InstallerString(IDS_INSTALL_FAILED));
  LogSystemMessage(e, error);
}

// ---- the driver package -------------------------------------------------------------------------------------

bool DoUploadDriverPackage(const WCHAR* infPath, WCHAR (&dest)[MAX_PATH]) {
  dest[0] = 0;
  ULONG cch = MAX_PATH;
  HRESULT hr = UploadPrinterDriverPackageW(nullptr, infPath, nullptr, UPDP_SILENT_UPLOAD | UPDP_UPLOAD_ALWAYS,
                                           nullptr, dest, &cch);
  DebugTrace("DoUploadDriverPackage, %ws, code:%d.", dest, static_cast<int>(hr));
  return hr == 0;
}

namespace {

// The driver from the driver package, as Windows installs package-aware drivers: upload, install the model
// from the uploaded INF, then let Plug and Play bind the attached device. False (with a debug line) when
// the package cannot give the driver; the caller then installs from the files.
bool InstallFromPackage(const Engine& e, InstallRecord& r, InstallChanges& changes) {
  WCHAR inf[MAX_PATH], dest[MAX_PATH];
  if (!PackageInfPath(e, inf)) return false;
  // The package this run adds is the one not in the store before: an older version's stays whatever happens.
  const std::vector<WString> before = PackageInfs();
  if (!DoUploadDriverPackage(inf, dest)) return false;
  for (const WString& added : PackageInfs())
    if (std::find(before.begin(), before.end(), added) == before.end()) WStrCopy(changes.packageInf, 21, added.c_str());
  const bool driverBefore = IsDriverInstalled(r.model), monitorBefore = IsMonitorInstalled();
  const HRESULT hr = InstallPrinterDriverFromPackageW(nullptr, dest, r.model, EnvironmentArgument(), 0);
  DebugTrace("InstallPrinterDriverFromPackage, %ws, code:%d.", r.model, static_cast<int>(hr));
  if (hr != S_OK || !IsDriverInstalled(r.model)) return false;
  changes.driverAdded = !driverBefore;
  changes.monitorAdded = !monitorBefore && IsMonitorInstalled();
  // Plug and Play binds the device to the model its hardware ID names; for a device the user gave another
  // model that would be a second driver and queue on the port.
  if (r.hardwareId[0] && !WStrEqNoCase(DriverHardwareId(r.model).c_str(), r.hardwareId))
    DebugTrace("The device %ws is not a %ws; Plug and Play is not asked.", r.hardwareId, r.model);
  else if (r.hardwareId[0] &&
           !UpdateDriverForPlugAndPlayDevicesW(nullptr, r.hardwareId, inf, INSTALLFLAG_FORCE, nullptr))
    DebugTrace("UpdateDriverForPlugAndPlayDevices %ws failed, errcode:%d.", r.hardwareId, GetLastError());
  return true;
}

// The printer's port and driver as the spooler has them; false when it cannot be read.
bool ReadPrinter(const WCHAR* name, WString* port, WString* driver) {
  HANDLE h = nullptr;
  if (!IsValidPrinterName(name) || !OpenPrinterW(const_cast<LPWSTR>(name), &h, nullptr) || !h) return false;
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  bool ok = false;
  if (needed >= sizeof(PRINTER_INFO_2W)) {
    std::vector<BYTE> buf(needed);
    if (GetPrinterW(h, 2, buf.data(), needed, &needed)) {
      auto* p = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
      *port = p->pPortName ? p->pPortName : TEXT("");
      *driver = p->pDriverName ? p->pDriverName : TEXT("");
      ok = true;
    }
  }
  ClosePrinter(h);
  return ok;
}

// The queue of this driver on the port, other than `except`: one that Plug and Play made for a USB printer.
bool QueueOfDriverOnPort(const InstallRecord& r, WString* name) {
  DWORD count = 0;
  std::vector<BYTE> buf = LocalPrinterRecords(&count);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i) {
    if (WStrEqNoCase(printers[i].pPortName, r.portName) && WStrEq(printers[i].pDriverName, r.model)) {
      *name = printers[i].pPrinterName;
      return true;
    }
  }
  return false;
}

// The printer the record asks for, as AddPrinterW and SetPrinterW take it; every other field empty.
PRINTER_INFO_2W PrinterInfo(const InstallRecord& r) {
  PRINTER_INFO_2W p{};
  p.pPrinterName = const_cast<LPWSTR>(r.printerName);
  p.pPortName = const_cast<LPWSTR>(r.portName);
  p.pDriverName = const_cast<LPWSTR>(r.model);
  p.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
  p.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  p.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  return p;
}

// Gives the queue Plug and Play made the name the user chose.
DWORD RenameQueue(const WString& from, const InstallRecord& r) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(from.c_str()), &h, &defaults) || !h) return LastErrorOr(ERROR_INVALID_PRINTER_NAME);
  PRINTER_INFO_2W p = PrinterInfo(r);
  const BOOL ok = SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(&p), 0);
  const DWORD err = ok ? ERROR_SUCCESS : LastErrorOr(ERROR_INVALID_PARAMETER);
  ClosePrinter(h);
  DebugTrace("Rename printer %ws to %ws, errcode:%d.", from.c_str(), r.printerName, err);
  return err;
}

DWORD AddThePrinter(const InstallRecord& r, InstallChanges& changes) {
  PRINTER_INFO_2W p = PrinterInfo(r);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  if (!h) {
    const DWORD err = LastErrorOr(ERROR_INVALID_PARAMETER);
    DebugTrace("AddPrinter failed, errcode:%d.", err);
    return err;
  }
  ClosePrinter(h);
  changes.printerAdded = r.printerName;
  // The spooler may take a moment to list a new printer.
  for (int i = 0; i < 5; ++i) {
    if (IsPrinterInstalled(r.printerName)) return ERROR_SUCCESS;
    Sleep(1000);
  }
  return ERROR_INVALID_PRINTER_NAME;
}

// The printer exists as asked: that name, that port, that driver.
DWORD CheckPrinter(const InstallRecord& r) {
  WString port, driver;
  if (!ReadPrinter(r.printerName, &port, &driver)) return ERROR_INVALID_PRINTER_NAME;
  if (!WStrEqNoCase(port.c_str(), r.portName)) return ERROR_PRINTER_ALREADY_EXISTS;
  if (!WStrEq(driver.c_str(), r.model)) return ERROR_PRINTER_ALREADY_EXISTS;
  return ERROR_SUCCESS;
}

// The properties command names the printer in quotes; a name holding one cannot be passed.
void OpenProperties(const Engine& e, const InstallRecord& r) {
  if (!e.host.startProcess || WStrStr(r.printerName, TEXT("\""))) return;
  WCHAR cmd[MAX_PATH + 64];
  if (WFormatTo(cmd, MAX_PATH + 64, TEXT("rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"%ws\""),
                r.printerName) >= 0)
    e.host.startProcess(cmd);
}

// The record's standard TCP/IP port: added, or (one the spooler already has) updated and put back as it
// was should the run fail. ERROR_SUCCESS or why not.
DWORD PrepareTcpIpPort(const Engine& e, const InstallRecord& r, InstallChanges& changes) {
  // A port name stands for one port: one of another monitor ("FILE:", "LPT1:") gets no address.
  WString monitor;
  const bool listed = SpoolerPortMonitor(r.portName, &monitor);
  if (listed && !WStrEqNoCase(monitor.c_str(), TEXT("Standard TCP/IP Port"))) {
    DebugTrace("Port %ws belongs to the monitor %ws.", r.portName, monitor.c_str());
    return ERROR_ALREADY_EXISTS;
  }
  if (listed || (e.host.localPortListed && e.host.localPortListed(r.portName))) {
    changes.portUpdated = GetTcpIpPortConfig(r.portName, changes.oldIp, &changes.oldTcpPort);
    // The address of a port another printer prints through is that printer's too: it is not changed.
    const bool sameAddress =
        changes.portUpdated && WStrEq(changes.oldIp, r.ipAddress) && changes.oldTcpPort == r.tcpPort;
    WString user;
    if (!sameAddress && PrinterOnPort(r.portName, r.printerName, &user)) {
      changes.portUpdated = false;
      Log(e, InstallerString(IDS_UPDATE_PORT), r.portName, r.ipAddress);
      Log(e, InstallerString(IDS_PORT_IN_USE), user.c_str());
      return ERROR_BUSY;
    }
  } else {
    if (!AddTcpIpPort(e, r.portName, r.ipAddress, r.tcpPort)) return LastErrorOr(ERROR_INVALID_PARAMETER);
    changes.portAdded = true;
  }
  return ConfigTcpIpPort(e, r.portName, r.ipAddress, r.tcpPort) ? DWORD(ERROR_SUCCESS)
                                                                 : LastErrorOr(ERROR_INVALID_PARAMETER);
}

}  // namespace

DWORD InstallPrinter(const Engine& e, InstallRecord& r, InstallChanges& changes) {
  r.hardwareId[0] = 0;
  if (e.host.usbHardwareId && !e.host.usbHardwareId(r.portName, r.hardwareId, 260)) r.hardwareId[0] = 0;
  r.hardwareId[259] = 0;

  // A printer of that name that is already there counts only when it is the one asked for.
  if (IsPrinterInstalled(r.printerName)) {
    DebugTrace("The printer %ws is already added.", r.printerName);
    return CheckPrinter(r);
  }
  // One queue per USB printer and driver: a queue already there is not doubled.
  WString queue;
  const bool usb = r.portType == kPortTypeUsb;
  if (usb && QueueOfDriverOnPort(r, &queue)) {
    Log(e, InstallerString(IDS_PORT_HAS_PRINTER), queue.c_str(), r.portName);
    return ERROR_PRINTER_ALREADY_EXISTS;
  }
  if (!InstallFromPackage(e, r, changes)) {
    const DWORD err = InstallDriverFiles(e, r, changes);
    if (err != ERROR_SUCCESS) return err;
  }
  // Plug and Play may have made the USB printer's queue meanwhile: that one gets the chosen name.
  DWORD err;
  if (usb && QueueOfDriverOnPort(r, &queue)) {
    changes.printerAdded = queue;
    err = RenameQueue(queue, r);
    if (err == ERROR_SUCCESS) changes.printerAdded = r.printerName;
  } else {
    err = AddThePrinter(r, changes);
  }
  return err != ERROR_SUCCESS ? err : CheckPrinter(r);
}

void RollBack(const Engine& e, const InstallRecord& r, InstallChanges& changes) {
  if (changes.printerAdded.empty() && !changes.driverAdded && !changes.monitorAdded && !changes.portAdded &&
      !changes.portUpdated && !changes.packageInf[0] && changes.files.empty())
    return;
  Log(e, InstallerString(IDS_ROLLBACK));
  if (!changes.printerAdded.empty()) DoRemovePrinter(e, changes.printerAdded.c_str());
  if (changes.driverAdded) {
    const BOOL ok = DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(EnvironmentArgument()), const_cast<LPWSTR>(r.model),
                                           DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION, 3);
    const DWORD err = ok ? 0 : GetLastError();
    WCHAR result[21];
    ResultWord(ok != FALSE, result);
    Log(e, InstallerString(IDS_REMOVE_DRIVER), r.model, result, int(err));
  }
  if (changes.monitorAdded) RemoveMonitorIfUnused(e);
  if (changes.portAdded) {
    Log(e, InstallerString(IDS_REMOVE_PORT), r.portName);
    Log(e, InstallerString(RemoveTcpIpPort(e, r.portName) ? IDS_OK : IDS_FAILED));
  } else if (changes.portUpdated) {
    ConfigTcpIpPort(e, r.portName, changes.oldIp, changes.oldTcpPort);
  }
  if (changes.packageInf[0]) {
    Log(e, InstallerString(IDS_DELETE_PACKAGE), changes.packageInf);
    Log(e, InstallerString(SetupUninstallOEMInfW(changes.packageInf, 0, nullptr) ? IDS_OK : IDS_FAILED));
  }
  RestoreFileChanges(changes);
  changes = InstallChanges{};
}

bool InstallRun(Engine& e, InstallRecord& r, DWORD* error) {
  InstallChanges changes;
  DWORD err;
  try {
    err = CheckInstallRecord(r);
    // A printer of that name that is another one is refused before anything changes.
    if (err == ERROR_SUCCESS && IsPrinterInstalled(r.printerName)) err = CheckPrinter(r);
    if (err == ERROR_SUCCESS && r.portType == kPortTypeTcpIp) err = PrepareTcpIpPort(e, r, changes);
    Log(e, InstallerString(IDS_INSTALLING), r.printerName, r.portName);
    if (err == ERROR_SUCCESS) err = InstallPrinter(e, r, changes);
  } catch (const std::bad_alloc&) {
    // Out of memory (here or in a host callback) part way: a failed run like any other.
    DebugTrace("InstallRun: out of memory.");
    err = ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    // What this run made goes before the exception reaches the caller's guard.
    Guarded("InstallRun", 0, [&] {
      RollBack(e, r, changes);
      return 0;
    });
    throw;
  }
  if (err != ERROR_SUCCESS) {
    LogInstallFailure(e, err);
    RollBack(e, r, changes);
  } else {
    CommitFileChanges(changes);
    Log(e, InstallerString(IDS_INSTALL_OK));
    OpenProperties(e, r);
    if (e.setDefault && !SetDefaultPrinterW(r.printerName))
      DebugTrace("SetDefaultPrinter failed, errcode:%d.", GetLastError());
  }
  if (error) *error = err;
  return err == ERROR_SUCCESS;
}
