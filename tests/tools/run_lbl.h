// Runs the lbl program as a person would from a shell: its exit status, standard output and error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace lbltest {

struct Ran {
  int status = -1;
  std::string out, err;
};

// `args` as a shell splits them; standard error goes through `errFile`.
inline Ran RunLbl(const std::string& exe, const std::string& args, const std::string& errFile) {
  const std::string cmd = exe + " " + args + " 2>" + errFile;
  Ran r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = p ? pclose(p) : -1;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream e(errFile);
  r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
  return r;
}

#ifdef LBL_EXE
// The lbl program of this build; standard error through a file of this test process's own.
inline Ran Lbl(const std::string& args) {
  return RunLbl(LBL_EXE, args, testing::TempDir() + "/lbl_stderr_" + std::to_string(getpid()) + ".txt");
}
#endif

}  // namespace lbltest
