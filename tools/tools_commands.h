// The lbl commands of the printer tools page: captured jobs (lbl tools) and the firmware update of a TWL
// printer (lbl firmware), run on the simulated machine with the page's own operations.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec ToolsCommand();
CommandSpec FirmwareCommand();

}  // namespace lbl
