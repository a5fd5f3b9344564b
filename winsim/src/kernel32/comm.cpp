// kernel32: the default configuration of serial ports (GetDefaultCommConfigW, SetDefaultCommConfigW).
// The machine has the ports COM1 to COM256, each at 9600 baud, 8 data bits, no parity, one stop bit
// until a program stores another configuration.
#include <cstring>
#include <map>

#include <winbase.h>

#include "internal.h"

using namespace winsim::detail;

namespace {

std::map<std::u16string, COMMCONFIG> g_configs;  // by upper-case name, stored ones only

void ResetComm() { g_configs.clear(); }
const ResetRegistrar kResetComm(ResetComm);

bool IsSerialPortName(const std::u16string& upper) {
  if (upper.size() < 4 || upper.size() > 6 || upper.compare(0, 3, u"COM") != 0) return false;
  int n = 0;
  for (size_t i = 3; i < upper.size(); ++i) {
    if (upper[i] < u'0' || upper[i] > u'9') return false;
    n = n * 10 + (upper[i] - u'0');
  }
  return n >= 1 && n <= 256;
}

COMMCONFIG DefaultConfig() {
  COMMCONFIG c{};
  c.dwSize = sizeof c;
  c.wVersion = 1;
  c.dcb.DCBlength = sizeof(DCB);
  c.dcb.BaudRate = CBR_9600;
  c.dcb.fFlags = 1;  // fBinary
  c.dcb.ByteSize = 8;
  c.dcb.Parity = NOPARITY;
  c.dcb.StopBits = ONESTOPBIT;
  c.dwProviderSubType = PST_RS232;
  return c;
}

}  // namespace

extern "C" {

BOOL WINAPI GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG cc, LPDWORD size) {
  if (!name || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string key = Upper(Wide(name));
  if (!IsSerialPortName(key)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!cc || *size < sizeof(COMMCONFIG)) {
    *size = sizeof(COMMCONFIG);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Guard g(Mutex());
  auto it = g_configs.find(key);
  *cc = it == g_configs.end() ? DefaultConfig() : it->second;
  *size = sizeof(COMMCONFIG);
  return TRUE;
}

BOOL WINAPI SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG cc, DWORD size) {
  if (!name || !cc || size < sizeof(COMMCONFIG) - sizeof(WCHAR)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string key = Upper(Wide(name));
  if (!IsSerialPortName(key)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  Guard g(Mutex());
  COMMCONFIG c{};
  std::memcpy(&c, cc, sizeof c - sizeof(WCHAR));
  g_configs[key] = c;
  return TRUE;
}

}  // extern "C"
