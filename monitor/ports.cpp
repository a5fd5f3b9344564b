// Ports and jobs: open, start of document, write, read, end of document, close.
#include <cstring>

#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

IniPort* g_ports = nullptr;  // monitor lock

// The port of that name, open or being opened; records being closed do not count.
IniPort* FindPort(LPCWSTR name) {
  for (IniPort* p = g_ports; p; p = p->next)
    if (p->openState != kPortClosing && WStrEqNoCase(p->fullPortName, name)) return p;
  return nullptr;
}

bool UnlinkPort(IniPort* port) {
  for (IniPort** link = &g_ports; *link; link = &(*link)->next) {
    if (*link == port) {
      *link = port->next;
      port->next = nullptr;
      return true;
    }
  }
  return false;
}

// Allocates the record and puts it at the head of the port list (monitor lock held).
IniPort* CreatePortEntry(LPCWSTR name) {
  auto* port = static_cast<IniPort*>(LocalAlloc(LPTR, sizeof(IniPort)));
  if (!port) return nullptr;
  size_t len = WStrLen(name);
  port->fullPortName = static_cast<LPWSTR>(LocalAlloc(LPTR, (len + 1) * sizeof(WCHAR)));
  if (!port->fullPortName) {
    LocalFree(port);
    return nullptr;
  }
  WStrCopy(port->fullPortName, len + 1, name);
  WStrCopy(port->portName, kNameChars, name);  // longer names are cut for the record and the messages
  port->signature = kIniPortSignature;
  port->printerStatus = -1;
  port->refCount = 1;  // the port list's
  port->next = g_ports;
  g_ports = port;
  MonLog(TEXT("CreatePortEntry: the PortEntry %ws is created.\n"), port->portName);
  return port;
}

// Closes and releases every job of the port. The list is taken under the lock; the printer handles are
// closed outside it.
void FreeIniJobs(IniPort* port) {
  MonLog(TEXT("FreeIniJobs: Free the jobs on port %ws. hPort=0x%x\n"), port->portName, Hex32(port->hPort));
  EnterMonitorLock();
  IniJob* jobs = port->jobs;
  StorePointer(&port->jobs, static_cast<IniJob*>(nullptr));
  LeaveMonitorLock();
  while (IniJob* job = jobs) {
    jobs = job->next;
    DWORD id = job->JobId;
    FreeIniJob(job);
    MonLog(TEXT("FreeIniJob: the job %d is free.\n"), id);
  }
}

// The port monitor's close, once: no thread may use hPort afterwards.
void ClosePortMonitorHandle(IniPort* port) {
  if (InterlockedExchange(&port->hPortClosed, 1)) return;
  if (port->portMonitorTable.pfnClosePort) {
    port->portMonitorTable.pfnClosePort(port->hPort);
    MonLog(TEXT("MonClosePort: the port %ws is closed. hPort=0x%x\n"), port->portName, Hex32(port->hPort));
  }
}

// The last reference is gone: the record is out of the list and no thread uses it.
void DestroyPort(IniPort* port) {
  ClosePortMonitorHandle(port);
  FreePageQueue(port);
  FreeIniJobs(port);
  MonLog(TEXT("DeletePortEntry: the port %ws is deleted. hPort=0x%x\n"), port->portName, Hex32(port->hPort));
  LocalFree(port->fullPortName);
  LocalFree(port);
}

bool ContainsText(const BYTE* data, size_t size, const char* text) {
  size_t n = strlen(text);
  for (size_t i = 0; i + n <= size; ++i)
    if (memcmp(data + i, text, n) == 0) return true;
  return false;
}

}  // namespace

void FreeIniJob(IniJob* job) {
  if (job->hPrinter) ClosePrinter(job->hPrinter);
  if (job->fullPrinterName) LocalFree(job->fullPrinterName);
  if (job->userSid) LocalFree(job->userSid);
  LocalFree(job);
}

IniPort* PortFromHandle(HANDLE hPort) {
  auto* port = static_cast<IniPort*>(hPort);
  return port && port->signature == kIniPortSignature ? port : nullptr;
}

void ReleasePort(IniPort* port) {
  if (InterlockedDecrement(&port->refCount) == 0) DestroyPort(port);
}

bool IsPageMarkers(const BYTE* data, DWORD size) {
  if (!data || size == 0 || size % 8 != 0) return false;
  for (DWORD at = 0; at < size; at += 8)
    if (data[at] != 0x1D || data[at + 1] != 0x1D || data[at + 2] != 0x76 || data[at + 3] != 0x76) return false;
  return true;
}

void DetectTWL(IniPort* port) {
  auto query = port->portMonitorTable.pfnGetPrinterDataFromPort;
  if (!query) return;
  BYTE id[64] = {};
  DWORD returned = 0;
  if (!query(port->hPort, kIoctlQueryDeviceId, nullptr, nullptr, 0, reinterpret_cast<LPWSTR>(id), sizeof id,
             &returned) ||
      returned == 0) {
    return;
  }
  if (ContainsText(id, returned < sizeof id ? returned : sizeof id, "CMD:TWL;")) {
    InterlockedExchange(&port->isTWL, 1);
    MonLog(TEXT("MonOpenPortEx: The printer supports TWL.\n"));
  }
}

BOOL OpenPort(HANDLE hMonitorPort, LPWSTR pPortName, const FullMonitor2& table, PHANDLE pHandle) {
  LPCWSTR name = pPortName ? pPortName : TEXT("");

  EnterMonitorLock();
  IniPort* port = nullptr;
  for (;;) {
    IniPort* existing = *name ? FindPort(name) : nullptr;
    if (!existing) {
      port = CreatePortEntry(name);
      break;
    }
    if (existing->openState == kPortOpen) {
      // A second printer on the same port shares the record; the last close releases it.
      ++existing->openCount;
      *pHandle = existing;
      MonLog(TEXT("MonOpenPortEx: the port %ws is open already.\n"), existing->portName);
      LeaveMonitorLock();
      return TRUE;
    }
    // Being opened by another thread: its outcome decides (shared when it opens, a fresh try when not).
    LeaveMonitorLock();
    Sleep(5);
    EnterMonitorLock();
  }
  LeaveMonitorLock();

  if (!port || !table.pfnOpenPort(hMonitorPort, pPortName, &port->hPort)) {
    if (port) {
      DWORD error = GetLastError();
      EnterMonitorLock();
      UnlinkPort(port);
      LeaveMonitorLock();
      LocalFree(port->fullPortName);
      LocalFree(port);
      SetLastError(error);
    }
    MonLog(TEXT("MonOpenPortEx: OpenPort %ws : Failed\n"), name);
    return FALSE;
  }

  *pHandle = port;
  port->portMonitorTable = table;
  MonLog(TEXT("MonOpenPortEx: the port %ws is opened. hPort=0x%x\n"), port->portName, Hex32(port->hPort));
  DetectTWL(port);
  CreateUWriteThread(port);
  EnterMonitorLock();
  port->openCount = 1;
  port->openState = kPortOpen;  // from now on a second open shares it
  LeaveMonitorLock();
  return TRUE;
}

namespace {

// The SID of the account that printed `jobId` (LocalAlloc'd), or nullptr with the last error set.
PSID JobUserSid(HANDLE printer, DWORD jobId) {
  JOB_INFO_1W* info = JobInfo1(printer, jobId);
  if (!info) return nullptr;
  PSID sid = nullptr;
  if (info->pUserName) {
    DWORD sidSize = 0, domainChars = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, info->pUserName, nullptr, &sidSize, nullptr, &domainChars, &use);
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && sidSize) {
      sid = LocalAlloc(LPTR, sidSize);
      auto* domain = static_cast<LPWSTR>(LocalAlloc(LPTR, (domainChars + 1) * sizeof(WCHAR)));
      if (!sid || !domain ||
          !LookupAccountNameW(nullptr, info->pUserName, sid, &sidSize, domain, &domainChars, &use)) {
        if (sid) LocalFree(sid);
        sid = nullptr;
      }
      if (domain) LocalFree(domain);
    }
  }
  LocalFree(info);
  return sid;
}

// The start of document once the port is taken for it (PP_INSTARTDOC set). `pending` holds the job record
// while it is not yet on the port's list, for the caller to release if anything throws.
BOOL StartTakenPortDocument(IniPort* port, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo,
                            IniJob** pending) {
  auto* doc = reinterpret_cast<DOC_INFO_1W*>(pDocInfo);
  MonLog(TEXT("Enter StartDocPort, PrinterName: %ws, pIniPort:0x%x, hPort:0x%x, JobId:%d, Level:%d, DocName: %ws\n"),
         pPrinterName, Hex32(port), Hex32(port->hPort), JobId, Level, doc->pDocName);

  auto* job = static_cast<IniJob*>(LocalAlloc(LPTR, sizeof(IniJob)));
  const size_t nameChars = WStrLen(pPrinterName) + 1;
  if (job) job->fullPrinterName = static_cast<LPWSTR>(LocalAlloc(LPTR, nameChars * sizeof(WCHAR)));
  if (!job || !job->fullPrinterName) {
    if (job) LocalFree(job);
    MonLog(TEXT("StartDocPort, alloc memory failed. pIniPort:0x%x, hPort:0x%x\n"), Hex32(port), Hex32(port->hPort));
    ClearFlags(&port->status, PP_INSTARTDOC);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *pending = job;
  WStrCopy(job->printerName, kNameChars, pPrinterName);
  WStrCopy(job->fullPrinterName, nameChars, pPrinterName);
  // The document does not start: the record goes, the port is free again and the spooler hears why.
  auto fail = [&](DWORD error) {
    *pending = nullptr;
    FreeIniJob(job);
    ClearFlags(&port->status, PP_INSTARTDOC);
    SetLastError(error);
    return FALSE;
  };
  // The whole name opens the printer; the record keeps 49 characters for the messages.
  if (!OpenPrinterW(pPrinterName, &job->hPrinter, nullptr)) {
    const DWORD error = GetLastError();
    MonLog(TEXT("StartDocPort, OpenPrinter failed. pIniPort:0x%x, hPort:0x%x\n"), Hex32(port), Hex32(port->hPort));
    return fail(error);
  }

  job->userSid = JobUserSid(job->hPrinter, JobId);
  if (!job->userSid)
    MonLog(TEXT("StartDocPort, the user of job %d is unknown (error %d): only the service's page files print. ")
               TEXT("pIniPort:0x%x, hPort:0x%x\n"),
           JobId, static_cast<int>(GetLastError()), Hex32(port), Hex32(port->hPort));

  DetectTWL(port);
  if (AtomicLoad(&port->isTWL)) {
    LONG status = -1;
    GetPrinterStatus(port, &status);
    if (status == -1) return fail(GetLastError());
    GetPrinterVersion(port);
    // The pages go out through the delivery thread: one that could not start when the port opened starts now,
    // else the spooler is told, and tries the job again, rather than wait for pages that never leave.
    if (!CreateUWriteThread(port)) return fail(GetLastError());
  }

  MonLog(TEXT("MonStartDocPort: set pIniPort->status to PP_INSTARTDOC, hPort:0x%x\n"), Hex32(port->hPort));

  // The delivery thread may be writing a page in a document of its own: the port monitor gets this one
  // once that has ended. No lock is held meanwhile, nor during the port monitor's call.
  WaitForDeliveryDocument(port);
  const BOOL ok = port->portMonitorTable.pfnStartDocPort(port->hPort, pPrinterName, JobId, 1, pDocInfo);
  // A failed start leaves no document open, or every later one would be refused with ERROR_BUSY.
  if (!ok) return fail(GetLastError());
  SetFlags(&job->status, PP_INSTARTDOC);
  job->JobId = JobId;
  MonLog(TEXT("MonStartDocPort: set pIniJob->status to PP_INSTARTDOC, JobId:%d\n"), JobId);
  EnterMonitorLock();
  const bool first = port->jobs == nullptr;
  job->next = port->jobs;
  StorePointer(&port->jobs, job);  // complete before the delivery thread can see it
  *pending = nullptr;
  if (first) {
    MonLog(TEXT("MonStartDocPort: pIniPort has 1 pIniJob, JobId:%d\n"), JobId);
  } else {
    MonLog(TEXT("MonStartDocPort: pIniPort has many pIniJobs:\n"));
    for (IniJob* j = port->jobs; j; j = j->next)
      MonLog(TEXT("MonStartDocPort: JobId:%d, Status:%d\n"), j->JobId, static_cast<int>(AtomicLoad(&j->status)));
  }
  LeaveMonitorLock();
  return TRUE;
}

}  // namespace

BOOL StartPortDocument(IniPort* port, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  // One step: two starts at once must not both pass, and from here on the delivery thread starts no
  // document of its own on the port.
  if (InterlockedOr(&port->status, PP_INSTARTDOC) & PP_INSTARTDOC) {
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  IniJob* pending = nullptr;
  try {
    return StartTakenPortDocument(port, pPrinterName, JobId, Level, pDocInfo, &pending);
  } catch (...) {
    // Only a port monitor that breaks its C interface throws: the port is left with no document open.
    if (pending) FreeIniJob(pending);
    ClearFlags(&port->status, PP_INSTARTDOC);
    throw;
  }
}

BOOL WriteToPort(IniPort* port, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  MonLog(TEXT("Enter MonWritePort, cbBuf:%d, pIniPort:0x%x, hPort:0x%x\n"), cbBuf, Hex32(port), Hex32(port->hPort));
  // TWL pages travel as page files; the spooler stream carries only their markers, and each write of
  // markers becomes a status poll. Anything else is printer data (raw jobs, commands sent to the printer).
  if (AtomicLoad(&port->isTWL) && IsPageMarkers(pBuffer, cbBuf)) {
    LONG status = -1;
    GetPrinterStatus(port, &status);
    if (status == -1) {
      MonLog(TEXT("MonWritePort, unable to get printer status. pIniPort:0x%x, hPort:0x%x\n"), Hex32(port),
             Hex32(port->hPort));
      return FALSE;
    }
    *pcbWritten = cbBuf;
    return TRUE;
  }
  // The port monitor's result, count and last error: a printer that is off shows as an error in the queue.
  return port->portMonitorTable.pfnWritePort(port->hPort, pBuffer, cbBuf, pcbWritten);
}

BOOL EndPortDocument(IniPort* port) {
  IniJob* finished = nullptr;
  EnterMonitorLock();
  if (AtomicLoad(&port->isTWL)) {
    // The job record stays on the port: its page files are delivered after the document ends.
    ListPageFiles(port);
  } else if (IniJob* job = port->jobs; job && (AtomicLoad(&job->status) & PP_INSTARTDOC)) {
    // Other languages went to the port as the spooler wrote them: the job is done with.
    StorePointer(&port->jobs, job->next);
    finished = job;
  }
  LeaveMonitorLock();
  if (port->portMonitorTable.pfnEndDocPort) port->portMonitorTable.pfnEndDocPort(port->hPort);
  if (finished) {
    const DWORD id = finished->JobId;
    FreeIniJob(finished);
    MonLog(TEXT("FreeIniJob: the job %d is free.\n"), id);
  }
  ClearFlags(&port->status, PP_INSTARTDOC);
  return TRUE;
}

BOOL ClosePortHandle(IniPort* port) {
  EnterMonitorLock();
  const bool lastHandle = port->openCount <= 1;
  port->openCount = lastHandle ? 0 : port->openCount - 1;
  if (lastHandle) port->openState = kPortClosing;  // hidden from opens while it is taken down
  LeaveMonitorLock();
  if (!lastHandle) return TRUE;

  // The delivery thread stops before the port monitor's handle goes: it may be writing a page through it.
  // Waited for until the thread has let go of the record (its last step), so that the close, not a thread
  // still on its way out, takes the port down.
  // Up to 100 checks 100 ms apart, and no more than 10 seconds in all however late a busy machine wakes
  // the sleeps.
  InterlockedExchange(&port->threadRun, 0);
  const DWORD since = GetTickCount();
  for (int check = 0; check < 100 && AtomicLoad(&port->refCount) > 1 && GetTickCount() - since < 10000; ++check)
    Sleep(100);
  const bool stopped = AtomicLoad(&port->refCount) == 1;

  EnterMonitorLock();
  if (!UnlinkPort(port)) {
    MonLog(TEXT("DeletePortEntry: port not found\n"));
    LeaveMonitorLock();
    return TRUE;
  }
  port->signature = 0;
  LeaveMonitorLock();
  // A thread that has not stopped keeps the record, and the port monitor's handle, until it returns.
  if (stopped) ClosePortMonitorHandle(port);
  ReleasePort(port);  // the list's reference
  return TRUE;
}
