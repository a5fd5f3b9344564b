// Windows calls the installer's thread starts and window procedures from its own frames, which no C++
// exception may cross (the i686 toolchain's unwinding cannot pass them; the process would end). Each such
// entry runs its body through Guarded.
#pragma once

#include <new>

#include "common/platform.h"
#include "installer/debugtrace.h"

// The body's result; `failure` when it threw: after std::bad_alloc with ERROR_NOT_ENOUGH_MEMORY as the
// last error, after anything else with ERROR_INTERNAL_ERROR and a debug line naming `where`.
template <class R, class Body>
R Guarded(const char* where, R failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    DebugTrace("%hs: out of memory.", where);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    DebugTrace("%hs: unexpected exception.", where);
    SetLastError(ERROR_INTERNAL_ERROR);  // never a stale error of an earlier call
  }
  return failure;
}
