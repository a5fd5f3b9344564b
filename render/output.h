// Job output of the rendering DLL: the output buffer that feeds WritePrinter, the capture file of
// the printer code, and the TWL page files the language monitor delivers.
#pragma once

#include <cstdint>
#include <string>

#include "common/pagefile.h"
#include "common/platform.h"
#include "common/wstr.h"
#include "render/pdev.h"
#include "render/writers/writer.h"

constexpr DWORD kOutputBufferBytes = 0x50010;  // allocated
constexpr DWORD kOutputBufferLimit = 0x50000;  // used; also the largest WritePrinter block

// What the process keeps of one printer's capture (in its PrinterJobState). Only the capture
// functions below touch it, under JobLock.
struct PrinterCapture {
  HANDLE File = nullptr;  // kept across the documents of one job
  DWORD JobId = 0;        // the job the open file belongs to
  int Counter = 1;        // numbers the capture files
};

// Copies bytes into the output buffer, flushing it whenever it is full. Returns the bytes taken,
// or -1 once the PDEV has failed (before or during the call).
int32_t SendBytes(Pdev* pdev, const void* data, DWORD size);
// WritePrinter of the buffered bytes (and a copy to the capture file except for TWL). TRUE when the
// buffer is empty afterwards; a failed or short write marks the PDEV failed.
BOOL FlushOutput(Pdev* pdev);

// Writes the bytes as the first page file of (page, job id) whose name is free in the page folder
// (made when missing, PreparePageFolder), taking the name by creating the file (CREATE_NEW), so two
// writers never share one. The file belongs to the calling thread's user. ERROR_SUCCESS (also for 0
// bytes, which write nothing), else the error that kept the file from being written whole.
constexpr int kMaxPageFileSequence = 10000;
DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size);

// The capture file's name inside the capture folder: "<document>.prt" for the first capture of the
// process, "<document>_<counter>.prt" after it. The document name comes from any application, so
// path separators, drive and stream colons, wildcards, quotes, angle brackets, pipes and control
// characters become '_', and a name Windows would take for a device (CON, NUL, COM1, ...) gets a
// '_' in front: the name never leads outside the folder.
WString CaptureFileLeaf(LPCWSTR documentName, int counter);

// The capture file of a document: "<folder>\<CaptureFileLeaf>". The printer's capture file still
// open for the same job (a continued job) is reused. A new file holds exactly the bytes written
// from now on.
void OpenCaptureFile(Pdev* pdev, LPCWSTR folder, LPCWSTR documentName);
// Closes the printer's capture file, forgets it in the PDEV and the printer's record and counts the
// capture. Nothing happens when none is open.
void CloseCaptureFile(Pdev* pdev);
// Closes the printer's capture file when it belongs to a job other than `jobId`.
void CloseCaptureFileOfOtherJob(Pdev* pdev, DWORD jobId);
// Appends bytes to the PDEV's capture file, when one is open.
void CaptureBytes(Pdev* pdev, const void* data, DWORD size);

// The writers' sink over a PDEV: spooler bytes through the output buffer, TWL page files, and
// page-file data copied to the capture file.
class PdevSink : public OutputSink {
 public:
  explicit PdevSink(Pdev* pdev) : pdev_(pdev) {}
  int32_t Send(const void* data, DWORD size) override;
  DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size) override;
  void Capture(const void* data, DWORD size) override;
  uint16_t NextTwlPage() override;  // the printer's counter, under JobLock
  void EndTwlJob() override;

 private:
  Pdev* pdev_;
};
