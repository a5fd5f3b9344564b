// lbl serve and lbl printer: the printer application and the printers it serves.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec ServeCommand();
CommandSpec PrinterCommand();

}  // namespace lbl
