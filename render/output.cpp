#include "render/output.h"

#include <algorithm>
#include <cstring>

#include "common/debug.h"
#include "common/service_folder.h"
#include "common/wstr.h"
#include "render/job.h"

int32_t SendBytes(Pdev* pdev, const void* data, DWORD size) {
  if (pdev->State & kPdevFailed) return -1;
  if (!pdev->OutputBuffer || (!data && size)) {
    pdev->State |= kPdevFailed;
    return -1;
  }
  // The return value is a signed count: take at most what it can report.
  size = std::min<DWORD>(size, 0x7FFFFFFF);
  const auto* src = static_cast<const uint8_t*>(data);
  DWORD taken = 0;
  while (taken < size) {
    if (pdev->State & kPdevFailed) return -1;
    if (pdev->Buffered >= kOutputBufferLimit && !FlushOutput(pdev)) return -1;
    DWORD n = std::min(size - taken, kOutputBufferLimit - pdev->Buffered);
    std::memcpy(pdev->OutputBuffer + pdev->Buffered, src + taken, n);
    pdev->Buffered += n;
    taken += n;
  }
  return static_cast<int32_t>(taken);
}

BOOL FlushOutput(Pdev* pdev) {
  if (pdev->State & kPdevFailed) return FALSE;
  if (pdev->Buffered == 0) return TRUE;
  if (pdev->Buffered > kOutputBufferLimit || !pdev->OutputBuffer) {
    pdev->Buffered = std::min(pdev->Buffered, kOutputBufferLimit);
    pdev->State |= kPdevFailed;
    return FALSE;
  }
  DWORD written = 0;
  if (!WritePrinter(pdev->Printer, pdev->OutputBuffer, pdev->Buffered, &written) || written != pdev->Buffered) {
    pdev->State |= kPdevFailed;
    return FALSE;
  }
  // TWL's capture gets the page-file data instead of the markers.
  if (pdev->CaptureFile && pdev->Settings.PrintLanguage != kLangTwl) {
    DWORD done = 0;
    WriteFile(pdev->CaptureFile, pdev->OutputBuffer, pdev->Buffered, &done, nullptr);
  }
  pdev->Buffered = 0;
  return TRUE;
}

DWORD WritePageFile(int page, DWORD jobId, const void* data, DWORD size) {
  if (size == 0 || !data) return ERROR_SUCCESS;
  // The monitor's page folder, made when missing by a caller allowed to; never a folder the monitor
  // would refuse (a user's, a junction), where the pages would wait for ever.
  if (!PreparePageFolder()) return GetLastError();
  // The first free name is taken by creating it: two writers of the same page never share a name,
  // and a file someone holds open is passed over, not overwritten.
  for (int sequence = 0; sequence < kMaxPageFileSequence; ++sequence) {
    const std::string name = PageFileName(page, jobId, sequence);
    if (name.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_SHARING_VIOLATION) continue;
      return error ? error : ERROR_WRITE_FAULT;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data, size, &written, nullptr);
    const DWORD error = ok && written == size ? ERROR_SUCCESS : (ok ? ERROR_DISK_FULL : GetLastError());
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
      // A part of a page must not be delivered as the page.
      DeleteFileA(name.c_str());
      return error;
    }
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_EXISTS;
}

namespace {

bool IsDeviceName(const WString& leaf) {
  static const WCHAR* const kDevices[] = {TEXT("CON"), TEXT("PRN"), TEXT("AUX"), TEXT("NUL"), TEXT("CONIN$"),
                                          TEXT("CONOUT$")};
  // Windows looks at the name before the first dot, without trailing spaces.
  WString head = leaf.substr(0, leaf.find(WCHAR('.')));
  while (!head.empty() && head.back() == WCHAR(' ')) head.pop_back();
  for (const WCHAR* device : kDevices)
    if (WStrEqNoCase(head.c_str(), device)) return true;
  if (head.size() == 4 && head[3] >= WCHAR('0') && head[3] <= WCHAR('9')) {
    const WString port = head.substr(0, 3);
    return WStrEqNoCase(port.c_str(), TEXT("COM")) || WStrEqNoCase(port.c_str(), TEXT("LPT"));
  }
  return false;
}

}  // namespace

WString CaptureFileLeaf(LPCWSTR documentName, int counter) {
  WString leaf = documentName ? documentName : TEXT("");
  for (WCHAR& c : leaf) {
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        c = WCHAR('_');
        break;
      default:
        if (c < 0x20) c = WCHAR('_');
        break;
    }
  }
  leaf += counter < 2 ? WString(TEXT(".prt")) : WFormat(TEXT("_%d.prt"), counter);
  if (IsDeviceName(leaf)) leaf.insert(leaf.begin(), WCHAR('_'));
  return leaf;
}

namespace {

// Makes the folder and every missing folder above it ("c:\\a\\b", "\\\\server\\share\\a"); what exists stays.
void CreateFolderPath(LPCWSTR folder) {
  const WString path = folder;
  size_t start = 0;
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
    start = 3;
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // Past the server and share names.
    int slashes = 0;
    for (start = 2; start < path.size() && slashes < 2; ++start)
      if (path[start] == '\\') ++slashes;
  }
  for (size_t at = start; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '\\') continue;
    if (at == start) continue;
    const WString prefix = path.substr(0, at);
    if (GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(prefix.c_str(), nullptr);
  }
}

JobCapture* CaptureOfFile(PrinterCapture& capture, HANDLE file) {
  for (JobCapture& job : capture.Jobs)
    if (file && job.File == file) return &job;
  return nullptr;
}

// Lets go of the PDEV's capture file (JobLock held); the file to close when no PDEV writes to it any more
// and the job has ended (or `end` ends it now), else nullptr.
HANDLE ReleaseCapture(Pdev* pdev, bool end) {
  JobCapture* job = CaptureOfFile(pdev->Shared->Capture, pdev->CaptureFile);
  pdev->CaptureFile = nullptr;
  if (!job) return nullptr;
  if (job->Users > 0) --job->Users;
  job->Ended = job->Ended || end;
  if (job->Users > 0 || !job->Ended) return nullptr;
  HANDLE file = job->File;
  *job = JobCapture{};
  return file;
}

}  // namespace

void OpenCaptureFile(Pdev* pdev, LPCWSTR folder, LPCWSTR documentName) {
  if (pdev->CaptureFile) return;  // the file of this job's earlier document on this PDEV
  HANDLE abandoned[kMaxCaptureJobs] = {};
  int counter;
  {
    JobLock lock;
    PrinterCapture& capture = pdev->Shared->Capture;
    for (int i = 0; i < kMaxCaptureJobs; ++i) {
      JobCapture& job = capture.Jobs[i];
      if (!job.File) continue;
      if (job.JobId == pdev->JobId) {
        // Reused only by the documents of the job it was opened for.
        ++job.Users;
        pdev->CaptureFile = job.File;
        return;
      }
      // No PDEV writes to another job's file any more: its job will not come back for it.
      if (job.Users == 0) {
        abandoned[i] = job.File;
        job = JobCapture{};
      }
    }
    counter = capture.Counter++;
  }
  for (HANDLE file : abandoned)
    if (file) CloseHandle(file);
  CreateFolderPath(folder);
  WCHAR name[MAX_PATH];
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    const int n = WFormatTo(name, MAX_PATH, TEXT("%ws\\%ws"), folder, CaptureFileLeaf(documentName, counter).c_str());
    // A name cut to the buffer could name another file; such a document is not captured.
    if (n < 0) {
      WStrCopy(name, MAX_PATH, TEXT("(name too long)"));
      break;
    }
    // CREATE_ALWAYS: an older, longer capture of the same name must not leave its tail behind.
    file = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // A job rendered at the same time elsewhere (another application's process, another printer capturing to
    // the same folder) writes the file of that name: this job takes the next number instead of going uncaptured.
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt >= kMaxCaptureNameTries)
      break;
    JobLock lock;
    counter = pdev->Shared->Capture.Counter++;
  }
  JobLock lock;
  PrinterCapture& capture = pdev->Shared->Capture;
  JobCapture* slot = nullptr;
  for (JobCapture& job : capture.Jobs)
    if (!job.File && !slot) slot = &job;
  if (file == INVALID_HANDLE_VALUE || !slot) {
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_TOO_MANY_OPEN_FILES;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    // The number goes back when nothing took a later one meanwhile.
    if (capture.Counter == counter + 1) capture.Counter = counter;
    DbgPrint(TEXT("WriteFile %ws failed: %u"), name, static_cast<unsigned>(error));
    return;
  }
  *slot = JobCapture{pdev->JobId, file, 1, false};
  pdev->CaptureFile = file;
}

void ShareCaptureFile(Pdev* from, Pdev* to) {
  if (!from->CaptureFile || to->CaptureFile || from->Shared != to->Shared) return;
  JobLock lock;
  JobCapture* job = CaptureOfFile(from->Shared->Capture, from->CaptureFile);
  if (!job) return;
  ++job->Users;
  to->CaptureFile = job->File;
}

void CloseCaptureFile(Pdev* pdev) {
  HANDLE file;
  {
    JobLock lock;
    file = ReleaseCapture(pdev, true);
  }
  if (file) CloseHandle(file);
}

void DetachCaptureFile(Pdev* pdev) {
  HANDLE file;
  {
    JobLock lock;
    file = ReleaseCapture(pdev, false);
  }
  if (file) CloseHandle(file);
}

void DetachCaptureFileOfOtherJob(Pdev* pdev, DWORD jobId) {
  HANDLE file = nullptr;
  {
    JobLock lock;
    const JobCapture* job = CaptureOfFile(pdev->Shared->Capture, pdev->CaptureFile);
    if (!job || job->JobId != jobId) file = ReleaseCapture(pdev, false);
  }
  if (file) CloseHandle(file);
}

void CaptureBytes(Pdev* pdev, const void* data, DWORD size) {
  if (!pdev->CaptureFile || size == 0) return;
  DWORD done = 0;
  WriteFile(pdev->CaptureFile, data, size, &done, nullptr);
}

int32_t PdevSink::Send(const void* data, DWORD size) { return SendBytes(pdev_, data, size); }

DWORD PdevSink::WritePageFile(int page, DWORD jobId, const void* data, DWORD size) {
  return ::WritePageFile(page, jobId, data, size);
}

void PdevSink::Capture(const void* data, DWORD size) { CaptureBytes(pdev_, data, size); }

uint16_t PdevSink::NextTwlPage() {
  JobLock lock;
  return ++pdev_->Shared->TwlPageCounter;
}

void PdevSink::EndTwlJob() {
  JobLock lock;
  if (pdev_->Shared->TwlPageCounter > 8999) pdev_->Shared->TwlPageCounter = 1;
}
