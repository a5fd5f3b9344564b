#include "common/usbport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/alloc.h"

// Interface class of the USB printing class driver. Defined here rather than taken from the SDK's
// GUID_DEVINTERFACE_USBPRINT, which needs INITGUID in exactly one translation unit.
static const GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

#ifndef IOCTL_PAR_QUERY_DEVICE_ID
#define IOCTL_PAR_QUERY_DEVICE_ID 0x16000C
#endif
static_assert(IOCTL_PAR_QUERY_DEVICE_ID == 0x16000C);

// The detail record's size field is the size of the record with a one-character path, not of the buffer.
static_assert(sizeof(void*) != 8 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

namespace {

const WCHAR* const kRecognisedVendors[] = {TEXT("5e71"), TEXT("5e72"), TEXT("5E71"), TEXT("5E72")};
const char* const kSwitchingModels[] = {"TW-LA", "TW-LB", "AV-MA", "AV-MB"};
constexpr size_t kVendorOffset = 12;  // "\\?\usb#vid_" is 12 characters
constexpr int32_t kCpeFeedOffset = 27000;

// Finds `key` in text[0, len) and copies its value, up to the next ';', into `out` (kDeviceIdFieldChars).
//
// A value of 32 or more characters is cut to the 31 the field holds rather than rejected. Every text it is
// compared with ("TWL", "CPE", the five-character models) is far shorter than 31 characters, so a cut value
// compares unequal exactly as the whole value would, and the correction comes out as if the whole value had
// been compared. Rejecting it instead would throw away a valid identifier (long command-set lists are
// common) and leave a TWL setting in place for a printer that does not speak TWL.
bool FindValue(const char* text, size_t len, const char* key, char* out) {
  const size_t keyLen = strlen(key);
  for (size_t i = 0; i + keyLen <= len; ++i) {
    if (memcmp(text + i, key, keyLen) != 0) continue;
    const char* value = text + i + keyLen;
    const size_t rest = len - i - keyLen;
    const void* end = memchr(value, ';', rest);
    if (!end) return false;
    const size_t n = std::min<size_t>(static_cast<const char*>(end) - value, kDeviceIdFieldChars - 1);
    memcpy(out, value, n);
    out[n] = 0;
    return true;
  }
  return false;
}

bool IsSwitchingModel(const char* model) {
  for (const char* m : kSwitchingModels)
    if (strcmp(model, m) == 0) return true;
  return false;
}

// Checks one enumerated interface against the port name; on a match copies its path to `devicePath`.
void MatchInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface, LPCWSTR portName, WCHAR* devicePath) {
  DWORD need = 0;
  if (SetupDiGetDeviceInterfaceDetailW(set, iface, nullptr, 0, &need, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return;
  const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  if (need < pathOffset + sizeof(WCHAR)) return;
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(LocalAlloc(LPTR, need));
  if (!detail) return;
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (SetupDiGetDeviceInterfaceDetailW(set, iface, detail, need, nullptr, nullptr)) {
    const auto* chars = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(detail) + pathOffset);
    const WString path(chars, WStrNLen(chars, (need - pathOffset) / sizeof(WCHAR)));
    HKEY key = nullptr;
    if (IsRecognisedUsbVendor(path.c_str(), path.size()) &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, DeviceParametersKeyPath(path).c_str(), 0, KEY_QUERY_VALUE, &key) ==
            ERROR_SUCCESS) {
      DWORD port = 0, type = 0, size = sizeof port;
      if (RegQueryValueExW(key, TEXT("Port Number"), nullptr, &type, reinterpret_cast<LPBYTE>(&port), &size) ==
              ERROR_SUCCESS &&
          type == REG_DWORD && size == sizeof port &&
          WStrEq(WFormat(TEXT("USB%.3d"), static_cast<int>(port)).c_str(), portName)) {
        // A path cut to the buffer would name another device: one too long is passed over.
        if (path.size() < kDevicePathChars) WStrCopy(devicePath, kDevicePathChars, path.c_str());
      }
      RegCloseKey(key);
    }
  }
  LocalFree(detail);
}

}  // namespace

bool ParseDeviceId(const char* reply, size_t len, char* model, char* commandSet) {
  model[0] = 0;
  commandSet[0] = 0;
  if (!reply) return false;
  len = strnlen(reply, len);
  if (FindValue(reply, len, "MDL:", model) && FindValue(reply, len, "CMD:", commandSet)) return true;
  model[0] = 0;
  commandSet[0] = 0;
  return false;
}

bool IsRecognisedUsbVendor(const WCHAR* devicePath, size_t len) {
  if (!devicePath || len < kVendorOffset + 4 || WStrNLen(devicePath, kVendorOffset + 4) < kVendorOffset + 4)
    return false;
  for (const WCHAR* vendor : kRecognisedVendors)
    if (memcmp(devicePath + kVendorOffset, vendor, 4 * sizeof(WCHAR)) == 0) return true;
  return false;
}

WString DeviceParametersKeyPath(const WString& devicePath) {
  const WString rest = devicePath.size() > 4 ? devicePath.substr(4) : WString();
  return WFormat(TEXT("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}")
                     TEXT("\\##?#%ws\\#\\Device Parameters"),
                 rest.c_str());
}

void ApplyDeviceId(const char* model, const char* commandSet, PrinterDevmode* dm) {
  if (strcmp(commandSet, "TWL") == 0)
    dm->PrintLanguage = kLangTwl;
  else if (dm->PrintLanguage == kLangTwl)
    dm->PrintLanguage = kLangTspl;
  const uint32_t language = dm->PrintLanguage;
  if (!IsSwitchingModel(model)) return;
  if (strcmp(commandSet, "CPE") == 0) {
    dm->PrintLanguage = kLangEsc;
    if (dm->FeedOffset == 0) dm->FeedOffset = kCpeFeedOffset;
  } else if (language == kLangEsc) {
    dm->FeedOffset = 0;
    dm->PrintLanguage = kLangTspl;
  }
}

namespace {

// The printer's name and port (GetPrinterW level 5).
bool PrinterAndPort(HANDLE printer, WString* name, WString* port) {
  if (!printer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD need = 0;
  if (GetPrinterW(printer, 5, nullptr, 0, &need) || need < sizeof(PRINTER_INFO_5W)) return false;
  // Released also when copying the names runs out of memory.
  std::unique_ptr<PRINTER_INFO_5W, LocalDeleter> info(static_cast<PRINTER_INFO_5W*>(LocalAlloc(LPTR, need)));
  if (!info) return false;
  const bool ok = GetPrinterW(printer, 5, reinterpret_cast<LPBYTE>(info.get()), need, &need) && info->pPortName;
  if (ok) {
    *name = info->pPrinterName ? info->pPrinterName : TEXT("");
    *port = info->pPortName;
  }
  return ok;
}

}  // namespace

BOOL FindUsbDevicePath(LPCWSTR portName, WCHAR* devicePath) {
  if (!devicePath) return FALSE;
  devicePath[0] = 0;
  if (!portName) return FALSE;
  HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return FALSE;
  for (DWORD index = 0; !devicePath[0]; ++index) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, index, &iface)) break;
    MatchInterface(set, &iface, portName, devicePath);
  }
  SetupDiDestroyDeviceInfoList(set);
  return devicePath[0] != 0;
}

BOOL GetPortDevicePath(HANDLE printer, WCHAR* devicePath) {
  if (!devicePath) return FALSE;
  devicePath[0] = 0;
  WString name, port;
  if (!PrinterAndPort(printer, &name, &port)) return FALSE;
  FindUsbDevicePath(port.c_str(), devicePath);
  return TRUE;
}

BOOL ReadDeviceId(LPCWSTR devicePath, char* model, char* commandSet, char* replyText) {
  model[0] = 0;
  commandSet[0] = 0;
  if (replyText) replyText[0] = 0;
  if (!devicePath || !devicePath[0]) return FALSE;
  HANDLE device = CreateFileW(devicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return FALSE;
  char reply[kDeviceIdReplyBytes] = {};
  DWORD got = 0;
  BOOL ok = DeviceIoControl(device, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, reply, sizeof reply, &got, nullptr);
  CloseHandle(device);
  if (!ok) return FALSE;
  got = std::min<DWORD>(got, sizeof reply);  // a reply that fills the buffer has no terminator
  if (replyText) {
    memcpy(replyText, reply, got);
    replyText[got] = 0;
  }
  return ParseDeviceId(reply, got, model, commandSet);
}

namespace {

// What the lookup found for one printer on one port.
struct DeviceIdEntry {
  WString printer;
  WString port;
  WString devicePath;  // empty: no device of the port
  bool ok = false;     // the identifier was read and has both fields
  char model[kDeviceIdFieldChars] = {};
  char commandSet[kDeviceIdFieldChars] = {};
  std::string reply;
  ULONGLONG readAt = 0;
};

struct DeviceIdCache {
  CRITICAL_SECTION lock;
  std::vector<DeviceIdEntry> entries;  // at most kDeviceIdCacheEntries, the oldest read first to go
#ifndef _WIN32
  // The simulated machine can start afresh while the module stays loaded.
  int resetWatch = ForgetAttachedDevicesAtReset();
#endif
  DeviceIdCache() { InitializeCriticalSection(&lock); }
  ~DeviceIdCache() {
#ifndef _WIN32
    StopForgettingAttachedDevicesAtReset(resetWatch);
#endif
    DeleteCriticalSection(&lock);
  }
};

DeviceIdCache& Cache() {
  static DeviceIdCache cache;
  return cache;
}

class CacheLock {
 public:
  CacheLock() { EnterCriticalSection(&Cache().lock); }
  ~CacheLock() { LeaveCriticalSection(&Cache().lock); }
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;
};

// "USB" and at least three digits, as "USB%.3d" of a port number prints (a sign too, for numbers beyond
// 31 bits): only such a port can have a USB printer behind it.
bool CouldBeUsbPortName(const WCHAR* name) {
  if (!name || name[0] != 'U' || name[1] != 'S' || name[2] != 'B') return false;
  const WCHAR* p = name + 3;
  if (*p == '-') ++p;
  size_t digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p) ++digits;
  return *p == 0 && digits >= 3;
}

// A device still there under the path found: opening it asks nothing of the printer.
bool DevicePresent(const WString& path) {
  HANDLE device = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  CloseHandle(device);
  return true;
}

DeviceIdEntry LookUpDevice(const WString& printer, const WString& port, ULONGLONG now) {
  DeviceIdEntry entry;
  entry.printer = printer;
  entry.port = port;
  entry.readAt = now;
  WCHAR path[kDevicePathChars];
  if (CouldBeUsbPortName(port.c_str()) && FindUsbDevicePath(port.c_str(), path)) {
    entry.devicePath = path;
    char reply[kDeviceIdTextBytes];
    entry.ok = ReadDeviceId(path, entry.model, entry.commandSet, reply);
    if (entry.ok) entry.reply = reply;
  }
  return entry;
}

// The device identifier of the printer's port: from the cache while the port is the same, the device found
// is still there and the entry is young enough, else looked up (and kept) again.
bool AttachedDeviceId(HANDLE printer, DeviceIdEntry* out) {
  WString name, port;
  if (!PrinterAndPort(printer, &name, &port)) return false;
  const ULONGLONG now = GetTickCount64();
  auto fresh = [&](const DeviceIdEntry& e) {
    return now >= e.readAt && now - e.readAt < (e.ok ? kDeviceIdRefreshMs : kNoDeviceIdRefreshMs);
  };
  DeviceIdEntry cached;
  bool hit = false;
  {
    CacheLock lock;
    for (const DeviceIdEntry& e : Cache().entries) {
      if (e.port == port && WStrEqNoCase(e.printer.c_str(), name.c_str()) && fresh(e)) {
        cached = e;
        hit = true;
        break;
      }
    }
  }
  if (hit && (cached.devicePath.empty() || DevicePresent(cached.devicePath))) {
    *out = cached;
    return out->ok;
  }
  *out = LookUpDevice(name, port, now);
  CacheLock lock;
  auto& entries = Cache().entries;
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const DeviceIdEntry& e) {
                                 return WStrEqNoCase(e.printer.c_str(), name.c_str()) && e.port == port;
                               }),
                entries.end());
  if (entries.size() >= kDeviceIdCacheEntries)
    entries.erase(std::min_element(entries.begin(), entries.end(), [](const DeviceIdEntry& a, const DeviceIdEntry& b) {
      return a.readAt < b.readAt;
    }));
  entries.push_back(*out);
  return out->ok;
}

}  // namespace

BOOL AdjustForAttachedDevice(HANDLE printer, PrinterDevmode* dm) {
  if (!dm) return FALSE;
  DeviceIdEntry device;
  bool found = false;
  try {
    found = AttachedDeviceId(printer, &device);
  } catch (const std::bad_alloc&) {
    found = false;  // no memory for the lookup: as if no device answered
  }
  if (!found) {
    OutputDebugStringW(TEXT("GetUSBDeviceID failed."));
    return FALSE;
  }
  OutputDebugStringA("GetUSBDeviceID:");
  OutputDebugStringA(device.reply.c_str());
  ApplyDeviceId(device.model, device.commandSet, dm);
  return TRUE;
}

void ForgetAttachedDevices() {
  CacheLock lock;
  Cache().entries.clear();
}
