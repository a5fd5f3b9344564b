// Jobs: the pages PAPPL rasterises (or the PDF filter draws) are collected, rendered by lbldrv6 with
// the settings the job's attributes map to, and sent to the printer label by label; TWL jobs go
// through the language monitor's delivery. A printer that stops mid-job holds the job until it is back
// and the job goes on with the labels that did not come out.
#include <chrono>
#include <cstring>
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

PrinterContext* ContextOf(pappl_printer_t* printer) {
  pappl_pr_driver_data_t d;
  papplPrinterGetDriverData(printer, &d);
  return static_cast<PrinterContext*>(d.extension);
}

bool StartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  (void)options, (void)device;
  papplJobSetData(job, new JobPages);
  return true;
}

bool StartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page) {
  (void)device;
  auto* j = static_cast<JobPages*>(papplJobGetData(job));
  if (!j) return false;
  j->header = options->header;
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %u: %ux%u, %u bits per pixel, color space %d, %u bytes per line.", page,
              j->header.cupsWidth, j->header.cupsHeight, j->header.cupsBitsPerPixel, int(j->header.cupsColorSpace),
              j->header.cupsBytesPerLine);
  const uint64_t pixels = uint64_t(j->header.cupsWidth) * j->header.cupsHeight;
  if (!pixels || pixels > (uint64_t(1) << 28)) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u of %ux%u pixels is not printed.", page, j->header.cupsWidth,
                j->header.cupsHeight);
    return false;
  }
  j->page.width = j->header.cupsWidth;
  j->page.height = j->header.cupsHeight;
  j->page.rgb.assign(size_t(pixels) * 3, 255);
  return true;
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
  auto* j = static_cast<JobPages*>(papplJobGetData(job));
  if (!j) return false;
  j->pages.push_back(std::move(j->page));
  j->page = {};
  return true;
}

// What the job asks for, with the printer's configured values where they differ from the model's.
lblipp::JobRequest RequestOf(pappl_job_t* job, const pappl_pr_options_t* options, const PrinterContext& ctx) {
  lblipp::JobRequest r;
  const lblipp::ModelFacts& f = ctx.facts;
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

bool Canceled(pappl_job_t* job) { return papplJobIsCanceled(job); }

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

// A stopped printer that tells what it has printed (a simulated printer with its control channel)
// or whose device takes data only when it has printed it (USB) lets a job go on; a raw socket or a
// file does not say which of the bytes it took became labels.
bool Resumable(const std::string& uri) { return uri.rfind("lblsim://", 0) == 0 || uri.rfind("usb://", 0) == 0; }

void Fail(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
  papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "%s", message.c_str());
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
}

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
  while (!lblipp::RawStatusAnswered(language, reply, &status) && Clock::now() < until) {
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

bool PrintRaw(pappl_job_t* job, pappl_device_t* device, PrinterContext& ctx, const lbl::PrintOptions& po,
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
  pappl_device_t* out = device;
  pappl_device_t* own = nullptr;
  const auto finish = [&](bool ok) {
    if (own) papplDeviceClose(own);
    return ok;
  };
  for (;;) {
    bool ok = true;
    if (spans.starts.empty()) {
      ok = WriteConfirmed(out, stream.data(), stream.size());
      if (ok) next = 1;
    } else {
      if (header) ok = WriteConfirmed(out, stream.data(), spans.starts[0]);
      for (; ok && next < total; ++next) {
        const size_t from = spans.starts[next], to = spans.End(next);
        if (!WriteConfirmed(out, stream.data() + from, to - from)) ok = false;
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
      return finish(false);
    }
    // Back when the device opens again; the job header goes again before the labels left.
    for (;;) {
      if (Canceled(job)) return finish(false);
      if (TimedOut(since)) {
        Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer stayed offline; " + std::to_string(next) + " of " +
                                                     std::to_string(total) + " labels printed.");
        return finish(false);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (own) papplDeviceClose(own);
      own = papplDeviceOpen(ctx.deviceUri.c_str(), papplJobGetName(job), papplLogDevice, papplPrinterGetSystem(papplJobGetPrinter(job)));
      if (own) break;
    }
    out = own;
    header = true;
    ClearFault(job, ctx);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer back: going on from label %u of %u.", unsigned(next + 1),
                unsigned(total));
  }
  if (ctx.deviceUri.rfind("socket://", 0) == 0 && !ConfirmRaw(job, out, ctx)) {
    ShowFault(job, ctx, lblipp::kFaultOffline, total, total);
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
         "The printer stopped taking data: it did not confirm the job after all " + std::to_string(total) +
             " labels were sent, so they may not all have printed.");
    return finish(false);
  }
  ClearFault(job, ctx);
  return finish(true);
}

std::string TwlDeviceId(const PrinterContext& ctx, pappl_device_t* device) {
  std::string id;
  if (ctx.deviceUri.rfind("usb://", 0) == 0) {
    char buffer[1024];
    if (papplDeviceGetID(device, buffer, sizeof buffer)) id = buffer;
  } else if (ctx.deviceUri.rfind("lblsim://", 0) == 0) {
    id = SimDeviceId(ctx.deviceUri);
  }
  if (id.find("CMD:") == std::string::npos)
    id = "MFG:" + ctx.facts.vendor + ";CMD:TWL;MDL:" + ctx.facts.model + ";CLS:PRINTER;";
  return id;
}

bool PrintTwl(pappl_job_t* job, pappl_device_t* device, PrinterContext& ctx, lbl::PrintOptions po,
              std::vector<lbl::RgbImage> pictures) {
  SetLinkDevice(*ctx.link, device);
  struct Unlink {
    PrinterContext& c;
    ~Unlink() { SetLinkDevice(*c.link, nullptr); }
  } unlink{ctx};
  lblipp::TwlBridge& bridge = *ctx.bridge;
  bridge.deviceId = TwlDeviceId(ctx, device);
  const size_t total = pictures.size() * size_t(std::max(1, po.job.copies));
  size_t printed = 0;
  for (;;) {
    Clock::time_point faultSince{};
    auto abandon = [&] {
      if (Canceled(job)) return true;
      if (!bridge.Faults()) {
        faultSince = {};
        return false;
      }
      if (faultSince == Clock::time_point{}) faultSince = Clock::now();
      return Clock::now() - faultSince > std::chrono::milliseconds(1500);
    };
    lblipp::TwlAttempt attempt;
    const int copies = std::max(1, po.job.copies);
    const int timeoutMs = 15000 + 3000 * int(std::min<size_t>(pictures.size() * size_t(copies), 10000));
    if (!lblipp::DeliverTwlJob(po, pictures, ctx.bridge, timeoutMs, abandon, &attempt)) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The job could not be delivered: " + attempt.error);
      return false;
    }
    size_t done = 0;
    for (bool b : attempt.labels) done += b;
    printed += done;
    pictures = lblipp::LabelsLeft(pictures, copies, attempt.labels);
    po.job.copies = 1;  // what is left is one page per label
    if (pictures.empty()) break;
    if (Canceled(job)) return false;
    const uint32_t faults = bridge.Faults() ? bridge.Faults() : uint32_t(lblipp::kFaultOffline);
    if (!attempt.rendered && !bridge.Faults() && done == 0) {
      // Rendering failed with a printer that answers: a fault of the job, not of the printer.
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The driver could not render the job: " + attempt.error);
      return false;
    }
    const Clock::time_point since = Clock::now();
    ShowFault(job, ctx, faults, printed, total);
    if (!Resumable(ctx.deviceUri) && !bridge.Faults()) {
      Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer stopped after " + std::to_string(printed) + " of " +
                                                   std::to_string(total) + " labels.");
      return false;
    }
    for (;;) {
      if (Canceled(job)) return false;
      if (TimedOut(since)) {
        Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "The printer did not come back: " + lblipp::DescribeFaults(bridge.Faults()) +
                                                     "; " + std::to_string(printed) + " of " + std::to_string(total) +
                                                     " labels printed.");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      std::vector<uint8_t> reply;
      bridge.OnVendorGet({1}, &reply);  // the status request the monitor makes
      if (!bridge.Faults()) break;
      ShowFault(job, ctx, bridge.Faults(), printed, total);
    }
    ClearFault(job, ctx);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer back: %u of %u labels left.", unsigned(pictures.size()),
                unsigned(total));
  }
  ClearFault(job, ctx);
  return true;
}

bool PrintPagesOnce(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, PrinterContext* ctx,
                    std::vector<lbl::RgbImage> pictures, bool actualSize, bool pagesOriented);

// Runs `print` for the job with the printer's device to itself, once per job: a second run of the
// same job (PAPPL 1.3 starts one twice now and then) gets the first run's result.
template <class Print>
bool RunOnce(pappl_job_t* job, PrinterContext& ctx, Print print) {
  std::lock_guard<std::mutex> one(ctx.output);
  const int id = papplJobGetID(job);
  if (const auto done = ctx.printed.find(id); done != ctx.printed.end()) {
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Job already run; its labels are not printed again.");
    return done->second;
  }
  const bool ok = print();
  if (ctx.printed.size() > 100000) ctx.printed.erase(ctx.printed.begin());
  ctx.printed[id] = ok;
  return ok;
}

bool PrintPages(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                std::vector<lbl::RgbImage> pictures, bool actualSize, bool pagesOriented) {
  PrinterContext* ctx = ContextOf(papplJobGetPrinter(job));
  if (!ctx) return false;
  return RunOnce(job, *ctx, [&] {
    return PrintPagesOnce(job, options, device, ctx, std::move(pictures), actualSize, pagesOriented);
  });
}

bool PrintPagesOnce(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, PrinterContext* ctxp,
                    std::vector<lbl::RgbImage> pictures, bool actualSize, bool pagesOriented) {
  PrinterContext* ctx = ctxp;
  if (pictures.empty()) {
    Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "The document has no pages.");
    return false;
  }
  lblipp::JobRequest request = RequestOf(job, options, *ctx);
  request.pagesOriented = pagesOriented;
  std::vector<std::string> notes;
  lbl::PrintOptions po = lblipp::MapJob(ctx->facts, ctx->language, request, &notes);
  for (const std::string& n : notes) papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", n.c_str());
  po.actualSize = actualSize;
  const char* name = papplJobGetName(job);
  po.docName = name && *name ? name : "IPP job";
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%u page(s), %d copies, %s.", unsigned(pictures.size()), std::max(1, po.job.copies),
              lblipp::LanguageKeyword(ctx->language));
  if (ctx->language == kLangTwl) return PrintTwl(job, device, *ctx, po, std::move(pictures));
  if (ctx->deviceUri.rfind("usb://", 0) == 0) {
    char id[1024];
    if (papplDeviceGetID(device, id, sizeof id)) po.usbDeviceId = id;  // the driver takes the language from it
  }
  return PrintRaw(job, device, *ctx, po, pictures);
}

bool EndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  std::unique_ptr<JobPages> j(static_cast<JobPages*>(papplJobGetData(job)));
  papplJobSetData(job, nullptr);
  if (!j || Canceled(job)) return false;
  return PrintPages(job, options, device, std::move(j->pages), true, true);
}

// PDF pages drawn at the printer's resolution and pictures decoded by lbl print's own readers, each
// fitted to the label as lbl print fits it (print-scaling none: at its own size from the top left),
// and turned by the driver for orientation-requested as a Windows application's page is.
// (PAPPL 1.3's own PNG reader does not return from a truncated file, and it makes the copies of a
// picture itself; here the driver makes them as for every other document.)
bool FilterDocument(pappl_job_t* job, pappl_device_t* device, bool pdf) {
  PrinterContext* ctx = ContextOf(papplJobGetPrinter(job));
  if (!ctx) return false;
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
    if (!lbl::LoadPdfPages(papplJobGetFilename(job), selection, ctx->facts.dpi, ctx->facts.dpi, &pages, &error)) {
      Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The PDF document cannot be read: " + error);
      return false;
    }
  } else {
    pages.emplace_back();
    if (!lbl::LoadPicture(papplJobGetFilename(job), &pages.back(), &error)) {
      Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The picture cannot be read: " + error);
      return false;
    }
  }
  papplJobSetImpressions(job, int(pages.size()));
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, unsigned(pages.size()), false);
  const size_t count = pages.size();
  const bool actualSize = !pdf && options->print_scaling == PAPPL_SCALING_NONE;
  const bool ok = PrintPages(job, options, device, std::move(pages), actualSize, false);
  papplJobDeletePrintOptions(options);
  if (ok) papplJobSetImpressionsCompleted(job, int(count));
  return ok;
}

bool PdfFilter(pappl_job_t* job, pappl_device_t* device, void* data) {
  (void)data;
  return FilterDocument(job, device, true);
}

bool PictureFilter(pappl_job_t* job, pappl_device_t* device, void* data) {
  (void)data;
  return FilterDocument(job, device, false);
}

bool CopyFile(pappl_job_t* job, pappl_device_t* device);

// A document in the printer's own language, sent as it is.
bool PrintFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  (void)options;
  PrinterContext* ctx = ContextOf(papplJobGetPrinter(job));
  if (!ctx) return false;
  return RunOnce(job, *ctx, [&] { return CopyFile(job, device); });
}

bool CopyFile(pappl_job_t* job, pappl_device_t* device) {
  FILE* in = std::fopen(papplJobGetFilename(job), "rb");
  if (!in) {
    Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "The document cannot be opened.");
    return false;
  }
  std::vector<uint8_t> buffer(65536);
  size_t sent = 0;
  bool ok = true;
  for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0; sent += n) ok = WriteConfirmed(device, buffer.data(), n);
  std::fclose(in);
  if (!ok)
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
         "The printer stopped taking data after " + std::to_string(sent) + " bytes of the document.");
  return ok;
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
