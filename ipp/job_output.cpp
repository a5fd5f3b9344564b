#include "ipp/job_output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/wstr.h"
#include "ipp/machine.h"
#include "tools/deliver.h"
#include "tools/viewer/viewer.h"
#include "winsim/devices.h"
#include "winsim/spooler.h"

namespace lblipp {

bool FindLabels(const std::vector<uint8_t>& stream, LabelSpans* out, std::string* error) {
  *out = LabelSpans{};
  out->size = stream.size();
  lblview::ViewOptions options;
  lblview::ViewResult result;
  lblview::ViewError fault;
  if (!lblview::ViewStream(stream.data(), stream.size(), {}, options, &result, &fault)) {
    *error = "the stream does not read back: " + fault.Describe();
    return false;
  }
  const auto& c = result.commands;
  for (size_t i = 0; i < c.size(); ++i) {
    const std::string& t = c[i].text;
    bool start = false;
    switch (result.language) {
      case lblview::Language::Tspl: start = t.rfind("SIZE ", 0) == 0; break;
      case lblview::Language::Esc: start = t.rfind("GS W ", 0) == 0; break;
      case lblview::Language::Zpl: start = t.rfind("^XA", 0) == 0 && i + 1 < c.size() && c[i + 1].text.rfind("^PW", 0) == 0; break;
      default:
        *error = std::string("labels of a ") + lblview::LanguageName(result.language) + " stream are not cut here";
        return false;
    }
    if (start) out->starts.push_back(c[i].offset);
  }
  if (out->starts.size() != result.labels.size()) {
    *error = "the stream has " + std::to_string(result.labels.size()) + " labels but " +
             std::to_string(out->starts.size()) + " page headers";
    return false;
  }
  return true;
}

bool RenderJob(const lbl::PrintOptions& opts, const std::vector<lbl::RgbImage>& pictures, std::vector<uint8_t>* stream,
               std::vector<std::string>* warnings, std::string* error) {
  std::lock_guard<std::mutex> lock(MachineMutex());
  if (!opts.target.name.empty() && !LoadMachineSnapshot(error)) return false;
  lbl::PrintResult result;
  const bool ok = lbl::RunPrint(opts, pictures, &result, error);
  *stream = std::move(result.output);
  if (warnings) *warnings = std::move(result.warnings);
  return ok;
}

namespace {

// A USB port no printer of the machine uses and no USB printer is plugged into.
std::string FreeUsbPort() {
  unsigned top = 0;
  for (const auto& p : winsim::Printers()) {
    const std::string port = WideToUtf8(p.port);
    if (port.rfind("USB", 0) == 0) top = std::max(top, unsigned(std::strtoul(port.c_str() + 3, nullptr, 10)));
  }
  for (const auto& d : winsim::UsbPrinters()) top = std::max(top, unsigned(d->portNumber));
  char name[16];
  std::snprintf(name, sizeof name, "USB%03u", top + 1);
  return name;
}

}  // namespace

bool DeliverTwlJob(const lbl::PrintOptions& opts, const std::vector<lbl::RgbImage>& pictures,
                   const std::shared_ptr<TwlBridge>& bridge, int timeoutMs, const std::function<bool()>& abandon,
                   TwlAttempt* out) {
  *out = TwlAttempt{};
  std::lock_guard<std::mutex> lock(MachineMutex());
  lbl::PrintOptions job = opts;
  if (!job.target.name.empty()) {
    if (!LoadMachineSnapshot(&out->error)) return false;
    // The monitor delivers to a printer on a USB port: on this copy of the machine (loaded afresh for
    // every job, never saved) the queue is moved onto the port the bridge is plugged into.
    if (job.target.port.rfind("USB", 0) != 0) {
      job.target.port = FreeUsbPort();
      if (!winsim::UpdatePrinter(Utf8ToU16(job.target.name), [&](winsim::PrinterSpec& p) { p.port = Utf8ToU16(job.target.port); })) {
        out->error = "no printer \"" + job.target.name + "\" on the machine";
        return false;
      }
    }
  }
  bridge->ResetTracking();
  lbl::DeliverTarget target;
  target.device = bridge;
  target.timeoutMs = timeoutMs;
  target.abandon = abandon;
  lbl::DeliveryReport report;
  std::vector<uint8_t> received;
  if (!lbl::DeliverPrint(job, pictures, target, &report, &received, &out->error)) return false;
  const int copies = std::max(1, opts.job.copies ? opts.job.copies : 1);
  const size_t labels = pictures.size() * size_t(copies);
  out->labels.assign(labels, false);
  if (!report.jobs.empty()) {
    const lbl::DeliveredJob& job = report.jobs.front();
    out->rendered = job.rendered;
    out->ended = job.ejected;
    if (!job.rendered) out->error = job.error;
  }
  // The driver numbers a job's page copies one after the other from the first block it sent.
  const int first = bridge->FirstPage();
  const std::set<uint16_t> acked = bridge->Acknowledged();
  if (first >= 0)
    for (size_t k = 0; k < labels; ++k) out->labels[k] = acked.count(uint16_t(first + int(k))) > 0;
  return true;
}

std::vector<lbl::RgbImage> LabelsLeft(const std::vector<lbl::RgbImage>& pages, int copies, const std::vector<bool>& printed) {
  std::vector<lbl::RgbImage> left;
  copies = std::max(1, copies);
  for (size_t k = 0; k < pages.size() * size_t(copies); ++k)
    if (k >= printed.size() || !printed[k]) left.push_back(pages[k / size_t(copies)]);
  return left;
}

}  // namespace lblipp
