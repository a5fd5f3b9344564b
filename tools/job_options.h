// The job options of the lbl commands that submit or check a job (check-job, print): which printer
// model, which paper or size, orientation and copies, turned into the DEVMODE an application would pass.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/platform.h"
#include "tools/command_help.h"

namespace lbl {

struct JobOptions {
  std::string printer;     // --printer NAME: an installed printer of the machine
  std::string model;       // --model DRIVER-NAME: a freshly installed printer of that model, not kept
                           // neither: the machine's default printer
  std::string paper;       // --paper NAME: a stock of the printer's paper list
  bool hasSize = false;    // --size WxH: a paper size of its own, millimetres
  int widthTenths = 0;     // tenths of a millimetre
  int lengthTenths = 0;
  int orientation = 0;     // --orientation portrait|landscape: DMORIENT_*; 0 keeps the printer's
  int copies = 0;          // --copies N; 0 keeps the printer's
};

// The options, for the commands' help pages and the shell completion. The first two choose the
// printer (--printer, --model); PrinterOptionTable() is them alone.
const std::vector<OptionSpec>& JobOptionTable();
std::vector<OptionSpec> PrinterOptionTable();

// True for text that reads as a size ("4x6", "100 x 150 mm", "4x6in") rather than a paper name.
bool LooksLikeSize(const std::string& text);

// --paper NAME against the printer's paper list `papers` (its "FORMS" names): false with a usage
// message for a name not on it, listing the names, and pointing a size written as a name to --size.
bool CheckPaperName(const JobOptions& opts, const std::string& driver, const std::vector<std::string>& papers,
                    std::string* error);

// One command-line option: "--name=value" gives the name and its inline value (true); any other
// argument is a name alone (false, `value` cleared).
bool SplitOption(const std::string& arg, std::string* name, std::string* value);
// The value of option `name` at args[*i]: the inline one, else the next argument (*i moves on to it).
// False with "NAME needs a value" when there is none.
bool TakeOptionValue(const std::vector<std::string>& args, size_t* i, const std::string& name, bool inlineValue,
                     std::string* value, std::string* error);

// Removes every "OPTION VALUE" and "OPTION=VALUE" from the command line, wherever it stands (the options
// of every command), handing each value to `take`, which returns 0 or a usage error's exit status that
// ends the scan. A missing or empty value prints `missing` as the usage error.
int TakeGlobalOption(std::vector<std::string>* args, const std::string& option, const std::string& missing,
                     const std::function<int(const std::string& value)>& take);

// Takes the job options (and their values) out of `args`; what is left stays in order. "--name value"
// and "--name=value" are accepted. False with a message for a bad value, a missing value, --paper
// together with --size, or --printer together with --model.
bool ParseJobOptions(std::vector<std::string>* args, JobOptions* out, std::string* error);
// Only --printer and --model, for the commands that take no other job option.
bool ParsePrinterOptions(std::vector<std::string>* args, JobOptions* out, std::string* error);

// The job DEVMODE for `opts`, as an application starts from the printer's settings: the model's
// defaults (FillDevmodeDefaults with the model record built from its data file and the catalogue in
// `catalogue`) with the printer's default DEVMODE merged over them (its Printing Preferences), then the
// options applied. --paper selects
// the "FORMS" entry of that name by its number (256 + position), size and name; a name that is not in the
// list is passed by name only. --size passes a user-defined size (256) without a form name.
bool BuildJobDevmode(HANDLE printer, HMODULE catalogue, const JobOptions& opts, PrinterDevmode* out,
                     std::string* error);

}  // namespace lbl
