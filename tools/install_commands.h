// The lbl commands that run the install engine on the simulated machine: install and uninstall.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec InstallCommand();
CommandSpec UninstallCommand();

}  // namespace lbl
