// No exception crosses into Windows: every exported entry point of the driver DLLs, and every thread they
// start, runs its work through GuardEntry. The callers are the spooler, GDI and applications, built without
// this module's unwinder (the i686 toolchain's DWARF unwinding cannot pass Windows frames at all), so an
// exception leaving the module would end the process: the spooler, for a driver.
#pragma once

#include <exception>
#include <new>
#include <type_traits>

#include "common/platform.h"

// The debug line of an exception an entry point caught: "<entry>: exception: <what>". Allocates nothing.
void ReportCaughtException(const char* entry, const char* what) noexcept;

// Runs `work` and returns what it returns. Out of memory (std::bad_alloc): `failed`, with the last error
// ERROR_NOT_ENOUGH_MEMORY. Any other exception: `report(what)` (nullptr for one that is no std::exception),
// then `failed` with the last error ERROR_INTERNAL_ERROR. `report` writes the module's debug line.
template <class R, class Report, class Work>
R GuardWith(const Report& report, R failed, Work&& work) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed;
  } catch (const std::exception& e) {
    report(e.what());
  } catch (...) {
    report(nullptr);
  }
  SetLastError(ERROR_INTERNAL_ERROR);
  return failed;
}

// GuardWith with the driver DLLs' debug line (ReportCaughtException).
template <class R, class Work>
R GuardEntry(const char* entry, R failed, Work&& work) noexcept {
  return GuardWith([entry](const char* what) { ReportCaughtException(entry, what ? what : "unknown"); }, failed,
                   work);
}

// The same for entry points that return nothing.
template <class Work>
void GuardEntry(const char* entry, Work&& work) noexcept {
  GuardEntry(entry, 0, [&] {
    work();
    return 0;
  });
}
