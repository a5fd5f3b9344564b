// winsim machine control for print monitors: loading a monitor as the spooler does, the jobs that
// GetJobW and SetJobW see, the USB port monitor that a language monitor forwards to, bidirectional
// response memory and thread faults.
//
// Driver code never includes this header.
#pragma once

#include <string>
#include <vector>

#include "winsim/machine.h"
#include <windows.h>
#include <winsplp.h>

namespace winsim {

// ---- loading a monitor -----------------------------------------------------------------------
// The MONITORINIT the local spooler passes: a registry root and a MONITORREG (whose entries are not
// simulated), local, no server name.
MONITORINIT SpoolerMonitorInit();

struct LoadedMonitor {
  HMODULE module = nullptr;
  HANDLE hMonitor = nullptr;
  LPMONITOR2 table = nullptr;
};
// Loads a monitor by its Windows name ("lblmon") with LoadDriverModule and calls its
// InitializePrintMonitor2 with SpoolerMonitorInit(). False with a message in `error` on failure.
bool LoadPrintMonitor(const std::u16string& name, LoadedMonitor* out, std::string* error = nullptr);

// ---- language monitors in the print path ----------------------------------------------------------
// Registers a print monitor under its monitor name, as AddMonitor does for a language monitor; the module
// is loaded (LoadPrintMonitor) on its first registration and stays loaded for the process. From then on
// the documents of printers whose driver names that monitor ("monitorName" of DriverSpec) go through it,
// as the spooler sends a job printed straight to its port:
//   StartDocPrinterW  opens the printer's port through the monitor the first time (pfnOpenPortEx over the
//                     TCP/IP port monitor for a TCP/IP port record, else over the USB port monitor), then
//                     pfnStartDocPort; a refusal fails StartDocPrinterW with the
//                     monitor's last error
//   WritePrinter      pfnWritePort until every byte is taken, the monitor fails, or it takes nothing;
//                     the count taken is what WritePrinter reports
//   EndDocPrinter, AbortPrinter   pfnEndDocPort
// The calls run on the caller's thread without the machine lock. Reset() closes the ports opened this
// way (pfnClosePort, which waits for the monitor's threads) before the machine goes, and forgets the
// registrations.
bool AddLanguageMonitor(const std::u16string& monitorName, const std::u16string& module,
                        std::string* error = nullptr);
// Closes the ports opened through language monitors now; the registrations stay.
void CloseLanguageMonitorPorts();
// Port names (upper case) currently open through a language monitor.
std::vector<std::u16string> LanguageMonitorPorts();

// ---- jobs ----------------------------------------------------------------------------------------
// GetJobW (levels 1 and 2) and SetJobW know the documents StartDocPrinterW started and the jobs added
// here. A job belongs to one printer; asking for it through another printer's handle fails with
// ERROR_INVALID_PARAMETER, as an unknown job id does.
void AddSpoolerJob(const std::u16string& printer, DWORD jobId, const std::u16string& document = u"Document");
bool SetJobStatus(DWORD jobId, DWORD status);  // JOB_STATUS_* bits GetJobW reports; false: unknown job
DWORD JobStatus(DWORD jobId);                  // 0 for unknown jobs

// SetJobW level 0 commands change the status: PAUSE/RESUME toggle JOB_STATUS_PAUSED, CANCEL/DELETE set
// JOB_STATUS_DELETING, RESTART sets JOB_STATUS_RESTART, LAST_PAGE_EJECTED sets JOB_STATUS_PRINTED.
struct JobControlRecord {
  std::u16string printer;  // of the handle; empty when the handle was not a printer's
  DWORD jobId = 0;
  DWORD level = 0;
  DWORD command = 0;
  bool accepted = false;  // SetJobW returned TRUE
};
std::vector<JobControlRecord> JobControls();  // every SetJobW call since Reset(), in order

// ---- the USB port monitor ------------------------------------------------------------------------
// Its ports are those of attached USB printers ("USB001"; opening any other name fails with
// ERROR_UNKNOWN_PORT). Like the system's USB port monitor it reaches the printer through its device
// interface: CreateFileW, WriteFile and ReadFile, and DeviceIoControl with the control code of
// pfnGetPrinterDataFromPort (IOCTL_PAR_QUERY_DEVICE_ID, IOCTL_USBPRINT_VENDOR_GET_COMMAND and _SET_COMMAND;
// a value name without a control code fails with ERROR_INVALID_PARAMETER). An unplugged printer fails
// every call but the open with ERROR_DEVICE_NOT_CONNECTED. A call with a port handle it has closed aborts
// the process: on Windows that handle is freed memory, so it is a bug of the caller, not an offline printer.
// Documents: as a port monitor server it reaches the device through what StartDocPort opens and EndDocPort
// closes, so pfnWritePort outside a document fails with ERROR_INVALID_HANDLE ("WritePort USB001 8 refused:
// no document"), and a second pfnStartDocPort before the first one's end fails with ERROR_BUSY.
MONITOR2 UsbPortMonitor();      // every entry it has; a copy, so tests may clear entries
HANDLE UsbPortMonitorHandle();  // the monitor handle its entries expect

struct PortFaults {
  bool failOpen = false;      // pfnOpenPort fails with ERROR_ACCESS_DENIED
  bool failStartDoc = false;  // pfnStartDocPort fails with ERROR_NOT_READY
  bool failWrites = false;    // pfnWritePort fails with ERROR_NOT_READY and writes nothing
  DWORD writeLimit = 0;       // not 0: each write passes at most this many bytes on
  bool failGetData = false;   // pfnGetPrinterDataFromPort fails with ERROR_GEN_FAILURE
};
void SetPortFaults(const std::u16string& port, const PortFaults& faults);  // until Reset()

// ---- the Standard TCP/IP port monitor's print side --------------------------------------------------
// Its ports are the TCP/IP port records (XcvDataW "AddPort", AddTcpIpPortRecord); opening any other name fails
// with ERROR_UNKNOWN_PORT. A document is one connection to the port's host: the same document rules as the
// USB port monitor's, and what a document writes is kept. No back channel: pfnReadPort fails with
// ERROR_NOT_SUPPORTED, and it has no pfnGetPrinterDataFromPort. Its calls are recorded with the USB port
// monitor's.
MONITOR2 TcpIpPortMonitor();
HANDLE TcpIpPortMonitorHandle();
struct TcpIpDocument {
  std::u16string port;
  DWORD jobId = 0;
  std::vector<uint8_t> bytes;
  bool ended = false;  // EndDocPort came
};
std::vector<TcpIpDocument> TcpIpDocuments();  // every document since Reset(), in start order

// One line per port monitor call, e.g. "OpenPort USB001", "StartDocPort USB001 7", "WritePort USB001 201",
// "ReadPort USB001", "EndDocPort USB001", "ClosePort USB001", "GetPrinterData USB001 0x22003c".
std::vector<std::string> PortMonitorCalls();
void ClearPortMonitorCalls();
size_t OpenPortHandles();  // port handles not closed yet

// ---- bidirectional response memory ----------------------------------------------------------
size_t LiveBidiAllocations();  // RouterAllocBidiMem blocks and response containers not released

// ---- threads -------------------------------------------------------------------------------------
void FailNextCreateThreads(int count);  // the next `count` CreateThread calls fail (ERROR_NOT_ENOUGH_MEMORY)
// While held, threads that CreateThread starts do not run their routine (CreateThread still returns);
// lifting the hold lets them all go.
void HoldNewThreads(bool hold);

}  // namespace winsim
