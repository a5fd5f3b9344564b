// Printer status and version through the port monitor's vendor requests, and the printer-data values
// with reserved names.
#include <cstring>

#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

struct StatusState {
  CRITICAL_SECTION lock;
  BYTE vendor[64];  // the vendor command buffer: byte 0 request, bytes 3-18 kept from SET request 5
  StatusState() : vendor{} { InitializeCriticalSection(&lock); }
};

StatusState* g_state = nullptr;

StatusState& S() {
  static const bool built = (g_state = new StatusState, true);
  (void)built;
  return *g_state;
}

struct StatusLock {
  StatusLock() { EnterCriticalSection(&S().lock); }
  ~StatusLock() { LeaveCriticalSection(&S().lock); }
};

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The reply's text: up to its first zero byte, at most 63 characters.
void ReplyText(const BYTE* reply, size_t size, char* out) {
  size_t n = 0;
  while (n < size && n < 63 && reply[n]) {
    out[n] = static_cast<char>(reply[n]);
    ++n;
  }
  out[n] = 0;
}

// The pseudo-random sequence of the C runtime's rand(), so both builds fill the same bytes.
struct Rand {
  uint32_t state;
  int Next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  }
};

}  // namespace

void ReleaseStatusState() {
  if (!g_state) return;
  DeleteCriticalSection(&g_state->lock);
  delete g_state;
  g_state = nullptr;
}

void ResetStatusState() {
  StatusLock g;
  memset(S().vendor, 0, sizeof S().vendor);
}

void ParseStatusReply(const BYTE* reply, size_t size, StatusReply* out) {
  BYTE buf[64] = {};
  if (size > sizeof buf) size = sizeof buf;
  if (reply && size) memcpy(buf, reply, size);
  const char* text = reinterpret_cast<const char*>(buf);

  // Bytes 0-1 as "%lX" reads them: blanks, then hexadecimal digits.
  out->printerStatus = -1;
  int i = 0;
  while (i < 2 && IsSpace(text[i])) ++i;
  if (i < 2 && HexDigit(text[i]) >= 0) {
    LONG v = 0;
    for (; i < 2 && HexDigit(text[i]) >= 0; ++i) v = v * 16 + HexDigit(text[i]);
    out->printerStatus = v;
  }

  // Bytes 2-7: blanks, then decimal digits; 0 when there are none.
  out->pageCounter = 0;
  i = 2;
  while (i < 8 && IsSpace(text[i])) ++i;
  for (; i < 8 && text[i] >= '0' && text[i] <= '9'; ++i) out->pageCounter = out->pageCounter * 10 + (text[i] - '0');

  out->hasRecentPages = size >= 24;
  memcpy(out->recentPages, buf + 8, sizeof out->recentPages);
}

BOOL GetPrinterStatus(IniPort* port, LONG* status, PrinterState* state) {
  if (status) *status = -1;
  if (state) {
    StatusLock g;
    state->printerStatus = -1;
    state->pageCounter = port->pageCounter;
    memcpy(state->recentPages, port->recentPages, sizeof state->recentPages);
  }
  {
    StatusLock g;
    port->printerStatus = -1;
  }
  auto query = port->portMonitorTable.pfnGetPrinterDataFromPort;
  if (!query) {
    MonLog(TEXT("GetPrinterStatus: invalid funtion pfnGetPrinterDataFromPort.\n"));
    return FALSE;
  }
  BYTE request[1] = {0x01};
  BYTE reply[64] = {};
  DWORD returned = 0;
  if (!query(port->hPort, kIoctlVendorGet, nullptr, reinterpret_cast<LPWSTR>(request), sizeof request,
             reinterpret_cast<LPWSTR>(reply), sizeof reply, &returned)) {
    MonLog(TEXT("GetPrinterStatus: pfnGetPrinterDataFromPort calling failed.\n"));
    return FALSE;
  }
  if (returned > sizeof reply) returned = sizeof reply;
  char text[64];
  ReplyText(reply, sizeof reply, text);
  StatusReply parsed;
  ParseStatusReply(reply, returned, &parsed);

  bool changed;
  {
    StatusLock g;
    // Per port: two printers with different replies would otherwise log every reply of both.
    changed = strcmp(text, port->lastStatus) != 0;
    if (changed) memcpy(port->lastStatus, text, sizeof text);
    if (parsed.hasRecentPages) memcpy(port->recentPages, parsed.recentPages, sizeof port->recentPages);
    port->pageCounter = parsed.pageCounter;
    port->printerStatus = parsed.printerStatus;
    if (state) {
      state->printerStatus = port->printerStatus;
      state->pageCounter = port->pageCounter;
      memcpy(state->recentPages, port->recentPages, sizeof state->recentPages);
    }
  }
  // Each distinct reply is logged once in a row.
  if (changed) MonLog(TEXT("GetPrinterStatus: The data read from printer: %hs\n"), text);
  if (status) *status = parsed.printerStatus;
  return TRUE;
}

void GetPrinterVersion(IniPort* port) {
  BYTE request[64] = {0x02};
  BYTE reply[64] = {};
  DWORD returned = 0;
  if (auto query = port->portMonitorTable.pfnGetPrinterDataFromPort) {
    query(port->hPort, kIoctlVendorGet, nullptr, reinterpret_cast<LPWSTR>(request), sizeof request,
          reinterpret_cast<LPWSTR>(reply), sizeof reply, &returned);
  }
  reply[0] = '\'';
  ReplyText(reply, sizeof reply, port->hwVersion);
  MonLog(TEXT("GetPrinterVersion: Driver Version:%hs, HW version: %hs.\n"), kProductVersion, port->hwVersion);
}

bool ParseVendorCommandName(LPCWSTR name, VendorCommand* out) {
  // "twgetcmdN" and "twsetcmdN": vendor request N, GET or SET by the third letter.
  if (!name || WStrLen(name) != 9 || name[0] != 't' || name[1] != 'w') return false;
  const WCHAR digit = name[8];
  const BYTE request = (digit >= '0' && digit <= '9') ? static_cast<BYTE>(digit - '0') : 0;
  if (request == 0) return false;
  out->request = request;
  out->access = name[2] == 's' ? VendorAccess::kSet : name[2] == 'g' ? VendorAccess::kGet : VendorAccess::kNone;
  return true;
}

BOOL PortPrinterData(IniPort* port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                     LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  auto query = port->portMonitorTable.pfnGetPrinterDataFromPort;
  if (controlId != 0) {
    if (query) return query(port->hPort, controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  if (valueName && returned && WStrEq(valueName, TEXT("IsTWL"))) {
    *returned = sizeof(DWORD);
    if (!outBuffer || outSize < sizeof(DWORD)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    DWORD isTWL = static_cast<DWORD>(AtomicLoad(&port->isTWL));
    memcpy(outBuffer, &isTWL, sizeof isTWL);
    return TRUE;
  }

  VendorCommand command;
  if (!returned || !ParseVendorCommandName(valueName, &command)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (command.access == VendorAccess::kNone) return TRUE;
  const bool set = command.access == VendorAccess::kSet;

  BYTE buffer[64];
  {
    StatusLock g;
    BYTE* vendor = S().vendor;
    vendor[0] = command.request;
    if (set && command.request == 5) {
      Rand rng{GetTickCount()};
      for (int i = 3; i <= 18; ++i) vendor[i] = static_cast<BYTE>(rng.Next() % 255);
    }
    memcpy(buffer, vendor, sizeof buffer);
  }

  BOOL ok = FALSE;
  if (!query)
    SetLastError(ERROR_INVALID_PARAMETER);
  else
    ok = query(port->hPort, set ? kIoctlVendorSet : kIoctlVendorGet, nullptr, reinterpret_cast<LPWSTR>(buffer),
               sizeof buffer, outBuffer, outSize, returned);
  if (ok || set) return ok;
  // The printer tools read a first value of 8 for the status request as "the printer did not answer";
  // every other request reports the failure, so that the tools can tell it.
  if (command.request != 1) return FALSE;
  if (!outBuffer || outSize < sizeof(WORD)) {
    *returned = sizeof(WORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const WORD noAnswer = 8;
  memcpy(outBuffer, &noAnswer, sizeof noAnswer);
  *returned = outSize;
  return TRUE;
}
