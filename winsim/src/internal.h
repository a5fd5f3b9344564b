// Shared internals of winsim: the machine lock, the handle table and string helpers.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <aclapi.h>
#include <devguid.h>
#include <ntddpar.h>
#include <sddl.h>
#include <setupapi.h>
#include <shlobj.h>
#include <usbprint.h>
#include <windows.h>
#include <winddi.h>
#include <winddiui.h>
#include <winioctl.h>
#include <winsplp.h>
#include <winspool.h>

#include "winsim/machine.h"

namespace winsim::detail {

// The tick clock (kernel32/clock.cpp): virtual once a test called winsim::UseVirtualClock().
uint64_t TickNow();
// Under the virtual clock: waits until `done` returns true (polled) or ms of virtual time pass, and
// returns done's last answer. Without the virtual clock returns false at once, doing nothing.
bool VirtualWait(DWORD ms, const std::function<bool()>& done);

// One lock for all machine state. Recursive so that API calls may build on each other; never hold it
// across blocking I/O or Sleep.
std::recursive_mutex& Mutex();
using Guard = std::lock_guard<std::recursive_mutex>;

// Every kernel or spooler object behind a HANDLE derives from Object.
struct Object {
  virtual ~Object() = default;
};
// Objects that CloseHandle closes (files; later events, threads, devices). Find and printer handles are not.
struct KernelObject : Object {};
HANDLE NewHandle(std::shared_ptr<Object> obj);
std::shared_ptr<Object> FindHandle(HANDLE h);
// Removes h from the table only when it names an object accepted by `match`.
std::shared_ptr<Object> TakeHandle(HANDLE h, bool (*match)(const Object*));
void ClearHandles();

template <class T>
std::shared_ptr<T> GetHandle(HANDLE h) {
  return std::dynamic_pointer_cast<T>(FindHandle(h));
}
// GetHandle for an API call: the last error is ERROR_INVALID_HANDLE when h names no T.
template <class T>
std::shared_ptr<T> HandleOrError(HANDLE h) {
  auto p = GetHandle<T>(h);
  if (!p) SetLastError(ERROR_INVALID_HANDLE);
  return p;
}
template <class T>
std::shared_ptr<T> TakeHandleOf(HANDLE h) {
  return std::static_pointer_cast<T>(
      TakeHandle(h, [](const Object* o) { return dynamic_cast<const T*>(o) != nullptr; }));
}
// TakeHandleOf for an API call: false with ERROR_INVALID_HANDLE when h names no T.
template <class T>
bool TakeHandleOrError(HANDLE h) {
  if (TakeHandleOf<T>(h)) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

// Machine state made on first use and never destroyed, so that threads still running at exit may use it.
// T is a type of the calling file's own (one object per type).
template <class T>
T& Lasting() {
  static auto* t = new T;
  return *t;
}

// The control API's reads and records of machine state, under the machine lock.
template <class T>
T CopyLocked(const T& state) {
  Guard g(Mutex());
  return state;
}
template <class T>
void AppendLocked(std::vector<T>& list, const T& item) {
  Guard g(Mutex());
  list.push_back(item);
}

// Strings. Wide <-> UTF-8 replaces lone surrogates and invalid bytes with U+FFFD.
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);
std::u16string FromAcp(const char* s);  // NUL-terminated CP_ACP string; "" for NULL
std::u16string Wide(LPCWSTR s);         // "" for NULL
// The printer a handle names (level 1 carries the name); "" with ERROR_INVALID_HANDLE otherwise.
std::u16string PrinterName(HANDLE h);
char16_t FoldAscii(char16_t c);
std::u16string Upper(std::u16string_view s);
bool IEquals(std::u16string_view a, std::u16string_view b);
// The ports of a printer's port list, which names several for a pool ("LPT1:,IP_192.0.2.10").
std::vector<std::u16string_view> PortNames(std::u16string_view list);

// Each subsystem registers its part of winsim::Reset() next to its state, with a namespace-scope
//   const ResetRegistrar kReset(ResetFiles);
// Locked parts run with the machine lock held, after the handle table is cleared; kBeforeLock parts run
// first, without it (threads that must stop before the machine can be reset). Parts must not depend on
// each other's order.
class ResetRegistrar {
 public:
  enum Phase { kLocked, kBeforeLock };
  explicit ResetRegistrar(void (*reset)(), Phase phase = kLocked);
};
// Every registered part of the given phase, in registration order.
void RunResets(ResetRegistrar::Phase phase);

// The print path through a language monitor (monitorhost.cpp), for the spooler's job calls. Called without
// the machine lock. MonitorStartDoc: true when the printer has no language monitor or the monitor accepted
// the document; false with the last error set. MonitorWrite: false when the document does not go through a
// monitor; otherwise true with `ok` and `taken` as the monitor's writes left them.
bool MonitorStartDoc(HANDLE hPrinter, DWORD jobId, LPBYTE docInfo);
bool MonitorWrite(HANDLE hPrinter, const void* data, DWORD size, BOOL* ok, DWORD* taken);
void MonitorEndDoc(HANDLE hPrinter);
// One line of winsim::PortMonitorCalls(), from either port monitor (usbmon.cpp, tcpport.cpp).
void RecordPortMonitorCall(const std::string& call);
// GetPrinterDataW for a value name the spooler does not hold: the monitor's pfnGetPrinterDataFromPort with
// control code 0 on the printer's port (opened through the monitor if need be). False when the printer
// has no language monitor; otherwise true with `ok` and `returned` as the monitor left them.
bool MonitorGetPrinterData(HANDLE hPrinter, LPCWSTR valueName, LPBYTE data, DWORD size, DWORD* returned, BOOL* ok);
// While set on the calling thread, documents it starts stay spooled: no monitor takes them (RunJob with
// JobSpec::despool false).
void KeepJobsSpooled(bool keep);
// A monitor registered before (a saved machine's): its module is loaded when a printer first needs it.
void RegisterLanguageMonitorOnUse(const std::u16string& monitorName, const std::u16string& module);

// Device namespace paths ("\\?\usb#..." or "\\.\..."; not "\\?\C:\..."): CreateFileW, ReadFile and
// WriteFile hand them to the device model. The Device* calls return false when `h` is no device handle.
bool IsDevicePath(LPCWSTR path);
// CreateFileW of a serial port name ("COM1", "COM1:", "\\.\COM1"): true with *out set (a handle, or
// INVALID_HANDLE_VALUE with the error) when `path` names one; false for every other path.
bool OpenSerialPort(LPCWSTR path, HANDLE* out);
HANDLE OpenDevice(LPCWSTR path, DWORD access, DWORD share, DWORD disposition);
bool DeviceReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, BOOL* result);
bool DeviceWriteFile(HANDLE h, LPCVOID buffer, DWORD size, LPDWORD written, BOOL* result);

// The spooler's administration side (spooler/admin.cpp, tcpmon/): transceive handles opened by names
// starting with "," (",XcvMonitor NAME", ",XcvPort NAME") with the access asked for, and DRIVER_INFO_8W
// packing for GetPrinterDriverW.
BOOL OpenXcv(LPWSTR name, DWORD access, LPHANDLE phXcv);
bool CloseXcv(HANDLE h);
BOOL PackDriverInfo(const winsim::DriverSpec& d, DWORD level, LPBYTE buf, DWORD cbBuf, LPDWORD pcbNeeded);
// After a driver was replaced (added again under its name): the spooler calls DrvUpgradePrinter of the
// driver's configuration module for every printer that uses it. Called without the machine lock.
void UpgradePrintersOfDriver(const winsim::DriverSpec& driver);
// Whether a driver of that name and environment is installed.
bool DriverInstalled(const std::u16string& name, const std::u16string& environment);
// Renames the printer of a handle, keeping its settings and data (other handles keep naming the old
// name); false when the handle is no printer's or the new name is taken.
bool RenamePrinterOfHandle(HANDLE h, const std::u16string& to);
// The access a printer handle was opened with; 0 for anything else.
DWORD PrinterHandleAccess(HANDLE h);

// True while the calling thread's newest activation is of a context whose manifest binds Common
// Controls 6 (kernel32/actctx.cpp); windows created then are version 6 controls.
bool CommonControls6Active();

}  // namespace winsim::detail
