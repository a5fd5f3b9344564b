// winsim's tick clock. After Reset() it follows real time. UseVirtualClock() freezes it: from then on
// GetTickCount/GetTickCount64 move only when AdvanceClock() moves them, and Sleep and the timeouts of
// WaitForSingleObject end only when virtual time passes their deadline (a signalled object still ends a
// wait at once). Tests drive timers, polls and retries this way without waiting in real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <windows.h>

namespace winsim {

void UseVirtualClock();
bool VirtualClockInUse();
// Moves virtual time forward by ms, stopping at every pending deadline on the way, in order: the threads
// whose deadline passed are woken and given a moment (real time, bounded) to run and block again before
// the clock moves on, so a thread that sleeps 150 ms in a loop sees each of its steps.
void AdvanceClock(DWORD ms);
uint64_t ClockNow();  // milliseconds, virtual or real
// Threads blocked in Sleep or a timed wait on the virtual clock (tests wait for a thread to get there).
size_t ThreadsWaitingOnClock();
// Runs fn on a thread of its own, moving the clock 100 ms whenever a thread waits on it, until fn returns:
// the waits of a work thread (polls, pauses) pass on the virtual clock.
void RunOnClockedThread(const std::function<void()>& fn);

}  // namespace winsim
