// Allocation faults of operator new, for the tests that check that no exception leaves an entry point.
// Linking throwing_new.cpp replaces the program's operator new and delete; faults are per thread, so the
// test framework and other threads allocate as usual. Allocations of the simulated Windows (libwinsim)
// neither count nor fail: a system call reports failures, it does not throw.
#pragma once

#include <string>

namespace lbltest {

enum class NewFault {
  kBadAlloc,      // std::bad_alloc, as a failed allocation throws
  kRuntimeError,  // std::runtime_error("test fault"): any other exception
};

// From now on the calling thread's allocation number `failAt` (1-based) throws, and with `andAfter` every one
// after it too; 0 only counts.
void ArmNewFault(unsigned failAt, bool andAfter = false, NewFault kind = NewFault::kBadAlloc);
void DisarmNewFault();     // stops counting and failing
// Counting (and failing) stops between these, so that only the calls under test take part.
void PauseNewFault();
void ResumeNewFault();
unsigned NewCount();       // allocations of the calling thread since ArmNewFault
bool NewFaultFired();      // an allocation threw since ArmNewFault

// Arms a fault for the life of the object.
class ScopedNewFault {
 public:
  explicit ScopedNewFault(unsigned failAt, bool andAfter = false, NewFault kind = NewFault::kBadAlloc) {
    ArmNewFault(failAt, andAfter, kind);
  }
  ~ScopedNewFault() { DisarmNewFault(); }
  ScopedNewFault(const ScopedNewFault&) = delete;
  ScopedNewFault& operator=(const ScopedNewFault&) = delete;
};

}  // namespace lbltest
