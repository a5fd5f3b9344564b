// winsim machine control for the spooler's administration side: the drivers, printers, monitors and
// ports it knows, the default printer, the Standard TCP/IP port monitor's port records, the driver store,
// the pending file operations of the next restart, and the machine's architecture and Windows version.
//
// Behaviour notes (what the Win32 calls do here):
// - AddPrinterDriverW/ExW (levels 3 and 8) need the driver, data and configuration files in the printer-driver
//   directory (a file name alone names a file there) and a registered monitor when one is named; the
//   environment defaults to "Windows x64"; level 8 keeps dwlDriverVersion. Adding a driver again under its
//   name replaces it, and the spooler then calls DrvUpgradePrinter (level 1) of its configuration module for
//   every printer that uses it (DriverUpgrades()); the same happens when InstallPrinterDriverFromPackageW
//   replaces a driver. DeletePrinterDriverW fails with ERROR_PRINTER_DRIVER_IN_USE while a printer uses the
//   driver and deletes no files; DeletePrinterDriverExW with DPD_DELETE_SPECIFIC_VERSION deletes only the
//   driver of that version (else ERROR_UNKNOWN_PRINTER_DRIVER), and with DPD_DELETE_UNUSED_FILES also its
//   files in the driver directory that no other driver lists (a file in use is deleted at the next restart).
// - AddMonitorW (level 2) needs the DLL in the system directory, loads it through the module loader and calls
//   its InitializePrintMonitor2 (AddLanguageMonitor); a second registration of the same name fails with
//   ERROR_PRINT_MONITOR_ALREADY_INSTALLED (3006). A monitor stays registered until DeleteMonitorW, which fails
//   with ERROR_PRINT_MONITOR_IN_USE while a driver names it (and for the built-in monitors) and with
//   ERROR_UNKNOWN_PRINT_MONITOR for a name that is not registered. MonitorsFailingToLoad() names the
//   registered monitors whose DLL is gone from the system directory: the spooler would fail to load them.
// - AddPrinterW (level 2) refuses a name that is empty, longer than 220 characters or holds ',' or '\\'
//   (ERROR_INVALID_PRINTER_NAME), a name in use (ERROR_PRINTER_ALREADY_EXISTS), an unknown driver
//   (ERROR_UNKNOWN_PRINTER_DRIVER) and an unknown port (ERROR_UNKNOWN_PORT; a list "A,B" needs each).
//   SetPrinterW level 2 changes name, port, driver, comment and location with the same checks; a rename keeps
//   the printer's settings and data. DeletePrinter of a printer with queued jobs only marks it pending
//   deletion; purging its queue (SetPrinterW PRINTER_CONTROL_PURGE) removes it.
// - EnumPortsW lists USB ports of attached printers ("USB Monitor", "Virtual printer port for USB", kept while
//   unplugged), "LPT1:"-"LPT3:" ("Printer Port"), "COM1:"-"COM4:" ("Serial Port") and "FILE:" ("Print to
//   File") of the "Local Port" monitor, and TCP/IP ports ("Standard TCP/IP Port").
// - XcvDataW on OpenPrinterW(",XcvMonitor Standard TCP/IP Port") takes "AddPort", "DeletePort" and "ConfigPort"
//   with PORT_DATA_1 / DELETE_PORT_DATA_1 records (version 1); on ",XcvPort NAME" "GetConfigInfo" answers a
//   PORT_DATA_1. XcvDataW returns TRUE once the monitor had the command; its answer is the status word:
//   ERROR_ACCESS_DENIED for a change without SERVER_ACCESS_ADMINISTER, ERROR_INVALID_DATA without input,
//   ERROR_INVALID_LEVEL for another version, ERROR_INVALID_PARAMETER for a port name that is empty or holds
//   ',', a host that is neither a dotted IPv4 address nor a host name, a port number of 0 or over 65535 or
//   another protocol than raw or LPR, ERROR_ALREADY_EXISTS for AddPort of an existing port, ERROR_UNKNOWN_PORT
//   for ConfigPort or DeletePort of a missing one, ERROR_BUSY for DeletePort of a port a printer uses, and
//   ERROR_INVALID_PARAMETER for other commands.
// - UploadPrinterDriverPackageW copies a printer-class INF to "C:\Windows\INF\oemN.inf" (the same INF again
//   gives its existing name); InstallPrinterDriverFromPackageW adds a model of it as a driver from the files
//   beside the uploaded INF's source; SetupUninstallOEMInfW fails with ERROR_INF_IN_USE_BY_DEVICES while a
//   driver from that package is installed, unless forced. UpdateDriverForPlugAndPlayDevicesW installs the
//   model whose hardware ID matches an attached USB printer ("USBPRINT\" + MFG + MDL + CRC-16/ARC, 4 hex
//   digits) and adds a printer on its port; no attached match fails with ERROR_NO_SUCH_DEVINST.
// - MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT only records the operation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

std::vector<DriverSpec> Drivers();  // every environment, in the order added
bool RemoveDriver(const std::u16string& name, const std::u16string& environment);
std::vector<PrinterSpec> Printers();  // ordered by upper-cased name
// Applies `change` to the stored printer; false when there is none.
bool UpdatePrinter(const std::u16string& name, const std::function<void(PrinterSpec&)>& change);

struct MonitorSpec {
  std::u16string name, environment, dll;
};
std::vector<MonitorSpec> Monitors();  // the registered print monitors, built-in ones first
std::u16string DefaultPrinter();      // "" when none is set
// Registered monitors (not the built-in ones) whose DLL is missing from the system directory.
std::vector<std::u16string> MonitorsFailingToLoad();

// One DrvUpgradePrinter call the spooler made after replacing a printer's driver.
struct DriverUpgrade {
  std::u16string printer, module;  // the configuration module, without ".dll"
  bool called = false;             // false: the module or its export could not be found
  BOOL result = FALSE;
};
std::vector<DriverUpgrade> DriverUpgrades();  // since Reset()

struct TcpIpPort {
  std::u16string name, hostAddress, snmpCommunity, queue;
  DWORD protocol = 1, portNumber = 9100, snmpEnabled = 0, snmpDevIndex = 0, doubleSpool = 0;
};
std::vector<TcpIpPort> TcpIpPorts();
void AddTcpIpPortRecord(const TcpIpPort& port);  // replaces one of the same name
// Every XcvDataW command the TCP/IP monitor received, e.g. "AddPort IP_192.0.2.10", "GetConfigInfo X".
std::vector<std::string> XcvCommands();

struct DriverPackage {
  std::u16string oemInf;      // "oem0.inf"
  std::u16string sourceInf;   // the INF path it was uploaded from
};
std::vector<DriverPackage> DriverPackages();

struct PendingFileOperation {
  std::u16string from, to;  // `to` empty: delete
};
std::vector<PendingFileOperation> PendingFileOperations();
void ApplyPendingFileOperations();  // as the restart does; clears the list

// GetNativeSystemInfo's architecture (default PROCESSOR_ARCHITECTURE_AMD64, 9) and the version
// VerifyVersionInfoW compares against (default 10.0, service pack 0). Reset() restores both.
void SetNativeArchitecture(WORD architecture);
void SetWindowsVersion(DWORD major, DWORD minor, WORD servicePackMajor = 0);

// CRC-16/ARC of the text's bytes (as Plug and Play hardware IDs of the package carry it).
uint16_t Crc16Arc(const std::string& text);
// The Plug and Play hardware ID of a USB printer with this IEEE 1284 device ID ("MFG:...;MDL:...;"):
// "USBPRINT\" + MFG + MDL + the CRC-16/ARC of the two as four upper-case hex digits.
std::string UsbPrintHardwareId(const std::string& deviceId);

}  // namespace winsim
