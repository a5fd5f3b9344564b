// GetAdaptersInfo over the simulated adapters (winsim/network.h).
#include <cstring>

#include <iphlpapi.h>

#include "internal.h"
#include "ws2_32/net.h"

namespace {

void SetAddr(IP_ADDR_STRING* s, const std::string& ip, const std::string& mask) {
  snprintf(s->IpAddress.String, sizeof s->IpAddress.String, "%s", ip.c_str());
  snprintf(s->IpMask.String, sizeof s->IpMask.String, "%s", mask.c_str());
}

}  // namespace

extern "C" ULONG WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
  if (!SizePointer) return ERROR_INVALID_PARAMETER;
  const auto adapters = winsim::NetworkAdapters();
  if (adapters.empty()) return ERROR_NO_DATA;
  // Adapter records first, then the extra address records of adapters with more than one address.
  size_t extra = 0;
  for (const auto& a : adapters) extra += a.addresses.size() > 1 ? a.addresses.size() - 1 : 0;
  const ULONG need = ULONG(adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING));
  if (!AdapterInfo || *SizePointer < need) {
    *SizePointer = need;
    return ERROR_BUFFER_OVERFLOW;
  }
  memset(AdapterInfo, 0, need);
  auto* extraRec = reinterpret_cast<IP_ADDR_STRING*>(AdapterInfo + adapters.size());
  for (size_t i = 0; i < adapters.size(); ++i) {
    const auto& a = adapters[i];
    IP_ADAPTER_INFO* info = AdapterInfo + i;
    info->Next = i + 1 < adapters.size() ? AdapterInfo + i + 1 : nullptr;
    info->ComboIndex = DWORD(i + 1);
    info->Index = DWORD(i + 1);
    snprintf(info->AdapterName, sizeof info->AdapterName, "%s", a.name.c_str());
    snprintf(info->Description, sizeof info->Description, "%s", a.description.c_str());
    info->AddressLength = 6;
    info->Address[0] = 0x02;
    info->Address[5] = BYTE(i + 1);
    info->Type = a.type;
    if (a.addresses.empty()) {
      SetAddr(&info->IpAddressList, "0.0.0.0", "0.0.0.0");
    } else {
      SetAddr(&info->IpAddressList, a.addresses[0].first, a.addresses[0].second);
      IP_ADDR_STRING* tail = &info->IpAddressList;
      for (size_t k = 1; k < a.addresses.size(); ++k) {
        SetAddr(extraRec, a.addresses[k].first, a.addresses[k].second);
        tail->Next = extraRec;
        tail = extraRec++;
      }
    }
    info->CurrentIpAddress = &info->IpAddressList;
    SetAddr(&info->GatewayList, "0.0.0.0", "0.0.0.0");
  }
  return ERROR_SUCCESS;
}
