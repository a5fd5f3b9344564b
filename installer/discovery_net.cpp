// Network printers: the adapter scan, one UDP socket and receive thread per local address, the broadcast
// request, answer handling and the rediscovery thread.
#include "installer/discovery.h"  // first: Winsock before windows.h
#include <iphlpapi.h>

#include <cstdio>
#include <cstring>

#include "common/wstr.h"
#include "installer/guard.h"
#include "installer/model.h"

const uint8_t kDiscoveryRequest[kDiscoveryRequestBytes] = {
    0x00, 0x20, 0x00, 0x01, 0x00, 0x01, 0x08, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
static_assert(sizeof kDiscoveryRequest == 32);

namespace {

constexpr size_t kReceiveBufferBytes = 1024;
constexpr size_t kModelLookupChars = 60;

void DebugLine(const char* label, const char* value) {
  OutputDebugStringW(WFormat(TEXT("%hs%hs\r\n"), label, value).c_str());
}

// Sends a message to a target copied out of the lock.
void SendTo(const DiscoveryTarget& target, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (target.send) target.send(target.context, msg, wParam, lParam);
}

DWORD ReceiveAnswers(DiscoverySocket* s) {
  PortLists* lists = s->Owner->Lists;
  uint8_t buffer[kReceiveBufferBytes];
  for (;;) {
    const int n = recvfrom(s->Socket, reinterpret_cast<char*>(buffer), int(sizeof buffer), 0, nullptr, nullptr);
    if (n <= 0) break;
    if (size_t(n) != kDiscoveryAnswerBytes) continue;
    DiscoveryTarget target{};
    {
      PortListsLock lock(lists);
      target = s->Target;
    }
    SendTo(target, MSG_NETWORK_REPLY, WPARAM(n), reinterpret_cast<LPARAM>(buffer));
  }
  return 0;
}

// Waits on the stop event; true when discovery is stopping.
bool Pause(Discovery* d, DWORD ms) {
  return WaitForSingleObject(d->StopEvent, ms) == WAIT_OBJECT_0;
}

DWORD Rediscover(Discovery* d) {
  PortLists* lists = d->Lists;
  for (;;) {
    bool known;
    {
      PortListsLock lock(lists);
      known = lists->Network != nullptr;
    }
    if (Pause(d, known ? d->LongPause : d->ShortPause)) break;
    {
      PortListsLock lock(lists);
      ++lists->Pass;
    }
    SendDiscoveryRequest(d, nullptr);
    if (Pause(d, d->ShortPause)) break;
    size_t count;
    bool dropped = false;
    DiscoveryTarget target{};
    {
      // The printers that did not answer this pass are gone.
      PortListsLock lock(lists);
      for (PortEntry** link = &lists->Network; *link;) {
        if ((*link)->Pass == lists->Pass) {
          link = &(*link)->Next;
          continue;
        }
        PortEntry* gone = *link;
        *link = gone->Next;
        delete gone;
        dropped = true;
      }
      count = CountPortList(lists->Network);
      target = d->Sockets->Target;
    }
    if (count != d->RememberedCount || dropped) {
      d->RememberedCount = count;
      SendTo(target, MSG_REFRESH_PORTS, 0, 0);
    }
  }
  return 0;
}

DWORD WINAPI ReceiveThread(LPVOID param) {
  return Guarded("ReceiveThread", DWORD(ERROR_NOT_ENOUGH_MEMORY),
                 [param] { return ReceiveAnswers(static_cast<DiscoverySocket*>(param)); });
}

DWORD WINAPI RediscoveryThread(LPVOID param) {
  return Guarded("RediscoveryThread", DWORD(ERROR_NOT_ENOUGH_MEMORY),
                 [param] { return Rediscover(static_cast<Discovery*>(param)); });
}

}  // namespace

bool IsDiscoveryAdapterType(UINT type) {
  switch (type) {
    case 1: case 6: case 9: case 15: case 23: case 24: case 28: case 71:
      return true;
    default:
      return false;
  }
}

std::vector<std::string> ScanAdapters() {
  std::vector<std::string> addresses;
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return addresses;
  std::vector<BYTE> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(first, &size) != ERROR_SUCCESS) return addresses;
  for (const IP_ADAPTER_INFO* a = first; a; a = a->Next) {
    char type[16];
    snprintf(type, sizeof type, "%u", a->Type);
    DebugLine("Adapter Name:", a->AdapterName);
    DebugLine("Adapter Description:", a->Description);
    DebugLine("Adapter Type:", type);
    if (!IsDiscoveryAdapterType(a->Type)) continue;
    for (const IP_ADDR_STRING* ip = &a->IpAddressList; ip; ip = ip->Next) {
      char text[sizeof ip->IpAddress.String + 1] = {};
      memcpy(text, ip->IpAddress.String, sizeof ip->IpAddress.String);
      DebugLine("IP Address:", text);
      if (strcmp(text, "0.0.0.0") != 0 && text[0]) addresses.push_back(text);
    }
  }
  return addresses;
}

bool ParseDiscoveryAnswer(const uint8_t* answer, size_t len, WCHAR address[16], char model[65]) {
  if (!answer || len != kDiscoveryAnswerBytes) return false;
  const uint8_t* ip = answer + kDiscoveryAnswerAddressOffset;
  WFormatTo(address, 16, TEXT("%d.%d.%d.%d"), ip[0], ip[1], ip[2], ip[3]);
  const char* text = reinterpret_cast<const char*>(answer + kDiscoveryAnswerModelOffset);
  const size_t n = strnlen(text, kDiscoveryAnswerModelBytes);
  memcpy(model, text, n);
  model[n] = 0;
  return true;
}

bool HandleDiscoveryAnswer(PortLists* lists, const uint8_t* answer, size_t len) {
  WCHAR address[16];
  char model[kDiscoveryAnswerModelBytes + 1];
  if (!ParseDiscoveryAnswer(answer, len, address, model)) return false;
  auto* e = new PortEntry{};
  WStrCopy(e->Description, kPortTextChars, AnsiToWide(model).c_str());
  WStrCopy(e->PortName, kPortTextChars, address);
  e->PortType = kPortTypeNet;
  WCHAR lookup[kModelLookupChars + 1];
  WFormatTo(lookup, kModelLookupChars + 1, TEXT("%ws %ws"), TEXT("Tarnwell"), e->Description);
  if (!FindModel(lookup)) {
    delete e;
    return false;
  }
  PortListsLock lock(lists);
  RemoveFirstPort(&lists->Local, e->PortName);
  for (PortEntry* p = lists->Network; p; p = p->Next) {
    if (WStrEq(p->Description, e->Description) && WStrEq(p->PortName, e->PortName)) {
      p->Pass = lists->Pass;  // heard again
      delete e;
      return false;
    }
  }
  e->Pass = lists->Pass;
  e->Next = lists->Network;
  lists->Network = e;
  return true;
}

bool StartDiscoverySockets(Discovery* d, PortLists* lists, const std::vector<std::string>& addresses) {
  d->Lists = lists;
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return false;
  if (wsa.wVersion != MAKEWORD(1, 1)) {
    WSACleanup();
    return false;
  }
  d->WsaStarted = true;
  for (const std::string& address : addresses) {
    auto* s = new DiscoverySocket{};
    snprintf(s->Address, sizeof s->Address, "%s", address.c_str());
    s->Owner = d;
    s->Socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    bool bound = false;
    if (s->Socket != INVALID_SOCKET) {
      BOOL on = TRUE;
      setsockopt(s->Socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
      sockaddr_in local{};
      local.sin_family = AF_INET;
      local.sin_port = htons(kDiscoveryLocalPort);
      local.sin_addr.s_addr = inet_addr(s->Address);
      bound = bind(s->Socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    if (bound) s->Thread = CreateThread(nullptr, 0, ReceiveThread, s, 0, nullptr);
    DebugLine(bound ? "Create UDP receiving thread for IP:" : "Failed to bind with IP:", s->Address);
    s->Next = d->Sockets;
    d->Sockets = s;
  }
  return true;
}

void SendDiscoveryRequest(Discovery* d, const DiscoveryTarget* target) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDiscoveryPrinterPort);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  for (DiscoverySocket* s = d->Sockets; s; s = s->Next) {
    if (target) {
      PortListsLock lock(d->Lists);
      s->Target = *target;
    }
    if (sendto(s->Socket, reinterpret_cast<const char*>(kDiscoveryRequest), int(sizeof kDiscoveryRequest), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR)
      OutputDebugStringW(WFormat(TEXT("UDP send data failed with error %u\n"), unsigned(WSAGetLastError())).c_str());
  }
}

bool StartRediscovery(Discovery* d) {
  if (d->Rediscovery) return true;
  if (!d->StopEvent) d->StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!d->StopEvent) return false;
  if (!d->Sockets) return true;  // nothing to discover with: the thread would end at once
  d->Rediscovery = CreateThread(nullptr, 0, RediscoveryThread, d, 0, nullptr);
  return d->Rediscovery != nullptr;
}

void StopDiscovery(Discovery* d, void (*wait)(HANDLE thread)) {
  auto join = [wait](HANDLE h) {
    if (wait) wait(h);
    else WaitForSingleObject(h, INFINITE);
  };
  // No new messages to the window from here on: it may be the thread waiting below.
  if (d->Lists) {
    PortListsLock lock(d->Lists);
    for (DiscoverySocket* s = d->Sockets; s; s = s->Next) s->Target = DiscoveryTarget{};
  }
  // The rediscovery thread uses the sockets and the lists: it ends first.
  if (d->Rediscovery) {
    SetEvent(d->StopEvent);
    join(d->Rediscovery);
    CloseHandle(d->Rediscovery);
    d->Rediscovery = nullptr;
  }
  // Closing a socket ends its receive thread's blocking receive.
  for (DiscoverySocket* s = d->Sockets; s; s = s->Next)
    if (s->Socket != INVALID_SOCKET) closesocket(s->Socket);
  for (DiscoverySocket* s = d->Sockets; s; s = s->Next) {
    if (!s->Thread) continue;
    join(s->Thread);
    CloseHandle(s->Thread);
  }
  while (d->Sockets) {
    DiscoverySocket* next = d->Sockets->Next;
    delete d->Sockets;
    d->Sockets = next;
  }
  if (d->StopEvent) {
    CloseHandle(d->StopEvent);
    d->StopEvent = nullptr;
  }
  if (d->WsaStarted) WSACleanup();
  d->WsaStarted = false;
}
