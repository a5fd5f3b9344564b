// The spooler's job path: documents started on a printer handle, the bytes WritePrinter accepts for
// them (passed on through the printer's language monitor when its driver names one), and injected write
// faults.
#include <map>
#include <memory>
#include <vector>

#include "internal.h"
#include "winsim/security.h"
#include "winsim/printpath.h"

using namespace winsim::detail;

namespace {

struct Jobs {
  std::vector<winsim::SpoolJob> jobs;
  std::map<uintptr_t, size_t> open;  // printer handle -> index of its started document
  DWORD nextId = 1;
  winsim::WriteFault fault = winsim::WriteFault::None;
  unsigned okCalls = 0;
};

Jobs& J() { return Lasting<Jobs>(); }

winsim::SpoolJob* OpenJob(HANDLE h) {
  auto it = J().open.find(reinterpret_cast<uintptr_t>(h));
  return it == J().open.end() ? nullptr : &J().jobs[it->second];
}

}  // namespace

namespace winsim::detail {
// The printer a handle names (level 1 carries the name); "" with ERROR_INVALID_HANDLE otherwise.
std::u16string PrinterName(HANDLE h) {
  DWORD needed = 0;
  GetPrinterW(h, 1, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_1W)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return {};
  }
  std::vector<uint8_t> buf(needed);
  if (!GetPrinterW(h, 1, buf.data(), needed, &needed)) return {};
  auto* info = reinterpret_cast<PRINTER_INFO_1W*>(buf.data());
  return Wide(info->pName);
}

// Job ids keep counting across resets, as they never repeat within a spooler's life: a driver
// loaded in the process remembers the last job id it saw.
void ResetJobs() {
  const DWORD next = J().nextId;
  J() = Jobs{};
  J().nextId = next;
}
const ResetRegistrar kResetJobs(ResetJobs);
}  // namespace winsim::detail

namespace winsim {

std::vector<SpoolJob> SpoolJobs(const std::u16string& printer) {
  Guard g(Mutex());
  std::vector<SpoolJob> out;
  for (const auto& j : J().jobs)
    if (printer.empty() || IEquals(j.printer, printer)) out.push_back(j);
  return out;
}

std::vector<uint8_t> PrinterOutput(const std::u16string& printer) {
  std::vector<uint8_t> out;
  for (const auto& j : SpoolJobs(printer)) out.insert(out.end(), j.data.begin(), j.data.end());
  return out;
}

void SetNextJobId(DWORD id) {
  Guard g(Mutex());
  J().nextId = id;
}

void SetWritePrinterFault(WriteFault fault, unsigned okCalls) {
  Guard g(Mutex());
  J().fault = fault;
  J().okCalls = okCalls;
}

}  // namespace winsim

extern "C" {

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  Guard g(Mutex());
  if (!OpenJob(hPrinter)) {
    SetLastError(winsim::detail::PrinterName(hPrinter).empty() ? ERROR_INVALID_HANDLE : ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  return StartPagePrinter(hPrinter);
}

static BOOL EndJob(HANDLE hPrinter, bool abort) {  // EndDocPrinter and AbortPrinter
  Guard g(Mutex());
  winsim::SpoolJob* job = OpenJob(hPrinter);
  if (!job) {
    SetLastError(winsim::detail::PrinterName(hPrinter).empty() ? ERROR_INVALID_HANDLE : ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  (abort ? job->aborted : job->ended) = true;
  J().open.erase(reinterpret_cast<uintptr_t>(hPrinter));
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  if (!EndJob(hPrinter, false)) return FALSE;
  MonitorEndDoc(hPrinter);
  return TRUE;
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  if (!EndJob(hPrinter, true)) return FALSE;
  MonitorEndDoc(hPrinter);
  return TRUE;
}

static DWORD StartJob(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  Guard g(Mutex());
  std::u16string printer = winsim::detail::PrinterName(hPrinter);
  if (printer.empty()) return 0;
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!pDocInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (OpenJob(hPrinter)) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  auto* info = reinterpret_cast<DOC_INFO_1W*>(pDocInfo);
  winsim::SpoolJob job;
  job.id = J().nextId++;
  job.printer = printer;
  job.document = Wide(info->pDocName);
  job.user = FromUtf8(winsim::CurrentAccountName());
  J().jobs.push_back(std::move(job));
  J().open[reinterpret_cast<uintptr_t>(hPrinter)] = J().jobs.size() - 1;
  return J().jobs.back().id;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  const DWORD id = StartJob(hPrinter, Level, pDocInfo);
  // A printer whose driver names a language monitor: the document starts on its port as well.
  if (id && !MonitorStartDoc(hPrinter, id, pDocInfo)) {
    const DWORD error = GetLastError();
    EndJob(hPrinter, true);
    SetLastError(error);
    return 0;
  }
  return id;
}

// The checks and the injected fault of WritePrinter; `take` receives the bytes the spooler accepts.
static BOOL AcceptWrite(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten, DWORD* take) {
  Guard g(Mutex());
  if (pcWritten) *pcWritten = 0;
  winsim::SpoolJob* job = OpenJob(hPrinter);
  if (!job) {
    SetLastError(winsim::detail::PrinterName(hPrinter).empty() ? ERROR_INVALID_HANDLE : ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  if (!pcWritten || (!pBuf && cbBuf)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  job->writes.push_back(cbBuf);
  *take = cbBuf;
  if (J().fault != winsim::WriteFault::None) {
    if (J().okCalls > 0) {
      --J().okCalls;
    } else if (J().fault == winsim::WriteFault::Fail) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    } else {
      *take = cbBuf / 2;
    }
  }
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  DWORD take = 0;
  if (!AcceptWrite(hPrinter, pBuf, cbBuf, pcWritten, &take)) return FALSE;
  // Through the printer's language monitor, when it has one: what the port takes is what is written.
  BOOL ok = TRUE;
  DWORD taken = take;
  const bool routed = MonitorWrite(hPrinter, pBuf, take, &ok, &taken);
  const DWORD error = GetLastError();
  Guard g(Mutex());
  if (winsim::SpoolJob* job = OpenJob(hPrinter)) {
    const auto* p = static_cast<const uint8_t*>(pBuf);
    job->data.insert(job->data.end(), p, p + taken);
  }
  *pcWritten = taken;
  if (routed && !ok) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
}  // extern "C"
