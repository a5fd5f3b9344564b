// One driver per model of the catalogue: the IPP attributes of a printer from the model record, its
// paper list and the defaults the Windows driver gives it.
#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>

#include "common/devmode.h"
#include "common/paper.h"
#include "ipp/job_mapping.h"
#include "ipp/media_names.h"
#include "ipp/serve/serve.h"
#include "tools/embedded.h"

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

std::mutex g_pendingMutex;
std::optional<lblipp::PrinterEntry> g_pending;

std::mutex g_factsMutex;
std::map<std::string, lblipp::ModelFacts> g_facts;

bool FactsOf(const std::string& driver, lblipp::ModelFacts* out, std::string* error) {
  std::lock_guard<std::mutex> g(g_factsMutex);
  auto it = g_facts.find(driver);
  if (it == g_facts.end()) {
    lblipp::ModelFacts f;
    if (!lblipp::ReadModelFacts(driver, &f, error)) return false;
    lblipp::NameStocks(&f);
    it = g_facts.emplace(driver, std::move(f)).first;
  }
  *out = it->second;
  return true;
}

// The USB printer's model and command set: the driver of a device ID, preferring a model that
// speaks TWL when the printer names TWL (two models of one name differ only by that).
const char* AutoAdd(const char* info, const char* uri, const char* deviceId, void* data) {
  (void)info, (void)uri, (void)data;
  if (!deviceId || !*deviceId) return nullptr;
  cups_option_t* pairs = nullptr;
  const int n = papplDeviceParseID(deviceId, &pairs);
  auto get = [&](const char* a, const char* b) {
    const char* v = cupsGetOption(a, n, pairs);
    return std::string(v ? v : b ? (cupsGetOption(b, n, pairs) ? cupsGetOption(b, n, pairs) : "") : "");
  };
  const std::string mfg = get("MFG", "MANUFACTURER"), mdl = get("MDL", "MODEL"), cmd = get("CMD", "COMMAND SET");
  cupsFreeOptions(n, pairs);
  const bool twl = cmd == "TWL" || cmd.find(",TWL") != std::string::npos || cmd.rfind("TWL,", 0) == 0;
  const DriverTable& t = Table();
  const char* found = nullptr;
  for (size_t i = 0; i < t.descriptions.size(); ++i) {
    const std::string& d = t.descriptions[i];
    if (d == mfg + " " + mdl + "_" && twl) return t.names[i].c_str();
    if (d == mfg + " " + mdl) found = t.names[i].c_str();
  }
  return found;
}

void DeletePrinter(pappl_printer_t* printer, pappl_pr_driver_data_t* data) {
  (void)printer;
  delete static_cast<PrinterContext*>(data->extension);
  data->extension = nullptr;
}

void Identify(pappl_printer_t* printer, pappl_identify_actions_t actions, const char* message) {
  (void)actions;
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message ? message : "(no message)");
}

bool Status(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  const auto* ctx = static_cast<PrinterContext*>(data.extension);
  if (!ctx) return true;
  const pappl_preason_t now = ReasonsOfFaults(ctx->faults.load());
  papplPrinterSetReasons(printer, now, PAPPL_PREASON_DEVICE_STATUS & ~now);
  return true;
}

bool Configure(pappl_system_t* system, const char* driverName, const char* uri, const char* deviceId,
               pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbdata) {
  (void)cbdata, (void)deviceId;
  const auto it = Table().catalogueOf.find(driverName ? driverName : "");
  if (it == Table().catalogueOf.end()) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unknown driver '%s'.", driverName ? driverName : "(null)");
    return false;
  }
  auto ctx = std::make_unique<PrinterContext>();
  std::string error;
  if (!FactsOf(it->second, &ctx->facts, &error)) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    return false;
  }
  std::string language;
  {
    std::lock_guard<std::mutex> g(g_pendingMutex);
    if (g_pending && g_pending->deviceUri == (uri ? uri : "")) language = g_pending->language;
  }
  if (!lblipp::ChoosePrinterLanguage(ctx->facts, language, &ctx->language, &error)) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    return false;
  }
  ctx->deviceUri = uri ? uri : "";
  const lblipp::ModelFacts& f = ctx->facts;
  if (ctx->language == kLangTwl) {
    ctx->link = MakeLink(ctx->deviceUri);
    ctx->bridge = MakeBridge(ctx->link);
  }

  data->extension = ctx.get();
  data->delete_cb = DeletePrinter;
  data->identify_cb = Identify;
  data->status_cb = Status;
  InstallJobCallbacks(data);
  data->format = RawFormat(ctx->language);
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

  // Media: every stock of the printer's paper list, and any size the model prints.
  auto& names = ctx->mediaNames;
  names.clear();
  for (const lblipp::StockFacts& s : f.stocks)
    if (names.size() < PAPPL_MAX_MEDIA - 2) names.push_back(s.pwgName);
  char roll[128];
  pwgFormatSizeName(roll, sizeof roll, "roll", "max", (f.maxWidth + 5) / 10, (f.maxLength + 5) / 10, nullptr);
  names.push_back(roll);
  pwgFormatSizeName(roll, sizeof roll, "roll", "min", std::max(1000, (f.minLabelWidth + 5) / 10),
                    std::max(1000, (f.minLabelLength + 5) / 10), nullptr);
  names.push_back(roll);
  data->num_media = int(names.size());
  for (size_t i = 0; i < names.size(); ++i) data->media[i] = names[i].c_str();
  data->num_source = 1;
  data->source[0] = "main-roll";
  data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK;
  static const char* const kTypes[] = {"labels", "labels-black-mark", "continuous", "continuous-long"};
  data->num_type = 4;
  for (int i = 0; i < 4; ++i) data->type[i] = kTypes[i];
  if (!f.stocks.empty()) {
    const lblipp::StockFacts& s = f.stocks.front();
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
  // IPP Everywhere's descriptions that PAPPL leaves to the driver. One-sided, monochrome printing has
  // nothing to choose in them.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  static const char* const kOverrides[] = {"document-number", "pages"};
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, kOverrides);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
  ctx.release();
  return true;
}

void Created(pappl_printer_t* printer, void* data) {
  (void)data;
  // A printer added in the web interface or with Create-Printer joins the store; those the
  // server creates from the store are there already.
  bool fromStore = false;
  {
    std::lock_guard<std::mutex> g(g_pendingMutex);
    fromStore = g_pending && g_pending->name == papplPrinterGetName(printer);
  }
  if (!fromStore) {
    pappl_pr_driver_data_t d;
    papplPrinterGetDriverData(printer, &d);
    const auto* ctx = static_cast<PrinterContext*>(d.extension);
    lblipp::PrinterEntry entry;
    entry.name = papplPrinterGetName(printer);
    entry.driver = ctx ? ctx->facts.driver : "";
    entry.deviceUri = papplPrinterGetDeviceURI(printer);
    std::string error;
    if (!ctx || !lblipp::OpenFileStore(Config().stateDir)->Add(&entry, &error))
      papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "Not kept for the next start: %s", error.c_str());
  }
  SetUpSupplies(printer);
}

}  // namespace

void SetUpSupplies(pappl_printer_t* printer) {
  pappl_pr_driver_data_t d;
  papplPrinterGetDriverData(printer, &d);
  const auto* ctx = static_cast<PrinterContext*>(d.extension);
  pappl_supply_t supplies[2] = {};
  int n = 0;
  supplies[n].color = PAPPL_SUPPLY_COLOR_NO_COLOR;
  papplCopyString(supplies[n].description, "Labels", sizeof supplies[n].description);
  supplies[n].is_consumed = true;
  supplies[n].level = -1;
  supplies[n++].type = PAPPL_SUPPLY_TYPE_OTHER;
  if (ctx && ctx->facts.thermalTransfer) {
    supplies[n].color = PAPPL_SUPPLY_COLOR_BLACK;
    papplCopyString(supplies[n].description, "Ribbon", sizeof supplies[n].description);
    supplies[n].is_consumed = true;
    supplies[n].level = -1;
    supplies[n++].type = PAPPL_SUPPLY_TYPE_INK_RIBBON;
  }
  papplPrinterSetSupplies(printer, n, supplies);
}

std::string DriverForDeviceId(const char* deviceId) {
  const char* key = AutoAdd(nullptr, nullptr, deviceId, nullptr);
  return key ? Table().catalogueOf.at(key) : "";
}

std::string PapplDriverName(const std::string& driver) {
  for (const auto& [key, name] : Table().catalogueOf)
    if (name == driver) return key;
  return {};
}

void SetPendingPrinter(const lblipp::PrinterEntry* entry) {
  std::lock_guard<std::mutex> g(g_pendingMutex);
  if (entry)
    g_pending = *entry;
  else
    g_pending.reset();
}

void RegisterDrivers(pappl_system_t* system) {
  DriverTable& t = Table();
  papplSystemSetPrinterDrivers(system, int(t.drivers.size()), t.drivers.data(), AutoAdd, Created, Configure, nullptr);
}

}  // namespace lblserve
