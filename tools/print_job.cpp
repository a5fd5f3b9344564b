#include "tools/print_job.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <type_traits>

#include "common/model.h"
#include "common/pagefile.h"
#include "common/platform.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/input_pdf.h"
#include "tools/numbers.h"
#include "tools/settings_fields.h"
#include "winsim/devices.h"
#include "winsim/printpath.h"
#include "winsim/machine.h"

namespace lbl {

const std::vector<OptionSpec>& PrintOptionTable() {
  static const std::vector<OptionSpec> table = [] {
    std::vector<OptionSpec> t = JobOptionTable();
    const OptionSpec more[] = {
        {"--language", "LANG", "tspl, zpl, esc or twl (the settings' PrintLanguage)", "tspl zpl esc twl"},
        {"--set", "FIELD=VALUE",
         "any settings field by name, as the application's DEVMODE carries it:\n"
         "Speed, Darkness, PostAction, PostActionOccurrence, IntervalPages,\n"
         "PrintMode, FeedOffset, DitherLevel, PaperSaving, Flags, ShiftH, ShiftV,\n"
         "PrintingScale, PrintWidth, InputDPI, PrinterType, UserCommand0..3,\n"
         "Contrast, Brightness, WatermarkPath, WatermarkX/Y/Scale/Brightness,\n"
         "PrintLanguage, dmOrientation, dmCopies, dmPaperSize, dmFormName, ...\n"
         "Texts take the escapes \\r \\n \\t \\\\ \\xHH. Repeatable; applied in order\n"
         "after the other options."},
        {"--doc-name", "NAME", "the document name (default: the first INPUT's file name)"},
        {"--job-id", "N", "the spooler job id of the job"},
        {"--actual-size", nullptr, "draw each INPUT at its own size instead of fitting it (a PDF page at\n"
                                   "its size in the PDF, at the model's resolution)"},
        {"--pages", "LIST", "the pages of each PDF INPUT to print, e.g. 1-3,5 (default: all)"},
        {"--blank", "N", "print N white pages instead of INPUT files"},
        {"--usb-device-id", "ID",
         "attach a simulated USB printer answering this IEEE 1284 device ID\n"
         "(\"MFG:...;CMD:TWL;MDL:...;\") to the printer's port; the driver picks the\n"
         "language by its CMD: key"},
        {"--deliver", nullptr,
         "print through the spooler, the language monitor lblmon and the port\n"
         "monitor to a simulated printer (of --usb-device-id, else of --language,\n"
         "else of the model); OUT gets what the printer received, and the JSON\n"
         "report says per job the pages the printer printed, the page blocks it was\n"
         "sent again and what the monitor logged (lbl view --language twl OUT shows\n"
         "the TWL labels)"},
        {"-o", "OUT", "the output file", "@file"},
    };
    t.insert(t.end(), std::begin(more), std::end(more));
    return t;
  }();
  return table;
}

namespace {

// The option error: the message set, false returned.
bool Refuse(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

DWORD PortNumber(const std::string& port) { return static_cast<DWORD>(std::strtoul(port.c_str() + 3, nullptr, 10)); }

}  // namespace

std::vector<lblview::PageFile> JobPageFiles(DWORD jobId, bool take) {
  std::vector<lblview::PageFile> files;
  const std::string folder = winsim::HostPath(TEXT(LBL_PAGE_FOLDER));
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    int page = 0, job = 0, seq = 0;
    if (!entry.is_regular_file() || !ParsePageFileLeaf(name, &page, &job, &seq) ||
        static_cast<DWORD>(job) != jobId)
      continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({name, std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
    if (take) DeleteFileW(Utf8ToWide(std::string(LBL_PAGE_FOLDER) + "\\" + name).c_str());
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

bool ParsePrintOptions(std::vector<std::string>* args, PrintOptions* out, std::string* error) {
  if (!ParseJobOptions(args, &out->job, error)) return false;
  std::vector<std::string> rest;
  const std::vector<std::string>& a = *args;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& arg = a[i];
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      out->inputs.push_back(arg);
      continue;
    }
    std::string name, value;
    const bool inlineValue = SplitOption(arg, &name, &value);
    auto take = [&] { return TakeOptionValue(a, &i, name, inlineValue, &value, error); };
    // The option's value, a whole number from lo to hi, into *field.
    auto takeCount = [&](int64_t lo, int64_t hi, const char* what, auto* field) {
      return take() && OptionWholeInto(name, value, lo, hi, field, error, what);
    };
    if (name == "--actual-size" && !inlineValue) {
      out->actualSize = true;
    } else if (name == "--language") {
      if (!take()) return false;
      const lblview::Language lang = lblview::LanguageFromName(value);
      if (lang == lblview::Language::Unknown)
        return Refuse(error, "bad value for --language: '" + value + "' (tspl, zpl, esc or twl)");
      out->language = lang == lblview::Language::Twl ? kLangTwl : lang == lblview::Language::Esc ? kLangEsc
                      : lang == lblview::Language::Tspl ? kLangTspl : kLangZpl;
    } else if (name == "--set") {
      if (!take()) return false;
      const size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) return Refuse(error, "--set needs FIELD=VALUE, not '" + value + "'");
      PrinterDevmode scratch{};
      if (!SetSettingsField(&scratch, value.substr(0, eq), value.substr(eq + 1), error)) return false;
      out->set.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (name == "--doc-name") {
      if (!take()) return false;
      if (value.empty()) return Refuse(error, "--doc-name needs a name");
      out->docName = value;
    } else if (name == "--job-id") {
      if (!takeCount(1, 0x7FFFFFFF, "a job id", &out->jobId)) return false;
    } else if (name == "--pages") {
      if (!take()) return false;
      PageSelection selection;
      if (!ParsePageSelection(value, &selection, error)) return false;
      out->pages = value;
    } else if (name == "--blank") {
      if (!takeCount(1, 10000, "a number of pages", &out->blankPages)) return false;
    } else if (name == "--usb-device-id") {
      if (!take()) return false;
      if (value.empty() || value.size() > 1000)
        return Refuse(error, "--usb-device-id needs a device ID of 1 to 1000 characters");
      out->usbDeviceId = value;
    } else if (name == "-o" || name == "--output") {
      if (!take()) return false;
      if (value.empty()) return Refuse(error, name + " needs a file name");
      out->output = value;
    } else {
      // Not a print option: the caller decides (e.g. options of another print path).
      rest.push_back(arg);
    }
  }
  if (!out->inputs.empty() && out->blankPages) return Refuse(error, "give INPUT files or --blank, not both");
  if (!out->pages.empty() && out->blankPages)
    return Refuse(error, "--pages selects pages of PDF INPUT files, not of --blank pages");
  *args = rest;
  return true;
}

bool InstallInitialisedPrinter(const std::string& driver, std::string* error) {
  return SetupPrinter(driver, kDefaultPort, error) && InitialisePrinter(driver, error);
}

bool JobPrinter(const PrintOptions& opts, std::string* name, std::string* error) {
  if (!opts.target.name.empty()) {
    *name = opts.target.name;
    return true;
  }
  *name = opts.job.model.empty() ? kDefaultDriver : opts.job.model;
  return InstallInitialisedPrinter(*name, error);
}

bool ReadPrinterFacts(const std::string& printerName, PrinterFacts* out, std::string* error) {
  *out = PrinterFacts{};
  WString name = Utf8ToWide(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + printerName + "\"";
    return false;
  }
  WCHAR modelName[32] = {};
  ModelRecord* model = LoadModelRecord(printer, modelName, CatalogueModule());
  if (model) {
    out->xDpi = model->XDpi;
    out->yDpi = model->YDpi;
    FreeModelRecord(model);
  }
  int count = 0;
  PaperRecord* list = ReadPaperList(printer, &count);
  for (int i = 0; i < count; ++i) out->papers.push_back(WideToUtf8(WString(list[i].Name, WStrNLen(list[i].Name, kPaperNameChars)).c_str()));
  if (list) LocalFree(list);
  ClosePrinter(printer);
  if (!model) {
    *error = "cannot build the model record of \"" + printerName + "\" (data file missing or invalid)";
    return false;
  }
  return true;
}

std::string UsbPortTaken(const std::string& port, const winsim::UsbPrinterDevice& kept) {
  return "--usb-device-id: the machine has a printer plugged into " + port + " (\"" + kept.deviceId +
         "\"), which the driver would ask instead; print with --model for a freshly installed machine, or on a "
         "printer of another port";
}

std::vector<std::string> DeviceIdWarnings(const std::string& deviceId) {
  std::vector<std::string> out;
  if (deviceId.empty()) return out;
  if (deviceId.find("CMD:") == std::string::npos)
    out.push_back("the USB device ID has no \"CMD:\" key: the driver will not take the print language from it");
  if (deviceId.find("MDL:") == std::string::npos)
    out.push_back("the USB device ID has no \"MDL:\" key: it names no printer model");
  return out;
}

bool BuildPrintDevmode(HANDLE printer, const PrintOptions& opts, PrinterDevmode* out, std::vector<std::string>* warnings,
                       std::string* error) {
  if (!BuildJobDevmode(printer, CatalogueModule(), opts.job, out, error)) return false;
  if (opts.language >= 0) out->PrintLanguage = static_cast<uint32_t>(opts.language);
  for (const auto& [field, value] : opts.set)
    if (!SetSettingsField(out, field, value, error)) return false;
  // The fields the options set, each with the option that set it.
  std::vector<std::pair<std::string, std::string>> given;
  if (!opts.job.paper.empty()) given.push_back({"dmFormName", "--paper"});
  if (opts.job.hasSize)
    for (const char* f : {"dmPaperSize", "dmPaperWidth", "dmPaperLength"}) given.push_back({f, "--size"});
  if (opts.job.orientation) given.push_back({"dmOrientation", "--orientation"});
  if (opts.job.copies) given.push_back({"dmCopies", "--copies"});
  if (opts.language >= 0) given.push_back({"PrintLanguage", "--language"});
  for (const auto& [field, value] : opts.set) given.push_back({field, "--set"});
  if (!warnings || given.empty()) return true;

  // What the driver makes of the job's values: its merge over the model's defaults.
  WCHAR name[32] = {};
  ModelRecord* model = LoadModelRecord(printer, name, CatalogueModule());
  if (!model) return true;
  auto merged = std::make_unique<PrinterDevmode>();
  FillDevmodeDefaults(model, name, merged.get());
  MergeDevmode(printer, model, &out->dm, merged.get());
  FreeModelRecord(model);
  std::vector<std::string> warned;
  for (const auto& [field, option] : given) {
    std::string sent, taken;
    if (!GetSettingsField(*out, field, &sent) || !GetSettingsField(*merged, field, &taken)) continue;
    if (sent == taken || field == "dmFields" || std::find(warned.begin(), warned.end(), field) != warned.end()) continue;
    warned.push_back(field);
    warnings->push_back(option + ": the driver does not take " + field + "=" + sent + " from the job's settings (it keeps " +
                        taken + ")");
  }
  return true;
}

winsim::JobSpec PictureJobSpec(const std::u16string& printer, const PrinterDevmode& devmode,
                               const std::u16string& document, const std::vector<RgbImage>& pictures, bool actualSize,
                               int pages) {
  winsim::JobSpec spec;
  spec.printer = printer;
  const auto* dmBytes = reinterpret_cast<const uint8_t*>(&devmode);
  spec.devmode.assign(dmBytes, dmBytes + sizeof devmode);
  spec.document = document;
  spec.pages = pages;
  if (!pictures.empty()) {
    spec.draw = [&pictures, actualSize](int page, const winsim::PageSurface& surface) {
      DrawPicture(pictures[static_cast<size_t>(page)], surface, actualSize);
    };
  }
  return spec;
}

bool RunPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, PrintResult* out, std::string* error) {
  *out = PrintResult{};
  const int pages = pictures.empty() ? opts.blankPages : static_cast<int>(pictures.size());
  if (pages <= 0) {
    *error = "nothing to print: give INPUT files or --blank N";
    return false;
  }
  std::string printerName;
  if (!JobPrinter(opts, &printerName, error)) return false;
  // Plugged in for this job only: the machine keeps the printers it had.
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  struct Unplug {
    std::shared_ptr<winsim::UsbPrinterDevice>* device;
    ~Unplug() {
      if (*device) winsim::DetachUsbPrinter(*device);
    }
  } unplug{&device};
  if (!opts.usbDeviceId.empty()) {
    const std::string port = opts.target.name.empty() ? kDefaultPort : opts.target.port;
    if (port.size() < 4 || port.compare(0, 3, "USB") != 0) {
      *error = "--usb-device-id needs a printer on a USB port; \"" + printerName + "\" prints to " + port;
      return false;
    }
    if (auto kept = winsim::UsbPrinterOnPort(Utf8ToU16(port))) {
      *error = UsbPortTaken(port, *kept);
      return false;
    }
    device = std::make_shared<winsim::UsbPrinterDevice>();
    device->deviceId = opts.usbDeviceId;
    device->portNumber = PortNumber(port);
    device->serial = "TW9" + std::to_string(device->portNumber);  // not one of the machine's own printers
    if (!winsim::AttachUsbPrinter(device)) {
      device.reset();
      *error = "cannot attach the simulated USB printer";
      return false;
    }
  }
  WString name = Utf8ToWide(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + printerName + "\"";
    return false;
  }
  out->warnings = DeviceIdWarnings(opts.usbDeviceId);
  const bool built = BuildPrintDevmode(printer, opts, &out->devmode, &out->warnings, error);
  ClosePrinter(printer);
  if (!built) return false;

  std::string doc = opts.docName;
  if (doc.empty()) doc = opts.inputs.empty() ? "lbl print" : std::filesystem::path(opts.inputs[0]).filename().string();
  winsim::JobSpec spec = PictureJobSpec(name, out->devmode, Utf8ToWide(doc), pictures, opts.actualSize, pages);
  if (opts.onPage) {
    spec.draw = [draw = spec.draw, onPage = opts.onPage, pages](int page, const winsim::PageSurface& surface) {
      onPage(page, pages);
      if (draw) draw(page, surface);
    };
  }
  if (opts.jobId) winsim::SetNextJobId(opts.jobId);
  // OUT is what the driver sent: the job as spooled, whatever monitor or port the printer has (--deliver
  // takes it through them).
  spec.despool = false;
  winsim::JobResult job = winsim::RunJob(spec);

  out->jobId = job.jobId;
  out->output = std::move(job.output);
  out->pages = pages;
  out->surfaceWidth = static_cast<int32_t>(job.gdiInfo.ulHorzRes);
  out->surfaceHeight = static_cast<int32_t>(job.gdiInfo.ulVertRes);
  out->pageFiles = JobPageFiles(job.jobId, true);  // they go to OUT.pages, as a monitor would take them
  out->language = !out->pageFiles.empty() ? lblview::Language::Twl
                                          : lblview::DetectLanguage(out->output.data(), out->output.size());
  if (!job.ok) {
    *error = job.error.empty() ? "the job failed" : job.error;
    return false;
  }
  return true;
}

}  // namespace lbl
