#include "winsim/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "winsim/machine.h"

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::UseVirtualClock();
  }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(VirtualClock, TickCountMovesOnlyWhenAdvanced) {
  const DWORD start = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(GetTickCount(), start);
  winsim::AdvanceClock(1500);
  EXPECT_EQ(GetTickCount(), start + 1500);
  EXPECT_EQ(GetTickCount64(), winsim::ClockNow());
}

TEST_F(VirtualClock, ALoopOfSleepsSeesEveryStep) {
  std::atomic<int> steps{0};
  std::vector<uint64_t> wokeAt;
  std::thread t([&] {
    for (int i = 0; i < 20; ++i) {
      Sleep(150);
      wokeAt.push_back(winsim::ClockNow());
      steps.fetch_add(1);
    }
  });
  const uint64_t start = winsim::ClockNow();
  while (winsim::ThreadsWaitingOnClock() == 0) std::this_thread::yield();
  // 3000 ms pass: twenty sleeps of 150 ms each end, one after the other.
  winsim::AdvanceClock(3000);
  // A step the clock skipped leaves the thread asleep for ever: give it a while, then free it to fail.
  const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (steps.load() < 20 && std::chrono::steady_clock::now() < giveUpAt)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const int seen = steps.load();
  if (seen < 20) winsim::Reset();
  t.join();
  ASSERT_EQ(seen, 20);
  for (size_t i = 0; i < wokeAt.size(); ++i) EXPECT_EQ(wokeAt[i], start + 150 * (i + 1));
}

// Two threads woken by the same step, one waiting for a lock the other holds while it works: the second
// runs only once the first lets go, and its sleeps still end on every step, not on steps pushed later.
TEST_F(VirtualClock, ThreadsWokenTogetherThatShareALockEachSeeEveryStep) {
  for (int round = 0; round < 5; ++round) {
    winsim::Reset();
    winsim::UseVirtualClock();
    std::mutex m;
    std::atomic<int> steps{0};
    std::vector<uint64_t> wokeAt;
    std::thread worker([&] {
      for (int i = 0; i < 20; ++i) {
        Sleep(150);
        std::lock_guard<std::mutex> g(m);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
        while (std::chrono::steady_clock::now() < until) {
        }
      }
    });
    while (winsim::ThreadsWaitingOnClock() < 1) std::this_thread::yield();
    std::thread waiter([&] {
      for (int i = 0; i < 20; ++i) {
        Sleep(150);
        std::lock_guard<std::mutex> g(m);
        wokeAt.push_back(winsim::ClockNow());
        steps.fetch_add(1);
      }
    });
    while (winsim::ThreadsWaitingOnClock() < 2) std::this_thread::yield();
    const uint64_t start = winsim::ClockNow();
    winsim::AdvanceClock(3000);
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (steps.load() < 20 && std::chrono::steady_clock::now() < giveUpAt)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int seen = steps.load();
    if (seen < 20) winsim::Reset();  // frees a thread whose step was skipped
    worker.join();
    waiter.join();
    ASSERT_EQ(seen, 20) << "round " << round;
    for (size_t i = 0; i < wokeAt.size(); ++i) ASSERT_EQ(wokeAt[i], start + 150 * (i + 1)) << "round " << round;
  }
}

TEST_F(VirtualClock, WaitTimeoutsFollowVirtualTimeAndEventsEndThemAtOnce) {
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> result{0xFFFF};
  std::thread t([&] { result = WaitForSingleObject(ev, 1000); });
  while (winsim::ThreadsWaitingOnClock() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(result.load(), 0xFFFFu);  // real time alone does not time it out
  winsim::AdvanceClock(999);
  EXPECT_EQ(result.load(), 0xFFFFu);
  winsim::AdvanceClock(1);
  t.join();
  EXPECT_EQ(result.load(), DWORD(WAIT_TIMEOUT));

  std::thread t2([&] { result = WaitForSingleObject(ev, 60000); });
  SetEvent(ev);
  t2.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  CloseHandle(ev);
}

TEST_F(VirtualClock, ResetReturnsToRealTimeAndReleasesSleepers) {
  std::thread t([] { Sleep(100000); });
  while (winsim::ThreadsWaitingOnClock() == 0) std::this_thread::yield();
  winsim::Reset();
  t.join();  // would hang if the sleeper stayed on the virtual clock
  EXPECT_FALSE(winsim::VirtualClockInUse());
  const DWORD a = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(GetTickCount() - a, 10u);
}

}  // namespace
