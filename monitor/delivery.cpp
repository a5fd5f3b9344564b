// The port's delivery thread: page files sent to the printer one by one, the printer asked after every
// page which pages came out, printed pages removed and their jobs ended.
#include "common/entry_guard.h"
#include "common/service_folder.h"
#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

PVOID volatile g_step = nullptr;  // DeliveryStep or nullptr

constexpr LONG kReprintRequest = 0x80;  // printerStatus: the printer asks for pages after pageCounter again
constexpr DWORD kCheckLimit = 10;       // a page visited more often counts as printed
constexpr DWORD kSmallPage = 10;        // files below this size are removed as soon as they are sent
constexpr DWORD kDocumentPollMs = 20;   // a page waiting for the spooler's document to end looks this often

enum class WriteResult {
  NotWritten,  // the file could not be opened, was empty or could not be read into memory
  Sent,
  Failed,      // the port monitor refused the write
};

IniJob* FirstJob(IniPort* port) { return LoadPointer(&port->jobs); }

// An unreadable status (-1) asks for nothing.
bool AsksReprint(const PrinterState& s) { return s.printerStatus != -1 && (s.printerStatus & kReprintRequest); }

// The entry's job, asked through the newest job's printer handle.
bool JobIsDeleting(HANDLE printer, DWORD jobId) {
  JOB_INFO_1W* info = JobInfo1(printer, jobId);
  if (!info) return false;
  const bool deleting = (info->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
  LocalFree(info);
  return deleting;
}

// The job a page is delivered under: its own when the port still has it, else the newest (files whose
// names gave no job id).
IniJob* JobOfEntry(IniPort* port, const PageEntry* entry) {
  IniJob* first = FirstJob(port);
  for (IniJob* j = first; j; j = LoadPointer(&j->next))
    if (j->JobId == entry->jobId) return j;
  return first;
}

enum class DocumentStart { Started, Stopped, Refused };

// The delivery's own document for the writes of one page, started once the spooler has none open on the
// port: the port monitor takes writes only inside a document (the TCP/IP one connects in StartDocPort),
// and never sees the spooler's next document start in the middle of a page. Stopped: the port is closing.
DocumentStart BeginDeliveryDocument(IniPort* port, const PageEntry* entry) {
  bool waitLogged = false;
  for (;;) {
    const LONG status = AtomicLoad(&port->status);
    if (!(status & PP_INSTARTDOC)) {
      if (InterlockedCompareExchange(&port->status, status | PP_DELIVERY_DOC, status) == status) break;
      continue;  // another flag changed meanwhile
    }
    if (!AtomicLoad(&port->threadRun)) return DocumentStart::Stopped;
    if (!waitLogged) {
      MonLog(TEXT("WritePage: the page %ws waits for the end of the spooler's document. pIniPort:0x%x, hPort:0x%x\n"),
             entry->path, Hex32(port), Hex32(port->hPort));
      waitLogged = true;
    }
    Sleep(kDocumentPollMs);
  }
  IniJob* job = JobOfEntry(port, entry);
  const WCHAR* leaf = entry->path;
  for (const WCHAR* p = entry->path; *p; ++p)
    if (*p == '\\') leaf = p + 1;
  DOC_INFO_1W info{const_cast<LPWSTR>(leaf), nullptr, const_cast<LPWSTR>(TEXT("RAW"))};
  LPWSTR printer = job ? (job->fullPrinterName ? job->fullPrinterName : job->printerName) : nullptr;
  const DWORD jobId = job ? job->JobId : entry->jobId;
  if (!printer || !port->portMonitorTable.pfnStartDocPort(port->hPort, printer, jobId, 1, reinterpret_cast<LPBYTE>(&info))) {
    MonLog(TEXT("WritePage: pfnStartDocPort failed for the page %ws, error %d. pIniPort:0x%x, hPort:0x%x\n"), entry->path,
           static_cast<int>(GetLastError()), Hex32(port), Hex32(port->hPort));
    ClearFlags(&port->status, PP_DELIVERY_DOC);
    return DocumentStart::Refused;
  }
  return DocumentStart::Started;
}

void EndDeliveryDocument(IniPort* port) {
  if (port->portMonitorTable.pfnEndDocPort) port->portMonitorTable.pfnEndDocPort(port->hPort);
  ClearFlags(&port->status, PP_DELIVERY_DOC);
}

// A page file as the renderer leaves it: one regular file. Users may add files to the page folder; a link
// of theirs to a file only the service can read must not be printed. (Removing the link at the clear
// leaves its target.)
bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(file, &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
         info.nNumberOfLinks == 1;
}

WriteResult WritePage(IniPort* port, PageEntry* entry) {
  HANDLE file = CreateFileW(entry->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    MonLog(TEXT("WritePage, failed to open file %ws. pIniPort:0x%x, hPort:0x%x\n"), entry->path, Hex32(port),
           Hex32(port->hPort));
    entry->isMissing = 1;
    return WriteResult::NotWritten;
  }
  if (!IsPlainFile(file)) {
    CloseHandle(file);
    MonLog(TEXT("WritePage, the file %ws is not a page file. pIniPort:0x%x, hPort:0x%x\n"), entry->path, Hex32(port),
           Hex32(port->hPort));
    entry->isMissing = 1;
    return WriteResult::NotWritten;
  }
  // Any user may add files named for another's job: only the job's own (or the service's) are its pages.
  const IniJob* job = JobOfEntry(port, entry);
  if (!IsOpenFileOwnedBy(file, job ? job->userSid : nullptr)) {
    CloseHandle(file);
    MonLog(TEXT("WritePage, the file %ws is not the job's: another user's. pIniPort:0x%x, hPort:0x%x\n"), entry->path,
           Hex32(port), Hex32(port->hPort));
    entry->isMissing = 1;
    return WriteResult::NotWritten;
  }
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  if (size == 0 || size == INVALID_FILE_SIZE || high != 0) {
    CloseHandle(file);
    entry->isMissing = 1;
    return WriteResult::NotWritten;
  }
  auto* data = static_cast<BYTE*>(LocalAlloc(LPTR, size));
  if (!data) {
    CloseHandle(file);
    return WriteResult::NotWritten;
  }
  DWORD read = 0;
  ReadFile(file, data, size, &read, nullptr);  // a short read leaves zeros, as the buffer was zero-filled

  const DocumentStart start = BeginDeliveryDocument(port, entry);
  if (start != DocumentStart::Started) {
    CloseHandle(file);
    LocalFree(data);
    if (start == DocumentStart::Stopped) return WriteResult::NotWritten;
    SetFlags(&port->status, PP_WRITE_ERROR);
    return WriteResult::Failed;
  }
  // A write may take only part of the page: the rest follows, and the page counts as sent only once every
  // byte went out. A write that takes nothing fails the step, as a refused one does.
  DWORD written = 0;
  bool complete = true;
  while (written < size) {
    DWORD took = 0;
    if (!port->portMonitorTable.pfnWritePort(port->hPort, data + written, size - written, &took) || took == 0) {
      complete = false;
      break;
    }
    written += took < size - written ? took : size - written;
  }
  EndDeliveryDocument(port);
  WriteResult result;
  if (complete) {
    MonLog(TEXT("WritePage: Page %ws is sent to the printer. Datasize:%d, Written:%d.\n"), entry->path, size, written);
    ClearFlags(&port->status, PP_WRITE_ERROR);
    CloseHandle(file);
    if (size < kSmallPage) {
      DeleteFileW(entry->path);
      MonLog(TEXT("WritePage: The page %ws is removed. Datasize:%d, Written:%d.\n"), entry->path, size, written);
    }
    entry->isSent = 1;
    result = WriteResult::Sent;
  } else {
    SetFlags(&port->status, PP_WRITE_ERROR);
    MonLog(TEXT("WritePage: pfnWritePort failed sending the page %ws. Datasize:%d, Written:%d.\n"), entry->path, size,
           written);
    CloseHandle(file);
    result = WriteResult::Failed;
  }
  LocalFree(data);
  return result;
}

// After a status query that succeeded, settles every sent page of the pass: a page the printer asks to
// have again is marked unsent; a printed (or given up) page has its file deleted, and the job before
// a page of another job is reported ejected. (Its log lines keep the names the log has always had.)
void RemovePrintedPages(IniPort* port, const PrinterState& state) {
  WCHAR counterText[32];
  WFormatTo(counterText, 32, TEXT("page_%04d"), state.pageCounter);
  const BYTE* recent = state.recentPages;
  for (PageEntry* e = LoadPointer(&port->pageQueue); e; e = LoadPointer(&e->next)) {
    if (e->isSent && !e->isPrinted) {
      if (AsksReprint(state) && e->pageNumber != 0 && e->pageNumber > state.pageCounter) {
        e->isSent = 0;
        MonLog(TEXT("RemovePrintedPages. File [%ws] is asked re-print, pIniPort:0x%x, hPort:0x%x\n"), e->path,
               Hex32(port), Hex32(port->hPort));
      } else {
        bool printed = e->pageNumber == 0;
        if (!printed) {
          const BYTE high = static_cast<BYTE>(e->pageNumber >> 8), low = static_cast<BYTE>(e->pageNumber);
          bool found = false;
          WCHAR list[8 * 5 + 1];
          for (int i = 0; i < 8; ++i) {
            found = found || (recent[2 * i] == high && recent[2 * i + 1] == low);
            WFormatTo(list + 5 * i, 6, TEXT("%02x%02x "), recent[2 * i], recent[2 * i + 1]);
          }
          MonLog(TEXT("IsPagePrinted: Check %d(%02x%02x) in [%ws], %ws, pIniPort:0x%x, hPort:0x%x\n"), e->pageNumber,
                 high, low, list, found ? TEXT("Yes") : TEXT("No"), Hex32(port), Hex32(port->hPort));
          printed = found || WStrStr(e->path, counterText);
          if (!printed && e->checkCount > kCheckLimit) {
            printed = true;
            MonLog(TEXT("PrintPageFiles. Page %ws is given up after %d visits. pIniPort:0x%x, hPort:0x%x\n"), e->path,
                   e->checkCount, Hex32(port), Hex32(port->hPort));
          }
        }
        if (printed) {
          e->isPrinted = 1;
          DeleteFileW(e->path);
          MonLog(TEXT("RemovePrintedPages. File [%ws] is removed, pIniPort:0x%x, hPort:0x%x\n"), e->path, Hex32(port),
                 Hex32(port->hPort));
          // A page of another job: the job before it has all its pages out.
          const DWORD last = LastRemovedJob(port);
          IniJob* first = FirstJob(port);
          if (e->jobId != last && first && first->hPrinter) {
            if (last != 0 && SetJobW(first->hPrinter, last, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED))
              MonLog(TEXT("RemovePrintedPages. Job %d is removed as all the pages of it are removed, pIniPort:0x%x, ")
                         TEXT("hPort:0x%x\n"),
                     last, Hex32(port), Hex32(port->hPort));
            SetLastRemovedJob(port, e->jobId);
          }
        }
      }
    }
    if (e == port->passEnd) break;
  }
}

}  // namespace

JOB_INFO_1W* JobInfo1(HANDLE printer, DWORD jobId) {
  DWORD needed = 0;
  if (GetJobW(printer, jobId, 1, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || !needed)
    return nullptr;
  auto* info = static_cast<JOB_INFO_1W*>(LocalAlloc(LPTR, needed));
  if (info && !GetJobW(printer, jobId, 1, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    LocalFree(info);
    return nullptr;
  }
  return info;
}

void WaitForDeliveryDocument(IniPort* port) {
  while (AtomicLoad(&port->status) & PP_DELIVERY_DOC) Sleep(1);
}

void SetDeliveryStep(DeliveryStep step) {
  InterlockedExchangePointer(&g_step, reinterpret_cast<PVOID>(step));
}

namespace {

// Still to be printed: not confirmed, not given up, and with something to send.
bool Pending(const PageEntry* e) { return !e->isPrinted && !e->isMissing && e->checkCount <= kCheckLimit; }

void LogOffline(IniPort* port, DWORD jobId) {
  SetFlags(&port->status, PP_WRITE_ERROR);
  MonLog(TEXT("PrintPageFiles. Printer is offline, the job %03d will be deleted. Please reprint it again. ")
             TEXT("pIniPort:0x%x, hPort:0x%x\n"),
         jobId, Hex32(port), Hex32(port->hPort));
}

// Between two rounds of a pass: the printer is asked once more which pages came out (a slow printer may
// have finished one since), and every page it has still not confirmed is marked to be sent again. False
// when nothing is left to send, or the printer is offline (logged; the clear then ends the job).
bool StartNextRound(IniPort* port, PageEntry* head) {
  PageEntry* first = nullptr;
  for (PageEntry* e = head; e; e = LoadPointer(&e->next)) {
    if (Pending(e)) {
      first = e;
      break;
    }
    if (e == port->passEnd) break;
  }
  if (!first) return false;
  Sleep(50);
  if (!AtomicLoad(&port->threadRun)) return false;
  PrinterState state;
  if (!GetPrinterStatus(port, nullptr, &state)) {
    LogOffline(port, first->jobId);
    return false;
  }
  RemovePrintedPages(port, state);
  bool any = false;
  for (PageEntry* e = head; e; e = LoadPointer(&e->next)) {
    if (Pending(e)) {
      any = true;
      if (e->isSent) {
        e->isSent = 0;
        MonLog(TEXT("PrintPageFiles. Page %ws is not confirmed by the printer, it is sent again. pIniPort:0x%x, ")
                   TEXT("hPort:0x%x\n"),
               e->path, Hex32(port), Hex32(port->hPort));
      }
    }
    if (e == port->passEnd) break;
  }
  return any;
}

// Pages the pass leaves unprinted although they were there to send: the visit limit ran out.
void LogGivenUp(IniPort* port, PageEntry* head) {
  for (PageEntry* e = head; e; e = LoadPointer(&e->next)) {
    if (!e->isPrinted && !e->isMissing && e->checkCount > kCheckLimit)
      MonLog(TEXT("PrintPageFiles. Page %ws is given up after %d visits. pIniPort:0x%x, hPort:0x%x\n"), e->path,
             e->checkCount, Hex32(port), Hex32(port->hPort));
    if (e == port->passEnd) break;
  }
}

}  // namespace

void PrintPageFiles(IniPort* port) {
  port->passEnd = nullptr;
  if (!FirstJob(port)) return;
  // The pass covers what is queued now; a listing meanwhile appends behind passEnd for the next pass.
  // Taken under the queue guard, so that a pass covers all or none of a listing.
  TakeQueueGuard(port);
  PageEntry* const head = LoadPointer(&port->pageQueue);
  for (PageEntry* e = head; e; e = LoadPointer(&e->next)) port->passEnd = e;
  ReleaseQueueGuard(port);
  // The first round visits every entry; later rounds only the pages the printer has not confirmed, until
  // each is confirmed or its visits run out: a page lost without a word, or one before the counter of a
  // late re-print request, is sent again rather than deleted with the clear.
  bool firstRound = true;
  PageEntry* entry = head;
  while (entry) {
    IniJob* first = FirstJob(port);
    // A closing port ends the pass too: a page whose write keeps failing must not keep the thread.
    if (!first || !AtomicLoad(&port->threadRun)) return;
    if (!firstRound && !Pending(entry)) {
      if (entry == port->passEnd) {
        if (!StartNextRound(port, head)) break;
        entry = head;
      } else {
        entry = LoadPointer(&entry->next);
      }
      continue;
    }
    const bool deleting = JobIsDeleting(first->hPrinter, entry->jobId);
    if (deleting) {
      MonLog(TEXT("PrintPageFiles. Job %d is deleting by someway, make page %04d done. pIniPort:0x%x, hPort:0x%x\n"),
             entry->jobId, entry->pageNumber, Hex32(port), Hex32(port->hPort));
      entry->isPrinted = 1;
      entry->isSent = 1;
    }
    WriteResult wrote = WriteResult::NotWritten;
    if (!entry->isSent) wrote = WritePage(port, entry);
    ++entry->checkCount;

    PrinterState state;
    if (!GetPrinterStatus(port, nullptr, &state)) {
      // The clear that follows removes every page of the pass and ends the job.
      LogOffline(port, entry->jobId);
      return;
    }
    // Only a write that failed at this step holds the page: a flag left by an offline printer, or by a
    // page whose file has since gone, would otherwise hold it forever.
    if (!deleting && wrote == WriteResult::Failed && (AtomicLoad(&port->status) & PP_WRITE_ERROR)) {
      MonLog(TEXT("PrintPageFiles. PP_WRITE_ERROR, pIniPort:0x%x, hPort:0x%x\n"), Hex32(port), Hex32(port->hPort));
      continue;
    }
    RemovePrintedPages(port, state);
    // A page the printer asks for again is sent again at once, as often as it asks, until the visit
    // limit: holding it only once lost a page that was asked for twice in a row (a torn block and then a
    // lost one), as the clear after the pass deletes it unsent.
    if (entry->pageNumber != 0 && !deleting && AsksReprint(state) && !entry->isSent &&
        entry->checkCount <= kCheckLimit)
      continue;
    if (entry == port->passEnd) {
      firstRound = false;
      if (!StartNextRound(port, head)) break;
      entry = head;
      continue;
    }
    entry = LoadPointer(&entry->next);
  }
  LogGivenUp(port, head);
}

void RunDeliveryTurn(IniPort* port) {
  PrintPageFiles(port);
  ClearPagesInQueue(port);
}

BOOL CreateUWriteThread(IniPort* port) {
  MonLog(TEXT("CreateUWriteThread: Enter CreateUWriteThread. Driver Version: %hs\n"), kProductVersion);
  if (AtomicLoad(&port->status) & PP_THREAD_RUNNING) {
    MonLog(TEXT("CreateUWriteThread: Thread for Port %ws is already started.\n"), port->portName);
    return TRUE;
  }
  MonLog(TEXT("CreateUWriteThread: Thread for Port %ws is Starting.\n"), port->portName);
  SetFlags(&port->status, PP_THREAD_RUNNING);
  // Set here, not by the thread: a close that comes before the thread first runs must still stop it.
  InterlockedExchange(&port->threadRun, 1);
  InterlockedIncrement(&port->refCount);  // the thread's reference
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, UWriteThread, port, 0, &id);
  if (!thread) {
    const DWORD error = GetLastError();
    InterlockedExchange(&port->threadRun, 0);
    ClearFlags(&port->status, PP_THREAD_RUNNING);
    InterlockedDecrement(&port->refCount);  // the list still holds one
    MonLog(TEXT("CreateUWriteThread: Exit CreateUWriteThread.\n"));
    SetLastError(error);
    return FALSE;
  }
  SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
  CloseHandle(thread);
  return TRUE;
}

DWORD WINAPI UWriteThread(LPVOID param) {
  auto* port = static_cast<IniPort*>(param);
  MonLog(TEXT("UWriteThread: Enter UWriteThread\n"));
  do {
    // A turn that fails (out of memory) is over; the thread goes on with the next, and still lets go of
    // the port when it is closed.
    GuardEntry("UWriteThread", [&] {
      auto step = reinterpret_cast<DeliveryStep>(InterlockedCompareExchangePointer(&g_step, nullptr, nullptr));
      if (step)
        step(port);
      else
        RunDeliveryTurn(port);
    });
    Sleep(50);
  } while (AtomicLoad(&port->threadRun));
  ClearFlags(&port->status, PP_THREAD_RUNNING);
  MonLog(TEXT("UWriteThread: Exit UWriteThread\n"));
  ReleasePort(port);
  return 0;
}
