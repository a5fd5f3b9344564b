// lbl print: a job of pictures (or blank pages) through the real rendering library on the
// embedded default printer (or the one named), as an application would print it, and what the
// printer would receive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/devmode.h"
#include "tools/embedded.h"
#include "tools/input_image.h"
#include "tools/job_options.h"
#include "tools/viewer/viewer.h"
#include "winsim/devices.h"
#include "winsim/printpath.h"

namespace lbl {

struct PrintOptions {
  JobOptions job;                                        // --printer | --model, --paper | --size, --orientation, --copies
  // The printer, as lbl print opened it (OpenTargetPrinter); without a name, a freshly installed printer
  // of job.model (else the embedded default's) on a machine of its own, as tests and benchmarks print.
  TargetPrinter target;
  int language = -1;                                     // --language: a PrintLanguage value; -1 keeps the printer's
  std::vector<std::pair<std::string, std::string>> set;  // --set FIELD=VALUE, in order
  std::string docName;                                   // --doc-name; empty: the first input's file name
  DWORD jobId = 0;                                       // --job-id; 0: the spooler's next
  bool actualSize = false;                               // --actual-size
  std::string output;                                    // -o
  std::vector<std::string> inputs;                       // INPUT...
  int blankPages = 0;                                    // --blank N
  std::string usbDeviceId;                               // --usb-device-id
  std::string pages;                                     // --pages: of each PDF INPUT, e.g. "1-3,5"; empty: all
  // Called as each page is drawn (0-based) of `pages` pages in the job; for progress.
  std::function<void(int page, int pages)> onPage;
  // --deliver to a TWL printer: called as the simulated printer prints, with the page copies
  // printed so far and the job's total.
  std::function<void(int printed, int total)> onPrinted;
};

// The options of lbl print (the job options included), for its help page and the shell completion.
const std::vector<OptionSpec>& PrintOptionTable();

// The installed printer's facts the options are checked against: its resolution and "FORMS" names.
struct PrinterFacts {
  int xDpi = 0, yDpi = 0;
  std::vector<std::string> papers;
};
// Reads them of the installed printer `printer`.
bool ReadPrinterFacts(const std::string& printer, PrinterFacts* out, std::string* error);

// Warnings for a --usb-device-id text the driver would find nothing in: no "CMD:" key (the
// language is not taken from it) or no "MDL:" key.
std::vector<std::string> DeviceIdWarnings(const std::string& deviceId);
// Why --usb-device-id cannot be used on `port`: the machine keeps the printer `kept` plugged in there,
// and that is the one the driver and the monitor would hear.
std::string UsbPortTaken(const std::string& port, const winsim::UsbPrinterDevice& kept);

// Takes the print options (the job options included) and the inputs out of `args`; options it does
// not know stay there, in order, for the caller to take or refuse. --set fields and values are
// checked here. False with a message for a bad or missing value, --set of an unknown field, or
// inputs together with --blank.
bool ParsePrintOptions(std::vector<std::string>* args, PrintOptions* out, std::string* error);

// Resets the simulated machine, installs the printer of `driver` on USB001 and lets the
// user-interface library initialise it as the spooler does for a new printer
// (DrvPrinterEvent(PRINTER_EVENT_INITIALIZE)): its "FORMS" becomes the model's paper list.
bool InstallInitialisedPrinter(const std::string& driver, std::string* error);

// The application's DEVMODE for the options on an installed printer: the job options, then the
// language, then the --set fields in order. `warnings` gets a line for every value of the options
// (--paper, --size, --orientation, --copies, --language, --set) that the driver's settings merge
// does not take from the job.
bool BuildPrintDevmode(HANDLE printer, const PrintOptions& opts, PrinterDevmode* out, std::vector<std::string>* warnings,
                       std::string* error);

struct PrintResult {
  DWORD jobId = 0;
  std::vector<uint8_t> output;                 // every byte WritePrinter received
  std::vector<lblview::PageFile> pageFiles;    // TWL: the job's files in c:\prtmonlog\pages, by name
  lblview::Language language = lblview::Language::Unknown;  // as the output shows it
  int pages = 0;
  int32_t surfaceWidth = 0, surfaceHeight = 0;  // the page bitmap, dots
  PrinterDevmode devmode{};                    // what the application passed
  std::vector<std::string> warnings;
};

// A job of `pages` pages for winsim's runner with the application's DEVMODE. `pictures` (one per page,
// drawn as lbl print draws them; none: blank pages) must outlive the job.
winsim::JobSpec PictureJobSpec(const std::u16string& printer, const PrinterDevmode& devmode,
                               const std::u16string& document, const std::vector<RgbImage>& pictures, bool actualSize,
                               int pages);

// Prints `pictures` (one page each; none: opts.blankPages white pages) with the options on the printer
// of opts.target (else installs and initialises one), attaches a USB printer with opts.usbDeviceId to
// its port for the job when one is given, builds the DEVMODE and runs the job through lbldrv6 with
// winsim's job runner. A TWL job's page files are taken out of the machine into the result. False
// with a message when the set-up or a driver entry point fails (the output received so far is still
// in `out`).
bool RunPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, PrintResult* out, std::string* error);

// The TWL page files of a job in the simulated c:\prtmonlog\pages, by name; `take` deletes them there.
std::vector<lblview::PageFile> JobPageFiles(DWORD jobId, bool take = false);

// The printer of a job: opts.target's, else a freshly installed and initialised one (`name` is then
// its driver's name). False with a message when it cannot be set up.
bool JobPrinter(const PrintOptions& opts, std::string* name, std::string* error);

}  // namespace lbl
