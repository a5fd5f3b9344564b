// Simulated devices: USB printers as the USB printing class driver presents them (device interface, registry
// key, device handle with read, write and I/O control).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "internal.h"
#include "machine_state.h"
#include "winsim/twlprinter.h"
#include "winsim/devices.h"
#include "devices/usb_internal.h"

using namespace winsim::detail;

namespace {

const char16_t kInterfaceClassText[] = u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char16_t kDeviceClassesKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

struct Attached {
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  std::u16string path;  // taken at attach time
  DWORD devInst;
};

struct Devices {
  std::vector<Attached> usb;
  DWORD nextDevInst = 1;
};

Devices& D() { return Lasting<Devices>(); }

// Registry key of an interface, below kDeviceClassesKey: "##?#" + the path without its 4-character prefix.
std::u16string InterfaceKey(const std::u16string& path) {
  return std::u16string(kDeviceClassesKey) + u"\\##?#" + (path.size() > 4 ? path.substr(4) : std::u16string());
}

const Attached* FindAttached(const winsim::UsbPrinterDevice* dev) {
  for (const auto& a : D().usb)
    if (a.device.get() == dev) return &a;
  return nullptr;
}

bool Live(const winsim::UsbPrinterDevice* dev) {
  Guard g(Mutex());
  return FindAttached(dev) && dev->present;
}

struct DeviceObj : KernelObject {
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  bool read = false, write = false;
};

// Resolves a device handle for I/O; false with the last error set when the device is gone.
bool CheckLive(const DeviceObj& d) {
  if (Live(d.device.get())) return true;
  SetLastError(ERROR_DEVICE_NOT_CONNECTED);
  return false;
}

// Runs a device hook that reports failure by returning false: its own last error wins, else ERROR_GEN_FAILURE.
template <class F>
BOOL RunHook(F&& hook) {
  SetLastError(ERROR_SUCCESS);
  if (hook()) return TRUE;
  if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
  return FALSE;
}

// ReadFile or WriteFile on a device handle: `transfer(device, &n)` moves the data when the handle is open
// for that direction (`access`) and the buffer is good. False for a handle that is no device.
template <class Transfer>
bool DeviceTransfer(HANDLE h, bool DeviceObj::*access, const void* buffer, DWORD size, LPDWORD done,
                    BOOL* result, Transfer transfer) {
  auto d = GetHandle<DeviceObj>(h);
  if (!d) return false;
  *result = FALSE;
  if (!((*d).*access)) {
    SetLastError(ERROR_ACCESS_DENIED);
  } else if (!buffer && size) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
  } else if (CheckLive(*d)) {
    DWORD n = 0;
    *result = RunHook([&] { return transfer(*d->device, &n); });
    if (done) *done = std::min(n, size);
  }
  return true;
}

DWORD CopyOut(const void* src, size_t size, LPVOID out, DWORD outSize) {
  DWORD n = DWORD(std::min<size_t>(size, outSize));
  if (n) memcpy(out, src, n);
  return n;
}

}  // namespace

namespace winsim {

std::u16string UsbPrinterDevice::InterfacePath() const {
  if (!interfacePath.empty()) return interfacePath;
  char ids[40];
  snprintf(ids, sizeof ids, "\\\\?\\usb#vid_%04x&pid_%04x#", vendorId, productId);
  return FromUtf8(ids) + FromUtf8(serial) + u"#" + kInterfaceClassText;
}

std::u16string UsbPrinterDevice::InstanceId() const {
  char ids[40];
  snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X\\", vendorId, productId);
  return FromUtf8(ids) + FromUtf8(serial);
}

BOOL UsbPrinterDevice::OnWrite(const uint8_t* data, DWORD size, DWORD* written) {
  std::lock_guard<std::mutex> l(mutex_);
  received_.insert(received_.end(), data, data + size);
  if (written) *written = size;
  return TRUE;
}

BOOL UsbPrinterDevice::OnRead(uint8_t*, DWORD, DWORD* read) {
  if (read) *read = 0;
  return TRUE;
}

std::string UsbPrinterDevice::OnQueryDeviceId() {
  return deviceId;
}

bool UsbPrinterDevice::OnVendorGet(const std::vector<uint8_t>&, std::vector<uint8_t>*) {
  return false;
}

bool UsbPrinterDevice::OnVendorSet(const std::vector<uint8_t>&) {
  return false;
}

std::vector<uint8_t> UsbPrinterDevice::Received() const {
  std::lock_guard<std::mutex> l(mutex_);
  return received_;
}

void UsbPrinterDevice::ClearReceived() {
  std::lock_guard<std::mutex> l(mutex_);
  received_.clear();
}

std::shared_ptr<UsbPrinterDevice> AttachUsbPrinter(std::shared_ptr<UsbPrinterDevice> device) {
  if (!device) return nullptr;
  Guard g(Mutex());
  if (FindAttached(device.get())) return device;
  std::u16string path = device->InterfacePath();
  for (const auto& a : D().usb)
    if (IEquals(a.path, path)) return nullptr;
  D().usb.push_back({device, path, D().nextDevInst++});

  HKEY key = nullptr;
  std::u16string params = InterfaceKey(path) + u"\\#\\Device Parameters";
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, params.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    DWORD port = device->portNumber;
    RegSetValueExW(key, u"Port Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof port);
    const std::u16string& desc = device->portDescription;
    RegSetValueExW(key, u"Port Description", 0, REG_SZ, reinterpret_cast<const BYTE*>(desc.c_str()),
                   DWORD((desc.size() + 1) * sizeof(WCHAR)));
    const std::u16string serial = FromUtf8(device->serial);
    RegSetValueExW(key, u"Serial Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(serial.c_str()),
                   DWORD((serial.size() + 1) * sizeof(WCHAR)));
    RegSetValueExW(key, u"Base Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"USB"), 4 * sizeof(WCHAR));
    RegCloseKey(key);
  }
  return device;
}

void DetachUsbPrinter(const std::shared_ptr<UsbPrinterDevice>& device) {
  Guard g(Mutex());
  auto& list = D().usb;
  auto it = std::find_if(list.begin(), list.end(), [&](const Attached& a) { return a.device == device; });
  if (it == list.end()) return;
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, InterfaceKey(it->path).c_str());
  list.erase(it);
}

std::vector<std::shared_ptr<UsbPrinterDevice>> UsbPrinters() {
  Guard g(Mutex());
  std::vector<std::shared_ptr<UsbPrinterDevice>> out;
  for (const auto& a : D().usb) out.push_back(a.device);
  return out;
}

std::shared_ptr<UsbPrinterDevice> UsbPrinterOnPort(const std::u16string& portName) {
  Guard g(Mutex());
  for (const auto& a : D().usb) {
    char name[16];
    snprintf(name, sizeof name, "USB%03u", unsigned(a.device->portNumber));
    if (IEquals(FromUtf8(name), portName)) return a.device;
  }
  return nullptr;
}

}  // namespace winsim

namespace winsim::detail {

std::vector<UsbInterface> UsbInterfaces() {
  Guard g(Mutex());
  std::vector<UsbInterface> out;
  for (const auto& a : D().usb) out.push_back({a.path, a.device->InstanceId(), a.devInst, a.device->present});
  return out;
}

void ResetDevices() {
  D().usb.clear();
  D().nextDevInst = 1;
}
const ResetRegistrar kResetDevices(ResetDevices);

// The attached USB printers as plugged in: a plain one, or a TWL printer with its firmware. Their
// registry keys are the registry's. What they were sent is not kept.
enum : uint8_t { kPlainUsb = 0, kTwl = 1 };

void SaveDevices(StateWriter& w) {
  w.U32(D().nextDevInst);
  w.U32(uint32_t(D().usb.size()));
  for (const auto& a : D().usb) {
    const auto& d = *a.device;
    const auto* twl = dynamic_cast<const winsim::TwlPrinterDevice*>(&d);
    w.U8(twl ? kTwl : kPlainUsb);
    w.U16(d.vendorId);
    w.U16(d.productId);
    w.Str8(d.serial);
    w.U32(d.portNumber);
    w.Str8(d.deviceId);
    w.Str(d.portDescription);
    w.Bool(d.present);
    w.Str(d.interfacePath);
    w.Str(a.path);
    w.U32(a.devInst);
    if (twl) {
      const auto kept = twl->KeptState();
      w.Str8(kept.versionText);
      w.U16(kept.checksum);
      w.U32(kept.updates);
      w.U32(kept.pageCounter);
    }
  }
}

bool LoadDevices(StateReader& r, uint32_t) {
  D().nextDevInst = r.U32();
  for (uint32_t i = 0, n = r.Count(60); i < n && r.Ok(); ++i) {
    const uint8_t kind = r.U8();
    if (kind != kPlainUsb && kind != kTwl) return r.Fail("a device of unknown kind " + std::to_string(kind)), false;
    auto twl = kind == kTwl ? std::make_shared<winsim::TwlPrinterDevice>() : nullptr;
    std::shared_ptr<winsim::UsbPrinterDevice> d = twl ? twl : std::make_shared<winsim::UsbPrinterDevice>();
    d->vendorId = r.U16();
    d->productId = r.U16();
    d->serial = r.Str8();
    d->portNumber = r.U32();
    d->deviceId = r.Str8();
    d->portDescription = r.Str();
    d->present = r.Bool();
    d->interfacePath = r.Str();
    Attached a{d, r.Str(), r.U32()};
    if (twl) {
      winsim::TwlPrinterDevice::Kept kept;
      kept.versionText = r.Str8();
      kept.checksum = r.U16();
      kept.updates = r.U32();
      kept.pageCounter = r.U32();
      twl->RestoreKeptState(kept);
    }
    if (!r.Ok()) break;
    for (const auto& other : D().usb)
      if (IEquals(other.path, a.path)) return r.Fail("two devices have one interface path"), false;
    D().usb.push_back(std::move(a));
  }
  return r.Ok();
}
const StateRegistrar kDevicesState("devices", 1, SaveDevices, LoadDevices);

bool IsDevicePath(LPCWSTR path) {
  if (!path) return false;
  std::u16string_view p(path);
  if (p.size() < 4 || p[0] != u'\\' || p[1] != u'\\' || (p[2] != u'?' && p[2] != u'.') || p[3] != u'\\') return false;
  return !(p.size() >= 6 && p[5] == u':');  // "\\?\C:\..." is a long file path
}

HANDLE OpenDevice(LPCWSTR path, DWORD access, DWORD, DWORD disposition) {
  if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) {
    SetLastError(ERROR_FILE_NOT_FOUND);  // devices cannot be created or truncated
    return INVALID_HANDLE_VALUE;
  }
  std::u16string_view name = std::u16string_view(path).substr(4);
  Guard g(Mutex());
  for (const auto& a : D().usb) {
    if (a.path.size() < 4 || !IEquals(std::u16string_view(a.path).substr(4), name) || !a.device->present) continue;
    auto obj = std::make_shared<DeviceObj>();
    obj->device = a.device;
    obj->read = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    obj->write = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    SetLastError(ERROR_SUCCESS);
    return NewHandle(obj);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

bool DeviceReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, BOOL* result) {
  return DeviceTransfer(h, &DeviceObj::read, buffer, size, read, result, [&](UsbPrinterDevice& device, DWORD* n) {
    return device.OnRead(static_cast<uint8_t*>(buffer), size, n);
  });
}

bool DeviceWriteFile(HANDLE h, LPCVOID buffer, DWORD size, LPDWORD written, BOOL* result) {
  return DeviceTransfer(h, &DeviceObj::write, buffer, size, written, result, [&](UsbPrinterDevice& device, DWORD* n) {
    return device.OnWrite(static_cast<const uint8_t*>(buffer), size, n);
  });
}

}  // namespace winsim::detail

extern "C" {

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
  if (lpBytesReturned) *lpBytesReturned = 0;
  auto d = GetHandle<DeviceObj>(hDevice);
  if (!d) {
    // Files and other kernel objects have no device behind them to take the request.
    SetLastError(GetHandle<KernelObject>(hDevice) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((!lpInBuffer && nInBufferSize) || (!lpOutBuffer && nOutBufferSize)) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  if (!CheckLive(*d)) return FALSE;
  auto& dev = *d->device;
  DWORD returned = 0;
  BOOL ok = FALSE;
  switch (dwIoControlCode) {
    case IOCTL_PAR_QUERY_DEVICE_ID:
    case IOCTL_USBPRINT_GET_1284_ID: {
      std::string text = dev.OnQueryDeviceId();
      if (dwIoControlCode == IOCTL_USBPRINT_GET_1284_ID) {
        size_t total = std::min<size_t>(text.size() + 2, 0xFFFF);
        text.insert(0, 1, char(total & 0xFF));
        text.insert(0, 1, char(total >> 8));
      }
      if (nOutBufferSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        break;
      }
      returned = CopyOut(text.data(), text.size(), lpOutBuffer, nOutBufferSize);
      if (returned < nOutBufferSize) static_cast<char*>(lpOutBuffer)[returned] = 0;
      ok = TRUE;
      break;
    }
    case IOCTL_USBPRINT_VENDOR_GET_COMMAND: {
      const auto* in = static_cast<const uint8_t*>(lpInBuffer);
      std::vector<uint8_t> input(in, in + nInBufferSize), reply;
      ok = RunHook([&] { return dev.OnVendorGet(input, &reply); });
      if (ok) returned = CopyOut(reply.data(), reply.size(), lpOutBuffer, nOutBufferSize);
      break;
    }
    case IOCTL_USBPRINT_VENDOR_SET_COMMAND: {
      const auto* in = static_cast<const uint8_t*>(lpInBuffer);
      std::vector<uint8_t> input(in, in + nInBufferSize);
      ok = RunHook([&] { return dev.OnVendorSet(input); });
      break;
    }
    default:
      SetLastError(ERROR_INVALID_FUNCTION);
      break;
  }
  if (lpBytesReturned) *lpBytesReturned = returned;
  return ok;
}

}  // extern "C"
