// The install engine: copies the package files, registers the language monitor and the driver, uploads
// the driver package, creates standard TCP/IP ports and printers, upgrades drivers and removes printers,
// ports, drivers and the package again. Plain functions over one Engine; the wizard (or a tool) supplies
// the result log, the questions, program starts and the discovery lists through EngineHost.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/platform.h"
#include "common/wstr.h"
#include "installer/port_types.h"

#ifndef MB_OK
#define MB_OK 0x00000000L
#define MB_YESNO 0x00000004L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONINFORMATION 0x00000040L
#endif
#ifndef IDOK
#define IDOK 1
#define IDYES 6
#define IDNO 7
#endif


enum InstallMode { kModeInstall = 1, kModeUninstall = 2, kModeUpgrade = 3 };

inline constexpr const WCHAR* kMonitorName = TEXT("Tarnwell Language Monitor V6");
inline constexpr const WCHAR* kPackageVersion = TEXT("2024.02.04.1");

// One printer to install or to remove.
struct InstallRecord {
  WCHAR model[260];        // driver name = model name ("Tarnwell TW-KA_")
  WCHAR printerName[260];
  WCHAR environment[30];   // filled while removing the driver
  WCHAR portName[260];
  WCHAR ipAddress[20];     // dotted IPv4, TCP/IP ports only
  WCHAR hardwareId[260];   // of the USB printer on the port, else empty
  DWORD tcpPort;
  WORD portType;
};

// What the engine asks of its caller. Every member may be empty: no log, questions answered IDNO (IDOK for
// an OK box), no program started, no USB printer and no local port known.
struct EngineHost {
  std::function<void(const WCHAR* line)> appendLog;                   // the result log, synchronously
  std::function<int(UINT textId, UINT captionId, UINT type)> ask;    // a message box's answer
  std::function<bool(const WCHAR* commandLine)> startProcess;        // started, not waited for
  // The hardware ID of the USB printer list entry on that port (false when none); and whether the local
  // port list has the port. Both read the discovery lists under their lock.
  std::function<bool(const WCHAR* port, WCHAR* hardwareId, size_t cap)> usbHardwareId;
  std::function<bool(const WCHAR* port)> localPortListed;
};

struct Engine {
  EngineHost host;
  WCHAR installerDir[MAX_PATH];  // drive and folder of the installer, ending with a backslash
  // "Set as default", "Delete Port", "Remove Driver", "Remove Package".
  bool setDefault = false, deletePort = false, removeDriver = false, removePackage = false;
};

// The installer's folder from its module path: drive and directory, ending with a backslash; for a
// program in an architecture folder ("i386", "amd64", "arm", "arm64") the folder above it.
bool InstallerDirFromModulePath(const WCHAR* modulePath, WCHAR* dir, size_t cap);

// ---- package and spooler helpers (engine_files.cpp) --------------------------------------------------
const WCHAR* ArchitectureFolder();  // "i386", "arm", "amd64", "arm64"; NULL for any other architecture
const WCHAR* EnvironmentArgument();  // NULL (current) on Windows 6.0 or later, else "all"
bool DriverDirectory(WCHAR* dir, size_t cap);  // GetPrinterDriverDirectoryW, level 1, 520 bytes
// Bounded path formatting: false, with a debug line, when the path does not fit in MAX_PATH characters.
bool FormatPath(WCHAR (&out)[MAX_PATH], const WCHAR* fmt, ...);
bool PackageInfPath(const Engine& e, WCHAR (&out)[MAX_PATH]);
bool CopyDriverFile(const Engine& e, const WCHAR* fileName);
bool IsDriverInstalled(const WCHAR* driverName);
bool IsPrinterInstalled(const WCHAR* printerName);
bool InstallPrinterLanguageMonitor();
bool AddDriver(const InstallRecord& r);
bool InstallDriverFiles(const Engine& e, const InstallRecord& r);

// ---- install (engine_install.cpp) ------------------------------------------------------------------
void Log(const Engine& e, const WCHAR* fmt, ...);  // one result-log line, at most 100 characters
bool DoUploadDriverPackage(const WCHAR* infPath);
bool InstallPrinter(const Engine& e, InstallRecord& r);
// Mode 1 for the single record: the TCP/IP port, the printer, the default printer. Returns the result.
bool InstallRun(Engine& e, InstallRecord& r);

// ---- standard TCP/IP ports (engine_tcpip.cpp) -------------------------------------------------------
bool AddTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort);
bool ConfigTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort);
void DeleteTcpIpPort(const Engine& e, const InstallRecord* records, size_t count);
bool GetTcpIpPortConfig(const WCHAR* port, WCHAR (&ip)[20], DWORD* tcpPort);
// The PortType a port's monitor gives it (kPortTypeTcpIp for "Standard TCP/IP Port"); 0 when unknown.
WORD PortTypeFromMonitor(const WCHAR* port);

// ---- uninstall (engine_uninstall.cpp) ---------------------------------------------------------------
bool RebootPending();
bool DoRemovePrinter(const Engine& e, const WCHAR* printerName);
void DoRemovePrinterDriver(const Engine& e, InstallRecord* records, size_t count);
// The oemN.inf (at most 20 characters) of the package: printer class, provider "Tarnwell", original name
// "lblv6.inf". Empty when none is found.
void FindPackageInf(WCHAR (&infName)[21]);
void RemoveDriverPackage(const Engine& e, const WCHAR* infName);
void UninstallRun(Engine& e, InstallRecord* records, size_t count);

// ---- upgrade (engine_upgrade.cpp) -------------------------------------------------------------------
struct UpgradeRow {
  WCHAR printerName[260];
  WCHAR model[260];
  WCHAR version[32];  // the version column
  bool ticked;
};
// Status texts go to `status` (string ids 140, 141, 142); returns true when an upgrade was done.
bool UpgradeDrivers(const Engine& e, std::vector<UpgradeRow>& rows, const std::function<void(UINT)>& status);
uint64_t GetDriverVersion(const WCHAR* printerName);
uint64_t ParseVersion(const WCHAR* text);  // "%d.%d.%d.%d" as four 16-bit parts; 0 when unreadable
void FormatVersion(uint64_t version, WCHAR (&out)[32]);
