// Printer discovery: the three port lists behind the install page (USB printers, network printers that
// answer the UDP broadcast, the spooler's other local ports), the threads that fill the network list, and
// the model of an attached printer.
#pragma once

#include <winsock2.h>  // before windows.h, as MinGW wants
#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "installer/model_table.h"
#include "installer/port_types.h"


constexpr size_t kPortTextChars = 260;

// One line of a port list. Texts are always terminated.
struct PortEntry {
  PortEntry* Next;
  WCHAR Vendor[5];    // USB vendor id text
  WCHAR Checksum[5];  // 4 lower-case hex digits
  WCHAR PortName[kPortTextChars];
  WCHAR Description[kPortTextChars];
  WCHAR SerialNumber[kPortTextChars];
  WCHAR HardwareId[kPortTextChars];
  uint16_t PortType;
  uint32_t Pass;  // network entries: the rediscovery pass that last heard the printer
};

// Window messages of the install page that discovery sends.
constexpr UINT MSG_REFRESH_PORTS = 0x0400 + 1;  // WM_USER + 1
constexpr UINT MSG_NETWORK_REPLY = 0x0400 + 2;  // wParam: answer length, lParam: the answer bytes

// Where discovery sends its messages: the install page's window on Windows (a SendMessageW shell), a
// recorder in tests. Sends are synchronous: the receiver has handled the message when `send` returns.
struct DiscoveryTarget {
  LRESULT (*send)(void* context, UINT msg, WPARAM wParam, LPARAM lParam);
  void* context;
};

// The three lists, newest entry first, and the one lock that guards every use of them (and the stored
// targets of the discovery sockets). The lock is never held while a message is sent.
struct PortLists {
  PortEntry* Usb = nullptr;
  PortEntry* Network = nullptr;
  PortEntry* Local = nullptr;
  uint32_t Pass = 0;  // the current rediscovery pass
  CRITICAL_SECTION Lock;
};
void InitPortLists(PortLists* lists);
void FreePortLists(PortLists* lists);  // empties the lists and deletes the lock

class PortListsLock {
 public:
  explicit PortListsLock(PortLists* lists) : lists_(lists) { EnterCriticalSection(&lists_->Lock); }
  ~PortListsLock() { LeaveCriticalSection(&lists_->Lock); }
  PortListsLock(const PortListsLock&) = delete;
  PortListsLock& operator=(const PortListsLock&) = delete;

 private:
  PortLists* lists_;
};

// ---- list helpers (caller holds the lock) -------------------------------------------------
void FreePortList(PortEntry** head);
size_t CountPortList(const PortEntry* head);
PortEntry* FindPort(PortEntry* head, const WCHAR* portName);
bool RemoveFirstPort(PortEntry** head, const WCHAR* portName);  // exact, case-sensitive
// A copy of one list, oldest-to-newest order kept as in the list (for showing it without the lock).
std::vector<PortEntry> CopyPortList(PortLists* lists, PortEntry* PortLists::*which);

// ---- USB ----------------------------------------------------------------------------------
constexpr size_t kUsbDescriptionChars = 32;  // descriptions and serial numbers are cut to this
// CRC-16/ARC of the description in the ANSI code page (at most 255 characters).
uint16_t UsbDescriptionChecksum(const WCHAR* description);
// Fills a USB entry from the interface's values; vendor = the 4 characters at offset 12 of the device path.
// Description and serial number are cut to 32 characters. False when the path is shorter than 16 characters.
bool FillUsbEntry(PortEntry* entry, const WCHAR* devicePath, const WCHAR* description, DWORD portNumber,
                  const WCHAR* serialNumber);
// Rebuilds the USB list from the present USB printer interfaces; each new port hides the local-port entry
// of the same name. Returns the number of printers found.
int ScanUsbPrinters(PortLists* lists);
// A device-interface arrival or completed removal: for the USB device class {A5DCBF10-6530-11D2-901F-
// 00C04FB951ED} the USB printers are scanned again. True when the page must refresh: the count differs
// from `rememberedCount`, which then takes the new count. Other classes change nothing.
bool UsbDeviceChanged(PortLists* lists, const GUID& interfaceClass, int* rememberedCount);

// ---- local ports ----------------------------------------------------------------------------
// The port's type by name and description (case-sensitive substring tests, in this order: USB, TCP/IP in
// the description, COM, LPT, else other).
uint16_t ClassifyLocalPort(const WCHAR* portName, const WCHAR* description);
// Adds the spooler's ports (level 2 records) to the local list: COM ports only when `canOpen` opens them,
// ports already in any list are skipped. Returns the number added. `canOpen` NULL: CreateFileW for reading.
int AddLocalPorts(PortLists* lists, const PORT_INFO_2W* ports, DWORD count, bool (*canOpen)(const WCHAR*));
int EnumLocalPorts(PortLists* lists);

// ---- network --------------------------------------------------------------------------------
constexpr uint16_t kDiscoveryLocalPort = 4001;
constexpr uint16_t kDiscoveryPrinterPort = 22368;
constexpr size_t kDiscoveryRequestBytes = 32;
constexpr size_t kDiscoveryAnswerBytes = 116;
constexpr size_t kDiscoveryAnswerModelOffset = 52;
constexpr size_t kDiscoveryAnswerModelBytes = 64;
constexpr size_t kDiscoveryAnswerAddressOffset = 44;
extern const uint8_t kDiscoveryRequest[kDiscoveryRequestBytes];

bool IsDiscoveryAdapterType(UINT type);
// The usable local IPv4 addresses (GetAdaptersInfo), with the adapter debug lines.
std::vector<std::string> ScanAdapters();

// An answer's address as "%d.%d.%d.%d" and its model (at most 64 bytes, terminated here). False unless
// the answer is exactly 116 bytes.
bool ParseDiscoveryAnswer(const uint8_t* answer, size_t len, WCHAR address[16], char model[65]);
// Answer handling on the install page's thread: a known model adds a network entry (hiding the local
// port of the same name); unknown models are dropped, and a printer already listed is only marked as
// heard in this pass. True when an entry was added.
bool HandleDiscoveryAnswer(PortLists* lists, const uint8_t* answer, size_t len);

struct Discovery;
struct DiscoverySocket {
  char Address[16];
  SOCKET Socket;
  HANDLE Thread;  // receive thread; NULL when the bind failed
  DiscoveryTarget Target;  // send == NULL until the install page is shown (guarded by the lists' lock)
  DiscoverySocket* Next;
  Discovery* Owner;
};

struct Discovery {
  PortLists* Lists = nullptr;
  DiscoverySocket* Sockets = nullptr;  // newest first
  bool WsaStarted = false;
  HANDLE Rediscovery = nullptr;
  HANDLE StopEvent = nullptr;
  size_t RememberedCount = 0;  // network printers counted by the previous pass
  DWORD LongPause = 30000;     // pause while network printers are known
  DWORD ShortPause = 1000;     // otherwise, and the wait for answers
};

// Program start: Winsock 1.1 and one bound UDP socket (port 4001, SO_BROADCAST) per address with its
// receive thread. False, with no network discovery, when Winsock 1.1 is not available.
bool StartDiscoverySockets(Discovery* d, PortLists* lists, const std::vector<std::string>& addresses);
// Sends the 32-byte request to 255.255.255.255:22368 on every socket, first storing `target` when given.
void SendDiscoveryRequest(Discovery* d, const DiscoveryTarget* target);
// Install page created: the rediscovery thread (ends at once without sockets). Each pass asks again and
// then drops the printers that did not answer it; the list is never emptied in between, so the page
// shows the same rows while the printers keep answering.
bool StartRediscovery(Discovery* d);
// Program end: stops the rediscovery thread and waits for it, then closes the sockets, waits for the
// receive threads, frees the records and cleans up Winsock. The lists stay to their owner. The threads
// send to the install page synchronously: a caller that owns that window passes a `wait` that keeps
// handling sent messages until the thread has ended (NULL: WaitForSingleObject).
void StopDiscovery(Discovery* d, void (*wait)(HANDLE thread) = nullptr);

// ---- model lookups -------------------------------------------------------------------------
// FindModel for a listed description: the text itself, then "Tarnwell " + text (a network printer's
// description is its bare model name).
const ModelTableRow* FindModelForDescription(const WCHAR* description);
// "Tarnwell TW-KA_" when the device ID's CMD value is "TWL", else "Tarnwell TW-KA" (missing key: empty
// CMD). Reads at most `len` bytes of the reply.
void ModelFromDeviceId(const char* reply, size_t len, WCHAR* model, size_t cap);
// The model text of a selected entry: for "TarnwellTW-KA" the attached printer's device ID decides; when
// the device cannot be asked, or for any other description, the description itself.
void IdentifyAttachedModel(const WCHAR* portName, const WCHAR* description, WCHAR* model, size_t cap);
