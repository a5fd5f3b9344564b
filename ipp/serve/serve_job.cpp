// Jobs: the pages PAPPL rasterises (or the PDF filter draws) are collected, rendered by lbldrv6 on the
// printer of the state's machine with the settings the job's attributes map to, and sent to the
// printer's device label by label; TWL jobs go through the language monitor's delivery. A printer that
// stops mid-job holds the job until it is back and the job goes on with the labels that did not come
// out. Each job opens the printer's device itself and closes it when it is done with it.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

#include "common/devmode.h"
#include "ipp/job_mapping.h"
#include "ipp/job_output.h"
#include "ipp/serve/serve.h"
#include "ipp/sim_printer.h"
#include "tools/input_image.h"
#include "tools/input_pdf.h"

namespace lblserve {

namespace {

using Clock = std::chrono::steady_clock;

// The pages of a raster document (PWG or Apple raster) as PAPPL hands them over, line by line.
struct JobPages {
  std::vector<lbl::RgbImage> pages;
  lbl::RgbImage page;
  cups_page_header2_t header{};
};

void Fail(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
  papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "%s", message.c_str());
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
}

// PAPPL's job threads are C: nothing may be thrown through them. A failure of ours fails the job
// with the reason, not the server.
template <class Fn>
bool NothingThrown(pappl_job_t* job, Fn&& fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    Fail(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, std::string("The job stopped on an internal error: ") + e.what());
  } catch (...) {
    Fail(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "The job stopped on an internal error.");
  }
  return false;
}

// PAPPL 1.3 now and then starts a job twice: the second run waits for the first and takes its
// result, touching neither the document (the first run's end removes it) nor the device. Runs are
// told apart by the printer's context, so that a printer made anew starts its job ids afresh.
class Runs {
 public:
  template <class Fn>
  bool Once(pappl_job_t* job, const PrinterContext& ctx, Fn&& fn) {
    const Key key{ctx.serial, papplJobGetID(job)};
    std::unique_lock<std::mutex> l(mutex_);
    if (runs_.count(key)) {
      l.unlock();
      papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Job started again while it runs or after it ran; its labels are not printed again.");
      l.lock();
      changed_.wait(l, [&] {
        const auto it = runs_.find(key);
        return it == runs_.end() || it->second != kRunning;
      });
      const auto it = runs_.find(key);
      return it != runs_.end() && it->second == kPrinted;
    }
    runs_[key] = kRunning;
    order_.push_back(key);
    while (order_.size() > kKept && runs_.at(order_.front()) != kRunning) {
      runs_.erase(order_.front());
      order_.pop_front();
    }
    l.unlock();
    bool ok = false;
    struct Done {
      Runs& runs;
      Key key;
      const bool& ok;
      ~Done() {
        std::lock_guard<std::mutex> g(runs.mutex_);
        runs.runs_[key] = ok ? kPrinted : kFailed;
        runs.changed_.notify_all();
      }
    } done{*this, key, ok};
    ok = fn();
    return ok;
  }

 private:
  using Key = std::pair<uint64_t, int>;
  enum State { kRunning, kPrinted, kFailed };
  static constexpr size_t kKept = 10000;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Key, State> runs_;
  std::deque<Key> order_;
};

Runs& JobRuns() {
  static Runs* runs = new Runs;  // used by job threads until the process ends
  return *runs;
}

// Every job entry that prints: once per job, with the printer's context held, exceptions made a
// failed job.
template <class Fn>
bool JobEntry(pappl_job_t* job, Fn&& fn) {
  return NothingThrown(job, [&] {
    const std::shared_ptr<PrinterContext> ctx = ContextOf(papplJobGetPrinter(job));
    if (!ctx) {
      Fail(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "The printer is gone.");
      return false;
    }
    return JobRuns().Once(job, *ctx, [&] { return fn(*ctx); });
  });
}

bool StartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  (void)options, (void)device;
  return NothingThrown(job, [&] {
    delete static_cast<JobPages*>(papplJobGetData(job));
    papplJobSetData(job, new JobPages);
    return true;
  });
}

bool StartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page) {
  (void)device;
  return NothingThrown(job, [&] {
    auto* j = static_cast<JobPages*>(papplJobGetData(job));
    if (!j) return false;
    j->header = options->header;
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %u: %ux%u, %u bits per pixel, color space %d, %u bytes per line.", page,
                j->header.cupsWidth, j->header.cupsHeight, j->header.cupsBitsPerPixel, int(j->header.cupsColorSpace),
                j->header.cupsBytesPerLine);
    const uint64_t pixels = uint64_t(j->header.cupsWidth) * j->header.cupsHeight;
    if (!pixels || pixels > (uint64_t(1) << 28)) {
      Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
           "Page " + std::to_string(page) + " of " + std::to_string(j->header.cupsWidth) + "x" +
               std::to_string(j->header.cupsHeight) + " pixels is not printed.");
      return false;
    }
    j->page.width = j->header.cupsWidth;
    j->page.height = j->header.cupsHeight;
    j->page.rgb.assign(size_t(pixels) * 3, 255);
    return true;
  });
}

bool WriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
               const unsigned char* line) {
  (void)options, (void)device;
  auto* j = static_cast<JobPages*>(papplJobGetData(job));
  if (!j || y >= j->page.height) return true;
  const cups_page_header2_t& h = j->header;
  uint8_t* out = &j->page.rgb[size_t(y) * j->page.width * 3];
  const bool inkIsOne = h.cupsColorSpace == CUPS_CSPACE_K;
  for (unsigned x = 0; x < j->page.width; ++x, out += 3) {
    uint8_t v;
    if (h.cupsBitsPerPixel == 1) {
      const bool set = line[x / 8] & (0x80 >> (x % 8));
      v = set == inkIsOne ? 0 : 255;
    } else if (h.cupsBitsPerPixel == 24) {
      out[0] = line[x * 3];
      out[1] = line[x * 3 + 1];
      out[2] = line[x * 3 + 2];
      continue;
    } else {
      v = inkIsOne ? uint8_t(255 - line[x]) : line[x];
    }
    out[0] = out[1] = out[2] = v;
  }
  return true;
}

bool EndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page) {
  (void)options, (void)device, (void)page;
  return NothingThrown(job, [&] {
    auto* j = static_cast<JobPages*>(papplJobGetData(job));
    if (!j) return false;
    j->pages.push_back(std::move(j->page));
    j->page = {};
    return true;
  });
}

// What the job asks for, with the printer's configured values where they differ from its defaults.
lblipp::JobRequest RequestOf(pappl_job_t* job, const pappl_pr_options_t* options, const lblipp::ModelFacts& f) {
  lblipp::JobRequest r;
  r.mediaName = options->media.size_name;
  r.mediaWidth = options->media.size_width;
  r.mediaLength = options->media.size_length;
  r.mediaType = options->media.type;
  r.copies = options->copies;
  r.orientation = int(options->orientation_requested);
  if (options->print_color_mode == PAPPL_COLOR_MODE_BI_LEVEL) r.colorMode = "bi-level";
  if (const char* d = cupsGetOption(lblipp::kDitheringAttribute, options->num_vendor, options->vendor)) r.dithering = d;
  if (papplJobGetAttribute(job, "print-darkness")) r.darkness = options->print_darkness;
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
  const int defaultPercent = lblipp::DarknessToPercent(f, f.darknessDefault ? f.darknessDefault : (f.darknessMax + 1) / 2);
  if (f.darknessMax > 0 && data.darkness_configured != defaultPercent) r.darknessConfigured = data.darkness_configured;
  if (papplJobGetAttribute(job, "print-speed") ||
      (f.speedMax > 0 && options->print_speed != (f.speedDefault ? lblipp::SpeedToIpp(f.speedDefault) : 0)))
    r.speed = options->print_speed;
  if (papplJobGetAttribute(job, "print-quality")) r.quality = int(options->print_quality);
  const std::string mode = data.mode_configured == PAPPL_LABEL_MODE_PEEL_OFF          ? "peel-off"
                           : data.mode_configured == PAPPL_LABEL_MODE_CUTTER         ? "cutter"
                           : data.mode_configured == PAPPL_LABEL_MODE_CUTTER_DELAYED ? "cutter-delayed"
                           : data.mode_configured == PAPPL_LABEL_MODE_TEAR_OFF       ? "tear-off"
                                                                                     : "other";
  if (mode != lblipp::LabelModeOfPostAction(f.postAction)) r.labelMode = mode;
  if (data.tear_offset_configured != f.feedOffset / 10) r.tearOffset = data.tear_offset_configured;
  return r;
}

// The job is not to go on: cancelled, its printer deleted, or the server stopping.
bool Stopped(pappl_job_t* job) {
  pappl_printer_t* printer = papplJobGetPrinter(job);
  return papplJobIsCanceled(job) || papplPrinterIsDeleted(printer) || !papplSystemIsRunning(papplPrinterGetSystem(printer));
}

bool TimedOut(Clock::time_point since) {
  const int limit = Config().faultTimeoutSeconds;
  return limit > 0 && Clock::now() - since > std::chrono::seconds(limit);
}

void ShowFault(pappl_job_t* job, PrinterContext& ctx, uint32_t faults, size_t printed, size_t total) {
  ctx.faults = faults;
  pappl_printer_t* printer = papplJobGetPrinter(job);
  papplPrinterSetReasons(printer, ReasonsOfFaults(faults), PAPPL_PREASON_NONE);
  papplJobSetReasons(job, PAPPL_JREASON_PRINTER_STOPPED, PAPPL_JREASON_NONE);
  // PAPPL's formatting knows no size_t conversions.
  papplJobSetMessage(job, "Waiting for the printer: %s (%u of %u labels printed).",
                     lblipp::DescribeFaults(faults).c_str(), unsigned(printed), unsigned(total));
  papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Printer stopped: %s; %u of %u labels printed.",
              lblipp::DescribeFaults(faults).c_str(), unsigned(printed), unsigned(total));
}

void ClearFault(pappl_job_t* job, PrinterContext& ctx) {
  ctx.faults = 0;
  papplPrinterSetReasons(papplJobGetPrinter(job), PAPPL_PREASON_NONE, ReasonsOfFaults(~0u));
  papplJobSetReasons(job, PAPPL_JREASON_NONE, PAPPL_JREASON_PRINTER_STOPPED);
}

// Waits half a second, or less when the job is to stop.
void Pause(pappl_job_t* job) {
  for (int i = 0; i < 10 && !Stopped(job); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// The device opens, or the job waits for it as for a printer that went offline (nothing was sent
// yet, so any device can be waited for). False when the job stopped or waited too long.
bool OpenDevice(pappl_job_t* job, PrinterContext& ctx, JobDevice& device, size_t total) {
  if (device.Open()) return true;
  const Clock::time_point since = Clock::now();
  ShowFault(job, ctx, lblipp::kFaultOffline, 0, total);
  while (!device.Open()) {
    if (Stopped(job)) return false;
    if (TimedOut(since)) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer cannot be reached (" + device.Error() + "); nothing was printed.");
      return false;
    }
    Pause(job);
  }
  ClearFault(job, ctx);
  return true;
}

// A stopped printer that tells what it has printed (a simulated printer with its control channel)
// or whose device takes data only when it has printed it (USB) lets a job go on; a raw socket or a
// file does not say which of the bytes it took became labels.
bool Resumable(const std::string& uri) { return uri.rfind("lblsim://", 0) == 0 || uri.rfind("usb://", 0) == 0; }

// A raw socket takes bytes whether or not the printer reads them: the job has reached the printer
// once it answers the status query of its language sent after the last label (it reads in order).
bool ConfirmRaw(pappl_job_t* job, pappl_device_t* device, PrinterContext& ctx) {
  const std::string language = lblipp::LanguageKeyword(ctx.language);
  const std::vector<uint8_t> query = lblipp::RawStatusQuery(language);
  if (query.empty() || !WriteConfirmed(device, query.data(), query.size())) return false;
  std::vector<uint8_t> reply;
  uint8_t status = 0;
  uint8_t buffer[256];
  const Clock::time_point until = Clock::now() + std::chrono::seconds(15);
  while (!lblipp::RawStatusAnswered(language, reply, &status) && Clock::now() < until && !Stopped(job)) {
    const ssize_t n = papplDeviceRead(device, buffer, sizeof buffer);  // waits up to 10 s for data
    if (n <= 0) return false;
    reply.insert(reply.end(), buffer, buffer + n);
  }
  if (!lblipp::RawStatusAnswered(language, reply, &status)) return false;
  if (status & lblipp::kFaultStatusBits) {
    ctx.faults = status & lblipp::kFaultStatusBits;
    papplPrinterSetReasons(papplJobGetPrinter(job), ReasonsOfFaults(ctx.faults), PAPPL_PREASON_NONE);
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "The printer reports: %s.", lblipp::DescribeFaults(ctx.faults).c_str());
  }
  return true;
}

bool PrintRaw(pappl_job_t* job, JobDevice& device, PrinterContext& ctx, const lbl::PrintOptions& po,
              const std::vector<lbl::RgbImage>& pictures) {
  std::vector<uint8_t> stream;
  std::vector<std::string> warnings;
  std::string error;
  if (!lblipp::RenderJob(po, pictures, &stream, &warnings, &error)) {
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The driver could not render the job: " + error);
    return false;
  }
  for (const std::string& w : warnings) papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", w.c_str());
  lblipp::LabelSpans spans;
  if (!lblipp::FindLabels(stream, &spans, &error)) {
    // Sent whole: without label boundaries a broken-off job can only fail.
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Labels not found in the stream (%s).", error.c_str());
    spans = lblipp::LabelSpans{};
    spans.size = stream.size();
  }
  const size_t total = spans.starts.empty() ? 1 : spans.starts.size();
  size_t next = 0;  // first label the printer has not taken
  bool header = true;
  for (;;) {
    bool ok = true;
    if (spans.starts.empty()) {
      ok = WriteConfirmed(device.Get(), stream.data(), stream.size());
      if (ok) next = 1;
    } else {
      if (header) ok = WriteConfirmed(device.Get(), stream.data(), spans.starts[0]);
      for (; ok && next < total; ++next) {
        // A cancelled job ends between labels: the printer is left at a label's end.
        if (Stopped(job)) return false;
        const size_t from = spans.starts[next], to = spans.End(next);
        if (!WriteConfirmed(device.Get(), stream.data() + from, to - from)) ok = false;
        if (!ok) break;
      }
    }
    if (ok && next >= total) break;
    const Clock::time_point since = Clock::now();
    ShowFault(job, ctx, lblipp::kFaultOffline, next, total);
    if (!Resumable(ctx.deviceUri)) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
           "The printer stopped taking data after " + std::to_string(next) + " of " + std::to_string(total) +
               " labels; the labels sent before may not all have printed.");
      return false;
    }
    // Back when the device opens again (tried after a pause: a printer that just dropped the
    // connection is not back at once); the job header goes again before the labels left.
    device.Close();
    do {
      Pause(job);
      if (Stopped(job)) return false;
      if (TimedOut(since)) {
        Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer stayed offline; " + std::to_string(next) + " of " +
                                                     std::to_string(total) + " labels printed.");
        return false;
      }
    } while (!device.Open());
    header = true;
    ClearFault(job, ctx);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer back: going on from label %u of %u.", unsigned(next + 1),
                unsigned(total));
  }
  if (ctx.deviceUri.rfind("socket://", 0) == 0 && !ConfirmRaw(job, device.Get(), ctx)) {
    if (Stopped(job)) return false;
    ShowFault(job, ctx, lblipp::kFaultOffline, total, total);
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
         "The printer stopped taking data: it did not confirm the job after all " + std::to_string(total) +
             " labels were sent, so they may not all have printed.");
    return false;
  }
  ClearFault(job, ctx);
  return true;
}

std::string TwlDeviceId(const PrinterContext& ctx, const lblipp::ModelFacts& f, pappl_device_t* device) {
  std::string id;
  char buffer[1024];
  if ((ctx.deviceUri.rfind("usb://", 0) == 0 || ctx.deviceUri.rfind("lblsim://", 0) == 0) &&
      papplDeviceGetID(device, buffer, sizeof buffer))
    id = buffer;
  if (id.find("CMD:") == std::string::npos) id = "MFG:" + f.vendor + ";CMD:TWL;MDL:" + f.model + ";CLS:PRINTER;";
  return id;
}

// One status request to the printer, as the monitor makes it, through a link of its own.
uint32_t PollFaults(JobDevice& device, bool control) {
  const auto link = LinkTo(device.Get(), control);
  lblipp::TwlBridge poll(link);
  std::vector<uint8_t> reply;
  poll.OnVendorGet({1}, &reply);
  link->Cut();
  return poll.Faults();
}

bool PrintTwl(pappl_job_t* job, JobDevice& device, PrinterContext& ctx, const lblipp::ModelFacts& f,
              lbl::PrintOptions po, std::vector<lbl::RgbImage> pictures) {
  const bool control = ctx.deviceUri.rfind("lblsim://", 0) == 0;
  const std::string deviceId = TwlDeviceId(ctx, f, device.Get());
  const size_t total = pictures.size() * size_t(std::max(1, po.job.copies));
  size_t printed = 0;
  for (;;) {
    // A bridge and a link for this attempt: once it is over, nothing of it reaches the device.
    const auto link = LinkTo(device.Get(), control);
    auto bridge = std::make_shared<lblipp::TwlBridge>(link);
    bridge->deviceId = deviceId;
    struct Cut {
      lblipp::CutLink& link;
      ~Cut() { link.Cut(); }
    } cut{*link};
    Clock::time_point faultSince{};
    auto abandon = [&] {
      if (Stopped(job)) return true;
      if (!bridge->Faults()) {
        faultSince = {};
        return false;
      }
      if (faultSince == Clock::time_point{}) faultSince = Clock::now();
      return Clock::now() - faultSince > std::chrono::milliseconds(1500);
    };
    lblipp::TwlAttempt attempt;
    const int copies = std::max(1, po.job.copies);
    const int timeoutMs = 15000 + 3000 * int(std::min<size_t>(pictures.size() * size_t(copies), 10000));
    const bool delivered = lblipp::DeliverTwlJob(po, pictures, bridge, timeoutMs, abandon, &attempt);
    link->Cut();
    if (!delivered) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The job could not be delivered: " + attempt.error);
      return false;
    }
    size_t done = 0;
    for (bool b : attempt.labels) done += b;
    printed += done;
    pictures = lblipp::LabelsLeft(pictures, copies, attempt.labels);
    po.job.copies = 1;  // what is left is one page per label
    if (pictures.empty()) break;
    if (Stopped(job)) return false;
    uint32_t faults = bridge->Faults() ? bridge->Faults() : uint32_t(lblipp::kFaultOffline);
    if (!attempt.rendered && !bridge->Faults() && done == 0) {
      // Rendering failed with a printer that answers: a fault of the job, not of the printer.
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The driver could not render the job: " + attempt.error);
      return false;
    }
    const Clock::time_point since = Clock::now();
    ShowFault(job, ctx, faults, printed, total);
    if (!Resumable(ctx.deviceUri) && !bridge->Faults()) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer stopped after " + std::to_string(printed) + " of " +
                                                   std::to_string(total) + " labels.");
      return false;
    }
    for (;;) {
      if (Stopped(job)) return false;
      if (TimedOut(since)) {
        Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer did not come back: " + lblipp::DescribeFaults(faults) +
                                                     "; " + std::to_string(printed) + " of " + std::to_string(total) +
                                                     " labels printed.");
        return false;
      }
      Pause(job);
      // A printer without a control channel that stopped taking data is back when its device opens.
      if (!control && (faults & lblipp::kFaultOffline)) {
        device.Close();
        if (!device.Open()) continue;
      }
      faults = PollFaults(device, control);
      if (!faults) break;
      ShowFault(job, ctx, faults, printed, total);
    }
    ClearFault(job, ctx);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer back: %u of %u labels left.", unsigned(pictures.size()),
                unsigned(total));
  }
  ClearFault(job, ctx);
  return true;
}

// The job's pages printed on the printer: one job at a time reaches its device.
bool PrintPages(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* papplDevice, PrinterContext& ctx,
                std::vector<lbl::RgbImage> pictures, bool actualSize, bool pagesOriented) {
  if (pictures.empty()) {
    Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "The document has no pages.");
    return false;
  }
  std::lock_guard<std::mutex> one(ctx.output);
  const std::shared_ptr<const lblipp::ModelFacts> facts = ctx.Facts();
  lblipp::JobRequest request = RequestOf(job, options, *facts);
  request.pagesOriented = pagesOriented;
  std::vector<std::string> notes;
  lbl::PrintOptions po = lblipp::MapJob(*facts, ctx.language, request, &notes);
  for (const std::string& n : notes) papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", n.c_str());
  // The printer of the machine, with its stocks and its Printing Preferences.
  if (!facts->printer.empty() && !ctx.port.empty()) po.target = lbl::TargetPrinter{facts->printer, facts->driver, ctx.port, false};
  po.actualSize = actualSize;
  const char* name = papplJobGetName(job);
  po.docName = name && *name ? name : "IPP job";
  const size_t total = pictures.size() * size_t(std::max(1, po.job.copies));
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%u page(s), %d copies, %s.", unsigned(pictures.size()), std::max(1, po.job.copies),
              lblipp::LanguageKeyword(ctx.language));
  JobDevice device(job, ctx, papplDevice);
  if (!OpenDevice(job, ctx, device, total)) return false;
  if (ctx.language == kLangTwl) return PrintTwl(job, device, ctx, *facts, po, std::move(pictures));
  if (ctx.deviceUri.rfind("usb://", 0) == 0) {
    char id[1024];
    if (papplDeviceGetID(device.Get(), id, sizeof id)) po.usbDeviceId = id;  // the driver takes the language from it
  }
  return PrintRaw(job, device, ctx, po, pictures);
}

bool EndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  std::unique_ptr<JobPages> j(static_cast<JobPages*>(papplJobGetData(job)));
  papplJobSetData(job, nullptr);
  if (!j || papplJobIsCanceled(job)) return false;
  return JobEntry(job, [&](PrinterContext& ctx) {
    return PrintPages(job, options, device, ctx, std::move(j->pages), true, true);
  });
}

// A reader's message without the spool file's path: clients see the job's message, the server's
// folders are not theirs to know (the log has the whole message).
std::string WithoutPath(std::string message, const std::string& path) {
  for (size_t at; !path.empty() && (at = message.find(path)) != std::string::npos;) {
    size_t end = at + path.size();
    if (message.compare(end, 2, ": ") == 0) end += 2;
    message.erase(at, end - at);
  }
  return message;
}

// PDF pages drawn at the printer's resolution and pictures decoded by lbl print's own readers, each
// fitted to the label as lbl print fits it (print-scaling none: at its own size from the top left),
// and turned by the driver for orientation-requested as a Windows application's page is.
// (PAPPL 1.3's own PNG reader does not return from a truncated file, and it makes the copies of a
// picture itself; here the driver makes them as for every other document.)
bool FilterDocument(pappl_job_t* job, pappl_device_t* device, PrinterContext& ctx, bool pdf) {
  // A job cancelled before its document arrived whole has no file.
  const char* file = papplJobGetFilename(job);
  if (!file) {
    Fail(job, PAPPL_JREASON_JOB_DATA_INSUFFICIENT, "The job has no document to print.");
    return false;
  }
  const std::string path = file;
  std::vector<lbl::RgbImage> pages;
  std::string error;
  if (pdf) {
    lbl::PageSelection selection;
    if (ipp_attribute_t* ranges = papplJobGetAttribute(job, "page-ranges"))
      for (int i = 0; i < ippGetCount(ranges); ++i) {
        int upper = 0;
        const int lower = ippGetRange(ranges, i, &upper);
        selection.emplace_back(lower, upper);
      }
    const int dpi = ctx.Facts()->dpi;
    // page-ranges past the last page print what the document has (IPP asks no more of a client).
    if (!lbl::LoadPdfPages(path, selection, dpi, dpi, &pages, &error, lbl::PastTheEnd::kClamped)) {
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
      Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The PDF document cannot be read: " + WithoutPath(error, path));
      return false;
    }
  } else {
    pages.emplace_back();
    if (!lbl::LoadPicture(path, &pages.back(), &error)) {
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
      Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The picture cannot be read: " + WithoutPath(error, path));
      return false;
    }
  }
  papplJobSetImpressions(job, int(pages.size()));
  std::unique_ptr<pappl_pr_options_t, void (*)(pappl_pr_options_t*)> options(
      papplJobCreatePrintOptions(job, unsigned(pages.size()), false), papplJobDeletePrintOptions);
  if (!options) {
    Fail(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "The job's options could not be read.");
    return false;
  }
  const size_t count = pages.size();
  const bool actualSize = !pdf && options->print_scaling == PAPPL_SCALING_NONE;
  const bool ok = PrintPages(job, options.get(), device, ctx, std::move(pages), actualSize, false);
  if (ok) papplJobSetImpressionsCompleted(job, int(count));
  return ok;
}

bool PdfFilter(pappl_job_t* job, pappl_device_t* device, void* data) {
  (void)data;
  return JobEntry(job, [&](PrinterContext& ctx) { return FilterDocument(job, device, ctx, true); });
}

bool PictureFilter(pappl_job_t* job, pappl_device_t* device, void* data) {
  (void)data;
  return JobEntry(job, [&](PrinterContext& ctx) { return FilterDocument(job, device, ctx, false); });
}

// A document in the printer's own language, sent as it is.
bool CopyFile(pappl_job_t* job, pappl_device_t* papplDevice, PrinterContext& ctx) {
  const char* name = papplJobGetFilename(job);
  FILE* in = name ? std::fopen(name, "rb") : nullptr;
  if (!in) {
    Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "The document cannot be opened.");
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> closer(in, std::fclose);
  std::lock_guard<std::mutex> one(ctx.output);
  JobDevice device(job, ctx, papplDevice);
  if (!OpenDevice(job, ctx, device, 1)) return false;
  std::vector<uint8_t> buffer(65536);
  size_t sent = 0;
  bool ok = true;
  for (size_t n; ok && !Stopped(job) && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0; sent += n)
    ok = WriteConfirmed(device.Get(), buffer.data(), n);
  if (!ok)
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
         "The printer stopped taking data after " + std::to_string(sent) + " bytes of the document.");
  return ok && !Stopped(job);
}

bool PrintFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  (void)options;
  return JobEntry(job, [&](PrinterContext& ctx) { return CopyFile(job, device, ctx); });
}

}  // namespace

const char* RawFormat(uint32_t language) {
  switch (language) {
    case kLangTwl: return "application/vnd.lbl-twl";
    case kLangEsc: return "application/vnd.lbl-esc";
    case kLangZpl: return "application/vnd.lbl-zpl";
  }
  return "application/vnd.lbl-tspl";
}

void InstallJobCallbacks(pappl_pr_driver_data_t* data) {
  data->printfile_cb = PrintFile;
  data->rstartjob_cb = StartJob;
  data->rstartpage_cb = StartPage;
  data->rwriteline_cb = WriteLine;
  data->rendpage_cb = EndPage;
  data->rendjob_cb = EndJob;
}

void RegisterFilters(pappl_system_t* system) {
  // PAPPL looks for a filter to the printer's own format before one to PWG raster, where its own
  // picture readers are: registered to each printer format, these come first.
  for (uint32_t language : {kLangTwl, kLangEsc, kLangTspl, kLangZpl}) {
    papplSystemAddMIMEFilter(system, "application/pdf", RawFormat(language), PdfFilter, nullptr);
    papplSystemAddMIMEFilter(system, "image/png", RawFormat(language), PictureFilter, nullptr);
    papplSystemAddMIMEFilter(system, "image/jpeg", RawFormat(language), PictureFilter, nullptr);
  }
}

}  // namespace lblserve
