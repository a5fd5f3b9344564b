// Language monitor lblmon: the queue of TWL page files and the delivery thread that sends them.
#pragma once

#include "common/platform.h"
#include "monitor/port.h"
#include "monitor/status.h"

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

// ---- page-file queue and delivery ---------------------------------------------------------
// Starts the port's delivery thread unless it runs; FALSE, with CreateThread's error, when it cannot start.
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

