// SetupAPI device information sets over the simulated devices (devices/): the USB printer interfaces.
#include <cstddef>
#include <cstring>

#include "internal.h"
#include "devices/usb_internal.h"

using namespace winsim::detail;

namespace {

// ---- SetupAPI device information sets ------------------------------------------------
struct DevInfoSet : Object {
  struct Entry {
    GUID interfaceClass;
    std::u16string path;
    DWORD devInst;
    bool present;
  };
  std::vector<Entry> entries;
};

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
  if (!ClassGuid && !(Flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto set = std::make_shared<DevInfoSet>();
  // Only device interfaces are simulated: a set of device setup classes comes back empty.
  const bool wanted = (Flags & DIGCF_DEVICEINTERFACE) &&
                      ((Flags & DIGCF_ALLCLASSES) || IsEqualGUID(*ClassGuid, GUID_DEVINTERFACE_USBPRINT));
  if (wanted) {
    for (const auto& a : UsbInterfaces()) {
      if ((Flags & DIGCF_PRESENT) && !a.present) continue;
      // An enumerator narrows the set to one bus ("USB") or one device instance.
      if (Enumerator && *Enumerator && !IEquals(Enumerator, u"USB") && !IEquals(Enumerator, a.instanceId)) continue;
      set->entries.push_back({GUID_DEVINTERFACE_USBPRINT, a.path, a.devInst, a.present});
    }
  }
  SetLastError(ERROR_SUCCESS);
  return NewHandle(set);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  auto set = HandleOrError<DevInfoSet>(DeviceInfoSet);
  if (!set) return FALSE;
  if (!InterfaceClassGuid || !DeviceInterfaceData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
      (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  DWORD seen = 0;
  for (size_t i = 0; i < set->entries.size(); ++i) {
    const auto& e = set->entries[i];
    if (!IsEqualGUID(e.interfaceClass, *InterfaceClassGuid)) continue;
    if (DeviceInfoData && DeviceInfoData->DevInst != e.devInst) continue;
    if (seen++ != MemberIndex) continue;
    DeviceInterfaceData->InterfaceClassGuid = e.interfaceClass;
    DeviceInterfaceData->Flags = e.present ? SPINT_ACTIVE : 0;
    DeviceInterfaceData->Reserved = ULONG_PTR(i + 1);
    return TRUE;
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
  auto set = HandleOrError<DevInfoSet>(DeviceInfoSet);
  if (!set) return FALSE;
  if (!DeviceInterfaceData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
      (DeviceInterfaceDetailData && DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) ||
      (DeviceInterfaceDetailData && DeviceInterfaceDetailDataSize < pathOffset + sizeof(WCHAR)) ||
      (!DeviceInterfaceDetailData && DeviceInterfaceDetailDataSize != 0) ||
      (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const ULONG_PTR cookie = DeviceInterfaceData->Reserved;
  if (cookie == 0 || cookie > set->entries.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto& e = set->entries[cookie - 1];
  const DWORD need = DWORD(pathOffset + (e.path.size() + 1) * sizeof(WCHAR));
  if (RequiredSize) *RequiredSize = need;
  if (DeviceInfoData) {
    DeviceInfoData->ClassGuid = GUID_DEVCLASS_USB;
    DeviceInfoData->DevInst = e.devInst;
    DeviceInfoData->Reserved = cookie;
  }
  if (DeviceInterfaceDetailDataSize < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The path runs on past the declared one-character array, into the caller's buffer.
  memcpy(reinterpret_cast<char*>(DeviceInterfaceDetailData) + pathOffset, e.path.c_str(),
         (e.path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  return TakeHandleOrError<DevInfoSet>(DeviceInfoSet);
}

}  // extern "C"
