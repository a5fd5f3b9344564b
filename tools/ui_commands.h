// The lbl commands that run the user-interface DLL: caps and check-job.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

CommandSpec CapsCommand();
CommandSpec CheckJobCommand();

// Exit status as the lbl command's: 0 success, 1 failure (message on stderr), 2 usage error.
int RunCaps(const std::vector<std::string>& args);
// 0 when the job can print, 1 when it is refused (the explanation on stderr) or the check failed.
int RunCheckJob(const std::vector<std::string>& args);

}  // namespace lbl
