// Language monitor lblmon: records, entry points and the helpers the monitor's parts share.
//
// Locks: the monitor lock (a critical section) guards the port list and every port's job list; a short
// status lock guards the printer state that status queries write (printerStatus, pageCounter, recentPages,
// the last status text and the vendor command buffer); the log has its own lock. Port monitor calls and
// status queries never run under the monitor lock, except the port monitor's start of document.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform.h"

// Driver version text of the load and version messages.
inline constexpr char kDriverVersion[] = "2024.02.04.1";
// Folder of the log files and of the page files the rendering DLL writes for TWL printers.
#define LBLMON_FOLDER TEXT("c:\\prtmonlog")

// IniPort.status
inline constexpr LONG PP_INSTARTDOC = 0x1;
inline constexpr LONG PP_THREAD_RUNNING = 0x2;
inline constexpr LONG PP_QUEUE_BUSY = 0x40;
inline constexpr LONG PP_WRITE_ERROR = 0x100;
// IniJob.status (PP_INSTARTDOC as well)
inline constexpr LONG PP_JOB_DONE = 0x200;

inline constexpr DWORD kIniPortSignature = 0x5754;
inline constexpr size_t kNameChars = 50;  // port and printer names keep at most 49 characters

// Control codes of pfnGetPrinterDataFromPort.
inline constexpr DWORD kIoctlQueryDeviceId = 0x16000C;  // IEEE 1284 device identifier
inline constexpr DWORD kIoctlVendorGet = 0x22003C;
inline constexpr DWORD kIoctlVendorSet = 0x220038;

struct PageEntry;

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
  IniJob* jobs;  // newest first; monitor lock
  HANDLE hPort;
  volatile LONG isTWL;
  // From the last status query; status lock.
  LONG printerStatus;
  DWORD pageCounter;
  BYTE recentPages[16];
  MONITOR2 portMonitorTable;
  PageEntry* pageQueue;

  // Lifetime. The record is released when its last reference goes: the port list holds one until the
  // last close, the delivery thread one until it returns, so a thread that outlives the close wait
  // never touches freed memory.
  volatile LONG refCount;
  LONG openCount;       // spooler handles on the record (a second open of the same port shares it); monitor lock
  LPWSTR fullPortName;  // the whole name, for finding the port again; LocalAlloc'd
};

// Status words are shared by spooler threads and the port's delivery thread.
inline LONG AtomicLoad(volatile LONG* p) { return InterlockedCompareExchange(p, 0, 0); }
inline void SetFlags(volatile LONG* p, LONG flags) { InterlockedOr(p, flags); }
inline void ClearFlags(volatile LONG* p, LONG flags) { InterlockedAnd(p, ~flags); }
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
// Deletes the page files ("*.dat") an earlier spooler run left in the folder; only the first call
// after load does anything.
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
const MONITOR2* MonitorTable();

// ---- ports --------------------------------------------------------------------------------
// The record behind a spooler port handle; nullptr when the handle is missing or not a port.
IniPort* PortFromHandle(HANDLE hPort);
// Sets isTWL when the printer's device identifier names TWL among its command sets.
void DetectTWL(IniPort* port);
void ReleasePort(IniPort* port);

// ---- delivery thread ----------------------------------------------------------------------
BOOL CreateUWriteThread(IniPort* port);
DWORD WINAPI UWriteThread(LPVOID param);
// The work of one turn of the delivery thread, run before its 50 ms pause; none is set by default.
// Tests use it to stand in for a turn that blocks.
using DeliveryStep = void (*)(IniPort* port);
void SetDeliveryStep(DeliveryStep step);

// ---- printer status ----------------------------------------------------------------------
struct StatusReply {
  LONG printerStatus;       // -1 when bytes 0-1 are not hexadecimal
  DWORD pageCounter;        // bytes 2-7, decimal
  bool hasRecentPages;      // the reply had at least 24 bytes
  BYTE recentPages[16];     // bytes 8-23
};
// Reads a status reply of `size` bytes (at most 64 are looked at; missing bytes read as zero).
void ParseStatusReply(const BYTE* reply, size_t size, StatusReply* out);
// Queries the printer; on success updates printerStatus, pageCounter and recentPages. `status` receives the
// printerStatus this query left (-1 on failure or an unreadable reply).
BOOL GetPrinterStatus(IniPort* port, LONG* status = nullptr);
void GetPrinterVersion(IniPort* port);
void ResetStatusState();  // the last status text and the vendor command buffer back to empty
void ReleaseStatusState();  // at unload
