// One IPP job's attributes, and the printer's configured values, as the settings record the Windows
// driver takes: the same options `lbl print` takes (paper or size, orientation, copies, language and
// settings fields by name), so that a job printed over IPP and the same job printed with `lbl print`
// go through the same settings merge.
#pragma once

#include <cups/cups.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ipp/model_facts.h"
#include "tools/print_job.h"

namespace lblipp {

// What one job asks for. Empty or absent members keep the driver's defaults for the printer.
struct JobRequest {
  std::string mediaName;              // media keyword, "na_index-4x6_4x6in"
  int mediaWidth = 0, mediaLength = 0;  // media-size, hundredths of a millimetre
  std::string mediaType;              // media-type keyword
  int copies = 0;
  int orientation = 0;                // orientation-requested (3 to 6); 0: none
  std::string colorMode;              // print-color-mode: "bi-level" forces the fixed threshold
  std::string dithering;              // dithering-method keyword
  std::optional<int> darkness;        // print-darkness, -100 to 100
  std::optional<int> darknessConfigured;  // printer-darkness-configured, 0 to 100, when it was changed
  std::optional<int> speed;           // print-speed, hundredths of a millimetre per second; 0: the printer's own
  int quality = 0;                    // print-quality (3 draft, 4 normal, 5 high); 0: none
  std::string labelMode;              // label-mode-configured, when it was changed
  std::optional<int> tearOffset;      // label-tear-offset-configured, hundredths of a millimetre, when changed
  // The pages arrive already turned onto the media (pictures and raster placed by the printer
  // application); only pages the driver draws itself (PDF) are turned by orientation-requested.
  bool pagesOriented = true;
};

// The name of the vendor attribute that chooses the dithering method.
constexpr const char* kDitheringAttribute = "dithering-method";

// Reads a job's Job Template attributes through `find` (the job's attribute by name, or null).
// Values of the wrong type or out of range are left out, as if absent.
using AttributeLookup = std::function<ipp_attribute_t*(const char* name)>;
JobRequest ReadJobRequest(const AttributeLookup& find);

// The lbl print options of a job for a printer of `facts` speaking `language`. `notes` gets a line for
// each value that cannot be honoured (no such stock and a size the model cannot print, a label mode
// the model has no accessory for, an unknown dithering method).
lbl::PrintOptions MapJob(const ModelFacts& facts, uint32_t language, const JobRequest& request,
                         std::vector<std::string>* notes);

// The label modes the model's accessories allow, as label-mode keywords; and the label mode of a
// post-print action (tear-off for none or tear).
std::vector<std::string> SupportedLabelModes(const ModelFacts& facts);
std::string LabelModeOfPostAction(uint32_t postAction);

}  // namespace lblipp
