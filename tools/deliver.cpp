#include "tools/deliver.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

#include "common/model.h"
#include "common/pagefile.h"
#include "common/product.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/json_out.h"
#include "tools/print_job.h"
#include "winsim/devices.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"

namespace lbl {

namespace {

constexpr char16_t kMonitorName[] = TEXT(LBL_LANGUAGE_MONITOR_NAME);

std::vector<std::string> LogMessages() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WString name = WFormat(TEXT("%s\\mon_%d-%d-%d.log"), TEXT(LBL_LOG_FOLDER), now.wYear, now.wMonth, now.wDay);
  std::vector<uint8_t> bytes = winsim::ReadHostFile(std::u16string(name.begin(), name.end()));
  std::string text(bytes.begin(), bytes.end());
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    size_t at = line.find("]:");
    out.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return out;
}

bool Ejected(DWORD jobId) {
  for (const auto& c : winsim::JobControls())
    if (c.jobId == jobId && c.command == JOB_CONTROL_LAST_PAGE_EJECTED && c.accepted) return true;
  return false;
}

// The files of the page-file folder that match the search, and with `jobId` only those of that job.
std::vector<std::string> PageFiles(const WString& pattern, const DWORD* jobId = nullptr) {
  std::vector<std::string> out;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return out;
  do
    if (!jobId || PageFileNamesJob(found.cFileName, *jobId)) out.push_back(WideToUtf8(found.cFileName));
  while (FindNextFileW(find, &found));
  FindClose(find);
  return out;
}

std::vector<std::string> JobPageFilesLeft(DWORD jobId) { return PageFiles(PageFileSearchPattern(jobId), &jobId); }
std::vector<std::string> AllDatFiles() { return PageFiles(TEXT(LBL_PAGE_FOLDER) + WString(TEXT("\\*.dat"))); }

bool WaitUntil(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The command set of the model's device: TWL when it speaks it, else its other languages.
std::string ModelCommandSet(const std::string& driver) {
  WString name = Utf8ToWide(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return "TSPL";
  WCHAR modelName[32] = {};
  ModelRecord* model = LoadModelRecord(printer, modelName, CatalogueModule());
  ClosePrinter(printer);
  if (!model) return "TSPL";
  const uint16_t set = model->LanguageSet;
  FreeModelRecord(model);
  if (set & 8) return "TWL";
  std::string out;
  for (auto [bit, text] : {std::pair<int, const char*>{2, "TSPL"}, {4, "ZPL"}, {1, "CPE"}})
    if (set & bit) out += (out.empty() ? "" : ",") + std::string(text);
  return out.empty() ? "TSPL" : out;
}

unsigned BlackDots(const winsim::TwlPage& page) {
  unsigned n = 0;
  for (uint8_t b : page.raster) n += unsigned(std::popcount(b));
  return n;
}

}  // namespace

void DrawTestLabel(int page, const winsim::PageSurface& s) {
  auto black = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
    std::memset(s.bits + ptrdiff_t(y) * s.stride + ptrdiff_t(x) * 3, 0, 3);
  };
  const int m = 8;  // a frame 8 dots in from the edges, 4 dots wide
  for (int y = m; y < s.height - m; ++y)
    for (int x = m; x < s.width - m; ++x)
      if (x < m + 4 || y < m + 4 || x >= s.width - m - 4 || y >= s.height - m - 4) black(x, y);
  // One bar per page number, and a diagonal.
  for (int bar = 0; bar <= page; ++bar)
    for (int y = s.height / 3; y < s.height / 3 + 24; ++y)
      for (int x = 0; x < 12; ++x) black(m + 16 + bar * 24 + x, y);
  for (int t = 0; t < s.width && t < s.height; ++t) black(t, t), black(t + 1, t);
}

namespace {

// The simulated printer on USB001 and the monitor in the print path, for an installed printer.
struct Session {
  std::u16string printer;
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  std::shared_ptr<winsim::TwlPrinterDevice> twl;
  bool kept = false;  // the machine's own printer on the port: it stays plugged in
};

// The simulated printer goes on USB port `portNumber` of printer `printer`; `device`, when given, is the
// caller's printer instead of a new one.
bool StartSession(const std::string& printer, const std::string& deviceId, DWORD portNumber, Session* session,
                  std::string* error, std::shared_ptr<winsim::UsbPrinterDevice> device = nullptr) {
  if (!winsim::AddLanguageMonitor(kMonitorName, u"lblmon", error)) return false;
  if (device) {
    session->device = device;
    // A TWL printer only when the monitor speaks TWL to it, whatever an older state kept.
    if (DeviceIdSpeaksTwl(device->deviceId)) session->twl = std::dynamic_pointer_cast<winsim::TwlPrinterDevice>(device);
  } else if (DeviceIdSpeaksTwl(deviceId)) {
    session->twl = std::make_shared<winsim::TwlPrinterDevice>();
    session->device = session->twl;
  } else {
    session->device = std::make_shared<winsim::UsbPrinterDevice>();
  }
  if (!device) session->device->deviceId = deviceId;
  session->device->portNumber = portNumber;
  if (!winsim::AttachUsbPrinter(session->device)) {
    session->device.reset();
    session->twl.reset();
    *error = "cannot attach the simulated printer";
    return false;
  }
  WString name = Utf8ToWide(printer);
  session->printer.assign(name.begin(), name.end());
  return true;
}


// One job through the whole path, waited for until the monitor has delivered it (TWL).
// `closeAfter` >= 0 closes the port once that many page copies are out (-1: never); `printed` is
// told, while the job is delivered, how many of its page copies a TWL printer printed.
DeliveredJob DeliverJob(Session& session, const winsim::JobSpec& spec, int timeoutMs, int closeAfter,
                        const std::function<void(int printed)>& printed = {},
                        const std::function<bool()>& abandon = {}) {
  DeliveredJob job;
  winsim::TwlPrinterDevice* twl = session.twl.get();
  const size_t logBefore = LogMessages().size();
  const size_t printedBefore = twl ? twl->PrintedPages().size() : 0;
  const size_t receivedBefore = twl ? twl->ReceivedPageNumbers().size() : 0;
  const unsigned tornBefore = twl ? twl->TornBlocks() : 0;
  const size_t bytesBefore = session.device->Received().size();

  winsim::JobResult r = winsim::RunJob(spec);
  job.jobId = r.jobId;
  if (twl) job.pagesRendered = unsigned(r.output.size() / 8);  // the output is the 8-byte page markers
  job.rendered = r.ok;
  job.error = r.error;
  if (twl && r.jobId && r.ok && closeAfter >= 0) {
    WaitUntil([&] { return Ejected(r.jobId) || twl->PrintedPages().size() >= printedBefore + size_t(closeAfter); },
              timeoutMs);
    winsim::CloseLanguageMonitorPorts();
    if (!Ejected(r.jobId)) {
      // Left in the queue: printed again when the port opens, under the same job id.
      job.restarted = true;
      job.pagesRenderedBeforeRestart = job.pagesRendered;
      winsim::SetNextJobId(r.jobId);
      winsim::JobResult again = winsim::RunJob(spec);
      job.pagesRendered = unsigned(again.output.size() / 8);
      job.rendered = again.ok;
      if (!again.ok && job.error.empty()) job.error = again.error;
    }
  }
  if (twl && r.jobId) {
    // Delivered: the monitor ended the job, and no page file of it is left.
    bool abandoned = false;
    job.ejected = WaitUntil([&] {
      if (printed) printed(int(twl->PrintedPages().size() - printedBefore));
      if (!abandoned && abandon && abandon()) {
        abandoned = true;  // the spooler deletes the job: the monitor drops its pages and ends it
        winsim::SetJobStatus(r.jobId, JOB_STATUS_DELETING);
      }
      return Ejected(r.jobId) && JobPageFilesLeft(r.jobId).empty();
    }, timeoutMs);
    if (printed) printed(int(twl->PrintedPages().size() - printedBefore));
    // The monitor logs the end of the job after the spooler took it; its clear ends with closing the
    // job's printer handle (a job ended by the printed check of the next job's pages has no such line).
    const std::string closed = "ClearPagesInQueue: The printer handle is closed for job " + std::to_string(r.jobId);
    if (job.ejected)
      WaitUntil([&] {
        auto log = LogMessages();
        return std::find(log.begin() + ptrdiff_t(std::min(logBefore, log.size())), log.end(), closed) != log.end();
      }, 2000);
    auto printedPages = twl->PrintedPages();
    job.pages.assign(printedPages.begin() + ptrdiff_t(printedBefore), printedPages.end());
    auto received = twl->ReceivedPageNumbers();
    job.received.assign(received.begin() + ptrdiff_t(receivedBefore), received.end());
    std::set<uint16_t> distinct(job.received.begin(), job.received.end());
    job.resends = unsigned(job.received.size() - distinct.size());
    job.tornBlocks = twl->TornBlocks() - tornBefore;
  }
  auto bytes = session.device->Received();
  job.bytes.assign(bytes.begin() + ptrdiff_t(bytesBefore), bytes.end());
  auto log = LogMessages();
  job.monitorLog.assign(log.begin() + ptrdiff_t(std::min(logBefore, log.size())), log.end());
  return job;
}

}  // namespace

bool RunDelivery(const DeliverOptions& opts, DeliveryReport* out, std::string* error) {
  *out = DeliveryReport{};
  const std::string driver = opts.job.model.empty() ? kDefaultDriver : opts.job.model;
  if (!InstallInitialisedPrinter(driver, error)) return false;
  out->model = driver;
  out->commandSet = opts.commandSet.empty() ? ModelCommandSet(driver) : opts.commandSet;
  Session session;
  if (!StartSession(driver, DeviceIdFor(driver, out->commandSet), 1, &session, error)) return false;
  out->twl = session.twl != nullptr;

  WString printerName = Utf8ToWide(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(printerName.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + driver + "\"";
    return false;
  }
  PrinterDevmode devmode{};
  bool built = BuildJobDevmode(printer, CatalogueModule(), opts.job, &devmode, error);
  ClosePrinter(printer);
  if (!built) return false;

  for (int i = 0; i < opts.jobs; ++i) {
    if (opts.beforeJob) opts.beforeJob(i, session.twl.get());
    int pages = opts.pages, copies = devmode.dm.dmCopies;
    if (opts.shape) opts.shape(i, &pages, &copies);
    PrinterDevmode jobDevmode = devmode;
    jobDevmode.dm.dmFields |= DM_COPIES;
    jobDevmode.dm.dmCopies = static_cast<SHORT>(copies);
    const auto* dmBytes = reinterpret_cast<const uint8_t*>(&jobDevmode);

    winsim::JobSpec spec;
    spec.printer = session.printer;
    spec.devmode.assign(dmBytes, dmBytes + sizeof jobDevmode);
    spec.document = u"Label " + std::u16string(1, char16_t(u'1' + i % 9));
    spec.pages = pages;
    spec.draw = opts.draw ? opts.draw : winsim::PageDrawer(DrawTestLabel);
    DeliveredJob job =
        DeliverJob(session, spec, opts.timeoutMs, opts.closePortAfter ? opts.closePortAfter(i) : -1);
    if (session.twl) job.bytes.clear();  // the pages say it
    if (opts.afterJob) opts.afterJob(i, job, session.twl.get());
    out->jobs.push_back(std::move(job));
  }
  out->pageFilesLeft = AllDatFiles();
  winsim::CloseLanguageMonitorPorts();
  return true;
}

bool DeliverPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, DeliveryReport* out,
                  std::vector<uint8_t>* received, std::string* error) {
  return DeliverPrint(opts, pictures, DeliverTarget{}, out, received, error);
}

bool DeliverPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, const DeliverTarget& target,
                  DeliveryReport* out, std::vector<uint8_t>* received, std::string* error) {
  *out = DeliveryReport{};
  received->clear();
  const int pages = pictures.empty() ? opts.blankPages : static_cast<int>(pictures.size());
  if (pages <= 0) {
    *error = "nothing to print: give INPUT files or --blank N";
    return false;
  }
  std::string printerName;
  if (!JobPrinter(opts, &printerName, error)) return false;
  const std::string driver = opts.target.name.empty() ? printerName : opts.target.driver;
  const std::string port = opts.target.name.empty() ? kDefaultPort : opts.target.port;
  if (!UsbPortNumber(port)) {
    *error = "--deliver needs a printer on a USB port; \"" + printerName + "\" prints to " + port;
    return false;
  }
  static const char* const kCommandSets[] = {"TWL", "CPE", "TSPL", "ZPL"};  // by PrintLanguage
  // A printer the machine keeps on the port (plugged in by an earlier command) is the one the monitor
  // reaches, so the job goes to it; a device ID of the user's own would not be heard.
  const std::shared_ptr<winsim::UsbPrinterDevice> kept =
      target.device ? nullptr : winsim::UsbPrinterOnPort(Utf8ToU16(port));
  if (kept && !opts.usbDeviceId.empty()) {
    *error = UsbPortTaken(port, *kept);
    return false;
  }
  std::string deviceId = target.device ? target.device->deviceId : kept ? kept->deviceId : opts.usbDeviceId;
  if (deviceId.empty()) {
    const std::string set = opts.language >= 0 && opts.language < 4 ? kCommandSets[opts.language] : ModelCommandSet(driver);
    deviceId = DeviceIdFor(driver, set);
  }
  // The simulated printer is plugged in for this job only, and the monitor's ports are closed after
  // it: the machine keeps the printers it had.
  Session session;
  struct Unplug {
    Session* session;
    ~Unplug() {
      winsim::CloseLanguageMonitorPorts();
      if (session->device && !session->kept) winsim::DetachUsbPrinter(session->device);
    }
  } unplug{&session};
  session.kept = kept != nullptr;
  if (!StartSession(printerName, deviceId, UsbPortNumber(port), &session, error,
                    target.device ? target.device : kept))
    return false;
  out->model = driver;
  const size_t cmd = deviceId.find("CMD:");
  out->commandSet = cmd == std::string::npos ? "" : deviceId.substr(cmd + 4, deviceId.find(';', cmd) - cmd - 4);
  if (session.twl) out->commandSet = "TWL";
  out->twl = session.twl != nullptr;

  HANDLE printer = nullptr;
  WString name(session.printer.begin(), session.printer.end());
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + printerName + "\"";
    return false;
  }
  PrinterDevmode devmode{};
  std::vector<std::string> warnings;
  out->warnings = DeviceIdWarnings(opts.usbDeviceId);
  const bool built = BuildPrintDevmode(printer, opts, &devmode, &out->warnings, error);
  ClosePrinter(printer);
  if (!built) return false;

  winsim::JobSpec spec =
      PictureJobSpec(session.printer, devmode, Utf8ToWide(opts.docName.empty() ? "lbl print" : opts.docName).c_str(),
                     pictures, opts.actualSize, pages);
  if (opts.onPage) {
    spec.draw = [draw = spec.draw, onPage = opts.onPage, pages](int page, const winsim::PageSurface& surface) {
      onPage(page, pages);
      if (draw) draw(page, surface);
    };
  }
  std::function<void(int)> printed;
  if (opts.onPrinted) {
    const int total = pages * std::max<int>(1, devmode.dm.dmCopies);
    printed = [onPrinted = opts.onPrinted, total](int n) { onPrinted(n, total); };
  }
  if (opts.jobId) winsim::SetNextJobId(opts.jobId);
  out->jobs.push_back(DeliverJob(session, spec, target.timeoutMs, -1, printed, target.abandon));
  *received = session.device->Received();
  out->pageFilesLeft = AllDatFiles();
  return true;
}

std::string DeliveryReportJson(const DeliveryReport& report, const std::string& error) {
  JsonOut j;
  j.Str("Model", report.model);
  j.Str("CommandSet", report.commandSet);
  j.Bool("MonitorSpeaksTwl", report.twl);
  j.BeginArray("Jobs");
  const bool twl = report.twl;
  auto& w = j.W();
  for (const auto& job : report.jobs) {
    w.StartObject();
    j.Uint("JobId", job.jobId);
    j.Bool("Rendered", job.rendered);
    // The same members for every job; those of the other kind of printer are null.
    if (twl)
      j.Uint("PagesRendered", job.pagesRendered);
    else
      j.Null("PagesRendered");
    if (job.error.empty())
      j.Null("Error");
    else
      j.Str("Error", job.error);
    if (twl) {
      j.Bool("Ejected", job.ejected);
    } else {
      j.Null("Ejected");
    }
    j.BeginArray("Pages");
    for (const auto& p : job.pages) {
      w.StartObject();
      j.Uint("Number", p.number);
      j.Uint("WidthDots", p.rowBytes * 8u);
      j.Uint("Rows", p.rows);
      j.Uint("BlackDots", BlackDots(p));
      w.EndObject();
    }
    j.EndArray();
    j.BeginArray("Received");
    for (uint16_t n : job.received) w.Uint(n);
    j.EndArray();
    if (twl) {
      j.Uint("Resends", job.resends);
      j.Uint("TornBlocks", job.tornBlocks);
      j.Null("Bytes");
    } else {
      j.Null("Resends");
      j.Null("TornBlocks");
      j.Uint("Bytes", job.bytes.size());
    }
    j.BeginArray("MonitorLog");
    for (const auto& m : job.monitorLog) w.String(m.c_str());
    j.EndArray();
    w.EndObject();
  }
  j.EndArray();
  j.BeginArray("PageFilesLeft");
  for (const auto& f : report.pageFilesLeft) w.String(f.c_str());
  j.EndArray();
  j.BeginArray("Warnings");
  for (const auto& f : report.warnings) w.String(f.c_str());
  j.EndArray();
  return j.Finish(error);
}

std::vector<uint8_t> TwlPagePbm(const winsim::TwlPage& page) {
  std::string header = "P4\n" + std::to_string(page.rowBytes * 8u) + " " + std::to_string(page.rows) + "\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), page.raster.begin(), page.raster.end());
  return out;
}

}  // namespace lbl
