// lbl discover: the installer's printer discovery on the simulated machine.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

CommandSpec DiscoverCommand();
// 0 discovery ran, 1 it could not run, 2 usage error.
int RunDiscover(const std::vector<std::string>& args);

}  // namespace lbl
