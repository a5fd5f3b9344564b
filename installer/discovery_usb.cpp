// USB printers through the USB printing device interface and its "Device Parameters" key, and the model
// of an attached printer from its device ID.
#include "installer/discovery.h"  // first: Winsock before windows.h
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "common/crc16.h"
#include "common/usbport.h"
#include "common/wstr.h"
#include "installer/model.h"

#ifndef IOCTL_PAR_QUERY_DEVICE_ID
#define IOCTL_PAR_QUERY_DEVICE_ID 0x16000C
#endif

namespace {

const GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID kUsbDeviceInterface = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
static_assert(kPresentInterfaces == 0x12);
constexpr size_t kVendorOffset = 12;     // "\\?\usb#vid_" is 12 characters
constexpr size_t kMinDevicePath = 16;    // the vendor text must lie inside the path
constexpr size_t kKeyPathChars = 512;    // registry key paths; one that does not fit is skipped
constexpr size_t kAnsiDescriptionBytes = 255;
constexpr size_t kDeviceIdBytes = 1024;

// A string value read with an explicit size: its size is asked first and the text is terminated here, so
// a value stored without its terminator, or longer than `out`, still ends inside `out` (cut to cap - 1).
void ReadStringValue(HKEY key, const WCHAR* name, WCHAR* out, size_t cap) {
  out[0] = 0;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return;
  std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, 0);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()), &size) != ERROR_SUCCESS)
    return;
  text[std::min<size_t>(size / sizeof(WCHAR), text.size() - 1)] = 0;
  WStrCopy(out, cap, text.data());
}

// The device path of one enumerated interface; empty on failure.
WString InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface) {
  DWORD need = 0;
  if (SetupDiGetDeviceInterfaceDetailW(set, iface, nullptr, 0, &need, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return WString();
  const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  if (need < pathOffset + sizeof(WCHAR)) return WString();
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(LocalAlloc(LPTR, need));
  if (!detail) return WString();
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  WString path;
  if (SetupDiGetDeviceInterfaceDetailW(set, iface, detail, need, nullptr, nullptr)) {
    const auto* chars = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(detail) + pathOffset);
    path.assign(chars, WStrNLen(chars, (need - pathOffset) / sizeof(WCHAR)));
  }
  LocalFree(detail);
  return path;
}

// The entry of one interface, or nullptr when its path is too short or its key cannot be opened.
PortEntry* ReadUsbInterface(const WString& path) {
  if (path.size() < kMinDevicePath) return nullptr;
  WCHAR keyPath[kKeyPathChars];
  if (WFormatTo(keyPath, kKeyPathChars,
                TEXT("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}")
                    TEXT("\\##?#%ws\\#\\Device Parameters"),
                path.c_str() + 4) < 0)
    return nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return nullptr;
  WCHAR description[kPortTextChars], serial[kPortTextChars];
  ReadStringValue(key, TEXT("Port Description"), description, kPortTextChars);
  ReadStringValue(key, TEXT("Serial Number"), serial, kPortTextChars);
  DWORD port = 0, type = 0, size = sizeof port;
  if (RegQueryValueExW(key, TEXT("Port Number"), nullptr, &type, reinterpret_cast<LPBYTE>(&port), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof port)
    port = 0;
  RegCloseKey(key);
  auto* e = new PortEntry{};
  FillUsbEntry(e, path.c_str(), description, port, serial);
  return e;
}

}  // namespace

uint16_t UsbDescriptionChecksum(const WCHAR* description) {
  std::string ansi = WideToAnsi(description);
  if (ansi.size() > kAnsiDescriptionBytes) ansi.resize(kAnsiDescriptionBytes);
  return Crc16Arc(ansi.data(), ansi.size());
}

bool FillUsbEntry(PortEntry* e, const WCHAR* devicePath, const WCHAR* description, DWORD portNumber,
                  const WCHAR* serialNumber) {
  if (WStrNLen(devicePath, kMinDevicePath) < kMinDevicePath) return false;
  WFormatTo(e->Description, kPortTextChars, TEXT("%.32ws"), description ? description : TEXT(""));
  WFormatTo(e->PortName, kPortTextChars, TEXT("USB%.3d"), static_cast<int>(portNumber));
  WFormatTo(e->SerialNumber, kPortTextChars, TEXT("%.32ws"), serialNumber ? serialNumber : TEXT(""));
  WStrCopyN(e->Vendor, 5, devicePath + kVendorOffset, 4);
  WFormatTo(e->Checksum, 5, TEXT("%04x"), static_cast<unsigned>(UsbDescriptionChecksum(e->Description)));
  WFormatTo(e->HardwareId, kPortTextChars, TEXT("usbprint\\%ws%ws"), e->Description, e->Checksum);
  for (WCHAR* c = e->HardwareId; *c; ++c)
    if (*c >= 'A' && *c <= 'Z') *c = WCHAR(*c - 'A' + 'a');
  e->PortType = kPortTypeUsb;
  return true;
}

int ScanUsbPrinters(PortLists* lists) {
  // Read the devices first, without the lock: the registry and SetupAPI calls take their time.
  PortEntry* found = nullptr;
  int count = 0;
  HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, kPresentInterfaces);
  if (set != INVALID_HANDLE_VALUE) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, i, &iface); ++i) {
      PortEntry* e = ReadUsbInterface(InterfacePath(set, &iface));
      if (!e) continue;
      e->Next = found;
      found = e;
      ++count;
    }
    SetupDiDestroyDeviceInfoList(set);
  }
  // `found` is newest first already; each new port hides the spooler's port of the same name.
  PortListsLock lock(lists);
  FreePortList(&lists->Usb);
  lists->Usb = found;
  // Oldest first, as the entries were made.
  std::vector<PortEntry*> order;
  for (PortEntry* e = found; e; e = e->Next) order.insert(order.begin(), e);
  for (PortEntry* e : order) RemoveFirstPort(&lists->Local, e->PortName);
  return count;
}

bool UsbDeviceChanged(PortLists* lists, const GUID& interfaceClass, int* rememberedCount) {
  if (memcmp(&interfaceClass, &kUsbDeviceInterface, sizeof(GUID)) != 0) return false;
  const int count = ScanUsbPrinters(lists);
  if (count == *rememberedCount) return false;
  *rememberedCount = count;
  return true;
}

const ModelTableRow* FindModelForDescription(const WCHAR* description) {
  if (const ModelTableRow* row = FindModel(description)) return row;
  WCHAR withVendor[100];
  if (WFormatTo(withVendor, 100, TEXT("Tarnwell %ws"), description ? description : TEXT("")) < 0) return nullptr;
  return FindModel(withVendor);
}

void ModelFromDeviceId(const char* reply, size_t len, WCHAR* model, size_t cap) {
  char cmd[32] = "";
  len = reply ? strnlen(reply, len) : 0;
  for (size_t i = 0; i + 4 <= len; ++i) {
    if (memcmp(reply + i, "CMD:", 4) != 0) continue;
    const char* value = reply + i + 4;
    const void* end = memchr(value, ';', len - i - 4);
    if (end) {
      const size_t n = std::min<size_t>(static_cast<const char*>(end) - value, sizeof cmd - 1);
      memcpy(cmd, value, n);
      cmd[n] = 0;
    }
    break;
  }
  WStrCopy(model, cap, strcmp(cmd, "TWL") == 0 ? TEXT("Tarnwell TW-KA_") : TEXT("Tarnwell TW-KA"));
}

void IdentifyAttachedModel(const WCHAR* portName, const WCHAR* description, WCHAR* model, size_t cap) {
  WStrCopy(model, cap, description);
  if (!WStrEq(description, TEXT("TarnwellTW-KA"))) return;
  WCHAR path[kDevicePathChars] = {};
  if (!FindUsbDevicePath(portName, path) || !path[0]) return;
  HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  char reply[kDeviceIdBytes] = {};
  DWORD got = 0;
  const BOOL ok = DeviceIoControl(h, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, reply, sizeof reply, &got, nullptr);
  CloseHandle(h);
  if (!ok) return;
  ModelFromDeviceId(reply, std::min<size_t>(got, sizeof reply), model, cap);
}
