// USB port identification: finds the USB printer behind a port name ("USB001"), reads its IEEE 1284
// device ID, and corrects the print language and feed offset of the settings for the printer attached.
#pragma once

#include <cstddef>

#include "common/devmode.h"
#include "common/platform.h"
#include "common/wstr.h"

constexpr size_t kDevicePathChars = MAX_PATH;  // device path buffers, terminator included
constexpr size_t kDeviceIdReplyBytes = 1024;   // device ID reply buffer (the reply need not be terminated)
constexpr size_t kDeviceIdFieldChars = 32;     // model and command-set texts: 31 characters and a terminator
constexpr size_t kDeviceIdTextBytes = kDeviceIdReplyBytes + 1;  // a whole reply plus a terminator

// ---- pure parts --------------------------------------------------------------------

// Takes the "MDL:" and "CMD:" values (each up to the next ';') from the first `len` bytes of `reply`; the
// text also ends at a NUL. Values longer than 31 characters are cut to 31. False, with both outputs empty,
// when either key or its ';' is missing. `model` and `commandSet` hold kDeviceIdFieldChars.
bool ParseDeviceId(const char* reply, size_t len, char* model, char* commandSet);

// True when the 4 characters after the first 12 of the path (the vendor id after "\\?\usb#vid_") are one of
// the recognised vendor ids, compared exactly. Reads at most `len` characters.
bool IsRecognisedUsbVendor(const WCHAR* devicePath, size_t len);

// The "Device Parameters" key below HKEY_LOCAL_MACHINE of a device interface path (at least 4 characters).
WString DeviceParametersKeyPath(const WString& devicePath);

// The settings correction for an identified device: a "TWL" command set selects TWL, any other turns TWL
// into TSPL; four models switch between ESC (command set "CPE") and TSPL with their own feed offset.
void ApplyDeviceId(const char* model, const char* commandSet, PrinterDevmode* dm);

// ---- platform parts ------------------------------------------------------------------

// Path of the present USB printer whose "Port Number" formats as `portName` (exact, case-sensitive), into
// `devicePath` (kDevicePathChars). Leaves an empty string and returns FALSE when none matches.
BOOL FindUsbDevicePath(LPCWSTR portName, WCHAR* devicePath);

// The device path behind the printer's port (GetPrinterW level 5). FALSE when the handle is absent or the
// printer cannot be read; TRUE with an empty path when no USB printer is behind the port.
BOOL GetPortDevicePath(HANDLE printer, WCHAR* devicePath);

// Opens the device and asks for its IEEE 1284 device ID. FALSE when the device cannot be opened, the
// request fails or the ID lacks either field. `replyText` (optional, kDeviceIdTextBytes) gets the reply as
// returned, terminated.
BOOL ReadDeviceId(LPCWSTR devicePath, char* model, char* commandSet, char* replyText = nullptr);

// Corrects `dm` for the device attached to the printer's port. On any failure logs "GetUSBDeviceID failed."
// and changes nothing (FALSE); otherwise logs "GetUSBDeviceID:" and the reply, and applies it (TRUE).
//
// The lookup (the device enumeration, the registry and a request to the printer) runs once per printer and
// port and is kept, process-wide, for the next settings of the printer (every DrvEnablePDEV, every
// capability and settings call): it runs again when the printer's port has changed, when the device found
// is gone (unplugged, or another device on the port), and once the result is kDeviceIdRefreshMs old
// (kNoDeviceIdRefreshMs when no device answered), so a printer whose language was switched at its panel is
// seen within that time. Ports that cannot be USB ports ("COM1", network ports) are never looked up.
constexpr ULONGLONG kDeviceIdRefreshMs = 30000;
constexpr ULONGLONG kNoDeviceIdRefreshMs = 2000;
constexpr size_t kDeviceIdCacheEntries = 16;
BOOL AdjustForAttachedDevice(HANDLE printer, PrinterDevmode* dm);
// Forgets every lookup kept (a machine that starts afresh).
void ForgetAttachedDevices();
#ifndef _WIN32
// Linux build (common/usbport_linux.cpp): ForgetAttachedDevices runs at every reset of the simulated machine,
// until the registration is stopped (when the module goes).
int ForgetAttachedDevicesAtReset();
void StopForgettingAttachedDevicesAtReset(int registration);
#endif
