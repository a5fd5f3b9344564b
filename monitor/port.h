// Language monitor lblmon: the port and job records, the monitor lock that guards them and the port calls.
//
// Locks: the monitor lock (a critical section) guards the port list and every port's job list; a short
// status lock guards the printer state that status queries write (printerStatus, pageCounter, recentPages,
// the last status text and the vendor command buffer); the log has its own lock. Nothing that can block
// runs under the monitor lock (port monitor calls, status queries, SetJobW, ClosePrinter, file removal):
// one printer that hangs must not stall the other ports.
//
// Documents: the port monitor sees one document at a time on a port. The spooler's (PP_INSTARTDOC, from
// MonStartDocPort to MonEndDocPort) and the delivery thread's own, one per page it writes (PP_DELIVERY_DOC)
// exclude each other through the port's status word: a spooler start waits for the delivery's document to
// end, and the delivery starts none while the spooler's is open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "common/platform.h"

struct PageEntry;  // delivery.h

// IniPort.status
inline constexpr LONG PP_INSTARTDOC = 0x1;
inline constexpr LONG PP_THREAD_RUNNING = 0x2;
inline constexpr LONG PP_QUEUE_BUSY = 0x40;
inline constexpr LONG PP_WRITE_ERROR = 0x100;
inline constexpr LONG PP_DELIVERY_DOC = 0x400;  // the delivery thread's document is open on the port monitor
// IniJob.status (PP_INSTARTDOC as well)
inline constexpr LONG PP_JOB_DONE = 0x200;

inline constexpr DWORD kIniPortSignature = 0x5754;
// IniPort.openState: a second open of a port being opened waits for the first; one being closed is not reused.
inline constexpr LONG kPortOpening = 0, kPortOpen = 1, kPortClosing = 2;
inline constexpr size_t kNameChars = 50;  // port and printer names keep at most 49 characters

// The MONITOR2 record as the spooler hands it over and expects it back: through pfnPowerEvent, 184 bytes
// in 64-bit builds and 92 in 32-bit ones. MinGW-w64 declares it without pfnPowerEvent; there the entry
// is added behind the declared ones.
template <class T>
concept HasPowerEvent = requires(T t) { t.pfnPowerEvent; };
struct Monitor2WithPowerEvent : MONITOR2 {
  DWORD(WINAPI* pfnPowerEvent)(HANDLE hMonitor, DWORD event, POWERBROADCAST_SETTING* pSettings);
};
using FullMonitor2 = std::conditional_t<HasPowerEvent<MONITOR2>, MONITOR2, Monitor2WithPowerEvent>;
static_assert(sizeof(FullMonitor2) == (sizeof(void*) == 8 ? 184 : 92));
static_assert(offsetof(MONITOR2, pfnSendRecvBidiDataFromPort) == 19 * sizeof(void*));

struct IniJob {
  IniJob* next;
  WCHAR printerName[kNameChars];
  HANDLE hPrinter;
  DWORD JobId;
  volatile LONG status;
  LPWSTR fullPrinterName;  // the whole name, for the delivery's documents; LocalAlloc'd
};

struct IniPort {
  DWORD signature;  // kIniPortSignature while the record is in the port list
  IniPort* next;
  WCHAR portName[kNameChars];
  char hwVersion[64];
  volatile LONG threadRun;  // 1 while the delivery thread shall run; set before the thread starts
  volatile LONG status;
  // Newest first. Changed under the monitor lock, with atomic stores: the delivery thread reads the head
  // without the lock, and only that thread releases jobs while it runs.
  IniJob* volatile jobs;
  HANDLE hPort;
  volatile LONG isTWL;
  // From the last status query; status lock.
  LONG printerStatus;
  DWORD pageCounter;
  BYTE recentPages[16];
  FullMonitor2 portMonitorTable;
  // Listing order, appended at the tail under the monitor lock with atomic stores, walked by the delivery
  // thread without the lock.
  PageEntry* volatile pageQueue;
  // The last entry of the running delivery pass: the clear after the pass removes the entries up to it,
  // and entries listed after the pass began stay for the next one. Delivery thread only.
  PageEntry* passEnd;
  // The job whose page was removed last in the running pass (0: none since the last clear). Per port:
  // a job id taken from another port would be reported ejected through this port's printer.
  volatile LONG lastRemovedJob;
  char lastStatus[64];  // the last status reply logged, as text; status lock

  // The port monitor's handle is closed once no thread can use it any more: by the close when the delivery
  // thread has stopped, else by the thread's last release. Set once closed.
  volatile LONG hPortClosed;

  // Lifetime. The record is released when its last reference goes: the port list holds one until the
  // last close, the delivery thread one until it returns, so a thread that outlives the close wait
  // never touches freed memory.
  volatile LONG refCount;
  LONG openCount;       // spooler handles on the record (a second open of the same port shares it); monitor lock
  LONG openState;       // kPortOpening, kPortOpen or kPortClosing; monitor lock
  LPWSTR fullPortName;  // the whole name, for finding the port again; LocalAlloc'd
};

// Status words are shared by spooler threads and the port's delivery thread.
inline LONG AtomicLoad(volatile LONG* p) { return InterlockedCompareExchange(p, 0, 0); }
inline void SetFlags(volatile LONG* p, LONG flags) { InterlockedOr(p, flags); }
inline void ClearFlags(volatile LONG* p, LONG flags) { InterlockedAnd(p, ~flags); }
// Pointers shared with the delivery thread: a plain atomic load (a compare-exchange would write), and a
// store that publishes a record built before it. Both toolchains (GCC, MinGW-w64 GCC) have the builtins.
template <class T>
T* LoadPointer(T* volatile const* p) {
  return __atomic_load_n(const_cast<T* const*>(p), __ATOMIC_ACQUIRE);
}
template <class T>
void StorePointer(T* volatile* p, T* value) {
  __atomic_store_n(const_cast<T**>(p), value, __ATOMIC_RELEASE);
}
// Handles and records appear in messages as 32-bit hexadecimal numbers.
inline unsigned Hex32(const void* p) { return static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(p)); }

// ---- lock ---------------------------------------------------------------------------------
// Builds the monitor and log locks; the first message or lock use does it as well.
void InitializeMonitorLock();
void ReleaseMonitorLocks();  // at unload; nothing may log or lock afterwards
void EnterMonitorLock();
// Checks that the caller owns the lock first ("SplInSem"); a caller that does not is logged and
// the lock is left alone.
void LeaveMonitorLock();
bool MonitorLockHeld();  // by the calling thread

// ---- ports --------------------------------------------------------------------------------
// The record behind a spooler port handle; nullptr when the handle is missing or not a port.
IniPort* PortFromHandle(HANDLE hPort);
// Sets isTWL when the printer's device identifier names TWL among its command sets.
void DetectTWL(IniPort* port);
// Drops one reference (monitor lock not held); the last one releases the record.
void ReleasePort(IniPort* port);
// Closes the job's printer handle and releases the record (unlinked, monitor lock not held).
void FreeIniJob(IniJob* job);
// The spooler's side of the port's documents: returns once the delivery thread has no document open on
// the port monitor. The caller has set PP_INSTARTDOC, so the delivery starts no new one.
void WaitForDeliveryDocument(IniPort* port);
// True when the write is nothing but 8-byte page markers (1D 1D 76 76 and a length), one or more: what
// the rendering DLL sends a TWL printer through the spooler. Any other write is printer data.
bool IsPageMarkers(const BYTE* data, DWORD size);

// What the entry points do once their arguments are checked (entry.cpp holds the entry points).
// Opens the port through the port monitor whose table (complete: OpenPort, StartDocPort, WritePort,
// ReadPort and ClosePort set) is given, or shares the record of the port already open; starts its
// delivery thread.
BOOL OpenPort(HANDLE hMonitorPort, LPWSTR pPortName, const FullMonitor2& table, PHANDLE pHandle);
// A job starts on the port: Level 1, a document and a printer name given.
BOOL StartPortDocument(IniPort* port, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
// TWL page markers become a status poll; any other write goes to the port monitor.
BOOL WriteToPort(IniPort* port, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
// TWL: lists the job's page files for delivery; other languages: the job is done with.
BOOL EndPortDocument(IniPort* port);
// One spooler handle on the port goes; the last stops the delivery thread and takes the port down.
BOOL ClosePortHandle(IniPort* port);
// The bidi schemas the monitor answers ("EnumSchema", "Get", "GetAll").
DWORD BidiSendRecv(IniPort* port, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
                   PBIDI_RESPONSE_CONTAINER* ppResData);
