// Install mode: the driver package upload, Plug and Play update, driver files and the printer, with
// the result log and the printer-properties command.
#include <cstdarg>

#include "installer/debugtrace.h"
#include "installer/engine.h"
#include "installer/strings.h"

#ifdef _WIN32
#include <newdev.h>
// MinGW-w64's winspool.h lacks it; its import library has it.
extern "C" __declspec(dllimport) HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                                                                DWORD);
#else
#include <newdev.h>
#endif
#ifndef UPDP_SILENT_UPLOAD
#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#endif

void Log(const Engine& e, const WCHAR* fmt, ...) {
  if (!e.host.appendLog) return;
  WCHAR line[101];
  va_list ap;
  va_start(ap, fmt);
  WFormatToV(line, 101, fmt, ap);  // longer lines are cut, as the result log keeps 100 characters
  va_end(ap);
  e.host.appendLog(line);
}

bool DoUploadDriverPackage(const WCHAR* infPath) {
  WCHAR dest[MAX_PATH] = {};
  ULONG cch = MAX_PATH;
  HRESULT hr = UploadPrinterDriverPackageW(nullptr, infPath, nullptr, UPDP_SILENT_UPLOAD | UPDP_UPLOAD_ALWAYS,
                                           nullptr, dest, &cch);
  DebugTrace("DoUploadDriverPackage, %ws, code:%d.", dest, static_cast<int>(hr));
  return hr == 0;
}

bool InstallPrinter(const Engine& e, InstallRecord& r) {
  r.hardwareId[0] = 0;
  if (e.host.usbHardwareId && !e.host.usbHardwareId(r.portName, r.hardwareId, 260)) r.hardwareId[0] = 0;
  r.hardwareId[259] = 0;
  Log(e, InstallerString(IDS_INSTALLING), r.printerName, r.portName);

  WCHAR inf[MAX_PATH];
  const bool haveInf = PackageInfPath(e, inf);
  if (!IsPrinterInstalled(r.printerName) && haveInf) {
    DoUploadDriverPackage(inf);
    UpdateDriverForPlugAndPlayDevicesW(nullptr, r.hardwareId, inf, INSTALLFLAG_FORCE, nullptr);
  }
  bool ok = IsPrinterInstalled(r.printerName) ? true : InstallDriverFiles(e, r);
  Log(e, InstallerString(ok ? IDS_INSTALL_OK : IDS_INSTALL_FAILED));
  if (ok && e.host.startProcess) {
    WCHAR cmd[MAX_PATH + 64];
    if (WFormatTo(cmd, MAX_PATH + 64, TEXT("rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"%ws\""),
                  r.printerName) >= 0)
      e.host.startProcess(cmd);
  }
  return ok;
}

bool InstallRun(Engine& e, InstallRecord& r) {
  if (r.portType == kPortTypeTcpIp) {
    if (!e.host.localPortListed || !e.host.localPortListed(r.portName))
      AddTcpIpPort(e, r.portName, r.ipAddress, r.tcpPort);
    ConfigTcpIpPort(e, r.portName, r.ipAddress, r.tcpPort);
  }
  bool ok = InstallPrinter(e, r);
  if (ok && e.setDefault && !SetDefaultPrinterW(r.printerName))
    DebugTrace("SetDefaultPrinter failed, errcode:%d.", GetLastError());
  return ok;
}
