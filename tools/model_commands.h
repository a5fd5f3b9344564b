// The lbl commands that show the records the driver builds: model, defaults and models.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec ModelCommand();
CommandSpec DefaultsCommand();
CommandSpec ModelsCommand();

}  // namespace lbl
