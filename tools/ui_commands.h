// The lbl commands that run the user-interface DLL: caps and check-job.
#pragma once

#include <string>
#include <vector>

namespace lbl {

extern const char* const kCapsUsage;
extern const char* const kCapsHelp;
extern const char* const kCheckJobUsage;
const char* CheckJobHelp();

// Exit status as the lbl command's: 0 success, 1 failure (message on stderr), 2 usage error.
int RunCaps(const std::vector<std::string>& args);
// 0 when the job can print, 1 when it is refused (the explanation on stderr) or the check failed.
int RunCheckJob(const std::vector<std::string>& args);

}  // namespace lbl
