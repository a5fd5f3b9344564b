// The lbl commands that run the user-interface DLL: caps and check-job, and what they share with sheet.
#pragma once

#include <string>
#include <vector>

#include "common/platform.h"
#include "common/wstr.h"
#include "tools/command_help.h"
#include "tools/embedded.h"
#include "winsim/printpath.h"

namespace lbl {

// The printer a command acts on (see OpenTargetPrinter), open for use with the user-interface
// library loaded; the library stays loaded while this lives.
struct UiPrinter {
  HMODULE ui = nullptr;
  HANDLE printer = nullptr;
  WString name;
  TargetPrinter target;
  ~UiPrinter();
  template <class Fn>
  Fn* Proc(const char* fn) const {
    return reinterpret_cast<Fn*>(winsim::GetModuleProc(ui, fn));
  }
};
// `printer` (--printer) or `model` (--model), else the default printer.
bool OpenUiPrinter(const std::string& printer, const std::string& model, UiPrinter* out, std::string* error);

CommandSpec CapsCommand();
CommandSpec CheckJobCommand();

// Exit status as the lbl command's: 0 success, 1 failure (message on stderr), 2 usage error.
int RunCaps(const std::vector<std::string>& args);
// 0 when the job can print, 1 when it is refused (the explanation on stderr) or the check failed.
int RunCheckJob(const std::vector<std::string>& args);

}  // namespace lbl
