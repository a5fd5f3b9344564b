// Language monitor lblmon: records, entry points and the helpers the monitor's parts share.
//
// Locks: the monitor lock (a critical section) guards the port list and every port's job list; a short
// status lock guards the printer state that status queries write (printerStatus, pageCounter, recentPages,
// the last status text and the vendor command buffer); the log has its own lock. Nothing that can block
// runs under the monitor lock (port monitor calls, status queries, SetJobW, ClosePrinter, file removal),
// except the port monitor's start of document: one printer that hangs must not stall the other ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "common/pagefile.h"
#include "common/platform.h"
#include "common/product.h"

// Folder of the log files and of the page files the rendering DLL writes for TWL printers.
#define LBLMON_FOLDER TEXT(LBL_PAGE_FOLDER)

// IniPort.status
inline constexpr LONG PP_INSTARTDOC = 0x1;
inline constexpr LONG PP_THREAD_RUNNING = 0x2;
inline constexpr LONG PP_QUEUE_BUSY = 0x40;
inline constexpr LONG PP_WRITE_ERROR = 0x100;
// IniJob.status (PP_INSTARTDOC as well)
inline constexpr LONG PP_JOB_DONE = 0x200;

inline constexpr DWORD kIniPortSignature = 0x5754;
// IniPort.openState: a second open of a port being opened waits for the first; one being closed is not reused.
inline constexpr LONG kPortOpening = 0, kPortOpen = 1, kPortClosing = 2;
inline constexpr size_t kNameChars = 50;  // port and printer names keep at most 49 characters

// Control codes of pfnGetPrinterDataFromPort.
inline constexpr DWORD kIoctlQueryDeviceId = 0x16000C;  // IEEE 1284 device identifier
inline constexpr DWORD kIoctlVendorGet = 0x22003C;
inline constexpr DWORD kIoctlVendorSet = 0x220038;

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

// One queued page file. Built completely before it is linked; afterwards only the delivery thread
// changes it (the flags and the count), and only ClearPagesInQueue unlinks and releases it.
struct PageEntry {
  DWORD pageNumber;  // 0 when the name does not parse, and for job-level files
  DWORD jobId;       // 0 when the name does not parse
  WCHAR path[MAX_PATH];
  LONG isPrinted;    // known printed (or given up) and its file removed
  LONG isSent;       // written to the port; cleared again by a re-print request
  DWORD checkCount;  // delivery steps that visited the entry
  LONG isMissing;    // the file could not be opened or was empty: nothing to send, nothing to confirm
  PageEntry* volatile next;
};

struct IniJob {
  IniJob* next;
  WCHAR printerName[kNameChars];
  HANDLE hPrinter;
  DWORD JobId;
  volatile LONG status;
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

// ---- log ----------------------------------------------------------------------------------
// Appends one line to the day's log file; keeps the caller's last error.
void MonLog(LPCWSTR fmt, ...);
// The log file of a date: "c:\prtmonlog\mon_2024-2-4.log".
void LogFileName(WORD year, WORD month, WORD day, WCHAR* out, size_t cap);
// The calendar date `days` days after (negative: before) the given one.
void AddDays(WORD* year, WORD* month, WORD* day, int days);

// ---- module -------------------------------------------------------------------------------
void MonitorProcessAttach();
// The module is unloaded (not the process ending): releases the locks and the monitor-wide state.
void MonitorProcessDetach();
// Deletes the page files an earlier spooler run left in the folder: names of the form
// "page_N_jobid_N_N.dat" only, and only when the folder is the service's own (IsTrustedFolder). Only the
// first call after load does anything.
void DeleteLeftoverPageFiles();
// Forgets the monitor-wide state (last status text, vendor command buffer, leftover clean-up done);
// every port must be closed. For tests.
void ResetMonitorState();

// ---- entries (the MONITOR2 table) -----------------------------------------------------------
BOOL WINAPI MonOpenPortEx(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName,
                          PHANDLE pHandle, LPMONITOR2 pMonitor2);
BOOL WINAPI MonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
BOOL WINAPI MonWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI MonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
BOOL WINAPI MonEndDocPort(HANDLE hPort);
BOOL WINAPI MonClosePort(HANDLE hPort);
VOID WINAPI Shutdown(HANDLE hMonitor);
BOOL WINAPI MonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                      DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                      LPDWORD lpcbReturned);
DWORD WINAPI MonBidiSendRecv(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
                             PBIDI_RESPONSE_CONTAINER* ppResData);
// The table handed to the spooler.
const FullMonitor2* MonitorTable();

// ---- ports --------------------------------------------------------------------------------
// The record behind a spooler port handle; nullptr when the handle is missing or not a port.
IniPort* PortFromHandle(HANDLE hPort);
// Sets isTWL when the printer's device identifier names TWL among its command sets.
void DetectTWL(IniPort* port);
// Drops one reference (monitor lock not held); the last one releases the record.
void ReleasePort(IniPort* port);
// True when the write is nothing but 8-byte page markers (1D 1D 76 76 and a length), one or more: what
// the rendering DLL sends a TWL printer through the spooler. Any other write is printer data.
bool IsPageMarkers(const BYTE* data, DWORD size);

// ---- page-file queue and delivery ---------------------------------------------------------
BOOL CreateUWriteThread(IniPort* port);
DWORD WINAPI UWriteThread(LPVOID param);
// One turn of the delivery thread: PrintPageFiles, then ClearPagesInQueue under the monitor lock.
void RunDeliveryTurn(IniPort* port);
// Replaces the turn of every delivery thread (nullptr: RunDeliveryTurn again). Tests use it to stand in
// for a turn that blocks, or to run a listing between a pass and its clear.
using DeliveryStep = void (*)(IniPort* port);
void SetDeliveryStep(DeliveryStep step);

// The queue guard (PP_QUEUE_BUSY): waits until no one else changes the queue, checking every 5 ms.
void TakeQueueGuard(IniPort* port);
void ReleaseQueueGuard(IniPort* port);
// Queues the page files of the port's newest job (and those filed under job id 0) at the tail of the
// queue. Monitor lock held. A port without jobs lists nothing.
void ListPageFiles(IniPort* port);
// One delivery pass over the entries queued when it starts; nothing when the port has no job.
void PrintPageFiles(IniPort* port);
// Removes the entries of the last pass, deleting their files, and ends and releases the jobs they belong
// to. While the port is closing (threadRun 0) only jobs whose every page came out are ended; the others
// stay in the spooler's queue to be printed again. Takes the monitor lock itself, and calls the spooler
// and removes files outside it.
void ClearPagesInQueue(IniPort* port);
// Releases every queued entry and removes its file (the port is going away; its jobs stay in the
// spooler's queue). The port is out of the list and no thread uses it.
void FreePageQueue(IniPort* port);
// Monitor-wide state of the queue: the creation time the last listing scan took as its reference.
FILETIME ReferenceTime();
// The job of the port whose pages were removed last (0: none since the last clear).
DWORD LastRemovedJob(IniPort* port);
void SetLastRemovedJob(IniPort* port, DWORD jobId);
void ResetDeliveryState();

// ---- printer status ----------------------------------------------------------------------
// What a status query left on the port, taken together.
struct PrinterState {
  LONG printerStatus;
  DWORD pageCounter;
  BYTE recentPages[16];
};
struct StatusReply {
  LONG printerStatus;       // -1 when bytes 0-1 are not hexadecimal
  DWORD pageCounter;        // bytes 2-7, decimal
  bool hasRecentPages;      // the reply had at least 24 bytes
  BYTE recentPages[16];     // bytes 8-23
};
// Reads a status reply of `size` bytes (at most 64 are looked at; missing bytes read as zero).
void ParseStatusReply(const BYTE* reply, size_t size, StatusReply* out);
// Queries the printer; on success updates printerStatus, pageCounter and recentPages. `status` receives the
// printerStatus this query left (-1 on failure or an unreadable reply), `state` all three as this query
// left them (a query on another thread may change the port's fields at any time).
BOOL GetPrinterStatus(IniPort* port, LONG* status = nullptr, PrinterState* state = nullptr);
void GetPrinterVersion(IniPort* port);
void ResetStatusState();  // the last status text and the vendor command buffer back to empty
void ReleaseStatusState();  // at unload
