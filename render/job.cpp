#include "render/job.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/debug.h"
#include "common/wstr.h"
#include "render/output.h"
#include "render/pipeline/pipeline.h"

namespace {

struct NamedJobState {
  WString printer;
  PrinterJobState state;
};

struct JobRegistry {
  CRITICAL_SECTION lock;
  std::vector<std::unique_ptr<NamedJobState>> printers;
  JobRegistry() { InitializeCriticalSection(&lock); }
};

JobRegistry& Registry() {
  static JobRegistry registry;
  return registry;
}

// Documents the system's test page prints under, in English and Chinese.
bool IsTestPage(LPCWSTR name) {
  return name && (WStrEq(name, TEXT("Test Page")) || WStrEq(name, TEXT("\u6d4b\u8bd5\u9875")));
}

void ReadDocumentPropData(Pdev* pdev) {
  // The same reader as the settings pages use, so a folder that can be written can be read back.
  PrinterPropData prop{0, {}};
  ReadPropData(pdev->Printer, &prop);
  pdev->PPDataFlags = prop.Flags;
  WStrCopy(pdev->LogFolder, kLogFolderChars, prop.LogFolder);
}

// The current paper takes its stock values from the "FORMS" entry of its name (else the first).
void SelectDocumentPaper(Pdev* pdev) {
  InstalledPaper& paper = pdev->Paper;
  if (pdev->Forms && pdev->FormCount > 0) {
    int found = 0;
    for (int i = 0; i < pdev->FormCount; ++i) {
      if (WStrEq(pdev->Forms[i].Name, paper.Name)) {
        found = i;
        break;
      }
    }
    // The paper keeps its own name (and reserved word); everything else is the stock's.
    InstalledPaper stock = PaperToInstalled(pdev->Forms[found]);
    std::memcpy(stock.Name, paper.Name, sizeof stock.Name);
    stock.Reserved = paper.Reserved;
    paper = stock;
  }
  // A stock's own speed and darkness come from the printer's stored list, which anything with the
  // right to change the printer may have written: values no list offers stand for none.
  if (pdev->Model && !SpeedAllowed(pdev->Model, paper.Speed)) {
    DbgPrint(TEXT("SelectDocumentPaper: speed %d of the paper is ignored."), paper.Speed);
    paper.Speed = 0;
  }
  if (pdev->Model && !DarknessAllowed(pdev->Model, paper.Darkness)) {
    DbgPrint(TEXT("SelectDocumentPaper: darkness %d of the paper is ignored."), paper.Darkness);
    paper.Darkness = 0;
  }
  // No stock editor makes a negative gap; a printer would refuse the media command.
  if (paper.GapHeight < 0 || paper.GapOffset < 0) {
    DbgPrint(TEXT("SelectDocumentPaper: negative gap %d, offset %d of the paper read as 0."), paper.GapHeight,
             paper.GapOffset);
    paper.GapHeight = std::max(paper.GapHeight, 0);
    paper.GapOffset = std::max(paper.GapOffset, 0);
  }
  if (pdev->Settings.dm.dmPaperSize == DMPAPER_USER) {
    paper.Width = int32_t{pdev->Settings.dm.dmPaperWidth} * 100;
    paper.Length = int32_t{pdev->Settings.dm.dmPaperLength} * 100;
  }
}

bool PipelineCancelled(void* context) { return CheckAbort(static_cast<Pdev*>(context)); }

// The job's record on the printer (JobLock held), or nullptr when it sent no job header lately.
JobProgress* FindJob(PrinterJobState& state, DWORD jobId) {
  for (JobProgress& job : state.Jobs)
    if (job.JobId == jobId) return &job;
  return nullptr;
}

}  // namespace


JobLock::JobLock() { EnterCriticalSection(&Registry().lock); }
JobLock::~JobLock() { LeaveCriticalSection(&Registry().lock); }

PrinterJobState* PrinterJobs(LPCWSTR printerName) {
  const WCHAR* name = printerName ? printerName : TEXT("");
  JobLock lock;
  auto& printers = Registry().printers;
  for (auto& entry : printers) {
    if (WStrEqNoCase(entry->printer.c_str(), name)) return &entry->state;
  }
  // No exception may leave the driver: a record that cannot be made is reported as no memory.
  try {
    auto entry = std::make_unique<NamedJobState>();
    entry->printer = name;
    printers.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return &printers.back()->state;
}

void ResetJobState() {
  JobLock lock;
  for (auto& entry : Registry().printers) entry->state = PrinterJobState{};
}

WriterContext MakeWriterContext(Pdev* pdev, OutputSink* sink) {
  WriterContext ctx;
  ctx.settings = &pdev->Settings;
  ctx.paper = &pdev->Paper;
  ctx.model = pdev->Model;
  ctx.resolution = pdev->Resolution;
  ctx.jobId = pdev->JobId;
  ctx.out = sink;
  ctx.labelsSinceCut = pdev->LabelsSinceCut;
  return ctx;
}

BOOL StartDocument(Pdev* pdev, LPCWSTR documentName, DWORD jobId) {
  // Bytes still buffered belong to the document before (and to its capture file): they go out
  // before the count starts again. A failed PDEV drops them as it drops everything.
  FlushOutput(pdev);
  pdev->JobId = jobId;
  ReadDocumentPropData(pdev);
  // A capture file still open belongs to a job whose last document never ended it (a continued
  // document, an application that called ResetDC): a new job must not write into it.
  DetachCaptureFileOfOtherJob(pdev, jobId);
  if ((pdev->PPDataFlags & kPropCaptureCode) && pdev->LogFolder[0])
    OpenCaptureFile(pdev, pdev->LogFolder, documentName);
  pdev->Buffered = 0;
  if (IsTestPage(documentName)) pdev->Settings.DitherLevel = 1;
  SelectDocumentPaper(pdev);
  FlushOutput(pdev);

  bool newJob;
  {
    JobLock lock;
    PrinterJobState& state = *pdev->Shared;
    newJob = !FindJob(state, jobId);
    if (newJob) {
      state.Jobs[state.NextJob] = JobProgress{jobId, false};
      state.NextJob = (state.NextJob + 1) % kRecentJobs;
    }
    state.LastJobId = jobId;
    pdev->Continued = !newJob;
  }
  if (newJob) {
    PdevSink sink(pdev);
    WriterContext ctx = MakeWriterContext(pdev, &sink);
    WriteUserCommand(ctx, kUserCommandJobStart);
    WriteJobHeader(ctx);
    pdev->LabelsSinceCut = 0;
    if (ctx.error != 0) {
      // The job's own page file could not be written: the monitor would deliver its pages without it.
      SetLastError(ctx.error);
      return FALSE;
    }
  }
  return TRUE;
}

BOOL StartPage(Pdev* pdev) {
  SURFOBJ* so = pdev->SurfObj;
  if (so && so->pvBits && so->cjBits) std::memset(so->pvBits, 0xFF, so->cjBits);
  return TRUE;
}

BOOL SendDocumentPage(Pdev* pdev, SURFOBJ* so) {
  if (pdev->JobId == 0) {
    JobLock lock;
    pdev->JobId = pdev->Shared->LastJobId;
  }
  if (so->iType == STYPE_DEVICE) return FlushOutput(pdev);
  if (so->iType != STYPE_BITMAP) return FALSE;

  PipelineInput in{};
  in.settings = &pdev->Settings;
  in.paper = &pdev->Paper;
  in.model = pdev->Model;
  in.resolution = pdev->Resolution;
  in.ppDataFlags = pdev->PPDataFlags;
  in.bits = static_cast<const uint8_t*>(so->pvScan0);
  in.width = so->sizlBitmap.cx;
  in.height = so->sizlBitmap.cy;
  in.stride = so->lDelta;
  in.bitsSize = so->cjBits;
  in.cancelled = PipelineCancelled;
  in.cancelContext = pdev;
  in.buffers = &pdev->PageBlocks;
  PageRaster raster;
  if (!RenderPageRaster(in, &raster)) {
    // A page that could not be made is a failed page, never a silent success.
    DbgPrint(TEXT("DrvSendPage: page not made, error %u"), static_cast<unsigned>(raster.error));
    SetLastError(raster.error ? raster.error : ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }

  PdevSink sink(pdev);
  WriterContext ctx = MakeWriterContext(pdev, &sink);
  bool sent;
  try {
    sent = SendPage(ctx, raster.data, raster.bytes, raster.width, raster.rows);
  } catch (...) {
    FreePageRaster(&raster);
    throw;
  }
  pdev->LabelsSinceCut = ctx.labelsSinceCut;
  FreePageRaster(&raster);
  // Each page leaves for the spooler when it is complete, not when the next one fills the buffer;
  // what a failed page sent before it stopped goes too, so the spooler's copy matches the capture.
  FlushOutput(pdev);
  if (!sent) {
    DbgPrint(TEXT("DrvSendPage: page not sent whole, error %u"), static_cast<unsigned>(ctx.error));
    SetLastError(ctx.error);
    return FALSE;
  }
  return TRUE;
}

BOOL EndDocument(Pdev* pdev) {
  bool sendJobEnd;
  {
    JobLock lock;
    // A continued document sends no job end when its job had one already; a job whose first
    // document never ended (ResetDC makes a new PDEV for the rest of the job) gets it here.
    JobProgress* job = FindJob(*pdev->Shared, pdev->JobId);
    sendJobEnd = !(pdev->JobId != 0 && pdev->Continued && job && job->EndSent);
    if (sendJobEnd && job) job->EndSent = true;
  }
  if (!sendJobEnd) {
    // What its pages buffered still leaves now.
    FlushOutput(pdev);
    return TRUE;
  }
  PdevSink sink(pdev);
  WriterContext ctx = MakeWriterContext(pdev, &sink);
  WriteUserCommand(ctx, kUserCommandJobEnd);
  pdev->LabelsSinceCut = ctx.labelsSinceCut;
  FlushOutput(pdev);
  CloseCaptureFile(pdev);
  if (ctx.error != 0) {
    SetLastError(ctx.error);
    return FALSE;
  }
  return TRUE;
}

ULONG Escape(Pdev* pdev, SURFOBJ* so, ULONG escape, ULONG inSize, const void* in, ULONG outSize, void* out) {
  switch (escape) {
    case QUERYESCSUPPORT: {
      if (inSize != sizeof(DWORD) || !in) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      DWORD asked;
      std::memcpy(&asked, in, sizeof asked);
      if (asked == QUERYESCSUPPORT || asked == PASSTHROUGH) return 1;
      if (asked == SETCOPYCOUNT) return pdev->Model->MaxCopies > 1 ? 1 : 0;
      return 0;
    }
    case SETCOPYCOUNT: {
      if (!in || inSize < sizeof(DWORD)) return 0;
      DWORD requested;
      std::memcpy(&requested, in, sizeof requested);
      if (requested == 0) return 0;
      // dmCopies is 16-bit signed; a model limit of 0 still prints one copy.
      const DWORD limit = std::clamp<DWORD>(pdev->Model->MaxCopies, 1, 0x7FFF);
      const DWORD copies = std::min(requested, limit);
      pdev->Settings.dm.dmCopies = static_cast<SHORT>(copies);
      if (out && outSize) std::memcpy(out, &copies, std::min<ULONG>(outSize, sizeof copies));
      return 1;
    }
    case PASSTHROUGH: {
      if (so && EngCheckAbort(so)) {
        pdev->State |= kPdevFailed;
        return 0;
      }
      if (!in || inSize <= 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      const auto* bytes = static_cast<const uint8_t*>(in);
      const DWORD length = bytes[0] | (DWORD{bytes[1]} << 8);
      if (length == 0 || length > inSize - 2) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
      }
      // Bytes already buffered go first, so the printer sees them in the order they were made.
      if (!FlushOutput(pdev)) return 0;
      DWORD written = 0;
      if (!WritePrinter(pdev->Printer, const_cast<uint8_t*>(bytes + 2), length, &written) || written != length) {
        pdev->State |= kPdevFailed;
        return 0;
      }
      // The capture holds what the printer received, so "Send To Printer" gives the same job.
      CaptureBytes(pdev, bytes + 2, length);
      return length;
    }
    default:
      SetLastError(ERROR_INVALID_FUNCTION);
      return 0;
  }
}
