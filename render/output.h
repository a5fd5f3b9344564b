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

// What the process keeps of one printer's captures (in its PrinterJobState): one open file per job, so
// that two jobs rendered at once on the printer never share one. Only the capture functions below touch
// it, under JobLock.
constexpr int kMaxCaptureJobs = 8;
struct JobCapture {
  DWORD JobId = 0;
  HANDLE File = nullptr;  // nullptr: the slot is free
  int Users = 0;          // PDEVs writing to it
  bool Ended = false;     // the job's end came; closed once its last PDEV lets go
};
struct PrinterCapture {
  JobCapture Jobs[kMaxCaptureJobs];
  int Counter = 1;        // numbers the capture files; taken when one is opened
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

// The capture file of a document: "<folder>\<CaptureFileLeaf>", the folder made as needed. The capture file
// of the PDEV's job,
// still open for an earlier document of it (a continued job, a PDEV made again by ResetDC), is reused;
// another job's is never touched. A new file holds exactly the bytes written from now on.
// A name another job holds open (another process's, another printer's capturing to the same folder) is passed
// over for the next number, at most kMaxCaptureNameTries times.
constexpr int kMaxCaptureNameTries = 16;
void OpenCaptureFile(Pdev* pdev, LPCWSTR folder, LPCWSTR documentName);
// DrvResetPDEV: the new PDEV writes on into the old one's capture file. The old PDEV goes before the new one's
// DrvStartDoc, and a job starting on the printer in between must not take the file for abandoned.
void ShareCaptureFile(Pdev* from, Pdev* to);
// The job ends: the PDEV lets go of its capture file, which is closed once no PDEV of the job writes to
// it. Nothing happens when the PDEV has none.
void CloseCaptureFile(Pdev* pdev);
// The PDEV lets go of its capture file without ending the job (it goes, or starts another job): the
// file stays open for the job's next document, until a later job on the printer finds it abandoned.
void DetachCaptureFile(Pdev* pdev);
// The same when the PDEV's capture file is not `jobId`'s: a new job on the PDEV never writes into the file of
// an earlier job whose last document did not end it.
void DetachCaptureFileOfOtherJob(Pdev* pdev, DWORD jobId);
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
