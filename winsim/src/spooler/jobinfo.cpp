// The spooler's job records as monitors see them: GetJobW / SetJobW over the documents of the job path
// and the jobs a test adds, job status bits and the job controls a monitor sent.
#include <cstring>
#include <map>

#include "info_packer.h"
#include "internal.h"
#include "winsim/security.h"
#include "winsim/monitorhost.h"
#include "winsim/printpath.h"

using namespace winsim::detail;

namespace {

struct ExtraJob {
  std::u16string printer, document, user;
};

struct JobTable {
  std::map<DWORD, ExtraJob> extraJobs;
  std::map<DWORD, DWORD> status;  // job id -> JOB_STATUS_* bits
  std::vector<winsim::JobControlRecord> controls;
};

JobTable& H() { return Lasting<JobTable>(); }

struct JobView {
  std::u16string printer, document;
  DWORD size = 0;
  std::u16string user;
};

// With the machine lock held.
bool FindJob(DWORD id, JobView* out) {
  auto extra = H().extraJobs.find(id);
  if (extra != H().extraJobs.end()) {
    *out = JobView{extra->second.printer, extra->second.document, 0, extra->second.user};
    return true;
  }
  for (const auto& j : winsim::SpoolJobs()) {
    if (j.id == id) {
      *out = JobView{j.printer, j.document, DWORD(j.data.size()), j.user};
      return true;
    }
  }
  return false;
}

void FillJob(DWORD id, const JobView& j, DWORD status, DWORD level, LPBYTE buf, Packer& k) {
  if (level == 1) {
    const JOB_INFO_1W i{.JobId = id, .pPrinterName = k.Str(j.printer), .pMachineName = k.Str(u"\\\\WINSIM"),
                        .pUserName = k.Str(j.user), .pDocument = k.Str(j.document), .pDatatype = k.Str(u"RAW"),
                        .Status = status, .Priority = 1, .Position = 1};
    if (buf) memcpy(buf, &i, sizeof i);
  } else {
    const JOB_INFO_2W i{.JobId = id, .pPrinterName = k.Str(j.printer), .pMachineName = k.Str(u"\\\\WINSIM"),
                        .pUserName = k.Str(j.user), .pDocument = k.Str(j.document), .pNotifyName = k.Str(j.user),
                        .pDatatype = k.Str(u"RAW"), .pPrintProcessor = k.Str(u"winprint"), .pParameters = k.Str(u""),
                        .pDriverName = k.Str(u""), .Status = status, .Priority = 1, .Position = 1, .Size = j.size};
    if (buf) memcpy(buf, &i, sizeof i);
  }
}

void ResetJobTable() {
  H() = JobTable{};
}
const ResetRegistrar kResetJobTable(ResetJobTable);

}  // namespace

namespace winsim {

void AddSpoolerJob(const std::u16string& printer, DWORD jobId, const std::u16string& document) {
  Guard g(Mutex());
  H().extraJobs[jobId] = ExtraJob{printer, document, FromUtf8(winsim::CurrentAccountName())};
}

bool SetJobStatus(DWORD jobId, DWORD status) {
  Guard g(Mutex());
  JobView j;
  if (!FindJob(jobId, &j)) return false;
  H().status[jobId] = status;
  return true;
}

DWORD JobStatus(DWORD jobId) {
  Guard g(Mutex());
  auto it = H().status.find(jobId);
  return it == H().status.end() ? 0 : it->second;
}

std::vector<JobControlRecord> JobControls() { return CopyLocked(H().controls); }

}  // namespace winsim

extern "C" {

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  std::u16string printer = winsim::detail::PrinterName(hPrinter);
  if (printer.empty()) return FALSE;
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  JobView j;
  if (!FindJob(JobId, &j) || !IEquals(j.printer, printer)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD status = H().status.count(JobId) ? H().status[JobId] : 0;
  const size_t fixed = Level == 1 ? sizeof(JOB_INFO_1W) : sizeof(JOB_INFO_2W);
  return PackRecord(
      fixed, [&](LPBYTE at, Packer& k) { FillJob(JobId, j, status, Level, at, k); }, pJob, cbBuf, pcbNeeded);
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  std::u16string printer = winsim::detail::PrinterName(hPrinter);
  Guard g(Mutex());
  H().controls.push_back(winsim::JobControlRecord{printer, JobId, Level, Command, false});
  if (printer.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  JobView j;
  if (!FindJob(JobId, &j) || !IEquals(j.printer, printer)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (Level != 0 || pJob) {  // changing the job's fields is not simulated
    SetLastError(Level > 4 ? ERROR_INVALID_LEVEL : ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  DWORD& status = H().status[JobId];
  switch (Command) {
    case JOB_CONTROL_PAUSE: status |= JOB_STATUS_PAUSED; break;
    case JOB_CONTROL_RESUME: status &= ~DWORD(JOB_STATUS_PAUSED); break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE: status |= JOB_STATUS_DELETING; break;
    case JOB_CONTROL_RESTART: status |= JOB_STATUS_RESTART; break;
    case JOB_CONTROL_SENT_TO_PRINTER: break;
    case JOB_CONTROL_LAST_PAGE_EJECTED: status |= JOB_STATUS_PRINTED; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  H().controls.back().accepted = true;
  return TRUE;
}

}  // extern "C"
