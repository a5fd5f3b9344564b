#include "tools/job_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/model.h"
#include "common/wstr.h"
#include "tools/numbers.h"

namespace lbl {

const std::vector<OptionSpec>& JobOptionTable() {
  static const std::vector<OptionSpec> table = {
      {"--printer", "NAME", "an installed printer ('lbl printers' lists them; default: the default printer)",
       "@printers"},
      {"--model", "DRIVER-NAME",
       "a freshly installed printer of this model instead, on a machine of its own that is\n"
       "not kept ('lbl models' lists them)",
       "@models"},
      {"--paper", "NAME", "a paper of the printer's list, by name ('lbl model' shows the list)"},
      {"--size", "WxH", "a paper size of its own in millimetres, e.g. 100x150 or 101.6x152.4"},
      {"--orientation", "portrait|landscape", "the page's orientation", "portrait landscape"},
      {"--copies", "N", "1 to 32767"},
  };
  return table;
}

std::vector<OptionSpec> PrinterOptionTable() { return {JobOptionTable()[0], JobOptionTable()[1]}; }

bool LooksLikeSize(const std::string& text) {
  size_t i = 0;
  auto spaces = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  auto number = [&] {
    const size_t start = i;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
    return i > start;
  };
  auto unit = [&] {
    for (const char* u : {"mm", "in", "\"", "cm"})
      if (text.compare(i, std::strlen(u), u) == 0) {
        i += std::strlen(u);
        break;
      }
  };
  spaces();
  if (!number()) return false;
  spaces();
  unit();
  spaces();
  if (i >= text.size() || (text[i] != 'x' && text[i] != 'X')) return false;
  ++i;
  spaces();
  if (!number()) return false;
  spaces();
  unit();
  spaces();
  return i == text.size();
}

bool CheckPaperName(const JobOptions& opts, const std::string& driver, const std::vector<std::string>& papers,
                    std::string* error) {
  if (opts.paper.empty() || std::find(papers.begin(), papers.end(), opts.paper) != papers.end()) return true;
  std::string names;
  for (const std::string& p : papers) names += (names.empty() ? "\"" : ", \"") + p + "\"";
  *error = "unknown paper '" + opts.paper + "' for " + driver;
  if (LooksLikeSize(opts.paper)) {
    *error += "; for a size of its own give --size WxH in millimetres (e.g. --size 101.6x152.4)";
    auto squeeze = [](const std::string& t) {
      std::string out;
      for (char c : t)
        if (c != ' ') out += char(std::tolower(static_cast<unsigned char>(c)));
      return out;
    };
    for (const std::string& p : papers)
      if (squeeze(p) == squeeze(opts.paper)) *error += "; or the paper \"" + p + "\"";
  }
  *error += "; the papers of " + driver + ": " + (names.empty() ? "none" : names);
  return false;
}

namespace {

bool ParseSize(const std::string& value, JobOptions* out) {
  size_t x = value.find_first_of("xX");
  if (x == std::string::npos) return false;
  double width = 0, length = 0;
  // The DEVMODE keeps tenths of a millimetre: a finer size would be rounded without a word.
  if (!ParseDecimal(value.substr(0, x), 0.1, 3276.7, &width, 1) ||
      !ParseDecimal(value.substr(x + 1), 0.1, 3276.7, &length, 1))
    return false;
  out->widthTenths = static_cast<int>(std::lround(width * 10));
  out->lengthTenths = static_cast<int>(std::lround(length * 10));
  return true;
}

}  // namespace

bool SplitOption(const std::string& arg, std::string* name, std::string* value) {
  if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
    *name = arg.substr(0, eq);
    *value = arg.substr(eq + 1);
    return true;
  }
  *name = arg;
  value->clear();
  return false;
}

bool TakeOptionValue(const std::vector<std::string>& args, size_t* i, const std::string& name, bool inlineValue,
                     std::string* value, std::string* error) {
  if (inlineValue) return true;
  if (*i + 1 >= args.size()) {
    *error = name + " needs a value";
    return false;
  }
  *value = args[++*i];
  return true;
}

int TakeGlobalOption(std::vector<std::string>* args, const std::string& option, const std::string& missing,
                     const std::function<int(const std::string& value)>& take) {
  for (size_t i = 0; i < args->size(); ++i) {
    std::string name, value;
    const bool inlineValue = SplitOption((*args)[i], &name, &value);
    if (name != option) continue;
    const size_t taken = inlineValue ? 1 : 2;
    if (!inlineValue && i + 1 < args->size()) value = (*args)[i + 1];
    if (value.empty()) {
      std::fprintf(stderr, "lbl: %s\n", missing.c_str());
      return 2;
    }
    if (int status = take(value)) return status;
    args->erase(args->begin() + long(i), args->begin() + long(i + taken));
    --i;
  }
  return 0;
}

namespace {

bool TakeJobOptions(std::vector<std::string>* args, const std::vector<OptionSpec>& table, JobOptions* out,
                    std::string* error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string arg = (*args)[i];
    std::string name, value;
    const bool inlineValue = SplitOption(arg, &name, &value);
    if (std::none_of(table.begin(), table.end(), [&](const OptionSpec& o) { return name == o.name; })) {
      rest.push_back(arg);
      continue;
    }
    if (!TakeOptionValue(*args, &i, name, inlineValue, &value, error)) return false;
    bool ok = true;
    if (name == "--printer") {
      out->printer = value;
      ok = !value.empty();
    } else if (name == "--model") {
      out->model = value;
      ok = !value.empty();
    } else if (name == "--paper") {
      out->paper = value;
      ok = !value.empty() && value.size() < kPaperNameChars;
    } else if (name == "--size") {
      ok = out->hasSize = ParseSize(value, out);
    } else if (name == "--orientation") {
      if (value == "portrait")
        out->orientation = DMORIENT_PORTRAIT;
      else if (value == "landscape")
        out->orientation = DMORIENT_LANDSCAPE;
      else
        ok = false;
    } else if (!OptionWholeInto(name, value, 1, 32767, &out->copies, error, "a count")) {
      return false;
    }
    if (!ok) {
      *error = "bad value for " + name + ": '" + value + "'";
      if (name == "--size") *error += " (WxH in millimetres, each from 0.1 to 3276.7, at most 1 decimal)";
      return false;
    }
  }
  if (out->hasSize && !out->paper.empty()) {
    *error = "--paper and --size exclude each other";
    return false;
  }
  if (!out->printer.empty() && !out->model.empty()) {
    *error = "--printer and --model exclude each other";
    return false;
  }
  *args = rest;
  return true;
}

}  // namespace

bool ParseJobOptions(std::vector<std::string>* args, JobOptions* out, std::string* error) {
  return TakeJobOptions(args, JobOptionTable(), out, error);
}

bool ParsePrinterOptions(std::vector<std::string>* args, JobOptions* out, std::string* error) {
  return TakeJobOptions(args, PrinterOptionTable(), out, error);
}

bool BuildJobDevmode(HANDLE printer, HMODULE catalogue, const JobOptions& opts, PrinterDevmode* out,
                     std::string* error) {
  WCHAR name[32] = {};
  ModelRecord* model = LoadModelRecord(printer, name, catalogue);
  if (!model) {
    *error = "cannot build the model record of the printer (data file missing or invalid)";
    return false;
  }
  FillDevmodeDefaults(model, name, out);
  // The printer's own defaults (its Printing Preferences), as DocumentProperties gives them to an
  // application; the same merge the driver makes of them.
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<uint8_t> info(needed);
  if (needed >= sizeof(PRINTER_INFO_2W) && GetPrinterW(printer, 2, info.data(), needed, &needed)) {
    const auto* stored = reinterpret_cast<const uint8_t*>(reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pDevMode);
    if (stored && stored >= info.data() && stored < info.data() + needed)
      MergeDevmode(printer, model, reinterpret_cast<const DEVMODEW*>(stored), out, size_t(info.data() + needed - stored));
  }
  FreeModelRecord(model);
  DEVMODEW& dm = out->dm;
  if (!opts.paper.empty()) {
    WString paper = Utf8ToWide(opts.paper);
    int count = 0;
    PaperRecord* list = ReadPaperList(printer, &count);
    int at = FindPaperByName(list, count, paper.c_str());
    dm.dmFields &= ~kPaperFieldsMask;
    dm.dmFields |= DM_FORMNAME;
    WStrCopy(dm.dmFormName, CCHFORMNAME, paper.c_str());
    if (at >= 0) {
      dm.dmFields |= DM_PAPERSIZE;
      dm.dmPaperSize = static_cast<SHORT>(list[at].Index);
      dm.dmPaperWidth = static_cast<SHORT>((list[at].Width + 50) / 100);
      dm.dmPaperLength = static_cast<SHORT>((list[at].Length + 50) / 100);
    }
    if (list) LocalFree(list);
  } else if (opts.hasSize) {
    dm.dmFields = (dm.dmFields & ~kPaperFieldsMask) | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
    dm.dmPaperSize = DMPAPER_USER;
    dm.dmPaperWidth = static_cast<SHORT>(opts.widthTenths);
    dm.dmPaperLength = static_cast<SHORT>(opts.lengthTenths);
    dm.dmFormName[0] = 0;
  }
  if (opts.orientation) {
    dm.dmFields |= DM_ORIENTATION;
    dm.dmOrientation = static_cast<SHORT>(opts.orientation);
  }
  if (opts.copies) {
    dm.dmFields |= DM_COPIES;
    dm.dmCopies = static_cast<SHORT>(opts.copies);
  }
  return true;
}

}  // namespace lbl
