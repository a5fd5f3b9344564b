// The job lifecycle of the rendering DLL: process-wide job state and the logic behind DrvStartDoc,
// DrvStartPage, DrvSendPage, DrvEndDoc and DrvEscape.
#pragma once

#include "common/platform.h"
#include "render/pdev.h"
#include "render/writers/writer.h"

// Shared by all PDEVs of the process and not locked: one job is rendered at a time.
struct JobState {
  HMODULE Module = nullptr;     // this library, from DLL_PROCESS_ATTACH; carries the catalogue
  DWORD LastJobId = 0;          // job of the last DrvStartDoc that sent a job header
  bool Continued = false;       // the last DrvStartDoc continued an already started job
  HANDLE CaptureFile = nullptr; // kept across the documents of one job
  int CaptureCounter = 1;       // numbers the capture files
};
JobState& Job();
// Back to the start values; an open capture file is forgotten, not closed.
void ResetJobState();

// The writers' view of a PDEV.
WriterContext MakeWriterContext(Pdev* pdev, OutputSink* sink);

BOOL StartDocument(Pdev* pdev, LPCWSTR documentName, DWORD jobId);
BOOL StartPage(Pdev* pdev);
BOOL SendDocumentPage(Pdev* pdev, SURFOBJ* so);
BOOL EndDocument(Pdev* pdev);
ULONG Escape(Pdev* pdev, SURFOBJ* so, ULONG escape, ULONG inSize, const void* in, ULONG outSize, void* out);
