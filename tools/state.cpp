#include "tools/state.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/ui_language.h"
#include "winsim/clock.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"
#include "winsim/spooler.h"

namespace lbl {

namespace {

constexpr size_t kLargestState = size_t{1} << 30;  // far beyond any machine lbl makes

std::string g_override;  // --state

constexpr int kNoLock = -2;  // a folder this user may only read, without a lock file: nothing to lock

struct Session {
  bool opened = false;
  bool ok = false;
  std::string error;
  int lockFd = -1;               // kNoLock in a folder this user may only read
  bool fresh = false;            // built now: saved even when the command changed nothing
  std::vector<uint8_t> loaded;   // the file's bytes as loaded, or the fresh machine's
};

Session& S() {
  static Session s;
  return s;
}

std::string Why() { return std::strerror(errno); }

// mkdir -p, the folders private to the user as the XDG folders are.
bool MakeFolders(const std::string& dir, std::string* error) {
  for (size_t at = 1; at <= dir.size(); ++at) {
    if (at != dir.size() && dir[at] != '/') continue;
    const std::string part = dir.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create the state folder " + dir + ": " + Why();
      return false;
    }
  }
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the state folder " + dir + " is not a folder";
    return false;
  }
  return true;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  // Not blocking: a pipe or a device put where the file belongs is refused below, not waited on.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = "cannot read the state file " + path + ": " + Why();
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= kLargestState;
  if (!ok) *error = "the state file " + path + " is not a file lbl wrote (too large, or not a file)";
  if (ok) {
    out->resize(size_t(st.st_size));
    size_t got = 0;
    errno = 0;
    while (got < out->size()) {
      const ssize_t n = read(fd, out->data() + got, out->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += size_t(n);
    }
    ok = got == out->size();
    if (!ok) *error = "cannot read the state file " + path + ": " + (errno ? Why() : "it changed while read");
  }
  close(fd);
  return ok;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// Files a save killed half-way left behind; only under the lock, so none is being written now.
void RemoveUnfinished(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = std::string(".") + kStateFileName + ".new-";
  while (dirent* e = readdir(d))
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) unlink((dir + "/" + e->d_name).c_str());
  closedir(d);
}

// A new file beside the old one, made durable, then renamed over it: a reader (or a crash) sees the
// old state or the new one, never a mix.
bool SaveAtomically(const std::string& dir, const std::vector<uint8_t>& bytes, std::string* error) {
  RemoveUnfinished(dir);
  const std::string target = dir + "/" + kStateFileName;
  const std::string temp = dir + "/." + kStateFileName + ".new-" + std::to_string(getpid());
  // Made anew, never through a link someone put in its place in a folder others may write.
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot save the state in " + dir + ": " + Why();
    return false;
  }
  // A test hook: stop dead half-way through the new file, as a crash or kill -9 would.
  const char* crash = std::getenv("LBL_STATE_TEST_CRASH");
  const bool crashHalfWay = crash && std::strcmp(crash, "half-written") == 0;
  const size_t first = crashHalfWay ? bytes.size() / 2 : bytes.size();
  bool ok = WriteAll(fd, bytes.data(), first);
  if (ok && crashHalfWay) {
    fsync(fd);
    raise(SIGKILL);
  }
  ok = ok && WriteAll(fd, bytes.data() + first, bytes.size() - first) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    *error = "cannot save the state to " + target + ": " + Why();
    unlink(temp.c_str());
    return false;
  }
  if (const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

// Waits for another lbl that uses the folder; the lock goes with the process. In a folder this user
// may only read (a shared or read-only machine) the lock file is opened for reading, which locks as
// well; without one there, nobody can have saved while we read, and kNoLock says so.
int LockFolder(const std::string& dir, std::string* error) {
  const std::string path = dir + "/lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    const int writeError = errno;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) return kNoLock;  // it could not be created: the folder is not ours to write
    if (fd < 0) errno = writeError;
  }
  if (fd < 0) {
    *error = "cannot open " + path + ": " + Why();
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::fprintf(stderr, "lbl: waiting for another lbl command that uses %s\n", dir.c_str());
    while (flock(fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      *error = "cannot lock " + path + ": " + Why();
      close(fd);
      return -1;
    }
  }
  return fd;
}

std::string Timestamp() {
  char stamp[32];
  const time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  return stamp;
}

int RunPrinters(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'printers' takes no arguments");
  std::string error;
  const bool opened = OpenState(&error);
  JsonOut j;
  j.Str("StateFolder", StateFolder());
  const std::u16string def = opened ? winsim::DefaultPrinter() : std::u16string();
  j.ObjectArray("Printers", opened ? winsim::Printers() : std::vector<winsim::PrinterSpec>{}, [&](const auto& p) {
    j.Str("Name", WideToUtf8(p.name));
    j.Str("Driver", WideToUtf8(p.driver));
    j.Str("Port", WideToUtf8(p.port));
    j.Bool("Default", p.name == def);
    j.Str("Comment", WideToUtf8(p.comment));
    j.Str("Location", WideToUtf8(p.location));
  });
  if (def.empty()) j.Null("DefaultPrinter");  // none set, or the machine could not be read
  else j.Str("DefaultPrinter", WideToUtf8(def));
  return j.Emit(error);
}

int RunReset(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'reset' takes no arguments");
  const std::string dir = StateFolder();
  std::string error;
  if (!MakeFolders(dir, &error)) return Fail(error);
  const int fd = LockFolder(dir, &error);
  if (fd == -1) return Fail(error);
  const std::string file = dir + "/" + kStateFileName;
  struct stat st;
  if (lstat(file.c_str(), &st) != 0) {
    if (fd >= 0) close(fd);
    std::printf("%s holds no machine: the next command starts with a freshly installed one\n", dir.c_str());
    return 0;
  }
  std::string copy = dir + "/machine-" + Timestamp() + ".lblstate";
  for (int n = 2; lstat(copy.c_str(), &st) == 0; ++n) copy = dir + "/machine-" + Timestamp() + "-" + std::to_string(n) + ".lblstate";
  const bool moved = rename(file.c_str(), copy.c_str()) == 0;
  const std::string why = Why();
  if (fd >= 0) close(fd);
  if (!moved) return Fail("cannot move " + file + " aside: " + why);
  std::printf("the machine starts over with a freshly installed one; the previous state is kept as %s\n", copy.c_str());
  return 0;
}

}  // namespace

int TakeStateOption(std::vector<std::string>* args) {
  return TakeGlobalOption(args, "--state", "--state needs a folder", [](const std::string& value) {
    g_override = value;
    return 0;
  });
}

std::string StateFolder() {
  if (!g_override.empty()) return g_override;
  if (const char* dir = std::getenv("LBL_STATE_DIR"); dir && *dir) return dir;
  // The XDG base directory rules: a relative XDG_STATE_HOME is to be ignored.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/lbl";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw && pw->pw_dir ? pw->pw_dir : "/";
  }
  return std::string(home) + "/.local/state/lbl";
}

bool OpenState(std::string* error) {
  Session& s = S();
  if (s.opened) {
    if (!s.ok) *error = s.error;
    return s.ok;
  }
  s.opened = true;
  const std::string dir = StateFolder();
  const std::string file = dir + "/" + kStateFileName;
  std::string why;
  bool hostFault = false;
  if (!MakeFolders(dir, &why) || (s.lockFd = LockFolder(dir, &why)) == -1) {
    s.error = why;
  } else if (struct stat st; lstat(file.c_str(), &st) != 0 && errno == ENOENT) {
    s.fresh = BuildFreshMachine(&why);
    if (!s.fresh) s.error = "cannot set up a fresh machine: " + why;
    else s.loaded = winsim::SaveMachine();
  } else if (!ReadWhole(file, &s.loaded, &why)) {
    s.error = why;
  } else if (!winsim::LoadMachine(s.loaded, &why, &hostFault)) {
    // A state this host could not lay out may be whole: no advice to throw it away.
    s.error = hostFault ? "cannot load the state file " + file + ": " + why + " (the file is kept as it is)"
                        : "the state file " + file + " is " + why +
                              "; 'lbl reset' starts over with a fresh machine (keeping a copy of this one)";
  } else {
    ApplyUiLanguage();
  }
  s.ok = s.error.empty();
  if (!s.ok) {
    *error = s.error;
    if (s.lockFd >= 0) close(s.lockFd);
    s.lockFd = -1;
  }
  return s.ok;
}

int CloseState(int status) {
  Session& s = S();
  if (!s.ok || s.lockFd == -1) return status;
  // The spooler stops: the monitors' ports close (their threads end) before the machine is written. On
  // the virtual clock a monitor thread's pause passes only when the clock moves.
  if (!winsim::LanguageMonitorPorts().empty()) {
    if (winsim::VirtualClockInUse()) winsim::RunOnClockedThread([] { winsim::CloseLanguageMonitorPorts(); });
    else winsim::CloseLanguageMonitorPorts();
  }
  const std::vector<uint8_t> now = winsim::SaveMachine();
  const bool changed = now != s.loaded;
  std::string error;
  // A fresh machine is written for the next command, but where it cannot be (a folder this user may
  // only read) a command that changed nothing has not failed.
  if ((s.fresh || changed) && !SaveAtomically(StateFolder(), now, &error) && changed) {
    std::fprintf(stderr, "lbl: %s\n", error.c_str());
    if (status == 0) status = 1;
  }
  if (s.lockFd >= 0) close(s.lockFd);
  s.lockFd = -1;
  return status;
}

CommandSpec PrintersCommand() {
  return {"printers",
          "the printers of the machine, as JSON",
          "printers",
          "Lists the printers installed on the machine kept in the state folder, with their driver, port,\n"
          "comment and location, and which one is the default printer, as JSON. Commands act on the\n"
          "default printer unless --printer NAME names another.",
          {},
          "0  success\n1  the state could not be read (message on stderr)\n2  usage error",
          "lbl printers",
          "",
          RunPrinters};
}

CommandSpec ResetCommand() {
  return {"reset",
          "start over with a freshly installed machine, keeping a copy of the old one",
          "reset",
          "Moves the machine of the state folder aside (as machine-DATE-TIME.lblstate in the same folder),\n"
          "so that the next command starts with a freshly installed machine: the embedded default printer\n"
          "and nothing else. Works also when the state cannot be read (another version, or damaged).",
          {},
          "0  done\n1  the state could not be moved aside\n2  usage error",
          "lbl reset",
          "",
          RunReset};
}

}  // namespace lbl
