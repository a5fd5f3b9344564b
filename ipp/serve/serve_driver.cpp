// One driver per model of the catalogue: the IPP attributes of a printer from its model record, its
// stocks and the default settings of the printer on the machine (or, for a printer added in the web
// interface, the model's own).
#include <cups/cups.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "common/devmode.h"
#include "common/paper.h"
#include "ipp/job_mapping.h"
#include "ipp/media_names.h"
#include "ipp/serve/serve.h"
#include "tools/embedded.h"

extern char** environ;

namespace lblserve {

namespace {

struct DriverTable {
  std::vector<std::string> names, descriptions, deviceIds;
  std::vector<pappl_pr_driver_t> drivers;
  std::map<std::string, std::string> catalogueOf;  // PAPPL name -> catalogue driver name
};

DriverTable& Table() {
  static DriverTable* t = [] {
    auto* table = new DriverTable;
    for (const std::string& driver : lbl::CatalogueDriverNames()) {
      std::string key;
      for (unsigned char c : driver) key += std::isalnum(c) ? char(std::tolower(c)) : c == '_' || c == '-' ? char(c) : '_';
      const size_t space = driver.find(' ');
      table->names.push_back(key);
      table->descriptions.push_back(driver);
      table->deviceIds.push_back("MFG:" + driver.substr(0, space) + ";MDL:" + driver.substr(space + 1) + ";");
      table->catalogueOf[key] = driver;
    }
    for (size_t i = 0; i < table->names.size(); ++i)
      table->drivers.push_back({table->names[i].c_str(), table->descriptions[i].c_str(), table->deviceIds[i].c_str(), nullptr});
    return table;
  }();
  return *t;
}

// The contexts of the printers, by PAPPL printer. A job holds its printer's context for as long as it
// runs, even if the printer is deleted meanwhile.
std::mutex g_contextsMutex;
std::map<pappl_printer_t*, std::shared_ptr<PrinterContext>>& Contexts() {
  static auto* contexts = new std::map<pappl_printer_t*, std::shared_ptr<PrinterContext>>;
  return *contexts;
}
std::atomic<uint64_t> g_serials{0};

// The plan of the printer being created now (papplPrinterCreate calls back with its URI only).
std::mutex g_pendingMutex;
std::optional<PrinterPlan> g_pending;
// The context Configure made for it, until the printer exists to file it under.
std::shared_ptr<PrinterContext> g_configured;

std::atomic<bool> g_shuttingDown{false};

std::mutex g_modelFactsMutex;
std::map<std::string, std::shared_ptr<const lblipp::ModelFacts>> g_modelFacts;

// The facts of a model freshly installed, for a printer that is not (yet) one of the machine.
std::shared_ptr<const lblipp::ModelFacts> ModelFactsOf(const std::string& driver, std::string* error) {
  std::lock_guard<std::mutex> g(g_modelFactsMutex);
  auto it = g_modelFacts.find(driver);
  if (it == g_modelFacts.end()) {
    auto f = std::make_shared<lblipp::ModelFacts>();
    if (!lblipp::ReadModelFacts(driver, f.get(), error)) return nullptr;
    f->printer.clear();  // not a printer of the machine
    lblipp::NameStocks(f.get());
    it = g_modelFacts.emplace(driver, std::move(f)).first;
  }
  return it->second;
}

// Texts the driver data points to stay for the life of the process: a printer's media list may be
// replaced while PAPPL still reads the old one.
const char* Interned(const std::string& text) {
  static std::mutex m;
  static auto* pool = new std::set<std::string>;
  std::lock_guard<std::mutex> g(m);
  return pool->insert(text).first->c_str();
}

// lbl itself, for a change the web interface made to the printers: the state changes through the
// same commands, lock and save as every other change.
void RunLbl(std::vector<std::string> args, const std::string& what) {
  std::thread([args = std::move(args), what] {
    try {
      std::vector<std::string> full = {Config().lblProgram, "--state", Config().stateDir};
      full.insert(full.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& a : full) argv.push_back(a.data());
      argv.push_back(nullptr);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      pid_t pid = 0;
      int status = -1;
      if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
      posix_spawn_file_actions_destroy(&actions);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "lbl: %s: 'lbl %s' failed (see its message above); the change is not kept\n", what.c_str(),
                     args.empty() ? "" : args[0].c_str());
    } catch (...) {
    }
  }).detach();
}

// The USB printer's model and command set: the driver of a device ID, preferring a model that
// speaks TWL when the printer's command set is TWL (two models of one name differ only by that).
const char* AutoAdd(const char* info, const char* uri, const char* deviceId, void* data) {
  (void)info, (void)uri, (void)data;
  try {
    if (!deviceId || !*deviceId) return nullptr;
    cups_option_t* pairs = nullptr;
    const int n = papplDeviceParseID(deviceId, &pairs);
    auto get = [&](const char* a, const char* b) {
      const char* v = cupsGetOption(a, n, pairs);
      if (!v && b) v = cupsGetOption(b, n, pairs);
      return std::string(v ? v : "");
    };
    const std::string mfg = get("MFG", "MANUFACTURER"), mdl = get("MDL", "MODEL"), cmd = get("CMD", "COMMAND SET");
    cupsFreeOptions(n, pairs);
    // As the language monitor and the wizard read it: a command set of TWL alone, not a list naming it.
    const bool twl = cmd == "TWL";
    const DriverTable& t = Table();
    const char* found = nullptr;
    for (size_t i = 0; i < t.descriptions.size(); ++i) {
      const std::string& d = t.descriptions[i];
      if (d == mfg + " " + mdl + "_" && twl) return t.names[i].c_str();
      if (d == mfg + " " + mdl) found = t.names[i].c_str();
    }
    return found;
  } catch (...) {
    return nullptr;
  }
}

void DeletePrinter(pappl_printer_t* printer, pappl_pr_driver_data_t* data) {
  (void)data;
  try {
    std::shared_ptr<PrinterContext> ctx;
    {
      std::lock_guard<std::mutex> g(g_contextsMutex);
      auto it = Contexts().find(printer);
      if (it == Contexts().end()) return;
      ctx = it->second;
      Contexts().erase(it);
    }
    // Deleted in the web interface or with an IPP request: the machine loses it too.
    if (!ctx->deletedForMachine && !g_shuttingDown && !ctx->port.empty())
      RunLbl({"printer", "remove", ctx->name}, "removing the printer " + ctx->name);
  } catch (...) {
  }
}

void Identify(pappl_printer_t* printer, pappl_identify_actions_t actions, const char* message) {
  (void)actions;
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message ? message : "(no message)");
}

bool Status(pappl_printer_t* printer) {
  try {
    const auto ctx = ContextOf(printer);
    if (!ctx) return true;
    const pappl_preason_t now = ReasonsOfFaults(ctx->faults.load());
    papplPrinterSetReasons(printer, now, PAPPL_PREASON_DEVICE_STATUS & ~now);
  } catch (...) {
  }
  return true;
}

// The driver data and attributes of a printer of these facts, speaking `language`.
void FillDriverData(const lblipp::ModelFacts& f, uint32_t language, pappl_pr_driver_data_t* data, ipp_t** attrs) {
  data->delete_cb = DeletePrinter;
  data->identify_cb = Identify;
  data->status_cb = Status;
  InstallJobCallbacks(data);
  data->format = RawFormat(language);
  papplCopyString(data->make_and_model, f.driver.c_str(), sizeof data->make_and_model);
  data->ppm = std::max(1, f.speedMax * 60 / 100 / 6);  // six-inch labels at the top speed
  data->kind = PAPPL_KIND_LABEL | PAPPL_KIND_ROLL;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  // Only 8-bit grey: PAPPL hands a 1-bit client raster over as if it were the 8-bit raster it asked for.
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = f.dpi;
  data->x_default = data->y_default = f.dpi;
  data->borderless = false;
  data->left_right = data->bottom_top = 0;

  // Media: every stock of the printer's paper list (its "FORMS"), and any size the model prints.
  std::vector<std::string> names;
  for (const lblipp::StockFacts& s : f.stocks)
    if (names.size() < PAPPL_MAX_MEDIA - 2) names.push_back(s.pwgName);
  char roll[128];
  pwgFormatSizeName(roll, sizeof roll, "roll", "max", (f.maxWidth + 5) / 10, (f.maxLength + 5) / 10, nullptr);
  names.push_back(roll);
  pwgFormatSizeName(roll, sizeof roll, "roll", "min", std::max(1000, (f.minLabelWidth + 5) / 10),
                    std::max(1000, (f.minLabelLength + 5) / 10), nullptr);
  names.push_back(roll);
  data->num_media = int(names.size());
  for (size_t i = 0; i < names.size(); ++i) data->media[i] = Interned(names[i]);
  data->num_source = 1;
  data->source[0] = "main-roll";
  data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK;
  static const char* const kTypes[] = {"labels", "labels-black-mark", "continuous", "continuous-long"};
  data->num_type = 4;
  for (int i = 0; i < 4; ++i) data->type[i] = kTypes[i];
  // The stock loaded is the one of the printer's default settings (else its first).
  const lblipp::StockFacts* loaded = f.stocks.empty() ? nullptr : &f.stocks.front();
  for (const lblipp::StockFacts& s : f.stocks)
    if (s.name == f.defaultStock) loaded = &s;
  if (loaded) {
    const lblipp::StockFacts& s = *loaded;
    pappl_media_col_t& m = data->media_default;
    m = pappl_media_col_t{};
    papplCopyString(m.size_name, s.pwgName.c_str(), sizeof m.size_name);
    m.size_width = (s.width + 5) / 10;
    m.size_length = (s.length + 5) / 10;
    papplCopyString(m.source, "main-roll", sizeof m.source);
    papplCopyString(m.type, lblipp::MediaTypeKeyword(s.mediaType), sizeof m.type);
    m.tracking = s.mediaType == kPaperBlackMark ? PAPPL_MEDIA_TRACKING_MARK
                 : s.mediaType == kPaperGap     ? PAPPL_MEDIA_TRACKING_GAP
                                                : PAPPL_MEDIA_TRACKING_CONTINUOUS;
    data->media_ready[0] = m;
  }

  // Label handling from the accessories.
  data->mode_supported = PAPPL_LABEL_MODE_TEAR_OFF;
  if (f.peeler) data->mode_supported |= PAPPL_LABEL_MODE_PEEL_OFF;
  if (f.cutter) data->mode_supported |= PAPPL_LABEL_MODE_CUTTER | PAPPL_LABEL_MODE_CUTTER_DELAYED;
  const std::string mode = lblipp::LabelModeOfPostAction(f.postAction);
  data->mode_configured = mode == "peel-off" ? PAPPL_LABEL_MODE_PEEL_OFF
                          : mode == "cutter" ? PAPPL_LABEL_MODE_CUTTER
                                             : PAPPL_LABEL_MODE_TEAR_OFF;
  data->tear_offset_configured = f.feedOffset / 10;
  data->tear_offset_supported[0] = -3000;
  data->tear_offset_supported[1] = 3000;
  if (f.speedMax > 0) {
    data->speed_supported[0] = lblipp::SpeedToIpp(f.speedMin);
    data->speed_supported[1] = lblipp::SpeedToIpp(f.speedMax);
    data->speed_default = f.speedDefault ? lblipp::SpeedToIpp(f.speedDefault) : 0;
  }
  if (f.darknessMax > 0) {
    data->darkness_supported = f.darknessMax;
    data->darkness_configured = lblipp::DarknessToPercent(f, f.darknessDefault ? f.darknessDefault : (f.darknessMax + 1) / 2);
    data->darkness_default = 0;
  }
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->has_supplies = true;

  // The dithering method, a vendor attribute with its choices and default.
  data->num_vendor = 1;
  data->vendor[0] = lblipp::kDitheringAttribute;
  *attrs = ippNew();
  std::vector<const char*> methods;
  for (const lblipp::DitherMethod& m : lblipp::DitherMethods()) methods.push_back(m.keyword);
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "dithering-method-supported", int(methods.size()), nullptr,
                methods.data());
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "dithering-method-default", nullptr,
               lblipp::DitherKeyword(f.ditherLevel));
  // What Set-Printer-Attributes takes, which PAPPL does not say itself. Not label-tear-offset-configured:
  // PAPPL 1.3 refuses it there (the offset is the printer's default settings' own, and read-only here).
  static const char* const kSettable[] = {
      "dithering-method-default", "label-mode-configured", "media-col-default", "media-col-ready", "media-default",
      "media-ready", "orientation-requested-default", "print-color-mode-default", "print-content-optimize-default",
      "print-darkness-default", "print-quality-default", "print-speed-default", "printer-contact-col",
      "printer-darkness-configured", "printer-geo-location", "printer-location", "printer-organization",
      "printer-organizational-unit", "printer-resolution-default"};
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-settable-attributes-supported",
                int(std::size(kSettable)), nullptr, kSettable);
  // IPP Everywhere's descriptions that PAPPL leaves to the driver. One-sided, monochrome printing has
  // nothing to choose in them.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  static const char* const kOverrides[] = {"document-number", "pages"};
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, kOverrides);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
}

bool ConfigureOrThrow(pappl_system_t* system, const char* driverName, const char* uri, pappl_pr_driver_data_t* data,
                      ipp_t** attrs) {
  const auto it = Table().catalogueOf.find(driverName ? driverName : "");
  if (it == Table().catalogueOf.end()) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unknown driver '%s'.", driverName ? driverName : "(null)");
    return false;
  }
  const std::string device = uri ? uri : "";
  auto ctx = std::make_shared<PrinterContext>();
  std::optional<PrinterPlan> plan;
  {
    std::lock_guard<std::mutex> g(g_pendingMutex);
    if (g_pending && QueueDeviceUri(g_pending->name) == device) plan = g_pending;
  }
  std::string error;
  if (plan) {
    // A printer of the machine: its own facts, its real device opened by each job.
    ctx->name = plan->name;
    ctx->deviceUri = plan->deviceUri;
    ctx->port = plan->port;
    ctx->language = plan->language;
    ctx->SetFacts(plan->facts);
  } else {
    // Added in the web interface (or with Create-Printer): the model's facts and PAPPL's device,
    // until the state has it.
    auto facts = ModelFactsOf(it->second, &error);
    if (!facts || !lblipp::ChoosePrinterLanguage(*facts, "", &ctx->language, &error)) {
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
      return false;
    }
    ctx->deviceUri = device;
    ctx->ownsDevice = false;
    ctx->SetFacts(facts);
  }
  FillDriverData(*ctx->Facts(), ctx->language, data, attrs);
  std::lock_guard<std::mutex> g(g_pendingMutex);
  g_configured = ctx;
  return true;
}

bool Configure(pappl_system_t* system, const char* driverName, const char* uri, const char* deviceId,
               pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbdata) {
  (void)cbdata, (void)deviceId;
  try {
    return ConfigureOrThrow(system, driverName, uri, data, attrs);
  } catch (const std::exception& e) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "The printer could not be set up: %s", e.what());
  } catch (...) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "The printer could not be set up.");
  }
  return false;
}

void Created(pappl_printer_t* printer, void* data) {
  (void)data;
  try {
    std::shared_ptr<PrinterContext> ctx;
    bool fromMachine = false;
    {
      std::lock_guard<std::mutex> g(g_pendingMutex);
      ctx = std::move(g_configured);
      g_configured.reset();
      fromMachine = g_pending && g_pending->name == papplPrinterGetName(printer);
    }
    if (!ctx) return;
    ctx->name = papplPrinterGetName(printer);
    {
      std::lock_guard<std::mutex> g(g_contextsMutex);
      Contexts()[printer] = ctx;
    }
    // A printer added in the web interface or with Create-Printer joins the machine; the server then
    // serves the machine's printer in its place.
    if (!fromMachine)
      RunLbl({"printer", "add", ctx->name, "--model", ctx->Facts()->driver, "--device", ctx->deviceUri},
             "keeping the printer " + ctx->name);
    SetUpSupplies(printer);
  } catch (...) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "The printer could not be set up.");
  }
}

}  // namespace

PrinterContext::PrinterContext() : serial(++g_serials) {}

std::shared_ptr<const lblipp::ModelFacts> PrinterContext::Facts() const {
  std::lock_guard<std::mutex> g(factsMutex_);
  return facts_;
}

void PrinterContext::SetFacts(std::shared_ptr<const lblipp::ModelFacts> facts) {
  std::lock_guard<std::mutex> g(factsMutex_);
  facts_ = std::move(facts);
}

std::shared_ptr<PrinterContext> ContextOf(pappl_printer_t* printer) {
  std::lock_guard<std::mutex> g(g_contextsMutex);
  const auto it = Contexts().find(printer);
  return it == Contexts().end() ? nullptr : it->second;
}

void SetUpSupplies(pappl_printer_t* printer) {
  const auto ctx = ContextOf(printer);
  const auto facts = ctx ? ctx->Facts() : nullptr;
  pappl_supply_t supplies[2] = {};
  int n = 0;
  supplies[n].color = PAPPL_SUPPLY_COLOR_NO_COLOR;
  papplCopyString(supplies[n].description, "Labels", sizeof supplies[n].description);
  supplies[n].is_consumed = true;
  supplies[n].level = -1;
  supplies[n++].type = PAPPL_SUPPLY_TYPE_OTHER;
  if (facts && facts->thermalTransfer) {
    supplies[n].color = PAPPL_SUPPLY_COLOR_BLACK;
    papplCopyString(supplies[n].description, "Ribbon", sizeof supplies[n].description);
    supplies[n].is_consumed = true;
    supplies[n].level = -1;
    supplies[n++].type = PAPPL_SUPPLY_TYPE_INK_RIBBON;
  }
  papplPrinterSetSupplies(printer, n, supplies);
}

pappl_printer_t* CreatePrinter(pappl_system_t* system, const PrinterPlan& plan, bool dnssd) {
  const std::string driver = PapplDriverName(plan.facts->driver);
  if (driver.empty()) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer '%s': unknown model '%s'.", plan.name.c_str(), plan.facts->driver.c_str());
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(g_pendingMutex);
    g_pending = plan;
  }
  pappl_printer_t* printer =
      papplPrinterCreate(system, plan.id, plan.name.c_str(), driver.c_str(), nullptr, QueueDeviceUri(plan.name).c_str());
  {
    std::lock_guard<std::mutex> g(g_pendingMutex);
    g_pending.reset();
    g_configured.reset();
  }
  if (!printer) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer '%s' could not be created.", plan.name.c_str());
    return nullptr;
  }
  if (!dnssd) papplPrinterSetDNSSDName(printer, nullptr);
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Printer '%s': %s on %s.", plan.name.c_str(), plan.facts->driver.c_str(),
           plan.deviceUri.c_str());
  return printer;
}

void UpdatePrinter(pappl_printer_t* printer, const PrinterPlan& plan) {
  const auto ctx = ContextOf(printer);
  if (!ctx) return;
  ctx->SetFacts(plan.facts);
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  ipp_t* attrs = nullptr;
  FillDriverData(*plan.facts, ctx->language, &data, &attrs);
  papplPrinterSetDriverData(printer, &data, attrs);
  ippDelete(attrs);
  papplPrinterSetReadyMedia(printer, data.num_source, data.media_ready);
  SetUpSupplies(printer);
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Stocks and default settings taken from the machine again.");
}

void MarkDeletedForMachine(pappl_printer_t* printer) {
  if (const auto ctx = ContextOf(printer)) ctx->deletedForMachine = true;
}

void ShuttingDown() { g_shuttingDown = true; }

std::string DriverForDeviceId(const char* deviceId) {
  const char* key = AutoAdd(nullptr, nullptr, deviceId, nullptr);
  return key ? Table().catalogueOf.at(key) : "";
}

std::string PapplDriverName(const std::string& driver) {
  for (const auto& [key, name] : Table().catalogueOf)
    if (name == driver) return key;
  return {};
}

void RegisterDrivers(pappl_system_t* system) {
  DriverTable& t = Table();
  papplSystemSetPrinterDrivers(system, int(t.drivers.size()), t.drivers.data(), AutoAdd, Created, Configure, nullptr);
}

}  // namespace lblserve
