// Runs the lbl program as a person would from a shell: its exit status, standard output and error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <iterator>
#include <string>
#include <thread>

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

// Runs the shell command `command` in a process group of its own until `ready` holds, then sends the group
// SIGINT as Ctrl-C does and waits until every process of it has ended: the shell's exit status (-1: ended
// by a signal or killed), standard output and error. `ready` is looked at every 0.1 s for up to a minute,
// however slow the machine, and no longer once the command has ended; a command that ignores the SIGINT is
// killed after another minute.
inline Ran RunUntilInterrupted(const std::string& command, const std::function<bool()>& ready) {
  const std::string base = testing::TempDir() + "/interrupted_" + std::to_string(getpid());
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const std::string line = "{ " + command + "\n} >'" + base + ".out' 2>'" + base + ".err'";
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Ran r;
  if (pid < 0) return r;
  setpgid(pid, pid);  // before the first signal, whichever process runs first
  int status = 0;
  bool reaped = false;
  auto ended = [&] {
    if (!reaped) reaped = waitpid(pid, &status, WNOHANG) == pid;
    return reaped && kill(-pid, 0) != 0;  // the shell and what it started
  };
  auto waitUntil = [&](std::chrono::steady_clock::time_point until, const std::function<bool()>& done) {
    while (!ended() && !(done && done()) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  waitUntil(std::chrono::steady_clock::now() + std::chrono::minutes(1), ready);
  kill(-pid, SIGINT);
  waitUntil(std::chrono::steady_clock::now() + std::chrono::minutes(1), nullptr);
  if (!ended()) {
    kill(-pid, SIGKILL);
    if (!reaped) waitpid(pid, &status, 0);
    reaped = false;
  }
  r.status = reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  {
    std::ifstream out(base + ".out"), err(base + ".err");
    r.out.assign(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>());
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  }
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

#ifdef LBL_EXE
// The lbl program of this build; standard error through a file of this test process's own.
inline Ran Lbl(const std::string& args) {
  return RunLbl(LBL_EXE, args, testing::TempDir() + "/lbl_stderr_" + std::to_string(getpid()) + ".txt");
}
#endif

}  // namespace lbltest
