// The page-file queue of a port: listing the files of a finished document, and clearing the entries of a
// delivery pass. Both run under the monitor lock and the port's queue guard.

#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

FILETIME g_referenceTime = {};  // monitor lock

ULONGLONG FileTimeValue(const FILETIME& t) {
  return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

void TakeQueueGuard(IniPort* port) {
  for (;;) {
    const LONG status = AtomicLoad(&port->status);
    if (!(status & PP_QUEUE_BUSY)) {
      if (InterlockedCompareExchange(&port->status, status | PP_QUEUE_BUSY, status) == status) return;
      continue;  // another flag changed meanwhile
    }
    Sleep(5);
  }
}

void ReleaseQueueGuard(IniPort* port) { ClearFlags(&port->status, PP_QUEUE_BUSY); }

namespace {

bool IsQueued(IniPort* port, const WCHAR* path) {
  for (PageEntry* e = port->pageQueue; e; e = e->next)
    if (WStrEq(e->path, path)) return true;
  return false;
}

// Links a complete entry at the tail; a pass walking the queue sees either the old or the new tail.
void AppendEntry(IniPort* port, PageEntry* entry) {
  PageEntry* volatile* link = &port->pageQueue;
  while (PageEntry* e = *link) link = &e->next;
  StorePointer(link, entry);
}

bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }

// Name order, with runs of digits compared by their value: page 10000 comes after page 9999.
bool ComesBefore(const PageEntry* a, const PageEntry* b) {
  const WCHAR* p = a->path;
  const WCHAR* q = b->path;
  while (*p && *q) {
    if (IsDigit(*p) && IsDigit(*q)) {
      const WCHAR* pe = p;
      const WCHAR* qe = q;
      while (IsDigit(*pe)) ++pe;
      while (IsDigit(*qe)) ++qe;
      const WCHAR* ps = p;
      const WCHAR* qs = q;
      while (ps + 1 < pe && *ps == '0') ++ps;
      while (qs + 1 < qe && *qs == '0') ++qs;
      if (pe - ps != qe - qs) return pe - ps < qe - qs;
      for (; ps < pe; ++ps, ++qs)
        if (*ps != *qs) return *ps < *qs;
      if (pe - p != qe - q) return pe - p < qe - q;  // same value: fewer leading zeros first
      p = pe;
      q = qe;
      continue;
    }
    if (*p != *q) return *p < *q;
    ++p;
    ++q;
  }
  return *p == 0 && *q != 0;
}

// One search of the folder for the files of `jobId`. It runs under the monitor lock and the queue guard, and
// allocates nothing but the entries (LocalAlloc).
void ScanForJob(IniPort* port, DWORD jobId, bool firstScan) {
  WCHAR pattern[MAX_PATH];
  PageFileSearchPatternTo(jobId, pattern, MAX_PATH);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern, &found);
  if (!firstScan)
    MonLog(TEXT("Using jobid 0 to get pages for unknown reason. pIniPort:0x%x, hPort:0x%x\n"), Hex32(port),
           Hex32(port->hPort));
  if (find == INVALID_HANDLE_VALUE) return;
  g_referenceTime = found.ftCreationTime;
  // The entries found, in order, chained through their next fields (nothing is allocated under the lock
  // but the entries themselves).
  PageEntry* listed = nullptr;
  do {
    // Regular files named as the renderer names them: any user may add files to the folder, and a
    // link or a folder of his there is not a page.
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (!IsPageFileName(found.cFileName) || !PageFileNamesJob(found.cFileName, jobId)) continue;
    WCHAR path[MAX_PATH];
    // A path that does not fit could name another file once cut; such files are left alone.
    if (!PageFilePathTo(found.cFileName, path, MAX_PATH)) continue;
    if (IsQueued(port, path)) continue;
    if (FileTimeValue(found.ftCreationTime) < FileTimeValue(g_referenceTime)) {
      if (firstScan)
        MonLog(TEXT("Enter ListPageFiles. Skipped the file %ws because invalid time. pIniPort:0x%x, hPort:0x%x\n"),
               path, Hex32(port), Hex32(port->hPort));
      continue;
    }
    auto* entry = static_cast<PageEntry*>(LocalAlloc(LPTR, sizeof(PageEntry)));
    if (!entry) continue;
    WStrCopy(entry->path, MAX_PATH, path);
    ParsePageFileName(entry->path, &entry->pageNumber, &entry->jobId);
    // The folder's order is by name, where page_10000 comes before page_9999: inserted after every entry
    // that does not come after it.
    PageEntry* volatile* link = &listed;
    while (*link && !ComesBefore(entry, *link)) link = &(*link)->next;
    entry->next = *link;
    *link = entry;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  while (PageEntry* entry = listed) {
    listed = entry->next;
    entry->next = nullptr;
    AppendEntry(port, entry);
    MonLog(TEXT("Enter ListPageFiles. Page %ws is added. pIniPort:0x%x, hPort:0x%x\n"), entry->path, Hex32(port),
           Hex32(port->hPort));
  }
}

}  // namespace

DWORD LastRemovedJob(IniPort* port) { return static_cast<DWORD>(AtomicLoad(&port->lastRemovedJob)); }
void SetLastRemovedJob(IniPort* port, DWORD jobId) {
  InterlockedExchange(&port->lastRemovedJob, static_cast<LONG>(jobId));
}

void ResetDeliveryState() {
  EnterMonitorLock();
  g_referenceTime = FILETIME{};
  LeaveMonitorLock();
}

FILETIME ReferenceTime() {
  EnterMonitorLock();
  FILETIME t = g_referenceTime;
  LeaveMonitorLock();
  return t;
}

void ListPageFiles(IniPort* port) {
  // The end of a document that never started on this port (or whose job is gone) has nothing to list;
  // scanning for job id 0 instead would queue files that belong to no job of the port.
  IniJob* newest = port->jobs;
  if (!newest) return;
  // Files found through a planted junction or in a folder someone else owns are not the renderer's, and
  // the delivery would delete them.
  if (!PagesFolderUsable()) return;
  TakeQueueGuard(port);
  ScanForJob(port, newest->JobId, true);
  ScanForJob(port, 0, false);
  ReleaseQueueGuard(port);
}

namespace {

// IniJob.status of a job the clear has taken off the port: the spooler is told the job is out when it is
// released (not for a job a closing port leaves unprinted).
constexpr LONG kEjectAtRelease = 0x10000;

// Takes the job off the port's list (monitor lock held); nullptr when the port does not have it.
IniJob* UnlinkJob(IniPort* port, DWORD jobId) {
  IniJob* volatile* link = &port->jobs;
  while (*link && (*link)->JobId != jobId) link = &(*link)->next;
  IniJob* job = *link;
  if (job) StorePointer(link, job->next);
  return job;
}

}  // namespace

void ClearPagesInQueue(IniPort* port) {
  PageEntry* end = port->passEnd;
  port->passEnd = nullptr;
  // A port that closes keeps the pages that did not come out: their jobs stay in the spooler's queue.
  const bool closing = !AtomicLoad(&port->threadRun);
  PageEntry* removed = nullptr;
  // The jobs taken off the port, in queue order, chained through their next fields: nothing is allocated
  // under the lock.
  IniJob* ended = nullptr;
  IniJob** endedTail = &ended;

  EnterMonitorLock();
  if (!port->jobs) {
    LeaveMonitorLock();
    return;
  }
  TakeQueueGuard(port);
  const DWORD firstJob = port->jobs->JobId;
  // Only the entries of the pass that just ended: entries listed since it began have not been sent.
  if (end) {
    removed = port->pageQueue;
    StorePointer(&port->pageQueue, LoadPointer(&end->next));
    end->next = nullptr;
    // Every job whose entries the clear passes ends as the last one does, in queue order.
    DWORD tracked = removed->jobId;
    bool allPrinted = true;
    auto endTracked = [&] {
      if (tracked == 0) return;
      if (IniJob* job = UnlinkJob(port, tracked)) {
        SetFlags(&job->status, PP_JOB_DONE | (!closing || allPrinted ? kEjectAtRelease : 0));
        job->next = nullptr;
        *endedTail = job;
        endedTail = &job->next;
      }
    };
    for (PageEntry* e = removed; e; e = e->next) {
      if (e->jobId != tracked) {
        endTracked();
        tracked = e->jobId;
        allPrinted = true;
      }
      allPrinted = allPrinted && e->isPrinted;
    }
    endTracked();
  }
  ReleaseQueueGuard(port);
  LeaveMonitorLock();

  // Outside the lock: file removal and the spooler may block.
  DWORD tracked = removed ? removed->jobId : 0;
  while (PageEntry* entry = removed) {
    removed = entry->next;
    MonLog(TEXT("ClearPagesInQueue. File [%ws, isSent(%d), isPrinted(%d)] is removed from queue, ")
               TEXT("pIniJob->JobId:%d, jobID:%d\n"),
           entry->path, static_cast<int>(entry->isSent), static_cast<int>(entry->isPrinted), firstJob, tracked);
    DeleteFileW(entry->path);
    if (tracked != 0 && tracked != entry->jobId) tracked = entry->jobId;
    LocalFree(entry);
  }
  while (IniJob* job = ended) {
    ended = job->next;
    const bool eject = AtomicLoad(&job->status) & kEjectAtRelease;
    if (eject && SetJobW(job->hPrinter, job->JobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED)) {
      SetLastRemovedJob(port, job->JobId);
      MonLog(TEXT("RemovePrintedPages. Job %d is removed as all the pages of it are removed, pIniPort:0x%x, ")
                 TEXT("hPort:0x%x\n"),
             job->JobId, Hex32(port), Hex32(port->hPort));
    }
    const DWORD id = job->JobId;
    FreeIniJob(job);
    MonLog(TEXT("ClearPagesInQueue: The printer handle is closed for job %d\n"), id);
  }
  SetLastRemovedJob(port, 0);
}

void FreePageQueue(IniPort* port) {
  port->passEnd = nullptr;
  while (PageEntry* entry = port->pageQueue) {
    StorePointer(&port->pageQueue, LoadPointer(&entry->next));
    // Unprinted: the job stays in the spooler's queue and renders its pages again when printed again.
    DeleteFileW(entry->path);
    LocalFree(entry);
  }
}
