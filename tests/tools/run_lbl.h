// Runs the lbl program as a person would from a shell: its exit status, standard output and error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <iterator>
#include <string>

namespace lbltest {

struct Ran {
  int status = -1;
  std::string out, err;
};

// The state folder of the running test: each test starts with a freshly installed machine of its own
// (made by its first lbl command), and its commands share it as a person's commands share theirs.
inline std::string TestStateDir() {
  const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = t ? std::string(t->test_suite_name()) + "." + t->name() : "outside-tests";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
  const std::string dir = testing::TempDir() + "/lbl-state-" + std::to_string(getpid()) + "-" + name;
  // Removed when the test program ends.
  static struct Folders {
    std::set<std::string> started;
    ~Folders() {
      std::error_code ec;
      for (const auto& d : started) std::filesystem::remove_all(d, ec);
    }
  } folders;
  if (folders.started.insert(dir).second) std::filesystem::remove_all(dir);
  return dir;
}

// `args` as a shell splits them, with the test's state folder; standard error goes through `errFile`.
inline Ran RunLbl(const std::string& exe, const std::string& args, const std::string& errFile) {
  const std::string cmd = "LBL_STATE_DIR='" + TestStateDir() + "' " + exe + " " + args + " 2>" + errFile;
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
