// The tick clock: real monotonic time, or virtual time that only AdvanceClock moves.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "internal.h"
#include "winsim/clock.h"

using namespace winsim::detail;

namespace {

struct VirtualClock {
  std::mutex m;
  std::condition_variable cv;
  bool on = false;
  uint64_t now = 0;
  std::multimap<uint64_t, pid_t> deadlines;  // deadline -> thread id, of the threads blocked on the clock
};

VirtualClock& C() { return Lasting<VirtualClock>(); }

uint64_t RealMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

void ResetVirtualClock() {
  {
    std::lock_guard<std::mutex> l(C().m);
    C().on = false;
  }
  C().cv.notify_all();  // sleepers left over from the last machine end now
}
const ResetRegistrar kResetVirtualClock(ResetVirtualClock, ResetRegistrar::kBeforeLock);

// True while the thread is running, waiting for a processor, or in a short uninterruptible wait (disk,
// page faults) that ends without anyone's help; false once it sleeps in the kernel (a wait, a lock, a
// socket) or has ended.
bool ThreadBusy(pid_t tid) {
  std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string stat;
  if (!std::getline(f, stat)) return false;
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  return stat[close + 2] == 'R' || stat[close + 2] == 'D';
}

}  // namespace

namespace winsim::detail {

uint64_t TickNow() {
  std::lock_guard<std::mutex> l(C().m);
  return C().on ? C().now : RealMs();
}

bool VirtualWait(DWORD ms, const std::function<bool()>& done) {
  std::unique_lock<std::mutex> l(C().m);
  if (!C().on) return false;
  const uint64_t deadline = C().now + ms;
  auto it = C().deadlines.emplace(deadline, pid_t(syscall(SYS_gettid)));
  C().cv.notify_all();
  bool finished = false;
  while (C().on && C().now < deadline) {
    l.unlock();
    finished = done && done();
    l.lock();
    if (finished) break;
    // The condition may be signalled elsewhere without touching the clock: look again shortly.
    C().cv.wait_for(l, std::chrono::milliseconds(done ? 1 : 50));
  }
  C().deadlines.erase(it);
  C().cv.notify_all();
  if (!finished && done) {
    l.unlock();
    finished = done();
  }
  return finished;
}

}  // namespace winsim::detail

namespace winsim {

void UseVirtualClock() {
  std::lock_guard<std::mutex> l(C().m);
  if (!C().on) C().now = RealMs();
  C().on = true;
}

bool VirtualClockInUse() {
  std::lock_guard<std::mutex> l(C().m);
  return C().on;
}

size_t ThreadsWaitingOnClock() {
  std::lock_guard<std::mutex> l(C().m);
  return C().deadlines.size();
}

uint64_t ClockNow() {
  return TickNow();
}

void AdvanceClock(DWORD ms) {
  std::unique_lock<std::mutex> l(C().m);
  if (!C().on) return;
  const uint64_t target = C().now + ms;
  auto due = [&] { return !C().deadlines.empty() && C().deadlines.begin()->first <= C().now; };
  for (;;) {
    uint64_t next = target;
    if (!C().deadlines.empty()) next = std::min(next, std::max(C().deadlines.begin()->first, C().now));
    std::vector<pid_t> woken;
    for (auto it = C().deadlines.begin(); it != C().deadlines.end() && it->first <= next; ++it)
      woken.push_back(it->second);
    C().now = next;
    C().cv.notify_all();
    // The woken threads leave their waits...
    const auto settledBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (due() && std::chrono::steady_clock::now() < settledBy) C().cv.wait_until(l, settledBy);
    // ...and run until they wait on the clock again or sleep on something else, before the clock moves on.
    // A thread the scheduler has not run yet is still runnable: a busy machine delays a step, never skips
    // one. Every woken thread is looked at until all are quiet at once, twice in a row: one asleep on a
    // lock another woken thread holds runs again when that one lets go, and the second look sees a
    // hand-over that fell between the reads of the first. The bound only stops a thread that computes for
    // long (or spins waiting for this caller) from holding the clock.
    const auto runBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    for (int quiet = 0; !woken.empty() && quiet < 2 && std::chrono::steady_clock::now() < runBy;) {
      l.unlock();
      std::vector<pid_t> busy;
      for (pid_t tid : woken)
        if (ThreadBusy(tid)) busy.push_back(tid);
      l.lock();
      const bool stillRunning = std::any_of(busy.begin(), busy.end(), [&](pid_t tid) {
        return std::none_of(C().deadlines.begin(), C().deadlines.end(),
                            [&](const auto& d) { return d.second == tid && d.first > C().now; });
      });
      if (!stillRunning) {
        ++quiet;
        continue;
      }
      quiet = 0;
      C().cv.wait_for(l, std::chrono::milliseconds(1));
    }
    if (C().now >= target) break;
  }
}

void RunOnClockedThread(const std::function<void()>& fn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fn();
    done = true;
  });
  while (!done) {
    if (ThreadsWaitingOnClock()) AdvanceClock(100);
    else std::this_thread::yield();
  }
  worker.join();
}

}  // namespace winsim
