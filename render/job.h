// The job lifecycle of the rendering DLL: process-wide job state and the logic behind DrvStartDoc,
// DrvStartPage, DrvSendPage, DrvEndDoc and DrvEscape.
#pragma once

#include "common/platform.h"
#include "render/output.h"
#include "render/pdev.h"
#include "render/writers/writer.h"

// What the process keeps of the jobs of one printer. The spooler's print host renders the jobs of
// several printers in one process, each on its own thread: each printer has its own record, and
// every field is read and written under JobLock only.
// Two jobs may be rendered at once on one printer (two applications, two threads): whether a document starts
// a job or continues one, and whether its job has had its end, is kept per job.
struct JobProgress {
  DWORD JobId = 0;
  bool EndSent = false;          // the job has had its job end
};
constexpr int kRecentJobs = 8;
struct PrinterJobState {
  DWORD LastJobId = 0;           // job of the last DrvStartDoc
  JobProgress Jobs[kRecentJobs]; // the jobs that sent a job header, the oldest replaced first
  int NextJob = 0;
  PrinterCapture Capture;        // the output module's (render/output.h)
  uint16_t TwlPageCounter = 1;   // page numbers of the TWL page files
};

// The record of the printer of that name (created on first use; records live as long as the
// process, so a PDEV may keep a pointer to its record).
PrinterJobState* PrinterJobs(LPCWSTR printerName);

// The one lock over every PrinterJobState.
class JobLock {
 public:
  JobLock();
  ~JobLock();
  JobLock(const JobLock&) = delete;
  JobLock& operator=(const JobLock&) = delete;
};

// Every printer's record back to the start values; open capture files are forgotten, not closed.
void ResetJobState();

// The writers' view of a PDEV.
WriterContext MakeWriterContext(Pdev* pdev, OutputSink* sink);

BOOL StartDocument(Pdev* pdev, LPCWSTR documentName, DWORD jobId);
BOOL StartPage(Pdev* pdev);
BOOL SendDocumentPage(Pdev* pdev, SURFOBJ* so);
BOOL EndDocument(Pdev* pdev);
ULONG Escape(Pdev* pdev, SURFOBJ* so, ULONG escape, ULONG inSize, const void* in, ULONG outSize, void* out);
