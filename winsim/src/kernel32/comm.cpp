// kernel32: serial ports. The default configuration (GetDefaultCommConfigW, SetDefaultCommConfigW) exists
// for COM1 to COM256, each at 9600 baud, 8 data bits, no parity, one stop bit until a program stores
// another; only the ports attached as hardware (winsim::AttachSerialPort) open with CreateFileW.
#include <cstring>
#include <map>
#include <set>

#include <winbase.h>

#include "internal.h"
#include "winsim/devices.h"

using namespace winsim::detail;

namespace {

std::map<std::u16string, COMMCONFIG> g_configs;  // by upper-case name, stored ones only
std::set<int> g_attached;                          // port numbers with hardware

struct SerialObj : KernelObject {};

void ResetComm() {
  g_configs.clear();
  g_attached.clear();
}
const ResetRegistrar kResetComm(ResetComm);

// The port number of "COMn" (1-256), 0 for any other name.
int SerialPortNumber(const std::u16string& upper) {
  if (upper.size() < 4 || upper.size() > 6 || upper.compare(0, 3, u"COM") != 0) return 0;
  int n = 0;
  for (size_t i = 3; i < upper.size(); ++i) {
    if (upper[i] < u'0' || upper[i] > u'9') return 0;
    n = n * 10 + (upper[i] - u'0');
  }
  return n >= 1 && n <= 256 ? n : 0;
}
bool IsSerialPortName(const std::u16string& upper) { return SerialPortNumber(upper) != 0; }

// The configuration key of port `name`; false, with ERROR_FILE_NOT_FOUND, for a name that is no serial port.
bool SerialPortKey(LPCWSTR name, std::u16string* key) {
  *key = Upper(Wide(name));
  if (IsSerialPortName(*key)) return true;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return false;
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

namespace winsim {
void AttachSerialPort(int number) {
  Guard g(Mutex());
  if (number >= 1 && number <= 256) g_attached.insert(number);
}
}  // namespace winsim

namespace winsim::detail {
bool OpenSerialPort(LPCWSTR path, HANDLE* out) {
  // Every file open passes here: only names starting "COM" or "\\.\" are looked at.
  auto lower = [](WCHAR c) { return c >= 'A' && c <= 'Z' ? WCHAR(c + 32) : c; };
  if (!path || !((lower(path[0]) == 'c' && lower(path[1]) == 'o' && lower(path[2]) == 'm') ||
                 (path[0] == '\\' && path[1] == '\\' && path[2] == '.' && path[3] == '\\')))
    return false;
  std::u16string name = Upper(Wide(path));
  if (name.rfind(u"\\\\.\\", 0) == 0) name.erase(0, 4);
  else if (!name.empty() && name.back() == u':') name.pop_back();
  const int n = SerialPortNumber(name);
  if (!n) return false;
  Guard g(Mutex());
  if (!g_attached.count(n)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    *out = INVALID_HANDLE_VALUE;
  } else {
    SetLastError(ERROR_SUCCESS);
    *out = NewHandle(std::make_shared<SerialObj>());
  }
  return true;
}
}  // namespace winsim::detail

extern "C" {

BOOL WINAPI GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG cc, LPDWORD size) {
  if (!name || !size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string key;
  if (!SerialPortKey(name, &key)) return FALSE;
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
  std::u16string key;
  if (!SerialPortKey(name, &key)) return FALSE;
  Guard g(Mutex());
  COMMCONFIG c{};
  std::memcpy(&c, cc, sizeof c - sizeof(WCHAR));
  g_configs[key] = c;
  return TRUE;
}

}  // extern "C"
