// Language monitor lblmon: printer status and version through the port monitor's vendor requests.
#pragma once

#include <cstddef>

#include "common/platform.h"
#include "monitor/port.h"

// Control codes of pfnGetPrinterDataFromPort.
inline constexpr DWORD kIoctlQueryDeviceId = 0x16000C;  // IEEE 1284 device identifier
inline constexpr DWORD kIoctlVendorGet = 0x22003C;
inline constexpr DWORD kIoctlVendorSet = 0x220038;

// ---- printer status ----------------------------------------------------------------------
// What a status query left on the port, taken together.
struct PrinterState {
  LONG printerStatus;
  DWORD pageCounter;
  BYTE recentPages[16];
};
struct StatusReply {
  LONG printerStatus;       // -1 when bytes 0-1 are not hexadecimal
  DWORD pageCounter;        // bytes 2-7, decimal
  bool hasRecentPages;      // the reply had at least 24 bytes
  BYTE recentPages[16];     // bytes 8-23
};
// Reads a status reply of `size` bytes (at most 64 are looked at; missing bytes read as zero).
void ParseStatusReply(const BYTE* reply, size_t size, StatusReply* out);
// Queries the printer; on success updates printerStatus, pageCounter and recentPages. `status` receives the
// printerStatus this query left (-1 on failure or an unreadable reply), `state` all three as this query
// left them (a query on another thread may change the port's fields at any time).
BOOL GetPrinterStatus(IniPort* port, LONG* status = nullptr, PrinterState* state = nullptr);
void GetPrinterVersion(IniPort* port);
void ResetStatusState();  // the last status text and the vendor command buffer back to empty
void ReleaseStatusState();  // at unload

// The printer tools' value names: "twgetcmdN" asks vendor request N (1-9) with a GET, "twsetcmdN" with a
// SET. A name of that length and "tw" start whose third letter is neither 'g' nor 's' is taken but asks
// nothing (kNone).
enum class VendorAccess { kGet, kSet, kNone };
struct VendorCommand {
  BYTE request;
  VendorAccess access;
};
// False when the name is not one of these (the caller answers ERROR_INVALID_PARAMETER).
bool ParseVendorCommandName(LPCWSTR name, VendorCommand* out);

// GetPrinterDataFromPort of a port: control codes go to the port monitor; with control code 0 the
// value "IsTWL" and the vendor commands (ParseVendorCommandName) are answered here.
BOOL PortPrinterData(IniPort* port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                     LPWSTR outBuffer, DWORD outSize, LPDWORD returned);
