// lbl wizard: the installer's wizard on the simulated machine, driven by scripted actions.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec WizardCommand();

}  // namespace lbl
