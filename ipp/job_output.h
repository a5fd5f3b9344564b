// From a job's pages to what the printer is sent: the pages rendered by the Windows driver's own
// library (as lbl print renders them), the stream cut into its labels so that a job the printer broke
// off can go on from the first label it did not get, and TWL jobs delivered by the language monitor
// through a TwlBridge.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ipp/twl_bridge.h"
#include "tools/print_job.h"

namespace lblipp {

// A printer stream as its job header and labels: label k is [starts[k], starts[k+1]) and the last
// one runs to the end of the stream; the header is [0, starts[0]).
struct LabelSpans {
  std::vector<size_t> starts;
  size_t size = 0;
  size_t End(size_t k) const { return k + 1 < starts.size() ? starts[k + 1] : size; }
};
// The spans of a TSPL, ZPL or ESC stream, found by the stream viewer: a label starts at its page
// header (TSPL "SIZE", the ZPL format that sets the label width, ESC "GS W"). False when the stream
// is not one of those or its page headers do not match its labels one to one.
bool FindLabels(const std::vector<uint8_t>& stream, LabelSpans* out, std::string* error);

// A TSPL, ZPL or ESC job rendered by lbldrv6 on the simulated machine (holding MachineMutex), exactly
// as lbl print renders the same pictures with the same options. A job for a printer of the machine
// (opts.target) runs on the server's snapshot of the state, loaded afresh.
bool RenderJob(const lbl::PrintOptions& opts, const std::vector<lbl::RgbImage>& pictures, std::vector<uint8_t>* stream,
               std::vector<std::string>* warnings, std::string* error);

// One attempt at a TWL job: rendered as RenderJob does, then delivered by the language monitor
// through `bridge` until the monitor has ended the job, `abandon` gives it up, or `timeoutMs` passes.
// `labels` gets, for each label of the job (pages x copies, in order), whether the printer
// acknowledged it.
struct TwlAttempt {
  bool rendered = false;
  bool ended = false;            // the monitor told the spooler the job is out
  std::vector<bool> labels;
  std::string error;
};
bool DeliverTwlJob(const lbl::PrintOptions& opts, const std::vector<lbl::RgbImage>& pictures,
                   const std::shared_ptr<TwlBridge>& bridge, int timeoutMs, const std::function<bool()>& abandon,
                   TwlAttempt* out);

// The pictures of the labels a job still owes: label k of the job (pages x copies, in order) is
// picture k / copies. The labels left are printed as one page each, one copy.
std::vector<lbl::RgbImage> LabelsLeft(const std::vector<lbl::RgbImage>& pages, int copies,
                                      const std::vector<bool>& printed);

}  // namespace lblipp
