// winsim machine control for the spooler's administration side: the drivers, printers, monitors and
// ports it knows, the default printer, the Standard TCP/IP port monitor's port records, the driver store,
// the pending file operations of the next restart, and the machine's architecture and Windows version.
//
// Behaviour notes (what the Win32 calls do here):
// - AddPrinterDriverW/ExW (levels 3 and 8) need the driver, data and configuration files in the printer-driver
//   directory (a file name alone names a file there) and a registered monitor when one is named; the
//   environment defaults to "Windows x64". DeletePrinterDriverW fails with ERROR_PRINTER_DRIVER_IN_USE while a
//   printer uses the driver and deletes no files.
// - AddMonitorW (level 2) needs the DLL in the system directory or the x64 driver directory, loads it through
//   the module loader and calls its InitializePrintMonitor2 (AddLanguageMonitor); a second registration of
//   the same name fails with ERROR_PRINT_MONITOR_ALREADY_INSTALLED (3006).
// - AddPrinterW (level 2) needs a known driver and port (EnumPortsW). DeletePrinter of a printer with queued
//   jobs only marks it pending deletion; purging its queue (SetPrinterW PRINTER_CONTROL_PURGE) removes it.
// - EnumPortsW lists USB ports of attached printers ("USB Monitor", "Virtual printer port for USB", kept while
//   unplugged), "LPT1:"-"LPT3:" ("Printer Port"), "COM1:"-"COM4:" ("Serial Port") and "FILE:" ("Print to
//   File") of the "Local Port" monitor, and TCP/IP ports ("Standard TCP/IP Port").
// - XcvDataW on OpenPrinterW(",XcvMonitor Standard TCP/IP Port") takes "AddPort", "DeletePort" and "ConfigPort"
//   with PORT_DATA_1 / DELETE_PORT_DATA_1 records (version 1); on ",XcvPort NAME" "GetConfigInfo" answers a
//   PORT_DATA_1. Other commands give ERROR_INVALID_PARAMETER in the status word.
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
