// winsim machine control: the C++ side door that tests and tools use to set up and inspect the one
// simulated Windows machine of the process (C: drive root, spooler, loaded modules, debug capture, clock).
// Driver code never includes this; it sees the machine only through the Win32 calls of the
// stand-in SDK headers (winsim/sdk/).
//
// Behaviour notes:
// - Handles of files, find searches and printers share one table; Reset() drops them all.
// - File sharing modes are enforced for opens of the same file (ERROR_SHARING_VIOLATION), and DeleteFile /
//   MoveFile of a file open without FILE_SHARE_DELETE fail the same way. Host file names are case-preserving
//   and looked up case-insensitively (ASCII folding), as on NTFS.
// - The clock is the real local time until SetLocalTime(); from then on it runs from the set value at the
//   real rate (set value plus elapsed real time), until Reset().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

// Fresh machine: new empty temporary C: root (the previous temporary root is deleted), empty spooler,
// cleared debug capture, clock back to real time, no open handles. Registered modules and their resources
// survive: they belong to loaded code, not to the machine.
void Reset();
// Loaded code that keeps what it learned of the machine between calls (a module's cache of the devices
// attached) forgets it when the machine starts afresh: `forget` runs at every Reset(), first, without the
// machine lock, until the registration is cancelled (before the code is unloaded).
int AtReset(void (*forget)());
void CancelAtReset(int registration);

std::string RootDir();                                // host path of C:\ (created on first use)
std::string HostPath(const std::u16string& winPath);  // host path a Windows path maps to ("" when not on C:)
bool WriteHostFile(const std::u16string& winPath, const void* data, size_t size);  // creates folders as needed
std::vector<uint8_t> ReadHostFile(const std::u16string& winPath);                  // empty when missing
// File security: every file and folder has an owner (SIDs as text, "S-1-5-18" SYSTEM unless set or
// created with another) and, when created with one, an access list. A junction is a folder that is a
// reparse point to another folder (FILE_ATTRIBUTE_REPARSE_POINT), as an ordinary user can plant one.
bool CreateJunction(const std::u16string& link, const std::u16string& target);  // link must not exist
bool SetFileOwner(const std::u16string& winPath, const std::string& sid);
std::string FileOwner(const std::u16string& winPath);                         // "" when missing
std::vector<std::string> FileAccessList(const std::u16string& winPath);       // SIDs allowed; empty: none set
// What another process may do between two calls of the code under test: `hook` runs once, on the thread
// that opened the file and with the machine lock held, right after the next successful CreateFileW of
// `winPath` (the name as the caller spells it, case-insensitive). Reset() drops a hook not yet run.
void OnceAfterOpen(const std::u16string& winPath, std::function<void()> hook);

// Modules: a name without extension gets ".dll", as GetModuleHandleW assumes.
HMODULE RegisterModule(const std::u16string& name);  // distinct fake handle; same name -> same handle
// Type and name may be MAKEINTRESOURCE values or strings ("#123" means 123); data is copied; replaces an
// existing resource of the same type and name.
void AddResource(HMODULE module, LPCWSTR type, LPCWSTR name, const void* data, size_t size);
void RemoveResources(HMODULE module);

struct DriverSpec {
  std::u16string name, environment = u"Windows x64", driverPath, dataFile, configFile, helpFile;
  // REG_MULTI_SZ style: entries separated by NUL; build it with a length, e.g. u"a.dll\0b.dll\0"s.
  std::u16string dependentFiles;
  std::u16string monitorName, defaultDataType = u"RAW";
  DWORD version = 3;
  // Level 8 (AddPrinterDriverW level 8, the driver store): the driver version as four 16-bit parts, most
  // significant first; the Plug and Play hardware ID, maker and provider; the INF it came from.
  uint64_t driverVersion = 0;
  std::u16string hardwareId, manufacturer, provider, infPath;
};
void AddDriver(const DriverSpec&);  // replaces a driver of the same name and environment

struct PrinterSpec {
  std::u16string name, port = u"USB001", driver, comment, location;
  std::vector<uint8_t> devmode;  // stored default DEVMODE (public part plus driver extra), may be empty
  DWORD attributes = 0;
  // The printer's security for the current user: false makes OpenPrinterW asking for
  // PRINTER_ACCESS_ADMINISTER (PRINTER_ALL_ACCESS included) fail with ERROR_ACCESS_DENIED.
  bool userMayAdminister = true;
  DWORD queuedJobs = 0;          // jobs waiting in the queue (cJobs); SetPrinterW PRINTER_CONTROL_PURGE clears
  bool pendingDeletion = false;  // DeletePrinter with queued jobs: removed once its queue is purged
};
bool AddPrinter(const PrinterSpec&);  // false when the driver is unknown or the name exists
bool RemovePrinter(const std::u16string& name);
bool SetPrinterDevmode(const std::u16string& printer, const std::vector<uint8_t>& devmode);
// Printer-data values, bypassing handle access checks; value names are case-insensitive.
bool SetPrinterDataValue(const std::u16string& printer, const std::u16string& value, DWORD type,
                         const std::vector<uint8_t>& data);
bool GetPrinterDataValue(const std::u16string& printer, const std::u16string& value, DWORD* type,
                         std::vector<uint8_t>* data);

std::vector<std::string> DebugLines();  // one UTF-8 entry per OutputDebugString call, in call order
void ClearDebugLines();

void SetLocalTime(const SYSTEMTIME&);  // wDayOfWeek is ignored and recomputed

// ---- the machine's lasting state --------------------------------------------------------------------
// What a restart of Windows keeps, as bytes: the registry; the spooler's drivers, printers (with their
// default DEVMODE and printer data), registered monitors and default printer; the Standard TCP/IP port
// records; the driver store; the file operations pending for the next restart; the files and folders of
// C: (with their owners and access lists); the attached USB printers (a TWL printer with its firmware).
// Not kept: jobs, handles, windows, the clock, debug lines, network printers, serial ports, the UI
// language. The same machine gives the same bytes.
constexpr uint32_t kMachineStateFormat = 1;
std::vector<uint8_t> SaveMachine();
// Reset(), then the machine `state` describes. False with a message (which part is wrong and how, or
// that another version wrote it) when it cannot be taken whole; the machine is then reset. `hostFault`
// tells a state that may be whole but could not be laid out here (no room or no right to write the
// files of C: under the temporary folder) from one that is damaged.
bool LoadMachine(const std::vector<uint8_t>& state, std::string* error, bool* hostFault = nullptr);

// Allocation faults of the calling thread's LocalAlloc calls (the driver routes its own buffers through
// it): counting restarts here; allocation number `failAt` (1-based) fails with ERROR_NOT_ENOUGH_MEMORY,
// and with `andAfter` every one after it too. 0 clears the fault. Reset() does not touch it.
void SetAllocationFault(unsigned failAt, bool andAfter = false);
unsigned AllocationCount();  // the calling thread's LocalAlloc calls since the last SetAllocationFault

}  // namespace winsim
