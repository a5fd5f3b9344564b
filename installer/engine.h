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

// ---- input checks (engine_install.cpp) -----------------------------------------------------------------
constexpr size_t kMaxPrinterNameChars = 220;
constexpr size_t kMaxTcpIpPortNameChars = 63;  // what a standard TCP/IP port's record holds
// A local printer name as the spooler takes it: not empty, at most 220 characters, without ',' or '\\'.
bool IsValidPrinterName(const WCHAR* name);
// Four decimal numbers of 0 to 255 (at most three digits each) separated by dots, nothing else.
bool IsDottedIpv4(const WCHAR* text);
// Why the spooler would refuse the record (ERROR_INVALID_PRINTER_NAME, ERROR_UNKNOWN_PRINTER_DRIVER for a
// model outside the model table, ERROR_UNKNOWN_PORT without a port, ERROR_INVALID_PARAMETER for a TCP/IP
// record without a dotted IPv4 address, with a TCP port outside 1 to 65535 or a port name longer than 63
// characters); ERROR_SUCCESS when none.
DWORD CheckInstallRecord(const InstallRecord& r);

// What one install run made, so that a failed run can undo it (and nothing that existed before it).
struct FileChange {
  WString path;
  WString backup;  // the file it replaced, set aside; empty when there was none
};
struct InstallChanges {
  bool portAdded = false, monitorAdded = false, driverAdded = false;
  bool portUpdated = false;        // an existing port's address changed; it had these:
  WCHAR oldIp[20] = {};
  DWORD oldTcpPort = 0;
  WString printerAdded;            // the printer this run (or Plug and Play during it) made
  WCHAR packageInf[21] = {};       // the oemN.inf this run put into the driver store
  std::vector<FileChange> files;   // files this run created or replaced
};

// ---- package and spooler helpers (engine_files.cpp) --------------------------------------------------
const WCHAR* ArchitectureFolder();  // "i386", "arm", "amd64", "arm64"; NULL for any other architecture
const WCHAR* EnvironmentArgument();  // NULL (current) on Windows 6.0 or later, else "all"
bool DriverDirectory(WCHAR* dir, size_t cap);  // GetPrinterDriverDirectoryW, level 1, 520 bytes
// Bounded path formatting: false, with a debug line, when the path does not fit in MAX_PATH characters.
bool FormatPath(WCHAR (&out)[MAX_PATH], const WCHAR* fmt, ...);
bool PackageInfPath(const Engine& e, WCHAR (&out)[MAX_PATH]);
// Copies one file of the architecture folder into the driver directory (lblmon.dll also into the system
// directory, where the spooler loads monitors): the new file is written beside the old one under a
// temporary name and then takes its place, the old one set aside in `changes` (when given) until the run
// ends. False, with the last error set, when the source is missing or a copy fails.
bool CopyDriverFile(const Engine& e, const WCHAR* fileName, InstallChanges* changes = nullptr);
// Every package file the files-only install needs is present (checked before any installed file is
// touched); false with ERROR_FILE_NOT_FOUND and a debug line naming the first one missing.
bool PackageFilesPresent(const Engine& e);
// Deletes the set-aside originals (the run succeeded) or puts them back (it failed).
void CommitFileChanges(InstallChanges& changes);
void RestoreFileChanges(InstallChanges& changes);
bool IsDriverInstalled(const WCHAR* driverName);
WString DriverHardwareId(const WCHAR* driverName);  // the installed driver's, empty when none
bool IsPrinterInstalled(const WCHAR* printerName);  // a named printer; the server is none
bool IsMonitorInstalled();
bool InstallPrinterLanguageMonitor();
bool AddDriver(const InstallRecord& r);
// The files-only install: package files, language monitor, driver. ERROR_SUCCESS or why it failed.
DWORD InstallDriverFiles(const Engine& e, const InstallRecord& r, InstallChanges& changes);

// ---- install (engine_install.cpp) ------------------------------------------------------------------
// One result-log line of at most 100 characters; a line cut short keeps its line end.
void Log(const Engine& e, const WCHAR* fmt, ...);
// "Failed to install the printer driver." and the system's message for `error`.
void LogInstallFailure(const Engine& e, DWORD error);
bool DoUploadDriverPackage(const WCHAR* infPath, WCHAR (&dest)[MAX_PATH]);
// The printer for the record: driver from the package (or from the files), then the printer. ERROR_SUCCESS,
// or why it failed; `changes` receives what was made.
DWORD InstallPrinter(const Engine& e, InstallRecord& r, InstallChanges& changes);
// Mode 1 for the single record: the checks, the TCP/IP port, the printer, the default printer; a failure
// undoes what the run made. Returns the result; `error` (when given) receives why it failed.
bool InstallRun(Engine& e, InstallRecord& r, DWORD* error = nullptr);
// Undoes what a failed run made, in reverse order, with a log line per step.
void RollBack(const Engine& e, const InstallRecord& r, InstallChanges& changes);

// ---- standard TCP/IP ports (engine_tcpip.cpp) -------------------------------------------------------
// Both true only when XcvDataW returned true and the monitor's status word is ERROR_SUCCESS; otherwise the
// last error is the status word (or why the call failed).
bool AddTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort);
bool ConfigTcpIpPort(const Engine& e, const WCHAR* port, const WCHAR* ip, DWORD tcpPort);
// Removes one port; false with the last error set when the monitor refused.
bool RemoveTcpIpPort(const Engine& e, const WCHAR* port);
// For each TCP/IP record's port (each port once): removed, or kept with the reason when a printer still
// uses it. False when the monitor refused to remove one.
bool DeleteTcpIpPort(const Engine& e, const InstallRecord* records, size_t count);
bool GetTcpIpPortConfig(const WCHAR* port, WCHAR (&ip)[20], DWORD* tcpPort);
// Whether the spooler lists the port (names compared as it compares them), and the monitor it belongs to.
bool SpoolerPortMonitor(const WCHAR* port, WString* monitor);
// The PortType a port's monitor gives it (kPortTypeTcpIp for "Standard TCP/IP Port"); 0 when unknown.
WORD PortTypeFromMonitor(const WCHAR* port);
// The first local printer other than `except` that prints to the port (alone or in a pool), or false.
bool PrinterOnPort(const WCHAR* port, const WCHAR* except, WString* printer);

// ---- uninstall (engine_uninstall.cpp) ---------------------------------------------------------------
bool RebootPending();
// "OK" or "Failed" of the string table without their line end, to stand inside a line.
void ResultWord(bool ok, WCHAR (&out)[21]);
bool DoRemovePrinter(const Engine& e, const WCHAR* printerName);
// Each record's driver once (none for a record without a model); false when one could not be removed.
bool DoRemovePrinterDriver(const Engine& e, InstallRecord* records, size_t count);
// Removes the language monitor when no installed driver names it any more: DeleteMonitorW, then its DLL
// in the system directory (at the next restart when it is in use). Logs the step; false when the spooler
// kept the registration.
bool RemoveMonitorIfUnused(const Engine& e);
// The oemN.inf (at most 20 characters) of the package: printer class, provider "Tarnwell", original name
// "lblv6.inf". Empty when none is found.
void FindPackageInf(WCHAR (&infName)[21]);
// Every such oemN.inf in the driver store (an older version's package may be there beside ours).
std::vector<WString> PackageInfs();
bool RemoveDriverPackage(const Engine& e, const WCHAR* infName);  // false when the package stays
// Mode 2 over the records; true when every step asked for was done (a printer not found counts as
// removed, a port kept for another printer as the right outcome).
bool UninstallRun(Engine& e, InstallRecord* records, size_t count);

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
