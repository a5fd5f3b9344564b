// The port lists and the spooler's local ports.
#include "installer/discovery.h"  // first: Winsock before windows.h

#include <cstring>

#include "common/wstr.h"
#include "installer/enumerate.h"

void InitPortLists(PortLists* lists) {
  lists->Usb = lists->Network = lists->Local = nullptr;
  lists->Pass = 0;
  InitializeCriticalSection(&lists->Lock);
}

void FreePortLists(PortLists* lists) {
  {
    PortListsLock lock(lists);
    FreePortList(&lists->Usb);
    FreePortList(&lists->Network);
    FreePortList(&lists->Local);
  }
  DeleteCriticalSection(&lists->Lock);
}

void FreePortList(PortEntry** head) {
  while (*head) {
    PortEntry* next = (*head)->Next;
    delete *head;
    *head = next;
  }
}

size_t CountPortList(const PortEntry* head) {
  size_t n = 0;
  for (; head; head = head->Next) ++n;
  return n;
}

PortEntry* FindPort(PortEntry* head, const WCHAR* portName) {
  for (; head; head = head->Next)
    if (WStrEq(head->PortName, portName)) return head;
  return nullptr;
}

bool RemoveFirstPort(PortEntry** head, const WCHAR* portName) {
  for (PortEntry** link = head; *link; link = &(*link)->Next) {
    if (!WStrEq((*link)->PortName, portName)) continue;
    PortEntry* gone = *link;
    *link = gone->Next;
    delete gone;
    return true;
  }
  return false;
}

std::vector<PortEntry> CopyPortList(PortLists* lists, PortEntry* PortLists::*which) {
  std::vector<PortEntry> out;
  PortListsLock lock(lists);
  for (const PortEntry* e = lists->*which; e; e = e->Next) {
    out.push_back(*e);
    out.back().Next = nullptr;
  }
  return out;
}

uint16_t ClassifyLocalPort(const WCHAR* portName, const WCHAR* description) {
  if (WStrStr(portName, TEXT("USB"))) return kPortTypeUsb;
  if (WStrStr(description, TEXT("TCP/IP"))) return kPortTypeNet;
  if (WStrStr(portName, TEXT("COM"))) return kPortTypeCom;
  if (WStrStr(portName, TEXT("LPT"))) return kPortTypeLpt;
  return kPortTypeOther;
}

namespace {

bool OpensForReading(const WCHAR* portName) {
  HANDLE h = CreateFileW(portName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace

int AddLocalPorts(PortLists* lists, const PORT_INFO_2W* ports, DWORD count, bool (*canOpen)(const WCHAR*)) {
  if (!canOpen) canOpen = OpensForReading;
  int added = 0;
  for (DWORD i = 0; i < count; ++i) {
    auto* e = new PortEntry{};
    WFormatTo(e->PortName, kPortTextChars, TEXT("%ws"), ports[i].pPortName ? ports[i].pPortName : TEXT(""));
    WFormatTo(e->Description, kPortTextChars, TEXT("%ws"), ports[i].pDescription ? ports[i].pDescription : TEXT(""));
    e->PortType = ClassifyLocalPort(e->PortName, e->Description);
    // The open test runs without the lock: a serial port may take its time to answer.
    if (e->PortType == kPortTypeCom && !canOpen(e->PortName)) {
      delete e;
      continue;
    }
    PortListsLock lock(lists);
    if (FindPort(lists->Usb, e->PortName) || FindPort(lists->Network, e->PortName) ||
        FindPort(lists->Local, e->PortName)) {
      delete e;
      continue;
    }
    e->Next = lists->Local;
    lists->Local = e;
    ++added;
  }
  return added;
}

int EnumLocalPorts(PortLists* lists) {
  DWORD returned = 0;
  const std::vector<BYTE> buffer = PortRecords(&returned);
  if (buffer.empty()) return 0;
  return AddLocalPorts(lists, reinterpret_cast<const PORT_INFO_2W*>(buffer.data()), returned, nullptr);
}
