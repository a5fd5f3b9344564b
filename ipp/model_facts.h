// What an IPP printer says about itself comes from the same model record, paper list and defaults
// the Windows driver builds: read from the printer on the simulated machine (its stocks and its
// Printing Preferences included) and kept as plain values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lblipp {

// A stock of the printer's paper list ("FORMS"), lengths in micrometres.
struct StockFacts {
  std::string name;     // as the driver names it, "4 x 6"
  std::string pwgName;  // the IPP media keyword that selects it (NameStocks)
  int32_t width = 0, length = 0;
  int32_t marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
  uint32_t mediaType = 0;  // kPaperGap, kPaperBlackMark, kPaperContinuous or kPaperContinuousUnfixed
  int32_t gap = 0, gapOffset = 0;
  int32_t speed = 0, darkness = 0;  // the stock's own (0: none), stored as the settings store them
  bool operator==(const StockFacts&) const = default;
};

struct ModelFacts {
  std::string printer;  // the printer on the machine they were read of
  std::string driver;   // "Tarnwell TW-QX"
  std::string vendor, model;
  int dpi = 0;
  int32_t maxWidth = 0, maxLength = 0, minLabelWidth = 0, minLabelLength = 0;  // micrometres
  // The defaults below are the printer's: the driver's defaults for the model merged with what the
  // printer's Printing Preferences stored.
  // Hundredths of an inch per second; speedDefault 0 = the printer's own setting.
  int speedMin = 0, speedMax = 0, speedStep = 0, speedDefault = 0;
  int darknessMax = 0;      // stored darkness values run from 1 to darknessMax
  int darknessDefault = 0;  // stored form (level + 1); 0 = the printer's own setting
  bool cutter = false, peeler = false, thermalTransfer = false;
  uint16_t languageSet = 0;      // catalogue bits: 1 ESC, 2 TSPL, 4 ZPL, 8 TWL
  uint32_t defaultLanguage = 0;  // PrintLanguage the driver's defaults choose
  uint32_t postAction = 0, ditherLevel = 0, flags = 0;
  int32_t feedOffset = 0;   // micrometres
  int orientation = 1;      // DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE
  std::vector<StockFacts> stocks;  // the entries in use, without the reserved entry 0
  std::string defaultStock;        // the stock of the default settings, by name or size ("" for none)
  bool operator==(const ModelFacts&) const = default;
};

// Installs the printer of `driver` on the simulated machine (holding MachineMutex) as lbl print does
// and reads its facts. False with a message for an unknown driver or an unreadable model.
bool ReadModelFacts(const std::string& driver, ModelFacts* out, std::string* error);
// The facts of the installed printer `printer` of the machine as it is (the caller holds
// MachineMutex). False with a message when there is no such printer or its model is unreadable.
bool ReadPrinterFacts(const std::string& printer, ModelFacts* out, std::string* error);

// ---- units between IPP and the settings record ----

// The catalogue language bit of a PrintLanguage value.
uint16_t LanguageBit(uint32_t printLanguage);
// "tspl", "zpl", "esc", "twl"; PrintLanguage from such a name (false for another name).
const char* LanguageKeyword(uint32_t printLanguage);
bool LanguageFromKeyword(const std::string& keyword, uint32_t* printLanguage);
// The printer's language: `requested` when the model speaks it, else the driver's default when the
// model lists it, else the first the model lists (ZPL, TSPL, ESC, TWL). False when `requested` names a
// language the model does not speak (out untouched).
bool ChoosePrinterLanguage(const ModelFacts& facts, const std::string& requested, uint32_t* out, std::string* error);

// print-speed is in hundredths of a millimetre per second, the settings' speed in hundredths of an
// inch per second. The reverse snaps to the model's steps from its lowest speed, within its range.
int SpeedToIpp(int hundredthsInch);
int SpeedFromIpp(const ModelFacts& facts, int ippSpeed);

// printer-darkness-configured is a percentage of the darkness range; print-darkness (-100 to 100)
// moves it. Stored darkness is the level plus one, 1 to darknessMax.
int DarknessToPercent(const ModelFacts& facts, int stored);
int DarknessFromPercent(const ModelFacts& facts, int percent);

// The dithering methods by keyword, as the pipeline's DitherLevel numbers them.
struct DitherMethod {
  const char* keyword;
  uint32_t level;
};
const std::vector<DitherMethod>& DitherMethods();
const char* DitherKeyword(uint32_t level);  // levels above 9 are the fixed threshold, as in the pipeline

}  // namespace lblipp
