#include "ipp/model_facts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "common/devmode.h"
#include "common/model.h"
#include "common/paper.h"
#include "common/wstr.h"
#include "ipp/machine.h"
#include "tools/embedded.h"
#include "tools/job_options.h"
#include "tools/print_job.h"
#include "winsim/spooler.h"

namespace lblipp {

uint16_t LanguageBit(uint32_t printLanguage) {
  switch (printLanguage) {
    case kLangTwl: return kLangBitTwl;
    case kLangEsc: return kLangBitEsc;
    case kLangTspl: return kLangBitTspl;
    case kLangZpl: return kLangBitZpl;
  }
  return 0;
}

const char* LanguageKeyword(uint32_t printLanguage) {
  switch (printLanguage) {
    case kLangTwl: return "twl";
    case kLangEsc: return "esc";
    case kLangTspl: return "tspl";
    case kLangZpl: return "zpl";
  }
  return "";
}

bool LanguageFromKeyword(const std::string& keyword, uint32_t* printLanguage) {
  for (uint32_t l : {kLangTwl, kLangEsc, kLangTspl, kLangZpl})
    if (keyword == LanguageKeyword(l)) {
      *printLanguage = l;
      return true;
    }
  return false;
}

bool ChoosePrinterLanguage(const ModelFacts& facts, const std::string& requested, uint32_t* out, std::string* error) {
  if (!requested.empty()) {
    uint32_t l = 0;
    if (!LanguageFromKeyword(requested, &l)) {
      *error = "unknown language '" + requested + "' (tspl, zpl, esc or twl)";
      return false;
    }
    if (!(facts.languageSet & LanguageBit(l))) {
      std::string spoken;
      for (uint32_t c : {kLangZpl, kLangTspl, kLangEsc, kLangTwl})
        if (facts.languageSet & LanguageBit(c)) spoken += std::string(spoken.empty() ? "" : ", ") + LanguageKeyword(c);
      *error = facts.driver + " does not speak " + requested + " (it speaks " + spoken + ")";
      return false;
    }
    *out = l;
    return true;
  }
  if (facts.languageSet & LanguageBit(facts.defaultLanguage)) {
    *out = facts.defaultLanguage;
    return true;
  }
  for (uint32_t c : {kLangZpl, kLangTspl, kLangEsc, kLangTwl})
    if (facts.languageSet & LanguageBit(c)) {
      *out = c;
      return true;
    }
  *out = facts.defaultLanguage;
  return true;
}

int SpeedToIpp(int hundredthsInch) { return (hundredthsInch * 254 + 5) / 10; }

int SpeedFromIpp(const ModelFacts& f, int ippSpeed) {
  if (f.speedMax <= 0) return 0;
  const int step = std::max(1, f.speedStep);
  const long wanted = std::lround(double(ippSpeed) * 10.0 / 254.0);
  if (wanted <= f.speedMin) return f.speedMin;
  if (wanted >= f.speedMax) return f.speedMax;
  const long steps = std::lround(double(wanted - f.speedMin) / step);
  return int(std::min<long>(f.speedMin + steps * step, f.speedMax));
}

int DarknessToPercent(const ModelFacts& f, int stored) {
  if (f.darknessMax <= 1 || stored <= 0) return 0;
  stored = std::min(stored, f.darknessMax);
  return int(std::lround((stored - 1) * 100.0 / (f.darknessMax - 1)));
}

int DarknessFromPercent(const ModelFacts& f, int percent) {
  if (f.darknessMax <= 1) return 1;
  percent = std::clamp(percent, 0, 100);
  return int(std::lround(percent * (f.darknessMax - 1) / 100.0)) + 1;
}

const std::vector<DitherMethod>& DitherMethods() {
  static const std::vector<DitherMethod> methods = {
      {"threshold", 8},       {"adaptive", 1},         {"burkes", 2},
      {"stucki", 3},          {"jarvis-judice-ninke", 4}, {"sierra", 5},
      {"stevenson-arce", 6},  {"ordered", 7},          {"floyd-steinberg", 0},
  };
  return methods;
}

const char* DitherKeyword(uint32_t level) {
  if (level == 9) level = 0;
  if (level > 9) level = 8;
  for (const DitherMethod& m : DitherMethods())
    if (m.level == level) return m.keyword;
  return "threshold";
}

bool ReadModelFacts(const std::string& driver, ModelFacts* out, std::string* error) {
  *out = ModelFacts{};
  if (!lbl::IsKnownDriver(driver)) {
    *error = "unknown model \"" + driver + "\" (see 'lbl models')";
    return false;
  }
  std::lock_guard<std::mutex> lock(MachineMutex());
  return lbl::InstallInitialisedPrinter(driver, error) && ReadPrinterFacts(driver, out, error);
}

bool ReadPrinterFacts(const std::string& printerName, ModelFacts* out, std::string* error) {
  *out = ModelFacts{};
  std::string driver;
  for (const auto& p : winsim::Printers())
    if (WideToUtf8(p.name) == printerName) driver = WideToUtf8(p.driver);
  if (driver.empty()) {
    *error = "no printer named \"" + printerName + "\" is installed";
    return false;
  }
  WString name = Utf8ToWide(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + printerName + "\"";
    return false;
  }
  WCHAR modelName[32] = {};
  ModelRecord* model = LoadModelRecord(printer, modelName, lbl::CatalogueModule());
  if (!model) {
    ClosePrinter(printer);
    *error = "cannot build the model record of \"" + printerName + "\"";
    return false;
  }
  auto scratch = std::make_unique<PrinterDevmode>();
  FillDevmodeDefaults(model, modelName, scratch.get());  // may narrow the model (ESC darkness)
  // The defaults an application gets from the printer: its Printing Preferences over the model's.
  auto defaults = std::make_unique<PrinterDevmode>();
  if (!lbl::BuildJobDevmode(printer, lbl::CatalogueModule(), lbl::JobOptions{}, defaults.get(), error)) {
    FreeModelRecord(model);
    ClosePrinter(printer);
    return false;
  }
  ModelFacts& f = *out;
  f.printer = printerName;
  f.driver = driver;
  f.vendor = driver.substr(0, driver.find(' '));
  f.model = driver.substr(driver.find(' ') + 1);
  f.dpi = int(model->XDpi);
  f.maxWidth = model->MaxWidth;
  f.maxLength = model->MaxLength;
  f.minLabelWidth = model->MinLabelWidth;
  f.minLabelLength = model->MinLabelLength;
  f.speedMin = model->SpeedMin;
  f.speedMax = model->SpeedMax;
  f.speedStep = model->SpeedStep;
  f.speedDefault = int(defaults->Speed);
  f.darknessMax = model->DarknessMax;
  f.darknessDefault = int(defaults->Darkness);
  f.cutter = model->Accessories & 1;
  f.peeler = model->Accessories & 2;
  f.thermalTransfer = model->Flags & 4;
  f.languageSet = model->LanguageSet;
  f.defaultLanguage = defaults->PrintLanguage;
  f.postAction = defaults->PostAction;
  f.ditherLevel = defaults->DitherLevel;
  f.flags = defaults->Flags;
  f.feedOffset = defaults->FeedOffset;
  f.orientation = defaults->dm.dmOrientation;
  const std::string formName =
      defaults->dm.dmFields & DM_FORMNAME
          ? WideToUtf8(WString(defaults->dm.dmFormName, WStrNLen(defaults->dm.dmFormName, CCHFORMNAME)).c_str())
          : std::string();
  const int32_t paperWidth = int32_t(defaults->dm.dmPaperWidth) * 100, paperLength = int32_t(defaults->dm.dmPaperLength) * 100;
  FreeModelRecord(model);

  int count = 0;
  PaperRecord* list = ReadPaperList(printer, &count);
  ClosePrinter(printer);
  for (int i = 1; i < count; ++i) {
    const PaperRecord& p = list[i];
    if (!(p.Flags & kPaperInUse) || p.Width <= 0 || p.Length <= 0) continue;
    StockFacts s;
    s.name = WideToUtf8(WString(p.Name, WStrNLen(p.Name, kPaperNameChars)).c_str());
    s.width = p.Width;
    s.length = p.Length;
    s.marginLeft = p.MarginLeft;
    s.marginTop = p.MarginTop;
    s.marginRight = p.MarginRight;
    s.marginBottom = p.MarginBottom;
    s.mediaType = p.Flags & kPaperMediaMask;
    s.gap = p.GapHeight;
    s.gapOffset = p.GapOffset;
    s.speed = p.Speed;
    s.darkness = p.Darkness;
    f.stocks.push_back(std::move(s));
  }
  if (list) LocalFree(list);
  // The default stock: the one the default settings name, else (a size of their own, "USER") the
  // first stock of that size.
  for (const StockFacts& s : f.stocks)
    if (s.name == formName) f.defaultStock = s.name;
  for (const StockFacts& s : f.stocks)
    if (f.defaultStock.empty() && std::abs(s.width - paperWidth) <= 100 && std::abs(s.length - paperLength) <= 100)
      f.defaultStock = s.name;
  return true;
}

}  // namespace lblipp
