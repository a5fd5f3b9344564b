#include "tools/job_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/model.h"
#include "common/wstr.h"

namespace lbl {

const std::vector<OptionSpec>& JobOptionTable() {
  static const std::vector<OptionSpec> table = {
      {"--model", "DRIVER-NAME", "the printer model (default: the embedded default printer; 'lbl models' lists them)",
       "@models"},
      {"--paper", "NAME", "a paper of the printer's list, by name ('lbl model' shows the list)"},
      {"--size", "WxH", "a paper size of its own in millimetres, e.g. 100x150 or 101.6x152.4"},
      {"--orientation", "portrait|landscape", "the page's orientation", "portrait landscape"},
      {"--copies", "N", "1 to 32767"},
  };
  return table;
}

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

bool ParseMillimetres(const std::string& text, int* tenths) {
  char* end = nullptr;
  double mm = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(mm >= 0.1 && mm <= 3276.7)) return false;
  *tenths = static_cast<int>(std::lround(mm * 10));
  return true;
}

bool ParseSize(const std::string& value, JobOptions* out) {
  size_t x = value.find_first_of("xX");
  if (x == std::string::npos) return false;
  return ParseMillimetres(value.substr(0, x), &out->widthTenths) &&
         ParseMillimetres(value.substr(x + 1), &out->lengthTenths);
}

bool ParseCount(const std::string& value, int* n) {
  char* end = nullptr;
  long v = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end || v < 1 || v > 32767) return false;
  *n = static_cast<int>(v);
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

bool ParseJobOptions(std::vector<std::string>* args, JobOptions* out, std::string* error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string arg = (*args)[i];
    std::string name, value;
    const bool inlineValue = SplitOption(arg, &name, &value);
    const auto& table = JobOptionTable();
    if (std::none_of(table.begin(), table.end(), [&](const OptionSpec& o) { return name == o.name; })) {
      rest.push_back(arg);
      continue;
    }
    if (!TakeOptionValue(*args, &i, name, inlineValue, &value, error)) return false;
    bool ok = true;
    if (name == "--model") {
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
    } else {
      ok = ParseCount(value, &out->copies);
    }
    if (!ok) {
      *error = "bad value for " + name + ": '" + value + "'";
      return false;
    }
  }
  if (out->hasSize && !out->paper.empty()) {
    *error = "--paper and --size exclude each other";
    return false;
  }
  *args = rest;
  return true;
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
