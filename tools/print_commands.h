// The lbl commands print and view.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

CommandSpec PrintCommand();
CommandSpec ViewCommand();

// Exit status as the lbl command's: 0 success, 1 failure (message on stderr), 2 usage error.
int RunPrintCommand(const std::vector<std::string>& args);
// 1 also when the stream is malformed (the message names the byte offset).
int RunViewCommand(const std::vector<std::string>& args);

}  // namespace lbl
