// The tick clock: real monotonic time, or virtual time that only AdvanceClock moves.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>

#include "internal.h"
#include "winsim/clock.h"

using namespace winsim::detail;

namespace {

struct VirtualClock {
  std::mutex m;
  std::condition_variable cv;
  bool on = false;
  uint64_t now = 0;
  std::multiset<uint64_t> deadlines;  // of the threads blocked on the virtual clock
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
  auto it = C().deadlines.insert(deadline);
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
  for (;;) {
    uint64_t next = target;
    if (!C().deadlines.empty()) next = std::min(next, std::max(*C().deadlines.begin(), C().now));
    const size_t blocked = C().deadlines.size();
    C().now = next;
    C().cv.notify_all();
    // Let the woken threads run until they block on the clock again (or do something else for a while).
    const auto settledBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    auto due = [&] { return !C().deadlines.empty() && *C().deadlines.begin() <= C().now; };
    while (due() && std::chrono::steady_clock::now() < settledBy) C().cv.wait_until(l, settledBy);
    if (blocked > 0) {
      // A woken thread usually blocks again within moments; wait briefly for it to register.
      C().cv.wait_for(l, std::chrono::milliseconds(2),
                      [&] { return C().deadlines.size() >= blocked && !due(); });
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
