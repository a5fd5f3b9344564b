// lblinst32.exe: the installer wizard. Besides it the program keeps one test entry for the engine alone:
//   lblinst32.exe /enginetest install MODEL PRINTER PORT [IP TCPPORT]
//   lblinst32.exe /enginetest uninstall PRINTER [PRINTER...]
// which writes the result log and what the spooler reports afterwards to "lblinst32-test.log" in the
// current folder and exits with 0 on success. Questions are answered No; no program is started.
#include <cstdio>
#include <string>
#include <vector>

#include "installer/guard.h"
#include "installer/rights.h"
#include "installer/wizard.h"

#include <shellapi.h>  // after windows.h

namespace {

// The Administrators group enabled in the process's token: under UAC only after elevation, as the
// manifest's requireAdministrator asks for.
bool HasAdministratorRights() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

struct TestLog {
  FILE* f = nullptr;
  void Line(const WCHAR* text) {
    if (f) std::fputs(WideToUtf8(text).c_str(), f);
  }
};

void ReadBack(TestLog& out, const WCHAR* printer, const WCHAR* port) {
  WCHAR line[600];
  WFormatTo(line, 600, TEXT("printer %ws installed: %d, driver version %I64u\r\n"), printer,
            IsPrinterInstalled(printer) ? 1 : 0, GetDriverVersion(printer));
  out.Line(line);
  WCHAR ip[20];
  DWORD tcpPort = 0;
  if (GetTcpIpPortConfig(port, ip, &tcpPort)) {
    WFormatTo(line, 600, TEXT("port %ws: %ws:%u\r\n"), port, ip, tcpPort);
    out.Line(line);
  }
}

int EngineTest(int argc, WCHAR** argv) {
  TestLog out;
  out.f = std::fopen("lblinst32-test.log", "wb");
  Engine e;
  WCHAR module[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !InstallerDirFromModulePath(module, e.installerDir, MAX_PATH)) return 3;
  e.host.appendLog = [&out](const WCHAR* text) { out.Line(text); };
  int status = 1;
  if (argc >= 6 && WStrEq(argv[2], TEXT("install"))) {
    InstallRecord r{};
    WStrCopy(r.model, 260, argv[3]);
    WStrCopy(r.printerName, 260, argv[4]);
    WStrCopy(r.portName, 260, argv[5]);
    r.portType = kPortTypeOther;
    if (argc >= 8) {
      r.portType = kPortTypeTcpIp;
      WStrCopy(r.ipAddress, 20, argv[6]);
      r.tcpPort = static_cast<DWORD>(_wtoi(argv[7]));
    }
    status = InstallRun(e, r) ? 0 : 1;
    ReadBack(out, r.printerName, r.portName);
  } else if (argc >= 4 && WStrEq(argv[2], TEXT("uninstall"))) {
    std::vector<InstallRecord> records;
    for (int i = 3; i < argc; ++i) {
      InstallRecord r{};
      WStrCopy(r.printerName, 260, argv[i]);
      HANDLE h = nullptr;
      if (OpenPrinterW(argv[i], &h, nullptr)) {
        DWORD needed = 0;
        GetPrinterW(h, 2, nullptr, 0, &needed);
        std::vector<BYTE> buf(needed ? needed : 1);
        if (needed && GetPrinterW(h, 2, buf.data(), needed, &needed)) {
          auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
          WStrCopy(r.model, 260, p2->pDriverName);
          WStrCopy(r.portName, 260, p2->pPortName);
        }
        ClosePrinter(h);
      }
      records.push_back(r);
    }
    e.deletePort = e.removeDriver = true;
    UninstallRun(e, records.data(), records.size());
    status = 0;
    for (const auto& r : records) {
      if (IsPrinterInstalled(r.printerName)) status = 1;
      ReadBack(out, r.printerName, r.portName);
    }
  }
  if (out.f) std::fclose(out.f);
  return status;
}

}  // namespace

namespace {

int Main() {
  int argc = 0;
  WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const bool engineTest = argv && argc >= 2 && WStrEq(argv[1], TEXT("/enginetest"));
  int status = 0;
  if (engineTest) status = EngineTest(argc, argv);
  if (argv) LocalFree(argv);
  if (engineTest) return status;

  // The wizard: the installer's folder from the module path, then the sheet.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
  InitCommonControlsEx(&icc);
  if (!AdministratorRightsOrExplain(nullptr, HasAdministratorRights())) return 4;
  WCHAR module[MAX_PATH], dir[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !InstallerDirFromModulePath(module, dir, MAX_PATH)) return 3;
  return RunInstaller(dir);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return Guarded("wWinMain", 1, Main); }
