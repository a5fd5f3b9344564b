// The lbl commands that run the install engine on the simulated machine: install and uninstall.
#pragma once

#include <string>

#include "tools/command_help.h"

namespace lbl {

// The package folder on the simulated machine's C: - the generated INF, and stand-ins for the DLLs and the
// data file (the spooler here loads the built modules by name, not these bytes).
extern const char16_t kPackage[];
bool PreparePackage(std::string* error);

CommandSpec InstallCommand();
CommandSpec UninstallCommand();

}  // namespace lbl
